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
    // failure; a lost connection means the rest of a result will never come; a usage error is
    // the calling code's fault (a row past the end, a closed recordset), not the database's.
    enum class Kind { Failure, Cancelled, ConnectionLost, Usage };

    explicit DbError(const QString &message, const QString &sqlState = {}, const QString &statement = {},
                     long nativeCode = 0);
    // The error of a statement the user (or the program, for them) stopped.
    static DbError cancelled(const QString &statement = {});
    // By SQLSTATE: 57014 (and ODBC's HY008) cancelled; class 08 and the server's own shutdown of
    // the session (57P01 to 57P03) a lost connection.
    static Kind kindOf(const QString &sqlState);

    Kind kind() const { return m_usage ? Kind::Usage : kindOf(m_sqlState); }
    bool isCancelled() const { return kind() == Kind::Cancelled; }
    bool isConnectionLost() const { return kind() == Kind::ConnectionLost; }
    bool isUsage() const { return kind() == Kind::Usage; }

    QString message() const { return m_message; }
    QString sqlState() const { return m_sqlState; }
    QString statement() const { return m_statement; }
    long nativeCode() const { return m_nativeCode; }

protected:
    // Kept by a copy as DbError, so a usage error held as a recordset's failure still says so.
    bool m_usage = false;

private:
    QString m_message;
    QString m_sqlState;
    QString m_statement;
    long m_nativeCode;
};

// A call the data layer's contract does not allow: the caller's fault, found before anything
// reached the database. Still a DbError, so every procedure's trap reports it as before; tell it
// by kind(), which a copy held as DbError keeps.
class DB_EXPORT UsageError : public DbError {
public:
    explicit UsageError(const QString &message, const QString &statement = {});
};

} // namespace db
