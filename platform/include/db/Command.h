#pragma once

#include <tabulon/DbExport.h>

#include "db/Field.h"

#include <QString>
#include <QVariant>

#include <memory>
#include <vector>

namespace db {

class Connection;
class Dialect;
class Recordset;

struct Parameter : ParameterInfo {
    QVariant Value; // invalid = Null
};

// A stored routine call. CommandText is the routine's name, "owner.name" when it has an owner.
class DB_EXPORT Command {
public:
    std::shared_ptr<Connection> ActiveConnection;
    QString CommandText;
    int CommandType = 4; // adCmdStoredProc
    std::vector<Parameter> Parameters;

    // Fills Parameters from the catalogue (name, direction, type, size, scale). Throws DbError.
    void RefreshParameters();
    // Calls the routine with the parameter values bound; output parameters receive their values.
    // The rows it returns are held in memory. Throws DbError.
    std::shared_ptr<Recordset> Execute();
    // The call as a client cursor reports it: { ? = call name(?, ?) }, a marker for each
    // parameter but the return value's, which comes first.
    QString callText() const;
    // The call as a person would read it, values quoted: name 'text', 12, NULL.
    QString displayText() const;
    // What a routine that answers only through its output parameters still has to show: one row
    // of those values, under callText(); null when it has none.
    std::shared_ptr<Recordset> outputRow() const;
};

// A parameter's value as an SQL literal of its type (see Dialect::literal); NULL for a Null.
DB_EXPORT QString parameterLiteral(const Parameter &parameter, const Dialect &dialect);

} // namespace db
