#include "db/backends/PostgresTypes.h"

#include "db/DbError.h"
#include "db/ValueRules.h"
#include "db/backends/PostgresClient.h"

#include <libpq-events.h>

#include <QDate>
#include <QHash>
#include <QDateTime>
#include <QTime>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>

namespace db::pg {

void applyType(FieldInfo &f, Oid type, int typmod)
{
    f.DefinedSize = 0;
    f.Precision = 0;
    f.NumericScale = 0;
    switch (type) {
    case oid::Int2: f.Type = adSmallInt; f.DefinedSize = 2; f.Precision = 5; break;
    case oid::Int4: f.Type = adInteger; f.DefinedSize = 4; f.Precision = 10; break;
    case oid::Int8: f.Type = adBigInt; f.DefinedSize = 8; f.Precision = 19; break;
    // Byte sizes as the other clients give them (a Boolean takes two, dates their structure's).
    case oid::Bool: f.Type = adBoolean; f.DefinedSize = 2; break;
    case oid::Float4: f.Type = adSingle; f.DefinedSize = 4; f.Precision = 7; break;
    case oid::Float8: f.Type = adDouble; f.DefinedSize = 8; f.Precision = 15; break;
    case oid::Money: f.Type = adCurrency; f.DefinedSize = 8; f.Precision = 19; f.NumericScale = 2; break;
    case oid::Numeric:
        f.Type = adNumeric;
        f.DefinedSize = 19;
        if (typmod >= 4) {
            f.Precision = ((typmod - 4) >> 16) & 0xffff;
            // Scale is a signed 11-bit field since PostgreSQL 15; negative scales round to tens.
            int scale = (typmod - 4) & 0x7ff;
            if (scale & 0x400)
                scale -= 0x800;
            f.NumericScale = scale;
        }
        break;
    case oid::Date: f.Type = adDBDate; f.DefinedSize = 6; f.Precision = 10; break;
    case oid::Time:
    case oid::Timetz: f.Type = adDBTime; f.DefinedSize = 6; f.Precision = 8; break;
    case oid::Timestamp:
    case oid::Timestamptz: f.Type = adDBTimeStamp; f.DefinedSize = 16; f.Precision = 23; break;
    case oid::Varchar:
        f.Type = adVarWChar;
        f.DefinedSize = typmod >= 4 ? typmod - 4 : 0;
        break;
    case oid::Bpchar:
        // Text is Unicode throughout, so fixed-length char is the wide fixed type.
        f.Type = adWChar;
        f.DefinedSize = typmod >= 4 ? typmod - 4 : 0;
        break;
    case oid::Uuid: f.Type = adGUID; f.DefinedSize = 16; break;
    case oid::Bytea: f.Type = adLongVarBinary; break;
    default: f.Type = adVarWChar; break; // text, name, json, xml, intervals, arrays, enums ...
    }
}

Reader readerFor(Oid type)
{
    switch (type) {
    case oid::Int2:
    case oid::Int4:
    case oid::Int8: return Reader::Integer;
    case oid::Bool: return Reader::Boolean;
    case oid::Float4:
    case oid::Float8: return Reader::Real;
    case oid::Money: return Reader::Money;
    case oid::Date: return Reader::Date;
    case oid::Time:
    case oid::Timetz: return Reader::Time;
    case oid::Timestamp:
    case oid::Timestamptz: return Reader::Timestamp;
    case oid::Bytea: return Reader::Bytea;
    default: return Reader::Text;
    }
}

namespace {

// Only what a result's description cannot say: the names of types not known here by number, and
// the table column behind each column that comes straight from one. Each column is looked up
// through an index, so the cost does not grow with the size of the schema.
const char *const kColumnCatalogue =
    "SELECT CASE WHEN c.typ <> 0 THEN format_type(c.typ, NULLIF(c.mod, -1)) END,"
    " n.nspname, r.relname, a.attname, a.attnotnull"
    " FROM unnest($1::oid[], $2::int4[], $3::oid[], $4::int4[]) WITH ORDINALITY AS c(typ, mod, tab, col, i)"
    " LEFT JOIN pg_attribute a ON a.attrelid = c.tab AND a.attnum = c.col AND c.col > 0 AND NOT a.attisdropped"
    " LEFT JOIN pg_class r ON r.oid = a.attrelid"
    " LEFT JOIN pg_namespace n ON n.oid = r.relnamespace"
    " ORDER BY c.i";

// The common question: the columns of one table, up to the last one a result has of it. The
// table's and its schema's names are looked up once, not joined to every column: the server
// answers in two thirds of the time.
const char *const kTableCatalogue =
    "SELECT a.attnum, a.attname, a.attnotnull, (SELECT r.relname FROM pg_class r WHERE r.oid = $1),"
    " (SELECT n.nspname FROM pg_namespace n WHERE n.oid = (SELECT r.relnamespace FROM pg_class r WHERE r.oid = $1))"
    " FROM pg_attribute a WHERE a.attrelid = $1 AND a.attnum BETWEEN 1 AND $2 AND NOT a.attisdropped";

constexpr const char *kCatalogueStatement = "tabulon_columns";
constexpr const char *kTableStatement = "tabulon_table_columns";
char preparedMark;

// The mark of a session holding kCatalogueStatement; a reset session has lost it.
int catalogueEvents(PGEventId id, void *info, void *)
{
    if (id == PGEVT_CONNRESET)
        PQsetInstanceData(static_cast<PGEventConnReset *>(info)->conn, catalogueEvents, nullptr);
    return 1;
}

std::vector<const char *> pointers(const ColumnQuestion &q)
{
    if (q.oneTable())
        return {q.table.c_str(), q.lastColumn.c_str()};
    return {q.types.c_str(), q.mods.c_str(), q.tables.c_str(), q.attnums.c_str()};
}

const char *statementFor(const ColumnQuestion &q)
{
    return q.oneTable() ? kTableStatement : kCatalogueStatement;
}

const char *queryFor(const ColumnQuestion &q)
{
    return q.oneTable() ? kTableCatalogue : kColumnCatalogue;
}

// The type name format_type gives a built-in type with this modifier (-1: none), when it does not
// need the catalogue; empty otherwise (arrays, rarer types, user types, odd modifiers). Built-in
// names are written unqualified, as pg_catalog comes first on the search path unless a user
// names it later.
QString builtinTypeName(Oid type, int typmod)
{
    auto plain = [typmod](const char *name) { return typmod == -1 ? QString::fromLatin1(name) : QString(); };
    // Precision of times and timestamps: "(p)" after the name, before any "with time zone".
    auto timed = [typmod](const char *name, const char *zone) {
        if (typmod < -1)
            return QString();
        return QString::fromLatin1(name) + (typmod >= 0 ? QStringLiteral("(%1)").arg(typmod) : QString())
               + QString::fromLatin1(zone);
    };
    // A length modifier counts a 4-byte header; none or an empty one is the bare name.
    auto sized = [typmod](const char *name) {
        return typmod > 4 ? QStringLiteral("%1(%2)").arg(QLatin1String(name)).arg(typmod - 4) : QString::fromLatin1(name);
    };
    switch (type) {
    case oid::Bool: return plain("boolean");
    case oid::Bytea: return plain("bytea");
    case oid::Name: return plain("name");
    case oid::Int8: return plain("bigint");
    case oid::Int2: return plain("smallint");
    case oid::Int4: return plain("integer");
    case oid::Text: return plain("text");
    case oid::Json: return plain("json");
    case oid::Xml: return plain("xml");
    case oid::Float4: return plain("real");
    case oid::Float8: return plain("double precision");
    case oid::Money: return plain("money");
    case oid::Bpchar: return sized("character");
    case oid::Varchar: return sized("character varying");
    case oid::Date: return plain("date");
    case oid::Time: return timed("time", " without time zone");
    case oid::Timestamp: return timed("timestamp", " without time zone");
    case oid::Timestamptz: return timed("timestamp", " with time zone");
    case oid::Timetz: return timed("time", " with time zone");
    case oid::Interval: return plain("interval");
    case oid::Uuid: return plain("uuid");
    case oid::Jsonb: return plain("jsonb");
    case oid::Numeric:
        if (typmod == -1)
            return QStringLiteral("numeric");
        if (typmod >= 4) {
            FieldInfo f;
            applyType(f, type, typmod);
            return QStringLiteral("numeric(%1,%2)").arg(f.Precision).arg(f.NumericScale);
        }
        return {};
    default: return {};
    }
}

// --- date and time text (DateStyle ISO) ---

struct Scanner {
    const char *p;
    const char *e;

