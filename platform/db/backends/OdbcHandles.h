#pragma once

#include "db/Backend.h"
#include "db/OdbcConnectString.h"

#include <sql.h>
#include <sqlext.h>

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <string>

// RAII and error plumbing over unixODBC, shared by the ODBC connection, its cursors and the
// catalogue calls. Every call uses the narrow functions with UTF-8 text: unixODBC passes UTF-8
// through to the drivers we support regardless of the process locale.
namespace db::odbc {

struct EnvDeleter {
    void operator()(SQLHENV h) const;
};
// Disconnects (rolling back anything left open) before freeing.
struct DbcDeleter {
    void operator()(SQLHDBC h) const;
};
struct StmtDeleter {
    void operator()(SQLHSTMT h) const;
};
using EnvPtr = std::unique_ptr<void, EnvDeleter>;
using DbcPtr = std::unique_ptr<void, DbcDeleter>;
using StmtPtr = std::unique_ptr<void, StmtDeleter>;

// One ODBC 3 environment, shared by a connection and the cursors that outlive it.
class Environment {
public:
    static std::shared_ptr<Environment> create(); // throws DbError
    SQLHENV handle() const { return m_env.get(); }

private:
    EnvPtr m_env;
};

// What the driver manager needs to open one more connection exactly like the first.
struct ConnectSettings {
    QByteArray connectString; // UTF-8, handed to SQLDriverConnect as is
    int timeoutSeconds = 0;
    bool readOnly = true;
};

// The drivers registered with the driver manager (odbcinst.ini), by name.
QStringList registeredDrivers(const Environment &env);

// A connected HDBC. Throws DbErrorRecords with the driver manager's diagnostics.
DbcPtr connect(const Environment &env, const ConnectSettings &settings);
StmtPtr allocStatement(SQLHDBC dbc);

// Every diagnostic record of a handle, in order.
std::vector<ProviderError> diagnostics(SQLSMALLINT handleType, SQLHANDLE handle);
// Throws DbErrorRecords (or a plain DbError naming the call when the driver left no record).
[[noreturn]] void raise(SQLSMALLINT handleType, SQLHANDLE handle, SQLRETURN rc, const char *call,
                        const QString &statement = {});
inline void check(SQLRETURN rc, SQLSMALLINT handleType, SQLHANDLE handle, const char *call,
                  const QString &statement = {})
{
    if (!SQL_SUCCEEDED(rc))
        raise(handleType, handle, rc, call, statement);
}
inline void checkStmt(SQLRETURN rc, SQLHSTMT stmt, const char *call, const QString &statement = {})
{
    check(rc, SQL_HANDLE_STMT, stmt, call, statement);
}

QString infoText(SQLHDBC dbc, SQLUSMALLINT infoType);
SQLUINTEGER infoBits(SQLHDBC dbc, SQLUSMALLINT infoType);

// A character column of the current row (catalogue results); nullopt for Null.
std::optional<QString> columnText(SQLHSTMT stmt, SQLUSMALLINT col);
std::optional<long long> columnInt(SQLHSTMT stmt, SQLUSMALLINT col);

// Reads a whole character or binary value with SQLGetData into out (replacing its content).
// Returns false for Null. cType is SQL_C_CHAR or SQL_C_BINARY.
bool getLongData(SQLHSTMT stmt, SQLUSMALLINT col, SQLSMALLINT cType, std::string &out,
                 const QString &statement = {});

inline SQLCHAR *sqlText(const QByteArray &utf8)
{
    return reinterpret_cast<SQLCHAR *>(const_cast<char *>(utf8.constData()));
}

// A catalogue search argument matching name only: '_', '%' and the escape itself escaped.
QString searchPattern(const QString &name, const QString &escape);

SQLRETURN execDirect(SQLHSTMT stmt, const QString &sql);
// The rows of a statement that returns none.
std::shared_ptr<RowStore> emptyStore();

} // namespace db::odbc
