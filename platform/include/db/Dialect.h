#pragma once

#include <tabulon/DbExport.h>

#include "db/Field.h"
#include "db/RowStore.h"
#include "db/Types.h"

#include <QChar>
#include <QString>
#include <QVariant>

#include <memory>
#include <optional>

namespace db {

// How one database spells the SQL the program writes: names, literals, casts, the query
// builder's functions, name case and routine calls. Each client hands out its own (its
// connection's, as a driver's quote or the database behind a bridge make it); code that has only
// a provider asks of().
class DB_EXPORT Dialect {
public:
    virtual ~Dialect();

    // The dialect of a provider's client on a connection that is not open: ODBC's is generic ODBC
    // SQL with the double quote.
    static std::shared_ptr<const Dialect> of(Provider provider);
    // SQLite's, the provider a connection string names when it names none: for SQL written with
    // no connection at all.
    static std::shared_ptr<const Dialect> byDefault();

    // The dialect of the database the statements reach: this one, or over ODBC the database
    // behind the driver where it is one whose SQL the program writes (SQLite, PostgreSQL).
    virtual const Dialect &database() const { return *this; }

    // ---------------------------------------------------------------- names

    virtual QChar identifierQuote() const { return u'"'; }
    // The name between this dialect's delimiters, an embedded closer doubled.
    QString quoteIdentifier(const QString &name) const;
    // True when result columns whose names differ only in case are told apart.
    virtual bool caseSensitiveNames() const { return false; }
    // True when the database compares text (=, LIKE) with regard to case.
    virtual bool caseSensitiveText() const { return false; }

    // ---------------------------------------------------------------- literals and casts

    // A value as an SQL expression of the field's type, spelled as this database reads it:
    // Booleans TRUE/FALSE on PostgreSQL and 1/0 elsewhere; numbers in full (a PostgreSQL real at
    // its own precision, money and decimals exactly, NaN and infinities by name); dates and times
    // as quoted text with every fraction, offset, era and infinity the value has; text quoted. A
    // Null is NULL. Throws DbError for binary values, which have no literal here.
    QString literal(const RowStore &store, std::size_t row, int col) const;
    // The same for a value given as a QVariant (converted by the field's type as the row store
    // does; DbError when it does not fit).
    QString literal(const QVariant &value, const FieldInfo &field) const;
    // "column op literal" for a literal of the column's own type, with either side converted
    // where the database cannot compare the type as it stands: PostgreSQL types without an
    // equality of their own (json, xml, intervals, arrays ...) as their text; SQLite dates and
    // times by what they denote, whichever way the text is written.
    virtual QString comparison(const QString &column, const FieldInfo &field, const QString &op,
                               const QString &literal) const;
    // The column as the text the program shows for it, for LIKE; empty for Booleans and binary
    // data, whose text is nothing a wildcard should match.
    virtual QString columnText(const QString &column, const FieldInfo &field) const;

    // ---------------------------------------------------------------- the query builder's functions

    // The first `length` characters of a text.
    virtual QString left(const QString &text, const QString &length) const;
    virtual QString soundex(const QString &text) const;
    virtual QString concat(const QString &a, const QString &b) const;
    // The length of a text in characters.
    virtual QString length(const QString &text) const;

    // Where the SOUNDEX code of a value given as text comes from: the program's own function is
    // the one the database runs; the database's function written into the statement; or the
    // database asked for it beforehand.
    enum class SoundexCode { Ours, InStatement, FromDatabase };
    virtual SoundexCode soundexCode() const { return SoundexCode::FromDatabase; }
    // For a database whose SOUNDEX is an extension: a query answering 1 when it is there, and
    // what to tell the user when it is not.
    struct FunctionCheck {
        QString query;
        QString missing;
    };
    virtual std::optional<FunctionCheck> soundexCheck() const { return std::nullopt; }

    // ---------------------------------------------------------------- routines

    // The statement that calls a routine (its name already quoted) with the given argument text;
    // a procedure is called apart from a function where the database tells them apart.
    virtual QString routineCall(const QString &target, const QString &arguments, bool procedure,
                                bool returnsValue) const;

protected:
    static QString cast(const QString &text, const char *type);
    virtual QString booleanLiteral(bool on) const;
    virtual QString floatLiteral(double value, bool single) const;
    virtual QString decimalLiteral(const QString &text, int type) const;
    // The type a column is cast to for its text.
    virtual const char *textType() const { return "TEXT"; }
};

} // namespace db
