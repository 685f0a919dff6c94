#pragma once

#include <tabulon/PlatformExport.h>

#include "db/Field.h"

#include <QString>
#include <QVariant>

#include <memory>
#include <vector>

namespace db {

class Connection;
class Recordset;

struct Parameter : ParameterInfo {
    QVariant Value; // invalid = Null
};

// A stored routine call. CommandText is the routine's name, "owner.name" when it has an owner.
class PLATFORM_EXPORT Command {
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
    // The call as a person would read it, values quoted: name 'text', 12, NULL.
    QString displayText() const;
};

} // namespace db
