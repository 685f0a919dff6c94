// Connection strings: parse, write, the driver manager's form, the driver check and masking.
#include "FuzzSupport.h"

#include "db/ConnectionString.h"
#include "db/DbError.h"
#include "db/OdbcConnectString.h"

using db::ConnectionString;

namespace {

bool isPasswordKey(const QString &key)
{
    const QString k = key.trimmed();
    return k.compare(QLatin1String("Password"), Qt::CaseInsensitive) == 0
        || k.compare(QLatin1String("PWD"), Qt::CaseInsensitive) == 0;
}

std::optional<ConnectionString> parsed(const QString &text)
{
    try {
        return ConnectionString::parse(text);
    } catch (const db::DbError &e) {
        FUZZ_CHECK(!e.message().isEmpty(), text);
        return std::nullopt;
    }
}

void checkSameValues(const ConnectionString &a, const ConnectionString &b, const QString &text)
{
    FUZZ_CHECK(a.pairs().size() == b.pairs().size(), text);
    for (std::size_t i = 0; i < a.pairs().size(); ++i) {
        FUZZ_CHECK(a.pairs()[i].key.trimmed() == b.pairs()[i].key.trimmed(), text);
        FUZZ_CHECK(a.pairs()[i].value == b.pairs()[i].value, text);
    }
}

void checkMasking(const QString &text, const std::optional<ConnectionString> &cs)
{
    const QString masked = db::maskPasswords(text);
    if (!cs)
        return;
    for (const auto &p : cs->pairs()) {
        if (!isPasswordKey(p.key) || p.value.trimmed().size() < 4)
            continue;
        // A secret found nowhere else in the text must not be shown.
        if (text.count(p.value) == 1)
            FUZZ_CHECK(!masked.contains(p.value), text);
    }
    // Where the masked text still reads as a connection string, each password reads as the mask.
    if (const auto back = parsed(masked)) {
        for (const auto &p : back->pairs())
            if (isPasswordKey(p.key))
                FUZZ_CHECK(p.value.isEmpty() || p.value == QLatin1String("****"), text + QLatin1String(" → ") + masked);
    }
}

// The driver manager's reading of "key=value;" with {braced} values, "}}" standing for "}".
std::optional<std::vector<std::pair<QString, QString>>> odbcPairs(const QString &text)
{
    std::vector<std::pair<QString, QString>> pairs;
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n) {
        const qsizetype eq = text.indexOf(u'=', i);
        if (eq < 0)
            return std::nullopt;
        QString key = text.mid(i, eq - i);
        i = eq + 1;
        QString value;
        if (i < n && text.at(i) == u'{') {
            ++i;
            bool closed = false;
            while (i < n) {
                if (text.at(i) == u'}') {
                    if (i + 1 < n && text.at(i + 1) == u'}') {
                        value += u'}';
                        i += 2;
                        continue;
                    }
                    ++i;
                    closed = true;
                    break;
                }
                value += text.at(i++);
            }
            if (!closed || (i < n && text.at(i) != u';'))
                return std::nullopt;
        } else {
            const qsizetype end = text.indexOf(u';', i);
            value = text.mid(i, (end < 0 ? n : end) - i);
            i = end < 0 ? n : end;
        }
        if (i < n)
            ++i; // ';'
        pairs.emplace_back(key, value);
    }
    return pairs;
}

void checkDriverForm(const ConnectionString &cs, const QString &text)
{
    QString odbc;
    try {
        odbc = db::odbc::driverConnectString(cs);
    } catch (const db::DbError &) {
        return; // names neither a data source nor a driver
    }
    // The driver manager reads back every value we meant.
    const auto back = odbcPairs(odbc);
    FUZZ_CHECK(back.has_value(), text + QLatin1String(" → ") + odbc);
    std::vector<QString> values;
    for (const auto &p : cs.pairs())
        if (p.key.trimmed().compare(QLatin1String("Provider"), Qt::CaseInsensitive) != 0)
            values.push_back(p.value);
    FUZZ_CHECK(values.size() == back->size(), text + QLatin1String(" → ") + odbc);
    for (std::size_t i = 0; i < values.size(); ++i)
        FUZZ_CHECK((*back)[i].second == values[i], text + QLatin1String(" → ") + odbc);

    // Only a registered driver, by name, passes the check.
    bool fileDsn = false;
    for (const auto &p : cs.pairs())
        fileDsn = fileDsn || p.key.trimmed().compare(QLatin1String("FileDSN"), Qt::CaseInsensitive) == 0;
    if (fileDsn)
        return; // names a file on this machine
    try {
        db::odbc::checkDriverTarget(cs, {QStringLiteral("SQLite3")});
    } catch (const db::DbError &e) {
        FUZZ_CHECK(!e.message().isEmpty(), text);
        return;
    }
    for (const auto &p : cs.pairs()) {
        const QString key = p.key.trimmed();
        if (key.compare(QLatin1String("Driver"), Qt::CaseInsensitive) == 0)
            FUZZ_CHECK(p.value.trimmed().compare(QLatin1String("SQLite3"), Qt::CaseInsensitive) == 0, text);
        FUZZ_CHECK(key.compare(QLatin1String("SaveFile"), Qt::CaseInsensitive) != 0, text);
        FUZZ_CHECK(!p.value.contains(QChar(0)) && !p.key.contains(QChar(0)), text);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = fuzz::utf8(data, size);
    const auto cs = parsed(text);
    checkMasking(text, cs);
    if (!cs)
        return 0;

    // What is written reads back the same.
    const QString written = cs->toString();
    const auto back = parsed(written);
    FUZZ_CHECK(back.has_value(), text + QLatin1String(" → ") + written);
    checkSameValues(*cs, *back, text);
    FUZZ_CHECK(back->toString() == written, text);

    // A value set in place survives the writer whatever it holds.
    ConnectionString changed = *cs;
    changed.setValue(QStringLiteral("Tabulon Value"), text);
    const auto reread = parsed(changed.toString());
    FUZZ_CHECK(reread.has_value(), text);
    FUZZ_CHECK(reread->value(QStringLiteral("Tabulon Value")) == std::optional<QString>(text), text);

    try {
        cs->provider();
    } catch (const db::DbError &e) {
        FUZZ_CHECK(e.message().startsWith(QLatin1String("Unknown provider")), text);
    }
    checkDriverForm(*cs, text);
    return 0;
}
