#include "db/ConnectionString.h"

#include "db/DbError.h"

#include <QRegularExpression>

namespace db {

namespace {

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

bool sameKey(const QString &a, const QString &b)
{
    return a.trimmed().compare(b.trimmed(), Qt::CaseInsensitive) == 0;
}

QChar closerOf(QChar quote)
{
    return quote == u'{' ? QChar(u'}') : quote;
}

// A bare value must be quoted when the parser would otherwise read it differently.
bool needsQuoting(const QString &v)
{
    if (v.isEmpty())
        return false;
    if (isBlank(v.front()) || isBlank(v.back()))
        return true;
    const QChar first = v.front();
    return v.contains(u';') || first == u'"' || first == u'\'' || first == u'{';
}

QString quoted(const QString &value, QChar quote)
{
    const QChar closer = closerOf(quote);
    QString body = value;
    body.replace(closer, QString(2, closer));
    return quote + body + closer;
}

} // namespace

ConnectionString ConnectionString::parse(const QString &text)
{
    ConnectionString cs;
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n) {
        while (i < n && (isBlank(text[i]) || text[i] == u';'))
            ++i;
        if (i >= n)
            break;
        const qsizetype keyStart = i;
        while (i < n && text[i] != u'=' && text[i] != u';')
            ++i;
        const QString key = text.mid(keyStart, i - keyStart).trimmed();
        if (i >= n || text[i] == u';')
            throw DbError(QStringLiteral("The connection string has no '=' after \"%1\" (position %2)")
                              .arg(key)
                              .arg(keyStart + 1));
        if (key.isEmpty())
            throw DbError(QStringLiteral("The connection string has a value without a key (position %1)").arg(i + 1));
        ++i; // '='
        while (i < n && isBlank(text[i]))
            ++i;

        Pair pair{key, QString(), QChar()};
        if (i < n && (text[i] == u'"' || text[i] == u'\'' || text[i] == u'{')) {
            const QChar quote = text[i];
            const QChar closer = closerOf(quote);
            const qsizetype openAt = i++;
            bool closed = false;
            while (i < n) {
                if (text[i] == closer) {
                    if (i + 1 < n && text[i + 1] == closer) {
                        pair.value += closer;
                        i += 2;
                        continue;
                    }
                    ++i;
                    closed = true;
                    break;
                }
                pair.value += text[i++];
            }
            if (!closed)
                throw DbError(QStringLiteral("The value of \"%1\" has an unclosed %2 (position %3)")
                                  .arg(key, quote == u'{' ? QStringLiteral("brace") : QStringLiteral("quote"))
                                  .arg(openAt + 1));
            while (i < n && isBlank(text[i]))
                ++i;
            if (i < n && text[i] != u';')
                throw DbError(QStringLiteral("Unexpected text after the value of \"%1\" (position %2)").arg(key).arg(i + 1));
            pair.quote = quote;
        } else {
            const qsizetype valueStart = i;
            while (i < n && text[i] != u';')
                ++i;
            pair.value = text.mid(valueStart, i - valueStart).trimmed();
        }
        cs.m_pairs.push_back(std::move(pair));
    }
    return cs;
}

std::optional<QString> ConnectionString::value(const QString &key) const
{
    for (const Pair &p : m_pairs) {
        if (sameKey(p.key, key))
            return p.value;
    }
    return std::nullopt;
}

QString ConnectionString::value(const QString &key, const QString &fallback) const
{
    return value(key).value_or(fallback);
}

void ConnectionString::setValue(const QString &key, const QString &value)
{
    for (Pair &p : m_pairs) {
        if (sameKey(p.key, key)) {
            p.value = value;
            return;
        }
    }
    m_pairs.push_back(Pair{key.trimmed(), value, QChar()});
}

void ConnectionString::remove(const QString &key)
{
    std::erase_if(m_pairs, [&](const Pair &p) { return sameKey(p.key, key); });
}

db::Provider ConnectionString::provider() const
{
    const QString name = value(QStringLiteral("Provider"), QString()).trimmed();
    if (name.isEmpty()) {
        if (value(QStringLiteral("DSN")) || value(QStringLiteral("Driver")))
            return Provider::ODBC;
        return Provider::SQLite;
    }
    auto is = [&](const char *candidate) { return name.compare(QLatin1String(candidate), Qt::CaseInsensitive) == 0; };
    if (is("SQLite"))
        return Provider::SQLite;
    if (is("PostgreSQL") || is("Postgres") || is("PgSQL"))
        return Provider::PostgreSQL;
    if (is("ODBC"))
        return Provider::ODBC;
    throw DbError(QStringLiteral("Unknown provider: %1").arg(name));
}

QString ConnectionString::toString() const
{
    QStringList parts;
    parts.reserve(qsizetype(m_pairs.size()));
    for (const Pair &p : m_pairs) {
        QChar quote = p.quote;
        if (quote.isNull() && needsQuoting(p.value))
            quote = p.value.contains(u'"') && !p.value.contains(u'\'') ? QChar(u'\'') : QChar(u'"');
        parts << p.key + u'=' + (quote.isNull() ? p.value : quoted(p.value, quote));
    }
    return parts.join(u';');
}

QString maskPasswords(const QString &connectionString)
{
    // A pattern rather than the parser, so that text the parser rejects (or a libpq keyword list
    // quoted inside a message) is masked too. An unclosed quote masks to the end.
    static const QRegularExpression re(QStringLiteral(R"((\b(?:password|pwd)\s*=\s*)(?:"((?:[^"]|"")*)("?)|'((?:[^']|'')*)('?)|\{((?:[^}]|\}\})*)(\}?)|([^;]*)))"),
                                       QRegularExpression::CaseInsensitiveOption);
    QString out;
    qsizetype last = 0;
    auto it = re.globalMatch(connectionString);
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        out += QStringView(connectionString).mid(last, m.capturedStart() - last);
        out += m.captured(1);
        const QString bare = m.captured(8);
        if (m.capturedStart(2) >= 0)
            out += u'"' + QStringLiteral("****") + m.captured(3);
        else if (m.capturedStart(4) >= 0)
            out += u'\'' + QStringLiteral("****") + m.captured(5);
        else if (m.capturedStart(6) >= 0)
            out += u'{' + QStringLiteral("****") + m.captured(7);
        else if (!bare.trimmed().isEmpty())
            out += QStringLiteral("****");
        last = m.capturedEnd();
    }
    out += QStringView(connectionString).mid(last);
    return out;
}

} // namespace db
