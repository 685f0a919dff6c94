#include "db/backends/OdbcHandles.h"

#include "db/backends/Backends.h"
#include "db/backends/OdbcSilence.h"

#include "settings/IniFile.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <cstdint>
#include <limits>

namespace db::odbc {

void EnvDeleter::operator()(SQLHENV h) const
{
    SQLFreeHandle(SQL_HANDLE_ENV, h);
}

void DbcDeleter::operator()(SQLHDBC h) const
{
    forgetSocket(h);
    // Fails harmlessly (08003) on a handle that never connected; an open transaction (25000)
    // would keep the connection alive, so it is rolled back first.
    if (SQLDisconnect(h) == SQL_ERROR) {
        SQLEndTran(SQL_HANDLE_DBC, h, SQL_ROLLBACK);
        SQLDisconnect(h);
    }
    SQLFreeHandle(SQL_HANDLE_DBC, h);
}

void StmtDeleter::operator()(SQLHSTMT h) const
{
    SQLFreeHandle(SQL_HANDLE_STMT, h);
}

std::shared_ptr<Environment> Environment::create()
{
    SQLHENV env = SQL_NULL_HENV;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env)))
        throw DbError(QStringLiteral("The ODBC driver manager could not allocate an environment"));
    auto result = std::make_shared<Environment>();
    result->m_env.reset(env);
    check(SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0),
          SQL_HANDLE_ENV, env, "SQLSetEnvAttr");
    return result;
}

namespace {

bool needsBraces(const ConnectionString::Pair &p)
{
    const QString &v = p.value;
    return p.quote == QLatin1Char('{') || v.contains(QLatin1Char(';')) || v.contains(QLatin1Char('{'))
        || v.contains(QLatin1Char('}')) || (!v.isEmpty() && (v.front().isSpace() || v.back().isSpace()));
}

bool hasKey(const ConnectionString &cs, const char *key)
{
    return cs.value(QLatin1String(key)).has_value();
}

} // namespace

QString driverConnectString(const ConnectionString &cs)
{
    const bool hasTarget = hasKey(cs, "DSN") || hasKey(cs, "Driver") || hasKey(cs, "FileDSN");
    const bool mapDataSource = !hasTarget && hasKey(cs, "Data Source");
    if (!hasTarget && !mapDataSource)
        throw DbError(QStringLiteral("The ODBC connection string names neither a data source (DSN=...) "
                                     "nor a driver (Driver=...)"));
    const bool mapUser = !hasKey(cs, "UID");
    const bool mapPassword = !hasKey(cs, "PWD");

    QString out;
    for (const auto &p : cs.pairs()) {
        QString key = p.key.trimmed();
        if (key.compare(QLatin1String("Provider"), Qt::CaseInsensitive) == 0)
            continue;
        if (mapDataSource && key.compare(QLatin1String("Data Source"), Qt::CaseInsensitive) == 0)
            key = QStringLiteral("DSN");
        else if (mapUser && key.compare(QLatin1String("User ID"), Qt::CaseInsensitive) == 0)
            key = QStringLiteral("UID");
        else if (mapPassword && key.compare(QLatin1String("Password"), Qt::CaseInsensitive) == 0)
            key = QStringLiteral("PWD");
        out += key + QLatin1Char('=');
        if (needsBraces(p)) {
            QString v = p.value;
            v.replace(QLatin1Char('}'), QLatin1String("}}"));
            out += QLatin1Char('{') + v + QLatin1Char('}');
        } else {
            out += p.value;
        }
        out += QLatin1Char(';');
    }
    return out;
}

QStringList registeredDrivers(const Environment &env)
{
    QStringList names;
    std::string description(1024, '\0');
    std::string attributes(4096, '\0'); // not wanted, but the driver manager needs room for them
    SQLSMALLINT descriptionLength = 0;
    SQLSMALLINT attributesLength = 0;
    for (SQLUSMALLINT direction = SQL_FETCH_FIRST;; direction = SQL_FETCH_NEXT) {
        const SQLRETURN rc = SQLDrivers(env.handle(), direction, reinterpret_cast<SQLCHAR *>(description.data()),
                                        SQLSMALLINT(description.size()), &descriptionLength,
                                        reinterpret_cast<SQLCHAR *>(attributes.data()), SQLSMALLINT(attributes.size()),
                                        &attributesLength);
        if (!SQL_SUCCEEDED(rc))
            break;
        names << QString::fromUtf8(description.c_str());
    }
    return names;
}

