#include "db/ConnectionString.h"

#include "db/DbError.h"

#include <QStringList>

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
    // The reader trims every kind of blank from a bare value, not only the separators it skips.
    if (v.front().isSpace() || v.back().isSpace())
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

namespace {

bool isKeyChar(QChar c)
{
    return c.isLetterOrNumber() || c == u'_';
}

// Length of a secret's key at `at` ("Password", "PWD", or a libpq keyword that holds a secret;
// any case, blanks before the '='), up to and including the '='; 0 when there is none. The key
// must not be the tail of a longer word.
qsizetype passwordKeyAt(const QString &text, qsizetype at)
{
    if (at > 0 && isKeyChar(text.at(at - 1)))
        return 0;
    for (const QLatin1String word : {QLatin1String("password"), QLatin1String("pwd"), QLatin1String("sslpassword"),
                                     QLatin1String("oauth_client_secret")}) {
        if (QStringView(text).mid(at, word.size()).compare(word, Qt::CaseInsensitive) != 0)
            continue;
        qsizetype i = at + word.size();
        while (i < text.size() && text.at(i).isSpace())
            ++i;
        if (i < text.size() && text.at(i) == u'=')
            return i + 1 - at;
    }
    return 0;
}

} // namespace

QString maskPasswords(const QString &connectionString)
{
    // A linear scan rather than the parser, so that text the parser rejects (or a libpq keyword
    // list quoted inside a message) is masked too; and it fails closed: a quoted value that never
    // closes, or that is followed by anything but ';', hides everything after the key, as does
    // a string the parser rejects once a password key has been seen.
    const QString &text = connectionString;
    const qsizetype n = text.size();
    bool wellFormed = true;
    try {
        ConnectionString::parse(text);
    } catch (...) {
        wellFormed = false;
    }
    QString out;
    out.reserve(n);
    qsizetype i = 0;
    while (i < n) {
        const qsizetype keyLength = passwordKeyAt(text, i);
        if (keyLength == 0) {
            out += text.at(i++);
            continue;
        }
        out += QStringView(text).mid(i, keyLength);
        i += keyLength;
        while (i < n && text.at(i).isSpace())
            out += text.at(i++);
        const bool quoted = i < n && (text.at(i) == u'"' || text.at(i) == u'\'' || text.at(i) == u'{');
        if (!wellFormed) {
            if (quoted)
                out += text.at(i);
            if (i < n)
                out += QStringLiteral("****");
            return out;
        }
        if (quoted) {
            const QChar quote = text.at(i);
            const QChar closer = closerOf(quote);
            qsizetype j = i + 1;
            bool closed = false;
            while (j < n) {
                if (text.at(j) == closer) {
                    if (j + 1 < n && text.at(j + 1) == closer) {
                        j += 2;
                        continue;
                    }
                    closed = true;
                    break;
                }
                ++j;
            }
            out += quote + QStringLiteral("****");
            if (!closed)
                return out;
            out += closer;
            i = j + 1;
            qsizetype k = i;
            while (k < n && text.at(k).isSpace())
                ++k;
            if (k < n && text.at(k) != u';')
                return out; // trailing text after the value: nothing more is shown
            continue;
        }
        qsizetype j = i;
        while (j < n && text.at(j) != u';')
            ++j;
        if (!QStringView(text).mid(i, j - i).trimmed().isEmpty())
            out += QStringLiteral("****");
        i = j;
    }
    return out;
}

} // namespace db