    bool number(std::int64_t &v, int minDigits, int maxDigits)
    {
        const char *start = p;
        v = 0;
        while (p < e && *p >= '0' && *p <= '9' && p - start < maxDigits)
            v = v * 10 + (*p++ - '0');
        return p - start >= minDigits;
    }
    bool accept(char c)
    {
        if (p < e && *p == c) {
            ++p;
            return true;
        }
        return false;
    }
    bool acceptText(const char *s)
    {
        const std::size_t n = std::strlen(s);
        if (std::size_t(e - p) >= n && std::memcmp(p, s, n) == 0) {
            p += n;
            return true;
        }
        return false;
    }
};

// Proleptic Gregorian, astronomical years (1 BC = 0), as QDate counts Julian days.
std::int64_t julianDay(std::int64_t y, std::int64_t m, std::int64_t d)
{
    const std::int64_t a = (14 - m) / 12;
    const std::int64_t yy = y + 4800 - a;
    const std::int64_t mm = m + 12 * a - 3;
    auto fdiv = [](std::int64_t x, std::int64_t n) { return x >= 0 ? x / n : -((-x + n - 1) / n); };
    return d + (153 * mm + 2) / 5 + 365 * yy + fdiv(yy, 4) - fdiv(yy, 100) + fdiv(yy, 400) - 32045;
}

constexpr std::int64_t kUnixEpochJulianDay = 2440588;
constexpr std::int64_t kUsPerDay = 86400000000;

bool readYmd(Scanner &s, std::int64_t &y, std::int64_t &m, std::int64_t &d)
{
    return s.number(y, 4, 9) && s.accept('-') && s.number(m, 2, 2) && s.accept('-') && s.number(d, 2, 2) && m >= 1
           && m <= 12 && d >= 1 && d <= 31;
}

// Every digit of the fraction PostgreSQL sends (microseconds), and 24:00:00 as it is.
bool readHms(Scanner &s, std::int64_t &us)
{
    std::int64_t h, mi, sec;
    if (!(s.number(h, 2, 2) && s.accept(':') && s.number(mi, 2, 2) && s.accept(':') && s.number(sec, 2, 2)))
        return false;
    std::int64_t frac = 0;
    if (s.accept('.')) {
        int digits = 0;
        while (s.p < s.e && *s.p >= '0' && *s.p <= '9') {
            if (digits < 6)
                frac = frac * 10 + (*s.p - '0');
            ++digits;
            ++s.p;
        }
        for (; digits < 6; ++digits)
            frac *= 10;
    }
    us = ((h * 60 + mi) * 60 + sec) * 1000000 + frac;
    return h <= 24 && mi < 60 && sec <= 60 && us <= kUsPerDay;
}

// The offset a timestamptz or timetz arrives with ("+02", "-03:30", "+05:45:10"): kept, so the
// value names its instant and a literal written from it finds the same row.
bool readOffset(Scanner &s, int &zone)
{
    zone = RowStore::kNoZone;
    if (s.p >= s.e || (*s.p != '+' && *s.p != '-'))
        return true;
    const int sign = *s.p++ == '-' ? -1 : 1;
    std::int64_t h = 0, m = 0, sec = 0;
    if (!s.number(h, 2, 2))
        return false;
    if (s.accept(':')) {
        if (!s.number(m, 2, 2))
            return false;
        if (s.accept(':') && !s.number(sec, 2, 2))
            return false;
    }
    zone = sign * int(h * 3600 + m * 60 + sec);
    return true;
}

bool acceptEra(Scanner &s, std::int64_t &year)
{
    if (s.acceptText(" BC")) {
        year = 1 - year;
        return true;
    }
    return s.p == s.e;
}

bool parseDate(const char *p, std::size_t len, std::int64_t &out)
{
    if (len == 8 && std::memcmp(p, "infinity", 8) == 0) {
        out = RowStore::kInfinity;
        return true;
    }
    if (len == 9 && std::memcmp(p, "-infinity", 9) == 0) {
        out = RowStore::kMinusInfinity;
        return true;
    }
    Scanner s{p, p + len};
    std::int64_t y, m, d;
    if (!readYmd(s, y, m, d) || !acceptEra(s, y) || s.p != s.e)
        return false;
    out = julianDay(y, m, d);
    return true;
}

bool parseTime(const char *p, std::size_t len, std::int64_t &out, int &zone)
{
    Scanner s{p, p + len};
    return readHms(s, out) && readOffset(s, zone) && s.p == s.e;
}

bool parseTimestamp(const char *p, std::size_t len, std::int64_t &out, int &zone)
{
    zone = RowStore::kNoZone;
    if (len == 8 && std::memcmp(p, "infinity", 8) == 0) {
        out = RowStore::kInfinity;
        return true;
    }
    if (len == 9 && std::memcmp(p, "-infinity", 9) == 0) {
        out = RowStore::kMinusInfinity;
        return true;
    }
    Scanner s{p, p + len};
    std::int64_t y, m, d, us;
    if (!readYmd(s, y, m, d) || !s.accept(' ') || !readHms(s, us) || !readOffset(s, zone))
        return false;
    if (!acceptEra(s, y) || s.p != s.e)
        return false;
    // The server's last years lie beyond microseconds since 1970 in 64 bits: refused, never wrapped.
    std::int64_t days = 0;
    return !__builtin_mul_overflow(julianDay(y, m, d) - kUnixEpochJulianDay, kUsPerDay, &days)
           && !__builtin_add_overflow(days, us, &out) && out != RowStore::kInfinity && out != RowStore::kMinusInfinity;
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool decodeBytea(const char *p, std::size_t len, std::string &out)
{
    out.clear();
    if (len >= 2 && p[0] == '\\' && p[1] == 'x') {
        if (len % 2 != 0)
            return false;
        out.resize((len - 2) / 2);
        for (std::size_t i = 2, o = 0; i < len; i += 2, ++o) {
            const int hi = hexDigit(p[i]), lo = hexDigit(p[i + 1]);
            if (hi < 0 || lo < 0)
                return false;
            out[o] = char(hi << 4 | lo);
        }
        return true;
    }
    // The old escape format, should a server still send it.
    const std::string z(p, len);
    std::size_t n = 0;
    unsigned char *raw = PQunescapeBytea(reinterpret_cast<const unsigned char *>(z.c_str()), &n);
    if (!raw)
        return false;
    out.assign(reinterpret_cast<const char *>(raw), n);
    PQfreemem(raw);
    return true;
}

[[noreturn]] void unreadable(const Column &c, const char *p, int len)
{
    throw DbError(QStringLiteral("PostgreSQL: the value '%1' of column %2 cannot be read as %3")
                      .arg(QString::fromUtf8(p, qMin(len, 80)), c.field.Name, c.field.DeclaredType));
}

// --- binary values ---

std::uint64_t bigEndian(const char *p, int len)
{
    std::uint64_t v = 0;
    for (int i = 0; i < len; ++i)
        v = v << 8 | std::uint8_t(p[i]);
    return v;
}

std::int64_t signedBigEndian(const char *p, int len)
{
    const std::uint64_t v = bigEndian(p, len);
    const int shift = 64 - 8 * len;
    return std::int64_t(v << shift) >> shift;
}

// PostgreSQL counts dates and timestamps from 2000-01-01.
constexpr std::int64_t kPgEpochJulianDay = 2451545;
constexpr std::int64_t kPgEpochUnixUs = (kPgEpochJulianDay - kUnixEpochJulianDay) * kUsPerDay;

// The text numeric_out writes for a binary numeric: base-10000 digits, weight of the first, sign,
// and the display scale (digits after the point, trailing zeros included).
bool numericText(const char *p, int len, std::string &out)
{
    if (len < 8)
        return false;
    const int ndigits = int(signedBigEndian(p, 2));
    const int weight = int(signedBigEndian(p + 2, 2));
    const unsigned sign = unsigned(bigEndian(p + 4, 2));
    const int dscale = int(signedBigEndian(p + 6, 2));
    if (ndigits < 0 || dscale < 0 || len != 8 + 2 * ndigits)
        return false;
    out.clear();
    switch (sign) {
    case 0xC000: out = "NaN"; return true;
    case 0xD000: out = "Infinity"; return true;
    case 0xF000: out = "-Infinity"; return true;
    case 0x0000: break;
    case 0x4000: out = '-'; break;
    default: return false;
    }
    auto digit = [&](int i) -> int {
        if (i < 0 || i >= ndigits)
            return 0;
        return int(bigEndian(p + 8 + 2 * i, 2));
    };
    for (int i = 0; i < ndigits; ++i)
        if (digit(i) > 9999)
            return false;
    // A group of four digits; the first without its leading zeros.
    auto put = [&](int v, int digits, bool leading) {
        char group[4] = {char('0' + v / 1000), char('0' + v / 100 % 10), char('0' + v / 10 % 10), char('0' + v % 10)};
        int from = 0;
        if (leading)
            while (from < 3 && group[from] == '0')
                ++from;
        out.append(group + from, std::size_t(std::min(4 - from, digits)));
    };
    if (weight < 0) {
        out += '0';
    } else {
        for (int i = 0; i <= weight; ++i)
            put(digit(i), 4, i == 0);
    }
    if (dscale > 0) {
        out += '.';
        for (int i = weight + 1, written = 0; written < dscale; ++i, written += 4)
            put(digit(i), dscale - written, false);
    }
    return true;
}

void uuidText(const char *p, std::string &out)
{
    static const char hex[] = "0123456789abcdef";
    out.clear();
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10)
            out += '-';
        out += hex[std::uint8_t(p[i]) >> 4];
        out += hex[std::uint8_t(p[i]) & 15];
    }
}

[[noreturn]] void unreadableBinary(const Column &c, std::int64_t value)
{
    throw DbError(QStringLiteral("PostgreSQL: a value of column %1 (%2) cannot be read as %3")
                      .arg(c.field.Name)
                      .arg(value)
                      .arg(c.field.DeclaredType));
}

void appendBinaryRows(const std::vector<Column> &columns, const PGresult *res, int first, int count, RowStore &store)
{
    const int ncols = int(columns.size());
    std::vector<std::int64_t> ints(static_cast<std::size_t>(ncols), 0);
    std::vector<double> reals(static_cast<std::size_t>(ncols), 0);
    std::vector<std::string> texts(static_cast<std::size_t>(ncols));
    // Each cell is asked of libpq once: its bytes (nullptr for a Null) and length.
    std::vector<const char *> values(static_cast<std::size_t>(ncols));
    std::vector<int> lengths(static_cast<std::size_t>(ncols));
    for (int r = first; r < first + count; ++r) {
        // As with text: every value is read before the row is begun.
        for (int c = 0; c < ncols; ++c) {
            const std::size_t i = std::size_t(c);
            if (PQgetisnull(res, r, c)) {
                values[i] = nullptr;
                continue;
            }
            const Column &col = columns[i];
            const char *p = PQgetvalue(res, r, c);
            const int len = PQgetlength(res, r, c);
            values[i] = p;
            lengths[i] = len;
            bool ok = true;
            switch (col.type) {
            case oid::Int2: ok = len == 2; break;
            case oid::Int4: ok = len == 4; break;
            case oid::Int8:
            case oid::Time: ok = len == 8; break;
            case oid::Bool: ok = len == 1; break;
            case oid::Float4: {
                ok = len == 4;
                if (ok) {
                    // As the text form gives it: the float's shortest decimal, not its binary
                    // value widened (0.1, not 0.100000001490116).
                    const float f = std::bit_cast<float>(std::uint32_t(bigEndian(p, 4)));
                    char buf[32];
                    const auto end = std::to_chars(buf, buf + sizeof buf, f).ptr;
                    std::from_chars(buf, end, reals[i]);
                    if (!std::isfinite(f))
                        reals[i] = double(f);
                }
                break;
            }
            case oid::Float8:
                ok = len == 8;
                if (ok)
                    reals[i] = std::bit_cast<double>(bigEndian(p, 8));
                break;
            case oid::Date:
                ok = len == 4;
                if (ok) {
                    const std::int64_t days = signedBigEndian(p, 4);
                    ints[i] = days == INT32_MAX   ? RowStore::kInfinity
                              : days == INT32_MIN ? RowStore::kMinusInfinity
                                                  : days + kPgEpochJulianDay;
                }
                break;
            case oid::Timestamp:
                ok = len == 8;
                if (ok) {
                    const std::int64_t us = signedBigEndian(p, 8);
                    if (us == INT64_MAX || us == INT64_MIN) {
                        ints[i] = us == INT64_MAX ? RowStore::kInfinity : RowStore::kMinusInfinity;
                    } else if (__builtin_add_overflow(us, kPgEpochUnixUs, &ints[i]) || ints[i] == RowStore::kInfinity
                               || ints[i] == RowStore::kMinusInfinity) {
                        unreadableBinary(col, us);
                    }
                }
                break;
            case oid::Numeric: ok = numericText(p, len, texts[i]); break;
            case oid::Uuid:
                ok = len == 16;
                if (ok)
                    uuidText(p, texts[i]);
                break;
            default: break; // text and bytea are stored as they come
            }
            if (!ok)
                unreadableBinary(col, len);
            if (col.type == oid::Int2 || col.type == oid::Int4 || col.type == oid::Int8 || col.type == oid::Time)
                ints[i] = signedBigEndian(p, len);
            else if (col.type == oid::Bool)
                ints[i] = p[0] != 0 ? 1 : 0;
        }
        store.beginRow();
        for (int c = 0; c < ncols; ++c) {
            const std::size_t i = std::size_t(c);
            if (!values[i])
                continue; // a column left unset is Null
            switch (columns[i].type) {
            case oid::Float4:
            case oid::Float8: store.setReal(c, reals[i]); break;
            case oid::Numeric:
            case oid::Uuid: store.setText(c, texts[i].data(), texts[i].size()); break;
            case oid::Bytea: store.setBlob(c, values[i], std::size_t(lengths[i])); break;
            case oid::Int2:
            case oid::Int4:
            case oid::Int8:
            case oid::Bool:
            case oid::Date:
            case oid::Time:
            case oid::Timestamp: store.setInt64(c, ints[i]); break;
            default: store.setText(c, values[i], std::size_t(lengths[i])); break;
            }
        }
        store.endRow();
    }
}

} // namespace

