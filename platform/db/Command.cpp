#include "db/Command.h"

#include "db/Connection.h"
#include "db/Recordset.h"
#include "db/RowStore.h"


namespace db {

namespace {

// "owner.name", either part bare or quoted; the dot of a quoted part is no separator.
std::pair<QString, QString> splitName(const QString &text)
{
    QStringList parts;
    QString current;
    const QString t = text.trimmed();
    for (qsizetype i = 0; i < t.size();) {
        if (std::optional<QString> quoted = readQuotedName(t, i)) {
            current += *quoted;
        } else if (t[i] == u'.') {
            parts << current;
            current.clear();
            ++i;
        } else {
            current += t[i++];
        }
    }
    parts << current;
    if (parts.size() == 1)
        return {QString(), parts[0].trimmed()};
    const QString name = parts.takeLast().trimmed();
    return {parts.join(u'.').trimmed(), name};
}

Connection &requireConnection(const std::shared_ptr<Connection> &c)
{
    if (!c || c->State() != adStateOpen)
        throw UsageError(QStringLiteral("The command has no open connection"));
    return *c;
}

} // namespace

QString parameterLiteral(const Parameter &parameter, const Dialect &dialect)
{
    if (!parameter.Value.isValid() || parameter.Value.isNull())
        return QStringLiteral("NULL");
    FieldInfo field;
    field.Name = parameter.Name;
    field.Type = parameter.Type;
    field.NumericScale = parameter.NumericScale;
    try {
        return dialect.literal(parameter.Value, field);
    } catch (const DbError &) {
        // What the routine's type cannot hold is still shown as the text it is.
        return quoteText(parameter.Value.toString());
    }
}

void Command::RefreshParameters()
{
    Connection &c = requireConnection(ActiveConnection);
    const auto [owner, name] = splitName(CommandText);
    const std::vector<ParameterInfo> infos = c.RoutineParameters(owner, name);
    std::vector<Parameter> params;
    params.reserve(infos.size());
    for (const ParameterInfo &info : infos) {
        Parameter p;
        static_cast<ParameterInfo &>(p) = info;
        params.push_back(std::move(p));
    }
    Parameters = std::move(params);
}

std::shared_ptr<Recordset> Command::Execute()
{
    Connection &c = requireConnection(ActiveConnection);
    const auto [owner, name] = splitName(CommandText);
    std::shared_ptr<RowStore> rows = c.CallRoutine(owner, name, Parameters);
    if (!rows || rows->columnCount() == 0)
        return Recordset::create();
    return Recordset::fromStore(std::move(rows), callText());
}

QString Command::callText() const
{
    QStringList marks;
    bool returns = false;
    for (const Parameter &p : Parameters) {
        if (p.Direction == adParamReturnValue)
            returns = true;
        else
            marks << QStringLiteral("?");
    }
    return QStringLiteral("{ %1call %2(%3) }")
        .arg(returns ? QStringLiteral("? = ") : QString(), CommandText, marks.join(QStringLiteral(", ")));
}

QString Command::displayText() const
{
    const auto dialect = ActiveConnection ? ActiveConnection->dialect() : Dialect::byDefault();
    QStringList values;
    for (const Parameter &p : Parameters) {
        if (p.Direction == adParamReturnValue || p.Direction == adParamOutput)
            continue;
        values << parameterLiteral(p, *dialect);
    }
    return values.isEmpty() ? CommandText : CommandText + u' ' + values.join(QStringLiteral(", "));
}

std::shared_ptr<Recordset> Command::outputRow() const
{
    std::vector<FieldInfo> fields;
    std::vector<const Parameter *> outputs;
    for (const Parameter &p : Parameters) {
        if (p.Direction == adParamInput)
            continue;
        FieldInfo f;
        f.Name = p.Name;
        f.Type = p.Type;
        f.DefinedSize = p.Size;
        f.Precision = p.Precision;
        f.NumericScale = p.NumericScale;
        fields.push_back(f);
        outputs.push_back(&p);
    }
    if (fields.empty())
        return {};
    auto store = std::make_shared<RowStore>(fields);
    store->beginRow();
    for (int i = 0; i < int(outputs.size()); ++i)
        store->setValue(i, outputs[std::size_t(i)]->Value);
    store->endRow();
    return Recordset::fromStore(std::move(store), callText());
}

} // namespace db
