#include "SampleData.h"

#include "SampleWords.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <optional>
#include <stdexcept>
#include <utility>

namespace sample {

std::uint64_t Random::next()
{
    std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

std::uint32_t Random::below(std::uint32_t bound)
{
    return static_cast<std::uint32_t>(((next() >> 32) * bound) >> 32);
}

int Random::between(int low, int high)
{
    return low + static_cast<int>(below(static_cast<std::uint32_t>(high - low + 1)));
}

bool Random::percent(int chance)
{
    return static_cast<int>(below(100)) < chance;
}

namespace {

using namespace words;
using Day = std::chrono::sys_days;
using Row = std::vector<Value>;

constexpr Day date(int y, unsigned m, unsigned d)
{
    return Day{std::chrono::year{y} / std::chrono::month{m} / std::chrono::day{d}};
}

constexpr Day firstOrderDay = date(2019, 1, 1);
constexpr Day lastOrderDay = date(2024, 12, 31);
constexpr Day discontinuedFrom = date(2023, 1, 1);

int yearOf(Day d)
{
    return static_cast<int>(std::chrono::year_month_day{d}.year());
}

std::string dateText(Day d)
{
    const std::chrono::year_month_day ymd{d};
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u", static_cast<int>(ymd.year()),
                  static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()));
    return text;
}

std::string dateTimeText(Day d, int secondOfDay)
{
    char text[32];
    std::snprintf(text, sizeof text, " %02d:%02d:%02d", secondOfDay / 3600, secondOfDay / 60 % 60, secondOfDay % 60);
    return dateText(d) + text;
}

Day plusDays(Day d, int n)
{
    return d + std::chrono::days{n};
}

std::vector<std::string_view> split(std::string_view list, char separator = '|')
{
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = list.find(separator, start);
        parts.push_back(list.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        if (end == std::string_view::npos)
            return parts;
        start = end + 1;
    }
}

template<typename List>
auto pick(Random &random, const List &list)
{
    return list[random.below(static_cast<std::uint32_t>(list.size()))];
}

Value text(std::string_view s)
{
    return std::string(s);
}

Value money(std::int64_t cents)
{
    return Decimal2{cents};
}

Value integer(std::int64_t v)
{
    return v;
}

template<typename V>
Value orNull(bool present, V value)
{
    return present ? Value(std::move(value)) : Value(Null{});
}

// The draw comes first and the value is made only when present: arguments of one call are
// unsequenced, and the data must not depend on the compiler's choice of order.
template<typename Make>
Value unlessNull(Random &random, int nullPercent, Make make)
{
    if (random.percent(nullPercent))
        return Null{};
    return Value(make());
}

// Letters of a name folded to ASCII lower case, for e-mail addresses and web domains.
std::string asciiFold(std::string_view s, bool keepDots = false)
{
    std::string out;
    for (std::size_t i = 0; i < s.size();) {
        const auto byte = static_cast<unsigned char>(s[i]);
        char32_t cp = byte;
        int length = 1;
        if (byte >= 0xF0) {
            length = 4;
        } else if (byte >= 0xE0) {
            cp = byte & 0x0F;
            length = 3;
        } else if (byte >= 0xC0) {
            cp = byte & 0x1F;
            length = 2;
        }
        for (int k = 1; k < length && i + k < s.size(); ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
        i += length;

        if (cp >= 'A' && cp <= 'Z')
            cp += 32;
        if (cp >= 0xC0 && cp <= 0xDE && cp != 0xD7)
            cp += 0x20;
        if ((cp >= 'a' && cp <= 'z') || (cp >= '0' && cp <= '9')) {
            out += static_cast<char>(cp);
        } else if (cp == '.' && keepDots) {
            out += '.';
        } else if (cp >= 0xE0 && cp <= 0xFF) {
            static constexpr std::array<std::string_view, 32> latin1{
                "a", "a", "a", "a", "a", "a", "ae", "c", "e", "e", "e", "e", "i", "i", "i", "i",
                "d", "n", "o", "o", "o", "o", "o",  "",  "o", "u", "u", "u", "u", "y", "th", "y"};
            out += latin1[cp - 0xE0];
        } else if (cp == 0xDF) {
            out += "ss";
        } else {
            static constexpr std::array<std::pair<char32_t, char>, 28> extended{{
                {0x104, 'a'}, {0x105, 'a'}, {0x106, 'c'}, {0x107, 'c'}, {0x10C, 'c'}, {0x10D, 'c'}, {0x118, 'e'},
                {0x119, 'e'}, {0x11A, 'e'}, {0x11B, 'e'}, {0x141, 'l'}, {0x142, 'l'}, {0x143, 'n'}, {0x144, 'n'},
                {0x14C, 'o'}, {0x14D, 'o'}, {0x158, 'r'}, {0x159, 'r'}, {0x15A, 's'}, {0x15B, 's'}, {0x160, 's'},
                {0x161, 's'}, {0x16B, 'u'}, {0x16F, 'u'}, {0x179, 'z'}, {0x17B, 'z'}, {0x17C, 'z'}, {0x17E, 'z'},
            }};
            for (const auto &[from, to] : extended)
                if (from == cp)
                    out += to;
        }
    }
    return out;
}

std::string fromPattern(Random &random, std::string_view pattern)
{
    std::string out;
    for (char c : pattern) {
        if (c == '#')
            out += static_cast<char>('0' + random.below(10));
        else if (c == '@')
            out += static_cast<char>('A' + random.below(26));
        else
            out += c;
    }
    return out;
}

std::string digits(Random &random, int count)
{
    return fromPattern(random, std::string(static_cast<std::size_t>(count), '#'));
}

std::string replaceAll(std::string text, std::string_view from, std::string_view to)
{
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

std::size_t codePoints(const std::string &s)
{
    return static_cast<std::size_t>(std::count_if(s.begin(), s.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

// Hands rows on after checking what PostgreSQL would enforce and SQLite would not.
class TableEmitter {
public:
    TableEmitter(RowSink &sink, const TableDef &table) : m_sink(sink), m_table(table) { m_sink.beginTable(table); }

    void add(const Row &row)
    {
        if (row.size() != m_table.columns.size())
            throw std::logic_error("sample row of " + std::string(m_table.name) + " has the wrong width");
        for (std::size_t i = 0; i < row.size(); ++i) {
            const ColumnDef &column = m_table.columns[i];
            if ((column.notNull || column.primaryKey) && std::holds_alternative<Null>(row[i]))
                throw std::logic_error("sample Null in " + std::string(column.name));
            const auto *s = std::get_if<std::string>(&row[i]);
            if (s && column.length > 0 && codePoints(*s) > static_cast<std::size_t>(column.length))
                throw std::logic_error("sample text too long for " + std::string(column.name) + ": " + *s);
        }
        m_sink.addRow(row);
    }

    void finish() { m_sink.endTable(); }

private:
    RowSink &m_sink;
    const TableDef &m_table;
};

struct Place {
    const Country *country;
    const LangWords *lang;
    std::string_view city;
    std::string_view state;
    int cityIndex;
};

Place pickPlace(Random &random, const Country &country)
{
    const auto cities = split(country.cities);
    const int index = static_cast<int>(random.below(static_cast<std::uint32_t>(cities.size())));
    const auto parts = split(cities[static_cast<std::size_t>(index)], ':');
    return {&country, &langs[static_cast<std::size_t>(country.lang)], parts[0],
            parts.size() > 1 ? parts[1] : std::string_view{}, index};
}

const Country &pickCountryWeighted(Random &random)
{
    static const int total = [] {
        int sum = 0;
        for (const Country &c : countries)
            sum += c.weight;
        return sum;
    }();
    int ticket = static_cast<int>(random.below(static_cast<std::uint32_t>(total)));
    for (const Country &c : countries) {
        if (ticket < c.weight)
            return c;
        ticket -= c.weight;
    }
    return countries.front();
}

const Country &countryByCode(std::string_view code)
{
    for (const Country &c : countries)
        if (c.code == code)
            return c;
    throw std::logic_error("unknown sample country");
}

std::string personName(Random &random, const LangWords &lang)
{
    std::string name(pick(random, split(lang.firstNames)));
    return name + " " + std::string(pick(random, split(lang.lastNames)));
}

std::string address(Random &random, const LangWords &lang)
{
    const std::string street(pick(random, split(lang.streets)));
    const std::string number = std::to_string(random.between(1, 180));
    switch (lang.streetStyle) {
    case StreetStyle::NumberName: return number + " " + street;
    case StreetStyle::NameCommaNumber: return street + ", " + number;
    case StreetStyle::Block: {
        std::string block = std::to_string(random.between(1, 9)) + "-";
        block += std::to_string(random.between(1, 30)) + "-";
        return block + std::to_string(random.between(1, 20)) + " " + street;
    }
    case StreetStyle::NameNumber: break;
    }
    return street + " " + number;
}

std::string companyName(Random &random, const Place &place)
{
    const auto lastNames = split(place.lang->lastNames);
    std::string name(pick(random, split(place.lang->companyPatterns)));
    const std::string_view first = pick(random, lastNames);
    std::string_view second = pick(random, lastNames);
    if (second == first)
        second = lastNames[(random.below(static_cast<std::uint32_t>(lastNames.size() - 1)) + 1) % lastNames.size()];
    name = replaceAll(name, "{L}", first);
    name = replaceAll(name, "{M}", second);
    name = replaceAll(name, "{C}", place.city);
    return replaceAll(name, "{S}", pick(random, split(place.country->legalSuffixes)));
}

std::string phone(Random &random, const Place &place)
{
    const int area = place.country->phonePrefix == "+1" ? 201 + (place.cityIndex * 37) % 780
                                                        : 20 + (place.cityIndex * 11) % 70;
    std::string number = std::string(place.country->phonePrefix) + " " + std::to_string(area) + " ";
    number += digits(random, 3);
    return number + " " + digits(random, 4);
}

std::optional<std::string> postalCode(Random &random, const Country &country)
{
    if (country.postalPattern.empty())
        return std::nullopt;
    return fromPattern(random, country.postalPattern);
}

// A 16x16 24-bit BMP: small enough for a table cell, a real picture for anyone who opens it.
Blob thumbnail(int seed, std::uint8_t red, std::uint8_t green, std::uint8_t blue)
{
    constexpr int side = 16;
    constexpr int pixelBytes = side * side * 3;
    Blob bmp;
    auto put = [&](std::uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            bmp.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    };
    bmp.push_back('B');
    bmp.push_back('M');
    put(54 + pixelBytes, 4);
    put(0, 4);
    put(54, 4);
    put(40, 4);
    put(side, 4);
    put(side, 4);
    put(1, 2);
    put(24, 2);
    put(0, 4);
    put(pixelBytes, 4);
    put(2835, 4);
    put(2835, 4);
    put(0, 4);
    put(0, 4);
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            const int dx = x - 8, dy = y - 8;
            const bool mark = dx * dx + dy * dy < 20 + seed % 20 || (x + y + seed) % 7 == 0;
            bmp.push_back(mark ? blue : 250);
            bmp.push_back(mark ? green : 248);
            bmp.push_back(mark ? red : 240);
        }
    }
    return bmp;
}

struct CustomerInfo {
    std::string company;
    std::string address;
    std::string city;
    std::optional<std::string> postalCode;
    std::string country;
    int regionId;
    Day created;
};

struct ProductInfo {
    std::int64_t listCents;
    Day introduced; // earliest day it may be ordered
    bool discontinued;
};

struct SalesRep {
    int employeeId;
    int regionId;
    Day from;
    Day until;
};

void writeRegions(RowSink &sink)
{
    TableEmitter out(sink, sampleTable("Regions"));
    for (std::size_t i = 0; i < regions.size(); ++i)
        out.add({integer(static_cast<std::int64_t>(i + 1)), text(regions[i])});
    out.finish();
}

void writeCategories(RowSink &sink)
{
    TableEmitter out(sink, sampleTable("Categories"));
    for (std::size_t i = 0; i < categories.size(); ++i) {
        const Category &c = categories[i];
        out.add({integer(static_cast<std::int64_t>(i + 1)), text(c.name),
                 orNull(!c.description.empty(), std::string(c.description))});
    }
    out.finish();
}

void writeSuppliers(RowSink &sink, Random &random)
{
    // Makers sit where the trade's makers do; three per category.
    static constexpr std::array<std::string_view, counts::suppliers> supplierCountries{
        "DE", "FR", "US", "IT", "GB", "JP", "SE", "DE", "PT", "US", "DK", "ES", "DE", "PL", "CZ",
        "IT", "NL", "FR", "CH", "JP", "GB", "DE", "FI", "US", "IT", "NO", "DE", "BR", "FR", "AT"};
    TableEmitter out(sink, sampleTable("Suppliers"));
    for (int id = 1; id <= counts::suppliers; ++id) {
        const Country &country = countryByCode(supplierCountries[static_cast<std::size_t>(id - 1)]);
        const Place place = pickPlace(random, country);
        const std::string company = companyName(random, place);
        out.add({integer(id), text(company), text(personName(random, *place.lang)),
                 text(pick(random, split(supplierTitles))), text(address(random, *place.lang)), text(place.city),
                 orNull(!country.postalPattern.empty(), fromPattern(random, country.postalPattern)),
                 text(country.name), text(country.code), integer(country.regionId),
                 unlessNull(random, 10, [&] { return phone(random, place); }),
                 orNull(random.percent(60), "https://www." + asciiFold(company).substr(0, 40) + ".example/")});
    }
    out.finish();
}

void writeShippers(RowSink &sink)
{
    TableEmitter out(sink, sampleTable("Shippers"));
    out.add({integer(1), text("Swift Parcel Logistics"), text("+49 40 555 0101")});
    out.add({integer(2), text("Nordlicht Express"), text("+49 40 555 0177")});
    out.add({integer(3), text("Blue Harbour Freight"), text("+31 10 555 0123")});
    // Added at the end of 2024: no order has used it yet.
    out.add({integer(4), text("Depot Collection"), Null{}});
    out.finish();
}

std::vector<SalesRep> writeEmployees(RowSink &sink)
{
    struct Employee {
        std::string_view last, first, title, birth, hired, left, city, country;
        int region, reportsTo;
        std::string_view extension;
        std::int64_t salaryCents; // 0: not disclosed
        std::string_view notes;
    };
    static constexpr std::array<Employee, counts::employees> staff{{
        {"Brandt", "Helena", "Managing Director", "1968-04-12", "2012-03-01", "", "Hamburg", "Germany", 2, 0, "1001",
         0, "Founded the company in 2012 after twenty years in the housewares trade."},
        {"Ferreira", "Tomás", "Sales Manager, Southern Europe and Latin America", "1975-09-30", "2013-01-15", "",
         "Lisboa", "Portugal", 3, 1, "1002", 9650000, ""},
        {"Ødegaard", "Ingrid", "Sales Manager, Northern and Central Europe", "1979-02-03", "2013-06-01", "", "Oslo",
         "Norway", 1, 1, "1003", 9820000, "Speaks Norwegian, Swedish, German and English."},
        {"O'Brien", "Patrick", "Sales Manager, North America and Asia Pacific", "1971-11-21", "2014-02-17", "",
         "Boston", "United States", 5, 1, "1004", 10400000, ""},
        {"Marchand", "Chloé", "Sales Representative", "1986-07-08", "2014-09-01", "", "Lyon", "France", 2, 3, "2005",
         6130000, ""},
        {"Müller", "Jonas", "Sales Representative", "1983-05-19", "2015-03-16", "", "München", "Germany", 2, 3,
         "2006", 6380000, "Top seller 2021 and 2023."},
        {"Walsh", "Aoife", "Sales Representative", "1990-12-02", "2016-01-11", "", "Dublin", "Ireland", 1, 3, "2007",
         5890000, ""},
        {"Núñez", "Lucía", "Sales Representative", "1988-03-27", "2016-05-02", "", "Madrid", "Spain", 3, 2, "2008",
         5740000, ""},
        {"Araújo", "Mateus", "Sales Representative", "1992-08-14", "2017-04-03", "", "São Paulo", "Brazil", 6, 2,
         "2009", 4980000, "Works from the São Paulo office."},
        {"Carter", "Emily", "Sales Representative", "1985-01-09", "2015-10-05", "", "Seattle", "United States", 5, 4,
         "2010", 7210000, ""},
        {"Nakamura", "Kenji", "Sales Representative", "1987-06-23", "2018-02-12", "", "Tokyo", "Japan", 7, 4, "2011",
         6600000, ""},
        {"Wiśniewska", "Zofia", "Sales Representative", "1994-10-30", "2021-04-01", "", "Kraków", "Poland", 4, 3,
         "2012", 4720000, ""},
        {"Visser", "Daan", "Sales Representative", "1981-04-04", "2014-11-03", "2022-06-30", "Rotterdam",
         "Netherlands", 2, 3, "2013", 6050000, "Left to open his own shop."},
        {"Lambert", "Sophie", "Inside Sales Coordinator", "", "2019-08-19", "", "Hamburg", "Germany", 2, 1, "1014",
         5200000, ""},
        {"Mehta", "Arjun", "Financial Controller", "1980-12-15", "2017-07-01", "", "Hamburg", "Germany", 2, 1, "1015",
         8890000, ""},
    }};

    TableEmitter out(sink, sampleTable("Employees"));
    std::vector<SalesRep> reps;
    for (std::size_t i = 0; i < staff.size(); ++i) {
        const Employee &e = staff[i];
        const int id = static_cast<int>(i + 1);
        const std::string email =
            asciiFold(e.first) + "." + asciiFold(e.last) + "@tabulon-traders.example";
        out.add({integer(id), text(e.last), text(e.first), text(e.title), orNull(!e.birth.empty(), std::string(e.birth)),
                 text(e.hired), orNull(!e.left.empty(), std::string(e.left)), text(e.city), text(e.country),
                 integer(e.region), orNull(e.reportsTo != 0, integer(e.reportsTo)), text(e.extension), text(email),
                 orNull(e.salaryCents != 0, money(e.salaryCents)), Value(e.left.empty()),
                 orNull(!e.notes.empty(), std::string(e.notes))});
        if (e.title == "Sales Representative") {
            auto parse = [](std::string_view iso) {
                const int y = std::stoi(std::string(iso.substr(0, 4)));
                const auto m = static_cast<unsigned>(std::stoi(std::string(iso.substr(5, 2))));
                const auto d = static_cast<unsigned>(std::stoi(std::string(iso.substr(8, 2))));
                return date(y, m, d);
            };
            reps.push_back({id, e.region, parse(e.hired), e.left.empty() ? lastOrderDay : parse(e.left)});
        }
    }
    out.finish();
    return reps;
}

std::vector<CustomerInfo> writeCustomers(RowSink &sink, Random &random)
{
    // The first customers came before the orders on record; the rest joined steadily since.
    constexpr int earlyCustomers = 350;
    const Day earlyFrom = date(2017, 3, 1);
    const int earlySpan = static_cast<int>((firstOrderDay - earlyFrom).count());
    const int laterSpan = static_cast<int>((date(2024, 11, 30) - firstOrderDay).count());
    static constexpr std::array<std::int64_t, 5> creditLimits{500000, 1000000, 2500000, 5000000, 10000000};

    TableEmitter out(sink, sampleTable("Customers"));
    std::vector<CustomerInfo> customers;
    customers.reserve(counts::customers);
    for (int id = 1; id <= counts::customers; ++id) {
        const Country &country = pickCountryWeighted(random);
        const Place place = pickPlace(random, country);
        const Day created = id <= earlyCustomers
            ? plusDays(earlyFrom, (id - 1) * earlySpan / earlyCustomers)
            : plusDays(firstOrderDay, (id - earlyCustomers - 1) * laterSpan / (counts::customers - earlyCustomers));
        CustomerInfo info{companyName(random, place), address(random, *place.lang), std::string(place.city),
                          postalCode(random, country), std::string(country.name), country.regionId, created};
        char code[8];
        std::snprintf(code, sizeof code, "C%05d", id);
        const bool hasEmail = !random.percent(15);
        const std::string email = "orders@" + asciiFold(info.company).substr(0, 40) + ".example";
        const int second = random.between(8 * 3600, 18 * 3600);
        out.add({integer(id), text(code), text(info.company), text(personName(random, *place.lang)),
                 text(pick(random, split(contactTitles))), text(info.address), text(info.city),
                 orNull(!place.state.empty() && !random.percent(3), std::string(place.state)),
                 orNull(info.postalCode.has_value(), info.postalCode.value_or(std::string())), text(info.country),
                 text(country.code), integer(country.regionId), unlessNull(random, 7, [&] { return phone(random, place); }),
                 orNull(hasEmail, email), unlessNull(random, 10, [&] { return money(pick(random, creditLimits)); }),
                 Value(!random.percent(4)), text(dateTimeText(created, second))});
        customers.push_back(std::move(info));
    }
    out.finish();
    return customers;
}

std::vector<ProductInfo> writeProducts(RowSink &sink, Random &random)
{
    constexpr int lateProducts = 20; // launched while the orders on record ran
    constexpr int variantPercent[3] = {100, 135, 180};
    std::vector<Day> launches;
    for (int i = 0; i < lateProducts; ++i)
        launches.push_back(plusDays(date(2020, 1, 1), random.between(0, 1640)));
    std::sort(launches.begin(), launches.end());

    // Each kind of product has one base price; variants cost more.
    std::array<std::int64_t, categories.size() * 10> basePrice{};
    for (std::size_t i = 0; i < basePrice.size(); ++i) {
        const Category &c = categories[i / 10];
        basePrice[i] = random.between(c.minPriceCents, c.maxPriceCents * 100 / variantPercent[2]);
    }

    TableEmitter out(sink, sampleTable("Products"));
    std::vector<ProductInfo> products;
    for (int id = 1; id <= counts::products; ++id) {
        const int index = id - 1;
        const std::size_t categoryIndex = static_cast<std::size_t>(index % 10);
        const Category &category = categories[categoryIndex];
        const int kind = index / 10 % 10;
        const int variant = index / 100;
        const std::string name = std::string(split(category.products)[static_cast<std::size_t>(kind)]) + " "
            + std::string(split(category.variants)[static_cast<std::size_t>(variant)]);

        static constexpr std::array<int, 4> endings{90, 50, 95, 0};
        const std::int64_t raw = basePrice[categoryIndex * 10 + static_cast<std::size_t>(kind)] * variantPercent[variant] / 100;
        const std::int64_t cents = std::max<std::int64_t>(99, raw / 100 * 100 + pick(random, endings));
        const int grams = random.between(category.minGrams, category.maxGrams) * variantPercent[variant] / 100;

        const bool late = id > counts::products - lateProducts;
        const Day introduced = late ? launches[static_cast<std::size_t>(id - (counts::products - lateProducts) - 1)]
                                    : plusDays(date(2012, 1, 1), random.between(0, 2550));
        const bool introducedKnown = late || !random.percent(3);
        const bool discontinued = !late && random.percent(5);
        const bool ownBrand = id % 97 == 0;
        const int categoryId = static_cast<int>(categoryIndex) + 1;
        const int supplierId = (categoryId - 1) * 3 + kind % 3 + 1;
        const int stock = random.percent(6) ? 0 : random.between(1, 400);
        static constexpr std::array<int, 6> reorderLevels{0, 5, 10, 20, 25, 30};

        std::optional<Blob> picture;
        if (id % 25 == 1) {
            picture = thumbnail(id, static_cast<std::uint8_t>(40 + categoryId * 20),
                                static_cast<std::uint8_t>(200 - categoryId * 15), static_cast<std::uint8_t>(90 + kind * 15));
        }
        out.add({integer(id), text(name), orNull(!ownBrand, integer(supplierId)), integer(categoryId),
                 text(pick(random, split(category.packs))), money(cents), integer(stock),
                 integer(stock < 20 && !discontinued ? random.between(20, 200) : 0),
                 unlessNull(random, 5, [&] { return integer(pick(random, reorderLevels)); }),
                 orNull(!random.percent(5), static_cast<double>(grams) / 1000.0), Value(discontinued),
                 orNull(introducedKnown, dateText(introduced)),
                 picture ? Value(std::move(*picture)) : Value(Null{})});
        products.push_back({cents, introduced, discontinued});
    }
    out.finish();
    return products;
}

std::int64_t isqrt(std::int64_t n)
{
    auto r = static_cast<std::int64_t>(std::sqrt(static_cast<double>(n)));
    while (r * r > n)
        --r;
    while ((r + 1) * (r + 1) <= n)
        ++r;
    return r;
}

// Business grows: the density of orders rises linearly, so later years hold more of them.
Day orderDay(int index)
{
    constexpr std::int64_t n = counts::orders;
    constexpr int shift = 20;
    const std::int64_t root = isqrt(((2 * n + 6 * index + 3) << (2 * shift)) / (2 * n));
    const std::int64_t span = (lastOrderDay - firstOrderDay).count() + 1;
    return plusDays(firstOrderDay, static_cast<int>(((root - (std::int64_t{1} << shift)) * span) >> shift));
}

struct OrderParts {
    int orderId;
    int customerId;
    std::optional<int> employeeId;
    Day ordered;
    int shipVia;
    int units;
    bool web;
};

Row orderRow(Random &random, const OrderParts &o, const CustomerInfo &customer)
{
    static constexpr std::array<int, 3> leadTimes{14, 21, 28};
    const bool express = o.shipVia == 2;
    const Day shipped = plusDays(o.ordered, express ? random.between(1, 3) : random.between(2, 9));
    const bool isShipped = shipped <= lastOrderDay && !random.percent(1);
    std::int64_t freight = 450 + o.units * 28 + random.between(0, 900);
    if (express)
        freight = freight * 16 / 10;
    const int second = o.web ? random.between(0, 86399) : random.between(7 * 3600, 20 * 3600 - 1);
    const bool commented = random.percent(8);
    return {integer(o.orderId), integer(o.customerId),
            o.employeeId ? integer(*o.employeeId) : Value(Null{}), text(dateText(o.ordered)),
            text(dateText(plusDays(o.ordered, pick(random, leadTimes)))),
            orNull(isShipped, dateText(shipped)), integer(o.shipVia), money(freight), text(customer.company),
            text(customer.address), text(customer.city),
            orNull(customer.postalCode.has_value(), customer.postalCode.value_or(std::string())), text(customer.country),
            text(dateTimeText(o.ordered, second)),
            o.web ? text("Web shop order") : orNull(commented, std::string(pick(random, orderComments)))};
}

int pickShipper(Random &random)
{
    const int ticket = random.between(1, 10);
    return ticket <= 5 ? 1 : ticket <= 7 ? 2 : 3;
}

void writeOrders(RowSink &sink, Random &random, const std::vector<CustomerInfo> &customers,
                 const std::vector<ProductInfo> &products, const std::vector<SalesRep> &reps)
{
    // Line counts dealt from a shuffled deck, so the total is exact however the deck falls.
    static constexpr std::array<int, 30> linesPerThirty{1, 1, 1, 1, 2, 2, 2, 2, 2, 2, 2, 3, 3, 3, 3,
                                                        3, 3, 4, 4, 4, 4, 4, 5, 5, 5, 5, 6, 6, 6, 6};
    static_assert(counts::orders % 30 == 0 && counts::orderDetails == counts::orders / 30 * 100);
    std::vector<std::uint8_t> lineCounts;
    lineCounts.reserve(counts::orders);
    for (int i = 0; i < counts::orders / 30; ++i)
        lineCounts.insert(lineCounts.end(), linesPerThirty.begin(), linesPerThirty.end());
    for (std::size_t i = lineCounts.size() - 1; i > 0; --i)
        std::swap(lineCounts[i], lineCounts[random.below(static_cast<std::uint32_t>(i + 1))]);

    struct Line {
        int orderId, productId;
        std::int64_t cents;
        int quantity;
        double discount;
    };
    std::vector<Line> lines;
    lines.reserve(counts::orderDetails);
    static constexpr std::array<int, 16> quantities{1, 1, 2, 2, 3, 4, 5, 6, 8, 10, 12, 15, 20, 24, 30, 50};
    static constexpr std::array<double, 5> discounts{0.05, 0.1, 0.15, 0.2, 0.25};
    std::vector<const SalesRep *> activeReps, regionReps;

    TableEmitter out(sink, sampleTable("Orders"));
    for (int i = 0; i < counts::orders; ++i) {
        const int orderId = i + 1;
        const Day day = orderDay(i);

        // Loyal early customers order more often than newcomers.
        const auto known = static_cast<std::uint32_t>(
            std::upper_bound(customers.begin(), customers.end(), day,
                             [](Day d, const CustomerInfo &c) { return d < c.created; })
            - customers.begin());
        std::uint32_t customerIndex = random.below(known);
        if (random.percent(50))
            customerIndex = std::min(customerIndex, random.below(known));
        const int customerId = static_cast<int>(customerIndex) + 1;

        // A customer's usual rep works in the customer's region where one is employed.
        activeReps.clear();
        regionReps.clear();
        for (const SalesRep &rep : reps) {
            if (rep.from <= day && day <= rep.until) {
                activeReps.push_back(&rep);
                if (rep.regionId == customers[customerIndex].regionId)
                    regionReps.push_back(&rep);
            }
        }
        const auto &usualReps = regionReps.empty() ? activeReps : regionReps;
        const bool web = random.percent(2);
        std::optional<int> employeeId;
        if (!web) {
            const SalesRep *rep = random.percent(85)
                ? usualReps[static_cast<std::size_t>(customerId) % usualReps.size()]
                : activeReps[random.below(static_cast<std::uint32_t>(activeReps.size()))];
            employeeId = rep->employeeId;
        }

        const auto available = static_cast<std::uint32_t>(
            std::upper_bound(products.begin(), products.end(), day,
                             [](Day d, const ProductInfo &p) { return d < p.introduced; })
            - products.begin());
        const int year = yearOf(day);
        int units = 0;
        const std::size_t firstLine = lines.size();
        for (int n = 0; n < lineCounts[static_cast<std::size_t>(i)]; ++n) {
            int productId = 0;
            while (productId == 0) {
                std::uint32_t candidate = random.below(available);
                if (random.percent(40))
                    candidate = std::min(candidate, random.below(available));
                const ProductInfo &product = products[candidate];
                const bool taken = std::any_of(lines.begin() + static_cast<std::ptrdiff_t>(firstLine), lines.end(),
                                               [&](const Line &l) { return l.productId == static_cast<int>(candidate) + 1; });
                if (!taken && product.introduced <= day && !(product.discontinued && day >= discontinuedFrom))
                    productId = static_cast<int>(candidate) + 1;
            }
            // List prices rose three percent a year up to today's.
            const std::int64_t cents =
                (products[static_cast<std::size_t>(productId - 1)].listCents * (85 + 3 * (year - 2019)) + 50) / 100;
            const int quantity = pick(random, quantities);
            const double discount = random.percent(70) ? 0.0 : pick(random, discounts);
            lines.push_back({orderId, productId, cents, quantity, discount});
            units += quantity;
        }
        out.add(orderRow(random, {orderId, customerId, employeeId, day, pickShipper(random), units, web},
                         customers[customerIndex]));
    }
    out.finish();

    TableEmitter details(sink, sampleTable("Order Details"));
    for (const Line &l : lines)
        details.add({integer(l.orderId), integer(l.productId), money(l.cents), integer(l.quantity), Value(l.discount)});
    details.finish();
}

constexpr std::uint64_t seed = 0x7AB0'1017'5A3F'2024ull;

} // namespace

void generateSampleData(RowSink &sink)
{
    Random random(seed);
    writeRegions(sink);
    writeCategories(sink);
    writeSuppliers(sink, random);
    writeShippers(sink);
    const std::vector<SalesRep> reps = writeEmployees(sink);
    const std::vector<CustomerInfo> customers = writeCustomers(sink, random);
    const std::vector<ProductInfo> products = writeProducts(sink, random);
    writeOrders(sink, random, customers, products, reps);
}

void generateArchiveOrders(RowSink &sink)
{
    // Rebuilt from the same seed so the archived orders name the same customers as the main data.
    Random random(seed);
    struct Discard : RowSink {
        void beginTable(const TableDef &) override {}
        void addRow(std::span<const Value>) override {}
        void endTable() override {}
    } discard;
    writeRegions(discard);
    writeCategories(discard);
    writeSuppliers(discard, random);
    const std::vector<SalesRep> reps = writeEmployees(discard);
    const std::vector<CustomerInfo> customers = writeCustomers(discard, random);

    Random archive(seed ^ 0xA5C4'1FE0ull);
    TableEmitter out(sink, archiveOrdersTable());
    for (int id = 1; id <= counts::archivedOrders; ++id) {
        const Day day = plusDays(date(2018, 1, 8), (id - 1) * 355 / counts::archivedOrders + archive.between(0, 6));
        std::uint32_t known = 0;
        while (known < customers.size() && customers[known].created <= day)
            ++known;
        const std::uint32_t customerIndex = archive.below(known);
        std::vector<int> active;
        for (const SalesRep &rep : reps)
            if (rep.from <= day && day <= rep.until)
                active.push_back(rep.employeeId);
        const int employeeId = active[archive.below(static_cast<std::uint32_t>(active.size()))];
        out.add(orderRow(archive,
                         {id, static_cast<int>(customerIndex) + 1, employeeId, day, pickShipper(archive),
                          archive.between(2, 80), false},
                         customers[customerIndex]));
    }
    out.finish();
}

} // namespace sample