ColumnQuestion columnQuestion(const PGresult *desc)
{
    ColumnQuestion q;
    const int n = PQnfields(desc);
    bool needed = false;
    q.types = q.mods = q.tables = q.attnums = "{";
    auto add = [](std::string &list, long long v) {
        if (list.size() > 1)
            list += ',';
        list += std::to_string(v);
    };
    bool allNamed = true;
    Oid onlyTable = InvalidOid;
    bool oneTable = true;
    int lastColumn = 0;
    for (int i = 0; i < n; ++i) {
        const Oid type = PQftype(desc, i);
        const int mod = PQfmod(desc, i);
        const bool named = !builtinTypeName(type, mod).isEmpty();
        const Oid table = PQftablecol(desc, i) > 0 ? PQftable(desc, i) : InvalidOid;
        needed = needed || !named || table != InvalidOid;
        allNamed = allNamed && named;
        if (table != InvalidOid) {
            oneTable = oneTable && (onlyTable == InvalidOid || onlyTable == table);
            onlyTable = table;
            lastColumn = std::max(lastColumn, PQftablecol(desc, i));
        }
        add(q.types, named ? 0 : type);
        add(q.mods, mod);
        add(q.tables, table);
        add(q.attnums, table != InvalidOid ? PQftablecol(desc, i) : 0);
    }
    for (std::string *s : {&q.types, &q.mods, &q.tables, &q.attnums})
        *s += '}';
    if (!needed)
        return {};
    if (allNamed && oneTable && onlyTable != InvalidOid) {
        q.table = std::to_string(onlyTable);
        q.lastColumn = std::to_string(lastColumn);
    }
    return q;
}