namespace {

bool isKey(const ConnectionString::Pair &p, const char *key)
{
    return p.key.trimmed().compare(QLatin1String(key), Qt::CaseInsensitive) == 0;
}

void checkDriverName(const QString &driver, const QStringList &registered, const QString &where)
{
    const QString name = driver.trimmed();
    if (registered.contains(name, Qt::CaseInsensitive))
        return;
    const bool path = name.contains(u'/') || name.contains(u'\\') || name.contains(QLatin1String(".so"))
        || name.startsWith(u'.') || name.startsWith(u'~');
    if (path)
        throw DbError(QStringLiteral("The ODBC driver \"%1\"%2 is given as a file, which is refused: only drivers "
                                     "registered with the ODBC driver manager are used, by their name. The "
                                     "administrator registers a driver in odbcinst.ini (odbcinst -i -d).")
                          .arg(name, where));
    throw DbError(QStringLiteral("The ODBC driver \"%1\"%2 is not registered with the ODBC driver manager. "
                                 "Registered drivers: %3.")
                      .arg(name, where, registered.isEmpty() ? QStringLiteral("none") : registered.join(QLatin1String(", "))));
}

// Where the driver manager finds a file data source: as given, or by name in its own folder,
// with or without the ".dsn" it adds. Empty when there is no such file.
QString fileDsnPath(const QString &name)
{
    const QString systemFolder = QStringLiteral("/etc/ODBCDataSources/");
    QStringList candidates{name, name + QLatin1String(".dsn")};
    if (!name.contains(u'/'))
        candidates << systemFolder + name << systemFolder + name + QLatin1String(".dsn");
    for (const QString &candidate : candidates)
        if (QFileInfo(candidate).isFile())
            return candidate;
    return {};
}

// Text is searched rather than parsed: the SQLite driver finds its keys even inside braces, so a
// key hidden in another value counts as given.
const QRegularExpression &codeKey()
{
    // The SQLite3 driver loads the LoadExt libraries as it connects.
    static const QRegularExpression re(QStringLiteral("(?:^|[^\\w])(loadext)\\s*="),
                                       QRegularExpression::CaseInsensitiveOption);
    return re;
}

const QRegularExpression &engineKey()
{
    // libpq (behind the PostgreSQL driver's pqopt) has OpenSSL load the engine of an
    // "engine:key" sslkey.
    static const QRegularExpression re(QStringLiteral("(?:^|[^\\w])(sslkey\\s*=\\s*[^\\s;{}'\"]*:)"),
                                       QRegularExpression::CaseInsensitiveOption);
    return re;
}

const QRegularExpression &libraryFile()
{
    static const QRegularExpression re(
        // A path: a host in a .so domain is no library.
        QStringLiteral("[^\\s;,:{}'\"=()]*[/\\\\][^\\s;,:{}'\"=()]*\\.(?:so(?:\\.\\d+)*|dll|dylib)(?=$|[\\s;,:{}'\"=()])"),
        QRegularExpression::CaseInsensitiveOption);
    return re;
}

void checkLoadsNoCode(const QString &text, const QString &where)
{
    const auto refuse = [&where](const QString &what) {
        return DbError(QStringLiteral("The ODBC connection string%1 %2, which loads code: refused, as a data "
                                      "source never loads a library of its own choosing.")
                           .arg(where, what));
    };
    if (const auto m = codeKey().match(text); m.hasMatch())
        throw refuse(QStringLiteral("gives the key \"%1\"").arg(m.captured(1)));
    if (const auto m = engineKey().match(text); m.hasMatch())
        throw refuse(QStringLiteral("names an OpenSSL engine (%1)").arg(m.captured(1)));
    if (const auto m = libraryFile().match(text); m.hasMatch())
        throw refuse(QStringLiteral("names a library (%1)").arg(m.captured(0)));
}

} // namespace

