#pragma once

#include <tabulon/DbExport.h>

#include "db/Types.h"

#include <QString>

#include <optional>
#include <vector>

namespace db {

// "Key=Value;" pairs. Keys are case-insensitive; values may be plain, "quoted", 'quoted' or in
// {braces} (then ';' and '=' may stand inside). The writer keeps the user's order and quoting.
class DB_EXPORT ConnectionString {
public:
    struct Pair {
        QString key;   // as written
        QString value; // unquoted
        QChar quote;   // '"', '\'', '{' or null when written bare
    };

    ConnectionString() = default;
    // Throws DbError naming what is malformed (a pair without '=', an unclosed quote or brace).
    static ConnectionString parse(const QString &text);

    std::optional<QString> value(const QString &key) const; // first match, case-insensitive
    QString value(const QString &key, const QString &fallback) const;
    void setValue(const QString &key, const QString &value); // replaces in place or appends
    void remove(const QString &key);
    const std::vector<Pair> &pairs() const { return m_pairs; }

    // The provider named by "Provider" (SQLite when absent). Throws DbError naming an unknown one.
    db::Provider provider() const;

    QString toString() const;

private:
    std::vector<Pair> m_pairs;
};

// The text with the values of every Password / PWD key, and of every libpq keyword that holds a
// secret (sslpassword, oauth_client_secret), replaced by "****". Safe on malformed text.
DB_EXPORT QString maskPasswords(const QString &connectionString);

} // namespace db