bool catalogueReady(PGconn *conn)
{
    return PQinstanceData(conn, catalogueEvents) != nullptr;
}

// Unless told otherwise, the session plans the prepared statement afresh for its first runs and
// keeps a generic plan once that costs no more.
bool sendCataloguePreparation(PGconn *conn)
{
    // Registered once per connection; a second registration (after a preparation that failed)
    // is refused and changes nothing.
    PQregisterEventProc(conn, catalogueEvents, kCatalogueStatement, nullptr);
    return PQsendPrepare(conn, kCatalogueStatement, kColumnCatalogue, 0, nullptr) == 1
           && PQsendPrepare(conn, kTableStatement, kTableCatalogue, 0, nullptr) == 1;
}

void markCatalogueReady(PGconn *conn)
{
    PQsetInstanceData(conn, catalogueEvents, &preparedMark);
}

bool sendCatalogue(PGconn *conn, const ColumnQuestion &q)
{
    const std::vector<const char *> values = pointers(q);
    return PQsendQueryPrepared(conn, statementFor(q), int(values.size()), values.data(), nullptr, nullptr, 0) == 1;
}

std::vector<Column> describeColumns(const PGresult *desc, const ColumnQuestion &q, const PGresult *answer)
{
    const int n = PQnfields(desc);
    std::vector<Column> cols(std::size_t(std::max(n, 0)));
    QHash<int, int> rowOf; // table column number -> row of a one-table answer
    if (answer && q.oneTable()) {
        for (int r = 0; r < PQntuples(answer); ++r)
            rowOf.insert(std::atoi(PQgetvalue(answer, r, 0)), r);
    }
    for (int i = 0; i < n; ++i) {
        Column &c = cols[std::size_t(i)];
        c.field.Name = QString::fromUtf8(PQfname(desc, i));
        // A domain arrives as the type under it, with that type's modifier.
        const Oid type = PQftype(desc, i);
        const int mod = PQfmod(desc, i);
        c.field.DeclaredType = builtinTypeName(type, mod);
        if (answer && q.oneTable()) {
            // The table's columns up to the last asked for, in no set order.
            const int r = PQftablecol(desc, i) > 0 ? rowOf.value(PQftablecol(desc, i), -1) : -1;
            if (r >= 0) {
                c.field.BaseColumnName = text(answer, r, 1);
                c.field.Nullable = PQgetvalue(answer, r, 2)[0] != 't';
                c.field.BaseTableName = text(answer, r, 3);
                c.field.BaseSchemaName = text(answer, r, 4);
            }
        } else if (answer && i < PQntuples(answer)) {
            if (!PQgetisnull(answer, i, 0))
                c.field.DeclaredType = text(answer, i, 0);
            if (!PQgetisnull(answer, i, 3)) {
                c.field.BaseSchemaName = text(answer, i, 1);
                c.field.BaseTableName = text(answer, i, 2);
                c.field.BaseColumnName = text(answer, i, 3);
                c.field.Nullable = PQgetvalue(answer, i, 4)[0] != 't';
            }
        }
        applyType(c.field, type, mod);
        c.reader = readerFor(type);
        c.type = type;
    }
    return cols;
}