void checkDriverTarget(const ConnectionString &cs, const QStringList &registered)
{
    for (const auto &p : cs.pairs()) {
        if (p.key.contains(QChar(0)) || p.value.contains(QChar(0)))
            throw DbError(QStringLiteral("The ODBC connection string holds a NUL character, which is refused."));
        if (isKey(p, "Driver")) {
            checkDriverName(p.value, registered, QString());
        } else if (isKey(p, "SaveFile")) {
            throw DbError(QStringLiteral("The ODBC connection string asks the driver manager to save it to a file "
                                         "(SAVEFILE), which is refused."));
        } else if (isKey(p, "FileDSN")) {
            // A file data source names its driver inside; that name must be registered as well.
            const QString file = fileDsnPath(p.value.trimmed());
            if (file.isEmpty())
                throw DbError(QStringLiteral("The ODBC file data source \"%1\" does not exist.").arg(p.value.trimmed()));
            const settings::IniFile dsn(file);
            const auto driver = dsn.value(QStringLiteral("ODBC"), QStringLiteral("Driver"));
            if (!driver || driver->trimmed().isEmpty())
                throw DbError(QStringLiteral("The ODBC file data source \"%1\" names no driver.").arg(file));
            const QString where = QStringLiteral(" (of the file data source \"%1\")").arg(file);
            checkDriverName(*driver, registered, where);
            QFile text(file);
            if (!text.open(QIODevice::ReadOnly))
                throw DbError(QStringLiteral("The ODBC file data source \"%1\" cannot be read.").arg(file));
            checkLoadsNoCode(QString::fromUtf8(text.readAll()), where);
        }
        if (!isKey(p, "Driver"))
            checkLoadsNoCode(p.key + QLatin1Char('=') + p.value, QString());
        // The SQLite3 driver splits the whole string at every ';', braces or not: "PWD={x;Database=y}"
        // would give it a Database of the value's choosing.
        static const QRegularExpression smuggledKey(QStringLiteral(";\\s*[^\\s;=][^;=]*="));
        if (smuggledKey.match(p.value).hasMatch())
            throw DbError(QStringLiteral("The value of \"%1\" in the ODBC connection string holds a ';' followed by "
                                         "a key and '=', which some drivers read as a key of its own: refused.")
                              .arg(p.key.trimmed()));
    }
}

namespace {

void setConnectAttr(SQLHDBC dbc, SQLINTEGER attr, std::uintptr_t value)
{
    // Best effort: a driver without the attribute still connects.
    SQLSetConnectAttr(dbc, attr, reinterpret_cast<SQLPOINTER>(value), 0);
}

// The guard reaches a driver's connections only through the SQLite library we share with it; a
// driver with a SQLite of its own must refuse load_extension by itself, or it is not used.
void checkStatementsLoadNoCode(SQLHDBC dbc)
{
    SQLHSTMT raw = SQL_NULL_HSTMT;
    check(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &raw), SQL_HANDLE_DBC, dbc, "SQLAllocHandle");
    const StmtPtr stmt(raw);
    // A path under /proc/self, where no library can be put.
    SQLRETURN rc = execDirect(raw, QStringLiteral("SELECT load_extension('/proc/self/tabulon-no-library')"));
    if (SQL_SUCCEEDED(rc))
        rc = SQLFetch(raw); // with StepAPI=1 the driver runs it only now
    const auto records = diagnostics(SQL_HANDLE_STMT, raw);
    // A SQLite without the function at all cannot load anything either.
    const bool refused = !SQL_SUCCEEDED(rc) && !records.empty()
        && (records.front().Description.contains(QLatin1String("not authorized"), Qt::CaseInsensitive)
            || records.front().Description.contains(QLatin1String("no such function"), Qt::CaseInsensitive));
    if (!refused)
        throw DbError(QStringLiteral("This SQLite ODBC driver lets statements load libraries (load_extension), "
                                     "and it cannot be switched off for it: the connection is refused."));
}

} // namespace

