#pragma once

#include <tabulon/DbExport.h>

#include <QString>

#include <stdexcept>
#include <vector>

namespace db {

// One message of the database client, as the connection's Errors collection holds them.
struct ProviderError {
    QString Description; // the client's own text
    QString SQLState;    // five characters where the client has them, else empty
    long NativeError = 0;
    QString Source;      // "SQLite", "PostgreSQL", "ODBC" or the driver's name
};

// The data layer's one error type. Thrown inside the layer and by its public calls; the
// program's procedures trap it and report what() with their own name.
class DB_EXPORT DbError : public std::runtime_error {
public:
    // What a caller does about it: a cancelled statement is what the user asked for, not a
    // failure; a lost connection means the rest of a result will never come.
    enum class Kind { Failure, Cancelled, ConnectionLost };

    explicit DbError(const QString &message, const QString &sqlState = {}, const QString &statement = {},
                     long nativeCode = 0);
    // The error of a statement the user (or the program, for them) stopped.
    static DbError cancelled(const QString &statement = {});
    // By SQLSTATE: 57014 (and ODBC's HY008) cancelled; class 08 and the server's own shutdown of
    // the session (57P01 to 57P03) a lost connection.
    static Kind kindOf(const QString &sqlState);

    Kind kind() const { return kindOf(m_sqlState); }
    bool isCancelled() const { return kind() == Kind::Cancelled; }
    bool isConnectionLost() const { return kind() == Kind::ConnectionLost; }

    QString message() const { return m_message; }
    QString sqlState() const { return m_sqlState; }
    QString statement() const { return m_statement; }
    long nativeCode() const { return m_nativeCode; }

private:
    QString m_message;
    QString m_sqlState;
    QString m_statement;
    long m_nativeCode;
};

} // namespace db