std::vector<Column> describeColumns(PGconn *conn, const PGresult *res, bool keep)
{
    const ColumnQuestion q = columnQuestion(res);
    if (q.empty())
        return describeColumns(res, q, nullptr);
    const QString sql = QString::fromLatin1(queryFor(q));
    ResultPtr answer;
    if (keep && catalogueReady(conn)) {
        const std::vector<const char *> values = pointers(q);
        answer = checked(conn,
                         PQexecPrepared(conn, statementFor(q), int(values.size()), values.data(), nullptr, nullptr, 0),
                         sql);
    } else if (q.oneTable()) {
        answer = exec(conn, kTableCatalogue, {q.table, q.lastColumn});
    } else {
        answer = exec(conn, kColumnCatalogue, {q.types, q.mods, q.tables, q.attnums});
    }
    return describeColumns(res, q, answer.get());
}

std::vector<FieldInfo> fieldsOf(const std::vector<Column> &columns)
{
    std::vector<FieldInfo> fields;
    fields.reserve(columns.size());
    for (const Column &c : columns)
        fields.push_back(c.field);
    return fields;
}

bool readableInBinary(const std::vector<Column> &columns)
{
    for (const Column &c : columns) {
        switch (c.type) {
        case oid::Int2:
        case oid::Int4:
        case oid::Int8:
        case oid::Bool:
        case oid::Float4:
        case oid::Float8:
        case oid::Date:
        case oid::Time:
        case oid::Timestamp:
        case oid::Numeric:
        case oid::Uuid:
        case oid::Bytea:
        case oid::Text:
        case oid::Varchar:
        case oid::Bpchar:
        case oid::Name: break;
        default: return false;
        }
    }
    return !columns.empty();
}