DbcPtr connect(const Environment &env, const ConnectSettings &settings)
{
    backends::guardSqliteConnections(); // before a driver opens a SQLite connection
    SQLHDBC raw = SQL_NULL_HDBC;
    check(SQLAllocHandle(SQL_HANDLE_DBC, env.handle(), &raw), SQL_HANDLE_ENV, env.handle(), "SQLAllocHandle");
    DbcPtr dbc(raw);
    if (settings.timeoutSeconds > 0) {
        setConnectAttr(raw, SQL_ATTR_LOGIN_TIMEOUT, std::uintptr_t(settings.timeoutSeconds));
        setConnectAttr(raw, SQL_ATTR_CONNECTION_TIMEOUT, std::uintptr_t(settings.timeoutSeconds));
    }
    if (settings.readOnly)
        setConnectAttr(raw, SQL_ATTR_ACCESS_MODE, SQL_MODE_READ_ONLY);

    QByteArray text = settings.connectString;
    // The length is 16-bit: a longer string goes as a terminated one, whole (a NUL inside was
    // refused before, so the terminator is the end).
    const SQLSMALLINT length = text.size() <= std::numeric_limits<SQLSMALLINT>::max() ? SQLSMALLINT(text.size())
                                                                                       : SQLSMALLINT(SQL_NTS);
    SQLCHAR completed[1024];
    SQLSMALLINT completedLen = 0;
    const SocketSet before = connectedSockets();
    const SQLRETURN rc = SQLDriverConnect(raw, nullptr, sqlText(text), length, completed,
                                          SQLSMALLINT(sizeof completed), &completedLen, SQL_DRIVER_NOPROMPT);
    if (!SQL_SUCCEEDED(rc)) {
        auto records = diagnostics(SQL_HANDLE_DBC, raw);
        // The handle never connected: free it without the disconnect dance.
        SQLFreeHandle(SQL_HANDLE_DBC, dbc.release());
        if (records.empty())
            throw DbError(QStringLiteral("The ODBC driver manager could not connect (return code %1)").arg(rc));
        throw DbErrorRecords(std::move(records));
    }
    rememberSocket(raw, before);
    const QString dbms = infoText(raw, SQL_DBMS_NAME);
    if (dbms.compare(QLatin1String("SQLite"), Qt::CaseInsensitive) == 0)
        checkStatementsLoadNoCode(raw);
    if (settings.readOnly) {
        setConnectAttr(raw, SQL_ATTR_ACCESS_MODE, SQL_MODE_READ_ONLY); // some drivers only take it now
        // The SQLite and PostgreSQL drivers accept the attribute and still write; the databases'
        // own switches hold.
        const char *sessionSwitch = dbms.compare(QLatin1String("SQLite"), Qt::CaseInsensitive) == 0
            ? "PRAGMA query_only = 1"
            : dbms.compare(QLatin1String("PostgreSQL"), Qt::CaseInsensitive) == 0
            ? "SET SESSION CHARACTERISTICS AS TRANSACTION READ ONLY"
            : nullptr;
        if (sessionSwitch) {
            SQLHSTMT stmt = SQL_NULL_HSTMT;
            if (SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, raw, &stmt))) {
                StmtPtr owner(stmt);
                SQLExecDirect(stmt, reinterpret_cast<SQLCHAR *>(const_cast<char *>(sessionSwitch)), SQL_NTS);
            }
        }
    }
    return dbc;
}

StmtPtr allocStatement(SQLHDBC dbc)
{
    SQLHSTMT raw = SQL_NULL_HSTMT;
    check(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &raw), SQL_HANDLE_DBC, dbc, "SQLAllocHandle");
    return StmtPtr(raw);
}

std::vector<ProviderError> diagnostics(SQLSMALLINT handleType, SQLHANDLE handle)
{
    std::vector<ProviderError> out;
    for (SQLSMALLINT i = 1;; ++i) {
        SQLCHAR state[6] = {};
        SQLINTEGER native = 0;
        std::string msg(1024, '\0');
        SQLSMALLINT len = 0;
        SQLRETURN rc = SQLGetDiagRec(handleType, handle, i, state, &native, reinterpret_cast<SQLCHAR *>(msg.data()),
                                     SQLSMALLINT(msg.size()), &len);
        if (rc == SQL_SUCCESS_WITH_INFO && std::size_t(len) >= msg.size()) {
            msg.assign(std::size_t(len) + 1, '\0');
            rc = SQLGetDiagRec(handleType, handle, i, state, &native, reinterpret_cast<SQLCHAR *>(msg.data()),
                               SQLSMALLINT(msg.size()), &len);
        }
        if (!SQL_SUCCEEDED(rc))
            break;
        msg.resize(std::min<std::size_t>(std::size_t(std::max<SQLSMALLINT>(len, 0)), msg.size() - 1));
        ProviderError e;
        e.Description = QString::fromUtf8(msg.data(), qsizetype(msg.size())).trimmed();
        e.SQLState = QString::fromLatin1(reinterpret_cast<const char *>(state));
        e.NativeError = long(native);
        e.Source = QStringLiteral("ODBC");
        out.push_back(std::move(e));
    }
    return out;
}

