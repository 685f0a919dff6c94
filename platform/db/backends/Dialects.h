#pragma once

#include "db/Dialect.h"

#include <memory>
#include <optional>

namespace db {

// SQLite's own client: the program's SOUNDEX is the one it runs, dates compare by what they denote.
class SqliteDialect final : public Dialect {
public:
    QString comparison(const QString &column, const FieldInfo &field, const QString &op,
                       const QString &literal) const override;
    QString left(const QString &text, const QString &length) const override;
    QString length(const QString &text) const override;
    SoundexCode soundexCode() const override { return SoundexCode::Ours; }
};

// PostgreSQL, through libpq or behind an ODBC driver.
class PostgresDialect final : public Dialect {
public:
    bool caseSensitiveNames() const override { return true; }
    bool caseSensitiveText() const override { return true; }
    QString comparison(const QString &column, const FieldInfo &field, const QString &op,
                       const QString &literal) const override;
    QString columnText(const QString &column, const FieldInfo &field) const override;
    std::optional<FunctionCheck> soundexCheck() const override;
    QString routineCall(const QString &target, const QString &arguments, bool procedure,
                        bool returnsValue) const override;

protected:
    QString booleanLiteral(bool on) const override;
    QString floatLiteral(double value, bool single) const override;
    QString decimalLiteral(const QString &text, int type) const override;
};

// Generic ODBC SQL: the driver's quote, the {fn ...} escapes for functions and {call ...} for
// routines. The values it writes are the generic ones whatever database is behind the driver;
// database() is that database's dialect where the program knows it.
class OdbcDialect final : public Dialect {
public:
    explicit OdbcDialect(QChar quote = u'"', std::optional<Provider> behind = std::nullopt);

    const Dialect &database() const override { return m_behind ? *m_behind : *this; }
    QChar identifierQuote() const override { return m_quote; }
    bool caseSensitiveText() const override { return m_behind && m_behind->caseSensitiveText(); }
    QString left(const QString &text, const QString &length) const override;
    QString soundex(const QString &text) const override;
    QString concat(const QString &a, const QString &b) const override;
    QString length(const QString &text) const override;
    SoundexCode soundexCode() const override { return m_behind ? SoundexCode::FromDatabase : SoundexCode::InStatement; }

protected:
    const char *textType() const override { return "VARCHAR(254)"; }

private:
    QChar m_quote;
    std::shared_ptr<const Dialect> m_behind;
};

} // namespace db