void appendRows(const std::vector<Column> &columns, const PGresult *res, int first, int count, RowStore &store)
{
    if (!columns.empty() && PQfformat(res, 0) == 1) {
        appendBinaryRows(columns, res, first, count, store);
        return;
    }
    const int ncols = int(columns.size());
    std::vector<std::int64_t> ints(static_cast<std::size_t>(ncols), 0);
    std::vector<int> zones(static_cast<std::size_t>(ncols), RowStore::kNoZone);
    std::vector<double> reals(static_cast<std::size_t>(ncols), 0);
    std::vector<std::string> blobs(static_cast<std::size_t>(ncols));
    for (int r = first; r < first + count; ++r) {
        // Every value is converted before the row is begun, so a value that cannot be read
        // leaves no half-written row behind.
        for (int c = 0; c < ncols; ++c) {
            const Column &col = columns[std::size_t(c)];
            if (col.reader == Reader::Text || col.reader == Reader::Boolean || PQgetisnull(res, r, c))
                continue;
            const char *p = PQgetvalue(res, r, c);
            const int len = PQgetlength(res, r, c);
            const std::size_t n = std::size_t(len);
            bool ok = false;
            switch (col.reader) {
            case Reader::Integer: {
                const auto rc = std::from_chars(p, p + len, ints[std::size_t(c)]);
                ok = rc.ec == std::errc() && rc.ptr == p + len;
                break;
            }
            case Reader::Real: {
                const auto rc = std::from_chars(p, p + len, reals[std::size_t(c)]);
                ok = rc.ec == std::errc() && rc.ptr == p + len;
                break;
            }
            case Reader::Money:
                // Exact: the range of money has more digits than a double.
                if (auto money = moneyDecimal(std::string_view(p, n))) {
                    blobs[std::size_t(c)] = std::move(*money);
                    ok = true;
                }
                break;
            case Reader::Date: ok = parseDate(p, n, ints[std::size_t(c)]); break;
            case Reader::Time: ok = parseTime(p, n, ints[std::size_t(c)], zones[std::size_t(c)]); break;
            case Reader::Timestamp: ok = parseTimestamp(p, n, ints[std::size_t(c)], zones[std::size_t(c)]); break;
            case Reader::Bytea: ok = decodeBytea(p, n, blobs[std::size_t(c)]); break;
            case Reader::Text:
            case Reader::Boolean: ok = true; break;
            }
            if (!ok)
                unreadable(col, p, len);
        }
        store.beginRow();
        for (int c = 0; c < ncols; ++c) {
            if (PQgetisnull(res, r, c)) {
                store.setNull(c);
                continue;
            }
            switch (columns[std::size_t(c)].reader) {
            case Reader::Text: store.setText(c, PQgetvalue(res, r, c), std::size_t(PQgetlength(res, r, c))); break;
            case Reader::Boolean: store.setInt64(c, PQgetvalue(res, r, c)[0] == 't' ? 1 : 0); break;
            case Reader::Integer:
            case Reader::Date: store.setInt64(c, ints[std::size_t(c)]); break;
            case Reader::Time:
            case Reader::Timestamp:
                store.setInt64(c, ints[std::size_t(c)]);
                if (zones[std::size_t(c)] != RowStore::kNoZone)
                    store.setZone(c, zones[std::size_t(c)]);
                break;
            case Reader::Real: store.setReal(c, reals[std::size_t(c)]); break;
            case Reader::Money:
            case Reader::Bytea: {
                const std::string &b = blobs[std::size_t(c)];
                store.setBlob(c, b.data(), b.size());
                break;
            }
            }
        }
        store.endRow();
    }
}