void raise(SQLSMALLINT handleType, SQLHANDLE handle, SQLRETURN rc, const char *call, const QString &statement)
{
    if (rc == SQL_INVALID_HANDLE)
        throw UsageError(QStringLiteral("ODBC call %1 was given an invalid handle").arg(QLatin1String(call)),
                         statement);
    auto records = diagnostics(handleType, handle);
    if (records.empty())
        throw DbError(QStringLiteral("ODBC call %1 failed (return code %2)").arg(QLatin1String(call)).arg(rc), {},
                      statement);
    throw DbErrorRecords(std::move(records), statement);
}

QString infoText(SQLHDBC dbc, SQLUSMALLINT infoType)
{
    std::string buf(256, '\0');
    SQLSMALLINT len = 0;
    SQLRETURN rc = SQLGetInfo(dbc, infoType, buf.data(), SQLSMALLINT(buf.size()), &len);
    if (rc == SQL_SUCCESS_WITH_INFO && std::size_t(len) >= buf.size()) {
        buf.assign(std::size_t(len) + 1, '\0');
        rc = SQLGetInfo(dbc, infoType, buf.data(), SQLSMALLINT(buf.size()), &len);
    }
    if (!SQL_SUCCEEDED(rc))
        return {};
    return QString::fromUtf8(buf.c_str());
}

SQLUINTEGER infoBits(SQLHDBC dbc, SQLUSMALLINT infoType)
{
    SQLUINTEGER v = 0;
    if (!SQL_SUCCEEDED(SQLGetInfo(dbc, infoType, &v, sizeof v, nullptr)))
        return 0;
    return v;
}

bool getLongData(SQLHSTMT stmt, SQLUSMALLINT col, SQLSMALLINT cType, std::string &out, const QString &statement)
{
    const std::size_t terminator = cType == SQL_C_CHAR ? 1 : 0;
    std::size_t have = 0;
    std::size_t chunk = 1024;
    for (;;) {
        out.resize(have + chunk);
        SQLLEN ind = 0;
        const SQLRETURN rc = SQLGetData(stmt, col, cType, out.data() + have, SQLLEN(chunk), &ind);
        if (rc == SQL_NO_DATA)
            break; // the previous part was the last
        checkStmt(rc, stmt, "SQLGetData", statement);
        if (ind == SQL_NULL_DATA) {
            out.clear();
            return false;
        }
        const std::size_t room = chunk - terminator;
        if (ind == SQL_NO_TOTAL || (rc == SQL_SUCCESS_WITH_INFO && std::size_t(ind) > room)) {
            have += room;
            chunk = ind == SQL_NO_TOTAL ? chunk * 2 : std::size_t(ind) - room + terminator;
            continue;
        }
        have += std::size_t(ind);
        break;
    }
    out.resize(have);
    return true;
}

QString searchPattern(const QString &name, const QString &escape)
{
    if (escape.isEmpty())
        return name; // rows are matched exactly afterwards anyway
    QString out;
    for (const QChar c : name) {
        if (c == QLatin1Char('_') || c == QLatin1Char('%') || QString(c) == escape)
            out += escape;
        out += c;
    }
    return out;
}

SQLRETURN execDirect(SQLHSTMT stmt, const QString &sql)
{
    QByteArray text = sql.toUtf8();
    return SQLExecDirect(stmt, sqlText(text), SQLINTEGER(text.size()));
}

std::shared_ptr<RowStore> emptyStore()
{
    return std::make_shared<RowStore>(std::vector<FieldInfo>{});
}

std::optional<QString> columnText(SQLHSTMT stmt, SQLUSMALLINT col)
{
    std::string buf;
    if (!getLongData(stmt, col, SQL_C_CHAR, buf))
        return std::nullopt;
    return QString::fromUtf8(buf.data(), qsizetype(buf.size()));
}

std::optional<long long> columnInt(SQLHSTMT stmt, SQLUSMALLINT col)
{
    SQLBIGINT v = 0;
    SQLLEN ind = 0;
    checkStmt(SQLGetData(stmt, col, SQL_C_SBIGINT, &v, sizeof v, &ind), stmt, "SQLGetData");
    if (ind == SQL_NULL_DATA)
        return std::nullopt;
    return static_cast<long long>(v);
}

} // namespace db::odbc
