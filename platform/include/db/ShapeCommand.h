#pragma once

#include <tabulon/DbExport.h>

#include "db/DbError.h"

#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <memory>
#include <vector>

namespace db {

class Command;
class Connection;
class Recordset;
class RowStore;

// A data-shaping command: "SHAPE {<inner>} AS rs COMPUTE rs, FN(rs.col)[, ...] BY g0[, g1[, g2]]".
// The inner command is "EXEC <routine> [values shown]"; its values are never read back from the
// text: a routine runs with the values of its command object, bound.
struct DB_EXPORT ShapeText {
    enum Function { Sum, Avg, Count, Min, Max };
    struct Aggregate {
        Function function = Count;
        QString column; // empty: COUNT(rs) counts the rows of the group
    };

    QString inner;   // between the braces, as written
    QString routine; // the name after EXEC; empty when the inner command is no EXEC
    QString alias;
    std::vector<Aggregate> aggregates;
    QStringList groups;

    // Throws DbError saying where the text is not a SHAPE command this layer runs.
    static ShapeText parse(const QString &text);
};

// The visible rows of `rows` grouped as SQL's GROUP BY groups them (Nulls in one group; decimals
// and money summed exactly, averages of exact types exact to the database's usual scale),
// ordered by the group columns with Nulls last. Fields: the chapter (named as the alias, holding
// its number of rows), each aggregate, then the group columns. Throws DbError for a column the
// rows do not have or a sum or average of a column that holds no numbers.
DB_EXPORT std::shared_ptr<Recordset> shapeRows(const Recordset &rows, const ShapeText &shape,
                                                     const QString &source = {});

// A shaped result laid out as a grouped SELECT lists it: the group columns first, then the
// aggregates in their order; the chapter left out.
DB_EXPORT std::shared_ptr<Recordset> groupsFirst(const Recordset &shaped);

// A connection whose Provider is MSDataShape: its "Data Provider" is the client that runs the
// inner command ("Provider = MSDataShape; Data Provider=PostgreSQL;Data Source=...").
class DB_EXPORT ShapeConnection {
public:
    ShapeConnection();
    ~ShapeConnection();
    ShapeConnection(const ShapeConnection &) = delete;
    ShapeConnection &operator=(const ShapeConnection &) = delete;

    // Opens the data provider's connection. Throws DbError.
    void Open(const QString &connectionString);
    void Close();
    int State() const;
    // The data provider's messages of the last failure, else this connection's own.
    const std::vector<ProviderError> &Errors() const;

    // Runs the SHAPE text: `routine` (its parameters bound as they stand) on the data provider,
    // its rows grouped. The command must be the routine the text names. Within one connection the
    // same routine with the same values runs once: further shapes group the rows it gave.
    // `narrow`, when given, filters the routine's rows (a recordset of their own) before they
    // are grouped.
    std::shared_ptr<Recordset> Execute(const QString &text, const Command &routine,
                                       const std::function<void(Recordset &)> &narrow = {});
    // Groups rows held already (an XML document's) by the text's COMPUTE and BY parts.
    std::shared_ptr<Recordset> Execute(const QString &text, const Recordset &rows);

private:
    std::shared_ptr<Connection> m_data;
    std::vector<ProviderError> m_errors;
    QString m_lastRoutine;
    std::vector<QVariant> m_lastValues;
    std::shared_ptr<Recordset> m_lastRows;
};

} // namespace db