std::shared_ptr<RowStore> storeOf(PGconn *conn, const PGresult *res, long maxRecords)
{
    const std::vector<Column> columns = describeColumns(conn, res);
    auto store = std::make_shared<RowStore>(fieldsOf(columns));
    int rows = PQntuples(res);
    if (maxRecords > 0 && rows > maxRecords)
        rows = int(maxRecords);
    store->reserve(std::size_t(rows));
    appendRows(columns, res, 0, rows, *store);
    return store;
}

std::shared_ptr<RowStore> emptyStore()
{
    return std::make_shared<RowStore>(std::vector<FieldInfo>{});
}

std::optional<std::string> paramText(const QVariant &value, Oid type)
{
    if (!value.isValid() || value.isNull())
        return std::nullopt;
    switch (value.typeId()) {
    case QMetaType::Bool: return value.toBool() ? "true" : "false";
    case QMetaType::Double:
    case QMetaType::Float: return QString::number(value.toDouble(), 'g', 17).toStdString();
    case QMetaType::QDate: return value.toDate().toString(Qt::ISODate).toStdString();
    case QMetaType::QTime: return value.toTime().toString(QStringLiteral("HH:mm:ss.zzz")).toStdString();
    case QMetaType::QDateTime: {
        const QDateTime dt = value.toDateTime();
        QString text = dt.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
        // A value with its own offset names an instant; others are wall-clock readings.
        if (dt.timeSpec() == Qt::OffsetFromUTC) {
            const int z = dt.offsetFromUtc();
            text += QStringLiteral("%1%2:%3")
                        .arg(z < 0 ? u'-' : u'+')
                        .arg(std::abs(z) / 3600, 2, 10, QLatin1Char('0'))
                        .arg(std::abs(z) / 60 % 60, 2, 10, QLatin1Char('0'));
        }
        return text.toStdString();
    }
    case QMetaType::QByteArray: {
        const QByteArray bytes = value.toByteArray();
        if (type == oid::Bytea)
            return (QByteArrayLiteral("\\x") + bytes.toHex()).toStdString();
        return bytes.toStdString();
    }
    default: return value.toString().toStdString();
    }
}

} // namespace db::pg
