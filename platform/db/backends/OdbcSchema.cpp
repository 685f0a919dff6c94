// Catalogue functions and stored-routine calls of the ODBC connection.
#include "db/Command.h"
#include "db/backends/OdbcBackend.h"
#include "db/ValueRules.h"
#include "db/backends/OdbcSql.h"

#include <QDate>
#include <QDateTime>
#include <QRegularExpression>
#include <QTime>

#include <algorithm>
#include <cstring>
#include <set>

namespace db::odbc {

namespace {

bool fetchRow(SQLHSTMT stmt, const char *call)
{
    const SQLRETURN rc = SQLFetch(stmt);
    if (rc == SQL_NO_DATA)
        return false;
    checkStmt(rc, stmt, call);
    return true;
}

QString text(SQLHSTMT stmt, SQLUSMALLINT col)
{
    return columnText(stmt, col).value_or(QString());
}

// SQL Server and others number overloads as "name;1".
QString routineName(QString name)
{
    const qsizetype semi = name.lastIndexOf(QLatin1Char(';'));
    if (semi > 0) {
        bool number = false;
        name.mid(semi + 1).toInt(&number);
        if (number)
            name.truncate(semi);
    }
    return name;
}

bool isSystemSchema(const QString &owner)
{
    static const char *const names[] = {"pg_catalog", "information_schema", "sys"};
    return std::any_of(std::begin(names), std::end(names), [&](const char *n) {
        return owner.compare(QLatin1String(n), Qt::CaseInsensitive) == 0;
    });
}

QString qualified(const QString &owner, const QString &name)
{
    return owner.isEmpty() ? name : owner + QLatin1Char('.') + name;
}

// A catalogue search argument: null (all) when empty.
struct SearchArg {
    QByteArray utf8;
    bool null = true;
    SQLCHAR *ptr() { return null ? nullptr : sqlText(utf8); }
    SQLSMALLINT len() const { return null ? 0 : SQLSMALLINT(utf8.size()); }
};

SearchArg searchArg(const QString &pattern)
{
    SearchArg a;
    a.null = pattern.isEmpty();
    a.utf8 = pattern.toUtf8();
    return a;
}

int directionOf(long long columnType)
{
    switch (columnType) {
    case SQL_PARAM_INPUT: return adParamInput;
    case SQL_PARAM_INPUT_OUTPUT: return adParamInputOutput;
    case SQL_PARAM_OUTPUT: return adParamOutput;
    case SQL_RETURN_VALUE: return adParamReturnValue;
    default: return adParamUnknown;
    }
}

} // namespace

QString OdbcBackend::pattern(const QString &name) const
{
    return searchPattern(name, m_traits.searchEscape);
}

std::vector<SchemaObject> OdbcBackend::objects(SchemaObject::Kind kind)
{
    const StmtPtr stmt = statement();
    SQLHSTMT h = stmt.get();
    std::vector<SchemaObject> out;
    if (kind == SchemaObject::Kind::Routine) {
        checkStmt(SQLProcedures(h, nullptr, 0, nullptr, 0, nullptr, 0), h, "SQLProcedures");
        std::set<std::pair<QString, QString>> seen; // overloads are one routine here
        while (fetchRow(h, "SQLProcedures")) {
            SchemaObject o;
            o.kind = kind;
            o.Owner = text(h, 2);
            o.Name = routineName(text(h, 3));
            o.Description = text(h, 7);
            if (isSystemSchema(o.Owner) || !seen.insert({o.Owner, o.Name}).second)
                continue;
            out.push_back(std::move(o));
        }
        return out;
    }
    QByteArray type = kind == SchemaObject::Kind::View ? QByteArrayLiteral("VIEW") : QByteArrayLiteral("TABLE");
    checkStmt(SQLTables(h, nullptr, 0, nullptr, 0, nullptr, 0, sqlText(type), SQLSMALLINT(type.size())), h,
              "SQLTables");
    while (fetchRow(h, "SQLTables")) {
        SchemaObject o;
        o.kind = kind;
        o.Owner = text(h, 2);
        o.Name = text(h, 3);
        o.Description = text(h, 5);
        out.push_back(std::move(o));
    }
    return out;
}

std::vector<FieldInfo> OdbcBackend::tableColumns(const QString &owner, const QString &name)
{
    const StmtPtr stmt = statement();
    SQLHSTMT h = stmt.get();
    SearchArg schema = searchArg(owner.isEmpty() ? QString() : pattern(owner));
    SearchArg table = searchArg(pattern(name));
    checkStmt(SQLColumns(h, nullptr, 0, schema.ptr(), schema.len(), table.ptr(), table.len(), nullptr, 0), h,
              "SQLColumns");
    std::vector<FieldInfo> out;
    std::optional<QString> firstSchema; // without an owner, the first schema holding the name
    while (fetchRow(h, "SQLColumns")) {
        const QString rowSchema = text(h, 2);
        if (text(h, 3) != name || (!owner.isEmpty() && rowSchema != owner))
            continue;
        if (!firstSchema)
            firstSchema = rowSchema;
        else if (*firstSchema != rowSchema)
            continue;
        OdbcColumn c;
        c.name = text(h, 4);
        c.sqlType = SQLSMALLINT(columnInt(h, 5).value_or(SQL_VARCHAR));
        c.typeName = text(h, 6);
        c.size = SQLLEN(columnInt(h, 7).value_or(0));
        c.digits = SQLSMALLINT(columnInt(h, 9).value_or(0));
        c.nullable = SQLSMALLINT(columnInt(h, 11).value_or(SQL_NULLABLE_UNKNOWN));
        // The catalogue's size is the declared length (0 when none), which the SQLite rules
        // expect in the precision.
        c.precision = m_traits.sqliteDriver ? c.size : 0;
        c.baseTable = name;
        c.baseColumn = c.name;
        c.baseSchema = rowSchema;
        out.push_back(toField(c, m_traits));
    }
    if (out.empty())
        throw DbError(QStringLiteral("The table or view %1 does not exist").arg(qualified(owner, name)),
                      QStringLiteral("42P01"));
    return out;
}

std::vector<ParameterInfo> OdbcBackend::routineParameters(const QString &owner, const QString &name)
{
    const StmtPtr stmt = statement();
    SQLHSTMT h = stmt.get();
    SearchArg schema = searchArg(owner.isEmpty() ? QString() : pattern(owner));
    SearchArg proc = searchArg(pattern(name));
    checkStmt(SQLProcedureColumns(h, nullptr, 0, schema.ptr(), schema.len(), proc.ptr(), proc.len(), nullptr, 0), h,
              "SQLProcedureColumns");
    SQLSMALLINT resultColumns = 0;
    SQLNumResultCols(h, &resultColumns);
    std::vector<std::pair<long long, ParameterInfo>> found;
    while (fetchRow(h, "SQLProcedureColumns")) {
        if ((!owner.isEmpty() && text(h, 2) != owner) || routineName(text(h, 3)) != name)
            continue;
        const QString paramName = text(h, 4);
        const long long columnType = columnInt(h, 5).value_or(SQL_PARAM_TYPE_UNKNOWN);
        if (columnType == SQL_RESULT_COL)
            continue;
        OdbcColumn c;
        c.sqlType = SQLSMALLINT(columnInt(h, 6).value_or(SQL_VARCHAR));
        c.typeName = text(h, 7);
        c.size = SQLLEN(columnInt(h, 8).value_or(0));
        c.digits = SQLSMALLINT(columnInt(h, 10).value_or(0));
        c.precision = m_traits.sqliteDriver ? c.size : 0;
        const bool hasDefault = resultColumns >= 14 && columnText(h, 14).has_value();
        const long long ordinal = resultColumns >= 18 ? columnInt(h, 18).value_or(0) : 0;
        const FieldInfo f = toField(c, m_traits);
        ParameterInfo p;
        p.Name = paramName;
        p.Direction = directionOf(columnType);
        p.Type = f.Type;
        p.Size = f.DefinedSize;
        p.Precision = f.Precision;
        p.NumericScale = f.NumericScale;
        p.HasDefault = hasDefault;
        found.emplace_back(ordinal, std::move(p));
    }
    if (found.empty()) {
        // No parameters, or no such routine.
        SQLFreeStmt(h, SQL_CLOSE);
        checkStmt(SQLProcedures(h, nullptr, 0, schema.ptr(), schema.len(), proc.ptr(), proc.len()), h,
                  "SQLProcedures");
        bool exists = false;
        while (fetchRow(h, "SQLProcedures"))
            exists = exists || ((owner.isEmpty() || text(h, 2) == owner) && routineName(text(h, 3)) == name);
        if (!exists)
            throw DbError(QStringLiteral("The routine %1 does not exist").arg(qualified(owner, name)),
                          QStringLiteral("42883"));
    }
    std::stable_sort(found.begin(), found.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
    std::vector<ParameterInfo> out;
    out.reserve(found.size());
    for (auto &f : found)
        out.push_back(std::move(f.second));
    return out;
}

// --- routine calls ---

namespace {

struct Bound {
    SQLSMALLINT io = SQL_PARAM_INPUT;
    SQLSMALLINT cType = SQL_C_CHAR;
    SQLSMALLINT sqlType = SQL_VARCHAR;
    SQLULEN size = 0;
    SQLSMALLINT digits = 0;
    std::vector<char> data;
    SQLLEN ind = SQL_NULL_DATA;
};

[[noreturn]] void badParameter(const Parameter &p, const char *what)
{
    throw DbError(QStringLiteral("The value of parameter %1 is not %2").arg(p.Name, QLatin1String(what)));
}

template <class T> void put(Bound &b, const T &v)
{
    b.data.resize(std::max(b.data.size(), sizeof v));
    std::memcpy(b.data.data(), &v, sizeof v);
    b.ind = SQLLEN(sizeof v);
}

void putBytes(Bound &b, const QByteArray &bytes, std::size_t capacity)
{
    b.data.assign(std::max<std::size_t>(capacity, std::size_t(bytes.size()) + 1), '\0');
    std::memcpy(b.data.data(), bytes.constData(), std::size_t(bytes.size()));
    b.ind = SQLLEN(bytes.size());
}

Bound bindingFor(const Parameter &p)
{
    Bound b;
    switch (p.Direction) {
    case adParamOutput:
    case adParamReturnValue: b.io = SQL_PARAM_OUTPUT; break;
    case adParamInputOutput: b.io = SQL_PARAM_INPUT_OUTPUT; break;
    default: b.io = SQL_PARAM_INPUT; break;
    }
    const bool output = b.io != SQL_PARAM_INPUT;
    const bool hasValue = b.io != SQL_PARAM_OUTPUT && p.Value.isValid() && !p.Value.isNull();
    // Output text gets room for the declared size, or a generous default where none is known.
    const std::size_t textRoom = output ? (p.Size > 0 ? std::size_t(p.Size) * 4 + 1 : 65536) : 1;
    switch (p.Type) {
    case adSmallInt:
    case adInteger:
    case adBigInt:
    case adTinyInt:
    case adUnsignedTinyInt: {
        b.cType = SQL_C_SBIGINT;
        b.sqlType = p.Type == adSmallInt ? SQL_SMALLINT : p.Type == adBigInt ? SQL_BIGINT
                  : p.Type == adInteger ? SQL_INTEGER : SQL_TINYINT;
        b.data.resize(sizeof(SQLBIGINT));
        if (hasValue) {
            bool ok = false;
            const qlonglong v = p.Value.typeId() == QMetaType::QString ? p.Value.toString().trimmed().toLongLong(&ok)
                                                                       : p.Value.toLongLong(&ok);
            if (!ok)
                badParameter(p, "a whole number");
            put(b, SQLBIGINT(v));
        }
        break;
    }
    case adBoolean:
        b.cType = SQL_C_BIT;
        b.sqlType = SQL_BIT;
        b.data.resize(1);
        if (hasValue)
            put(b, static_cast<unsigned char>(p.Value.toBool() ? 1 : 0));
        break;
    case adSingle:
    case adDouble:
    case adCurrency: {
        b.cType = SQL_C_DOUBLE;
        b.sqlType = p.Type == adSingle ? SQL_REAL : SQL_DOUBLE;
        b.data.resize(sizeof(SQLDOUBLE));
        if (hasValue) {
            bool ok = false;
            const double v = p.Value.typeId() == QMetaType::QString ? p.Value.toString().trimmed().toDouble(&ok)
                                                                    : p.Value.toDouble(&ok);
            if (!ok)
                badParameter(p, "a number");
            put(b, SQLDOUBLE(v));
        }
        break;
    }
    case adNumeric:
    case adDecimal: {
        b.cType = SQL_C_CHAR;
        b.sqlType = SQL_NUMERIC;
        b.size = p.Precision > 0 ? SQLULEN(p.Precision) : 38;
        b.digits = SQLSMALLINT(std::max(p.NumericScale, 0));
        b.data.assign(128, '\0');
        if (hasValue) {
            const QByteArray raw = p.Value.toString().toLatin1();
            const std::string canonical = canonicalDecimal(raw.constData(), std::size_t(raw.size()));
            if (!isPlainDecimal(canonical))
                badParameter(p, "a number");
            putBytes(b, QByteArray::fromStdString(canonical), 128);
            b.size = std::max<SQLULEN>(b.size, SQLULEN(canonical.size()));
        }
        break;
    }
    case adDBDate: {
        b.cType = SQL_C_TYPE_DATE;
        b.sqlType = SQL_TYPE_DATE;
        b.size = 10;
        b.data.resize(sizeof(SQL_DATE_STRUCT));
        if (hasValue) {
            const QDate d = p.Value.toDate();
            if (!d.isValid())
                badParameter(p, "a date");
            put(b, SQL_DATE_STRUCT{SQLSMALLINT(d.year()), SQLUSMALLINT(d.month()), SQLUSMALLINT(d.day())});
        }
        break;
    }
    case adDBTime: {
        b.cType = SQL_C_TYPE_TIME;
        b.sqlType = SQL_TYPE_TIME;
        b.size = 8;
        b.data.resize(sizeof(SQL_TIME_STRUCT));
        if (hasValue) {
            const QTime t = p.Value.toTime();
            if (!t.isValid())
                badParameter(p, "a time");
            put(b, SQL_TIME_STRUCT{SQLUSMALLINT(t.hour()), SQLUSMALLINT(t.minute()), SQLUSMALLINT(t.second())});
        }
        break;
    }
    case adDate:
    case adDBTimeStamp: {
        b.cType = SQL_C_TYPE_TIMESTAMP;
        b.sqlType = SQL_TYPE_TIMESTAMP;
        b.size = 23;
        b.digits = 3;
        b.data.resize(sizeof(SQL_TIMESTAMP_STRUCT));
        if (hasValue) {
            QDateTime dt = p.Value.toDateTime();
            if (!dt.isValid() && p.Value.toDate().isValid())
                dt = QDateTime(p.Value.toDate(), QTime(0, 0));
            if (!dt.isValid())
                badParameter(p, "a date and time");
            const QDate d = dt.date();
            const QTime t = dt.time();
            put(b, SQL_TIMESTAMP_STRUCT{SQLSMALLINT(d.year()), SQLUSMALLINT(d.month()), SQLUSMALLINT(d.day()),
                                        SQLUSMALLINT(t.hour()), SQLUSMALLINT(t.minute()), SQLUSMALLINT(t.second()),
                                        SQLUINTEGER(t.msec()) * 1000000u});
        }
        break;
    }
    case adBinary:
    case adVarBinary:
    case adLongVarBinary: {
        b.cType = SQL_C_BINARY;
        b.sqlType = SQL_VARBINARY;
        const QByteArray bytes = hasValue ? p.Value.toByteArray() : QByteArray();
        putBytes(b, bytes, output ? (p.Size > 0 ? std::size_t(p.Size) : 65536) : 1);
        b.size = SQLULEN(std::max<qsizetype>(bytes.size(), p.Size > 0 ? p.Size : 1));
        break;
    }
    default: {
        b.cType = SQL_C_CHAR;
        b.sqlType = p.Type == adGUID ? SQL_GUID : p.Type == adChar ? SQL_CHAR : p.Type == adWChar ? SQL_WCHAR
                                                                                                 : SQL_VARCHAR;
        const QString value = hasValue ? p.Value.toString() : QString();
        putBytes(b, value.toUtf8(), textRoom);
        b.size = SQLULEN(std::max<qsizetype>({value.size(), p.Size > 0 ? p.Size : 0, 1}));
        break;
    }
    }
    if (!hasValue)
        b.ind = SQL_NULL_DATA;
    return b;
}

QVariant outputValue(const Bound &b, const Parameter &p)
{
    if (b.ind == SQL_NULL_DATA)
        return {};
    const char *d = b.data.data();
    auto get = [d](auto v) {
        std::memcpy(&v, d, sizeof v);
        return v;
    };
    switch (b.cType) {
    case SQL_C_SBIGINT: return QVariant(qlonglong(get(SQLBIGINT{})));
    case SQL_C_BIT: return QVariant(get(static_cast<unsigned char>(0)) != 0);
    case SQL_C_DOUBLE: return QVariant(double(get(SQLDOUBLE{})));
    case SQL_C_TYPE_DATE: {
        const auto v = get(SQL_DATE_STRUCT{});
        return QVariant(QDate(v.year, v.month, v.day));
    }
    case SQL_C_TYPE_TIME: {
        const auto v = get(SQL_TIME_STRUCT{});
        return QVariant(QTime(v.hour, v.minute, v.second));
    }
    case SQL_C_TYPE_TIMESTAMP: {
        const auto v = get(SQL_TIMESTAMP_STRUCT{});
        return QVariant(QDateTime(QDate(v.year, v.month, v.day),
                                  QTime(v.hour, v.minute, v.second, int(v.fraction / 1000000u)), Qt::UTC));
    }
    default: break;
    }
    const std::size_t room = b.data.size() - (b.cType == SQL_C_CHAR ? 1 : 0);
    if (b.ind == SQL_NO_TOTAL || std::size_t(b.ind) > room)
        throw DbError(QStringLiteral("The value of output parameter %1 is longer than the %2 bytes set aside for it")
                          .arg(p.Name)
                          .arg(room));
    if (b.cType == SQL_C_BINARY)
        return QVariant(QByteArray(d, qsizetype(b.ind)));
    if (p.Type == adNumeric || p.Type == adDecimal) {
        const std::string canonical = canonicalDecimal(d, std::size_t(b.ind));
        return QVariant(QString::fromLatin1(canonical.data(), qsizetype(canonical.size())));
    }
    return QVariant(QString::fromUtf8(d, qsizetype(b.ind)));
}

} // namespace

QString OdbcBackend::routineCall(const QString &owner, const QString &name, const std::vector<Parameter> &params,
                                 bool nativeCall) const
{
    auto quote = [this](const QString &id) { return m_dialect->quoteIdentifier(id); };
    const QString target = owner.isEmpty() ? quote(name) : quote(owner) + QLatin1Char('.') + quote(name);
    const bool hasReturn = std::any_of(params.begin(), params.end(),
                                       [](const Parameter &p) { return p.Direction == adParamReturnValue; });
    QStringList marks;
    for (const Parameter &p : params) {
        if (p.Direction != adParamReturnValue)
            marks << QStringLiteral("?");
    }
    const QString args = marks.join(QLatin1Char(','));
    if (nativeCall)
        return m_dialect->database().routineCall(target, args, true, hasReturn);
    return m_dialect->routineCall(target, args, false, hasReturn);
}

std::shared_ptr<RowStore> OdbcBackend::callRoutine(const QString &owner, const QString &name,
                                                   std::vector<Parameter> &params)
{
    const StmtPtr stmt = statement();
    SQLHSTMT h = stmt.get();
    // The return value is marker 1, then the arguments in order.
    std::vector<std::size_t> order;
    for (std::size_t i = 0; i < params.size(); ++i) {
        if (params[i].Direction == adParamReturnValue)
            order.insert(order.begin(), i);
        else
            order.push_back(i);
    }
    if (std::count_if(params.begin(), params.end(), [](const Parameter &p) { return p.Direction == adParamReturnValue; }) > 1)
        throw UsageError(QStringLiteral("The routine %1 was given more than one return value").arg(qualified(owner, name)));
    std::vector<Bound> bound(params.size());
    for (std::size_t n = 0; n < order.size(); ++n) {
        const std::size_t i = order[n];
        bound[i] = bindingFor(params[i]);
        Bound &b = bound[i];
        checkStmt(SQLBindParameter(h, SQLUSMALLINT(n + 1), b.io, b.cType, b.sqlType, b.size, b.digits, b.data.data(),
                                   SQLLEN(b.data.size()), &b.ind),
                  h, "SQLBindParameter");
    }

    WatchedCall watch = watched(h);
    return watch.run(
        [&] {
            QString call = routineCall(owner, name, params, false);
            SQLRETURN rc = execDirect(h, call);
            if (rc == SQL_ERROR && m_traits.postgres) {
                // The driver turns {call} into SELECT, which PostgreSQL refuses for a procedure.
                auto records = diagnostics(SQL_HANDLE_STMT, h);
                if (records.empty() || records.front().SQLState != QLatin1String("42809"))
                    throw DbErrorRecords(std::move(records), call);
                SQLFreeStmt(h, SQL_CLOSE);
                call = routineCall(owner, name, params, true);
                rc = execDirect(h, call);
            }
            if (rc != SQL_NO_DATA)
                checkStmt(rc, h, "SQLExecDirect", call);

            std::shared_ptr<RowStore> rows = emptyStore();
            SQLSMALLINT columns = 0;
            checkStmt(SQLNumResultCols(h, &columns), h, "SQLNumResultCols", call);
            if (columns > 0) {
                const auto fields = describeResult(dbc(), h, m_traits, call);
                rows = std::make_shared<RowStore>(fields);
                ResultReader reader(h, fields, m_traits, call);
                while (!reader.done())
                    reader.read(*rows, 4096);
            }
            // Output parameters are filled in once every result has been read.
            for (;;) {
                rc = SQLMoreResults(h);
                if (rc == SQL_NO_DATA)
                    break;
                checkStmt(rc, h, "SQLMoreResults", call);
            }
            for (std::size_t i = 0; i < params.size(); ++i) {
                if (bound[i].io != SQL_PARAM_INPUT)
                    params[i].Value = outputValue(bound[i], params[i]);
            }
            return rows;
        },
        routineCall(owner, name, params, false));
}

} // namespace db::odbc
