// Catalogue queries and stored-routine calls of the PostgreSQL backend.
#include "db/backends/PostgresBackend.h"

#include "db/Command.h"
#include "db/backends/PostgresTypes.h"

#include <cstdlib>

namespace db::pg {

namespace {

const char *const kRelations =
    "SELECT n.nspname, c.relname, obj_description(c.oid, 'pg_class')"
    " FROM pg_class c JOIN pg_namespace n ON n.oid = c.relnamespace"
    " WHERE c.relkind = ANY ($1::\"char\"[])"
    // System schemas, other sessions' temporary schemas and TOAST tables are nobody's data.
    " AND n.nspname NOT IN ('pg_catalog', 'information_schema') AND n.nspname NOT LIKE 'pg\\_toast%'"
    " AND (n.nspname NOT LIKE 'pg\\_temp\\_%' OR n.oid = pg_my_temp_schema())"
    " ORDER BY 1, 2";

// Trigger functions cannot be called and extension members are the extension's, not the user's.
// Overloads are listed once.
const char *const kRoutines =
    "SELECT DISTINCT ON (n.nspname, p.proname) n.nspname, p.proname, obj_description(p.oid, 'pg_proc')"
    " FROM pg_proc p JOIN pg_namespace n ON n.oid = p.pronamespace"
    " WHERE p.prokind IN ('f', 'p') AND p.prorettype NOT IN ('trigger'::regtype, 'event_trigger'::regtype)"
    " AND NOT EXISTS (SELECT 1 FROM pg_depend d WHERE d.classid = 'pg_proc'::regclass AND d.objid = p.oid"
    " AND d.deptype = 'e')"
    " AND n.nspname NOT IN ('pg_catalog', 'information_schema') AND n.nspname NOT LIKE 'pg\\_toast%'"
    " AND (n.nspname NOT LIKE 'pg\\_temp\\_%' OR n.oid = pg_my_temp_schema())"
    " ORDER BY n.nspname, p.proname, p.pronargs, p.oid";

const char *const kTableColumns =
    "SELECT a.attname, format_type(a.atttypid, a.atttypmod),"
    " CASE WHEN t.typtype = 'd' THEN t.typbasetype ELSE a.atttypid END,"
    " CASE WHEN t.typtype = 'd' THEN t.typtypmod ELSE a.atttypmod END,"
    " a.attnotnull, n.nspname, c.relname"
    " FROM pg_class c JOIN pg_namespace n ON n.oid = c.relnamespace"
    " LEFT JOIN pg_attribute a ON a.attrelid = c.oid AND a.attnum > 0 AND NOT a.attisdropped"
    " LEFT JOIN pg_type t ON t.oid = a.atttypid"
    " WHERE c.relname = $2 AND c.relkind IN ('r', 'p', 'f', 'v', 'm')"
    " AND CASE WHEN $1 = '' THEN pg_table_is_visible(c.oid) ELSE n.nspname = $1 END"
    " ORDER BY a.attnum";

// Of overloaded routines the one with the fewest arguments is meant.
const char *const kRoutine =
    "SELECT p.oid, p.prokind, p.proretset, p.prorettype, t.typtype,"
    " CASE WHEN t.typtype = 'd' THEN t.typbasetype ELSE p.prorettype END, p.pronargdefaults, n.nspname"
    " FROM pg_proc p JOIN pg_namespace n ON n.oid = p.pronamespace JOIN pg_type t ON t.oid = p.prorettype"
    " WHERE p.proname = $2 AND p.prokind IN ('f', 'p')"
    " AND CASE WHEN $1 = '' THEN pg_function_is_visible(p.oid) ELSE n.nspname = $1 END"
    " ORDER BY p.pronargs, p.oid LIMIT 1";

const char *const kRoutineArgs =
    "SELECT a.typ, CASE WHEN t.typtype = 'd' THEN t.typbasetype ELSE a.typ END, COALESCE(a.mode, 'i'),"
    " COALESCE(a.name, '')"
    " FROM pg_proc p, unnest(COALESCE(p.proallargtypes, p.proargtypes::oid[]), p.proargmodes, p.proargnames)"
    " WITH ORDINALITY AS a(typ, mode, name, ord)"
    " LEFT JOIN pg_type t ON t.oid = a.typ"
    " WHERE p.oid = $1::oid ORDER BY a.ord";

struct RoutineArg {
    QString name;    // "$n" for an unnamed argument
    bool named = false;
    char mode = 'i'; // i, o, b (inout), v (variadic), t (a column of RETURNS TABLE)
    Oid type = 0;
    Oid baseType = 0;
    bool hasDefault = false;
};

struct Routine {
    QString schema;
    QString name;
    bool procedure = false;
    bool returnsSet = false;
    Oid returnBase = 0;
    bool scalarResult = false; // a function whose value is its RETURN_VALUE
    bool rowResult = false;    // a function whose rows are its result
    std::vector<RoutineArg> args;

