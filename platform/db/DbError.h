#pragma once

#include <tabulon/PlatformExport.h>

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
class PLATFORM_EXPORT DbError : public std::runtime_error {
public:
    explicit DbError(const QString &message, const QString &sqlState = {}, const QString &statement = {},
                     long nativeCode = 0);

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