    // The arguments a call names: inputs, and for procedures their OUT arguments too.
    bool inCall(const RoutineArg &a) const
    {
        return a.mode == 'i' || a.mode == 'b' || a.mode == 'v' || (procedure && a.mode == 'o');
    }
};

Routine findRoutine(PGconn *c, const QString &owner, const QString &name)
{
    const ResultPtr head = exec(c, kRoutine, {owner.toStdString(), name.toStdString()});
    if (PQntuples(head.get()) == 0)
        throw DbError(QStringLiteral("The routine %1 does not exist")
                          .arg(owner.isEmpty() ? name : owner + QLatin1Char('.') + name),
                      QStringLiteral("42883"));
    const PGresult *h = head.get();
    Routine r;
    r.schema = text(h, 0, 7);
    r.name = name;
    r.procedure = PQgetvalue(h, 0, 1)[0] == 'p';
    r.returnsSet = PQgetvalue(h, 0, 2)[0] == 't';
    const Oid returnType = Oid(std::strtoul(PQgetvalue(h, 0, 3), nullptr, 10));
    const char returnKind = PQgetvalue(h, 0, 4)[0];
    r.returnBase = Oid(std::strtoul(PQgetvalue(h, 0, 5), nullptr, 10));
    const int defaults = std::atoi(PQgetvalue(h, 0, 6));

    const ResultPtr args = exec(c, kRoutineArgs, {std::string(PQgetvalue(h, 0, 0))});
    for (int i = 0; i < PQntuples(args.get()); ++i) {
        RoutineArg a;
        a.type = Oid(std::strtoul(PQgetvalue(args.get(), i, 0), nullptr, 10));
        a.baseType = Oid(std::strtoul(PQgetvalue(args.get(), i, 1), nullptr, 10));
        a.mode = PQgetvalue(args.get(), i, 2)[0];
        a.name = text(args.get(), i, 3);
        a.named = !a.name.isEmpty();
        if (!a.named)
            a.name = QStringLiteral("$%1").arg(i + 1);
        r.args.push_back(a);
    }
    // Defaults belong to the last arguments of the call signature.
    int left = defaults;
    for (auto it = r.args.rbegin(); it != r.args.rend() && left > 0; ++it) {
        if (!r.inCall(*it))
            continue;
        it->hasDefault = it->mode != 'o';
        --left;
    }

    bool outputs = false;
    for (const RoutineArg &a : r.args)
        outputs = outputs || a.mode == 'o' || a.mode == 'b' || a.mode == 't';
    if (!r.procedure) {
        r.rowResult = r.returnsSet || (!outputs && returnKind == 'c');
        r.scalarResult = !r.rowResult && !outputs && returnType != oid::Void && returnType != oid::Record;
    }
    return r;
}

// The caller's parameter for an argument: by name, else (for a name the routine does not know)
// by position among the arguments.
Parameter *findParameter(const Routine &r, int index, std::vector<Parameter> &params)
{
    const RoutineArg &arg = r.args[std::size_t(index)];
    for (Parameter &p : params)
        if (p.Direction != adParamReturnValue && p.Name == arg.name)
            return &p;
    for (Parameter &p : params)
        if (p.Direction != adParamReturnValue && p.Name.compare(arg.name, Qt::CaseInsensitive) == 0)
            return &p;
    int k = 0;
    for (Parameter &p : params) {
        if (p.Direction == adParamReturnValue)
            continue;
        if (k++ != index)
            continue;
        for (const RoutineArg &other : r.args)
            if (p.Name.compare(other.name, Qt::CaseInsensitive) == 0)
                return nullptr;
        return &p;
    }
    return nullptr;
}

} // namespace

std::vector<SchemaObject> PostgresBackend::objects(SchemaObject::Kind kind)
{
    const Call c(*this);
    ResultPtr res;
    switch (kind) {
    case SchemaObject::Kind::Table: res = exec(c, kRelations, {std::string("{r,p,f}")}); break;
    case SchemaObject::Kind::View: res = exec(c, kRelations, {std::string("{v,m}")}); break;
    case SchemaObject::Kind::Routine: res = exec(c, kRoutines); break;
    }
    std::vector<SchemaObject> out;
    out.reserve(std::size_t(PQntuples(res.get())));
    for (int i = 0; i < PQntuples(res.get()); ++i) {
        SchemaObject o;
        o.kind = kind;
        o.Owner = text(res.get(), i, 0);
        o.Name = text(res.get(), i, 1);
        o.Description = text(res.get(), i, 2);
        out.push_back(o);
    }
    return out;
}

std::vector<FieldInfo> PostgresBackend::tableColumns(const QString &owner, const QString &name)
{
    const Call c(*this);
    const ResultPtr res = exec(c, kTableColumns, {owner.toStdString(), name.toStdString()});
    const PGresult *r = res.get();
    if (PQntuples(r) == 0)
        throw DbError(QStringLiteral("The table or view %1 does not exist")
                          .arg(owner.isEmpty() ? name : owner + QLatin1Char('.') + name),
                      QStringLiteral("42P01"));
    std::vector<FieldInfo> fields;
    for (int i = 0; i < PQntuples(r); ++i) {
        if (PQgetisnull(r, i, 0))
            continue; // a table without columns
        FieldInfo f;
        f.Name = text(r, i, 0);
        f.DeclaredType = text(r, i, 1);
        applyType(f, Oid(std::strtoul(PQgetvalue(r, i, 2), nullptr, 10)), std::atoi(PQgetvalue(r, i, 3)));
        f.Nullable = PQgetvalue(r, i, 4)[0] != 't';
        f.BaseSchemaName = text(r, i, 5);
        f.BaseTableName = text(r, i, 6);
        f.BaseColumnName = f.Name;
        fields.push_back(f);
    }
    return fields;
}

std::vector<ParameterInfo> PostgresBackend::routineParameters(const QString &owner, const QString &name)
{
    const Routine r = findRoutine(Call(*this), owner, name);
    std::vector<ParameterInfo> out;
    auto typed = [](ParameterInfo &p, Oid type) {
        FieldInfo f;
        applyType(f, type, -1);
        p.Type = f.Type;
        p.Size = f.DefinedSize;
        p.Precision = f.Precision;
        p.NumericScale = f.NumericScale;
    };
    if (r.scalarResult) {
        ParameterInfo p;
        p.Name = QStringLiteral("RETURN_VALUE");
        p.Direction = adParamReturnValue;
        typed(p, r.returnBase);
        out.push_back(p);
    }
    for (const RoutineArg &a : r.args) {
        if (a.mode == 't')
            continue;
        ParameterInfo p;
        p.Name = a.name;
        p.Direction = a.mode == 'o' ? adParamOutput : a.mode == 'b' ? adParamInputOutput : adParamInput;
        typed(p, a.baseType);
        p.HasDefault = a.hasDefault;
        out.push_back(p);
    }
    return out;
}

std::shared_ptr<RowStore> PostgresBackend::callRoutine(const QString &owner, const QString &name,
                                                       std::vector<Parameter> &params)
{
    const Call c(*this);
    const Routine r = findRoutine(c, owner, name);

    // Arguments go by position until one is left out for its default; those after it by name.
    // A Null value is passed as Null unless the argument has a default: then it is left out.
    ParamValues values;
    std::vector<Oid> types;
    QString args;
    bool byName = false;
    int index = 0;
    for (const RoutineArg &a : r.args) {
        const int argIndex = index++;
        if (a.mode == 't' || !r.inCall(a))
            continue;
        const Parameter *given = findParameter(r, argIndex, params);
        const bool absent = !given || !given->Value.isValid() || given->Value.isNull();
        if (a.mode != 'o' && a.hasDefault && absent) {
            byName = true;
            continue;
        }
        if (byName && !a.named)
            throw DbError(QStringLiteral("The routine %1 has an unnamed argument %2 after one left to its default;"
                                         " give a value to every argument before it")
                              .arg(name, a.name));
        values.push_back(a.mode == 'o' || !given ? std::nullopt : paramText(given->Value, a.type));
        types.push_back(a.type);
        QString arg = QStringLiteral("$%1").arg(values.size());
        if (byName)
            arg = dialect()->quoteIdentifier(a.name) + QStringLiteral(" => ") + arg;
        if (a.mode == 'v')
            arg.prepend(QStringLiteral("VARIADIC "));
        if (!args.isEmpty())
            args += QStringLiteral(", ");
        args += arg;
    }
    const QString target = dialect()->quoteIdentifier(r.schema) + QLatin1Char('.') + dialect()->quoteIdentifier(r.name);
    const QString sql = dialect()->routineCall(target, args, r.procedure, false);
    const ResultPtr res = exec(c, sql, values, types);
    if (PQresultStatus(res.get()) != PGRES_TUPLES_OK)
        return emptyStore();

    std::shared_ptr<RowStore> rows = storeOf(c, res.get());
    if (rows->rowCount() > 0) {
        if (r.scalarResult) {
            for (Parameter &p : params)
                if (p.Direction == adParamReturnValue)
                    p.Value = rows->value(0, 0);
        } else {
            // Output arguments arrive as the columns of the first row, in their order.
            int col = 0;
            index = 0;
            for (const RoutineArg &a : r.args) {
                const int argIndex = index++;
                if ((a.mode != 'o' && a.mode != 'b') || col >= rows->columnCount())
                    continue;
                if (Parameter *p = findParameter(r, argIndex, params))
                    p->Value = rows->value(0, col);
                ++col;
            }
        }
    }
    return r.rowResult ? rows : emptyStore();
}

} // namespace db::pg
