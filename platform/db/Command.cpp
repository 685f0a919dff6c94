#include "db/Command.h"

#include "db/Connection.h"
#include "db/Recordset.h"

#include <QDate>
#include <QDateTime>
#include <QTime>

#include <charconv>
#include <cmath>

namespace db {

namespace {

// "owner.name", either part bare, "quoted" or [bracketed]; the dot of a quoted part is no separator.
std::pair<QString, QString> splitName(const QString &text)
{
    QStringList parts;
    QString current;
    QChar close;
    const QString t = text.trimmed();
    for (qsizetype i = 0; i < t.size(); ++i) {
        const QChar c = t[i];
        if (!close.isNull()) {
            if (c == close) {
                if (i + 1 < t.size() && t[i + 1] == close) {
                    current += c;
                    ++i;
                } else {
                    close = QChar();
                }
            } else {
                current += c;
            }
        } else if (c == u'"' || c == u'[') {
            close = c == u'[' ? QChar(u']') : QChar(u'"');
        } else if (c == u'.') {
            parts << current;
            current.clear();
        } else {
            current += c;
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
        throw DbError(QStringLiteral("The command has no open connection"));
    return *c;
}

QString numberText(double v)
{
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return QString::fromLatin1(buf, qsizetype(r.ptr - buf));
}

QString literal(const Parameter &p)
{
    const QVariant &v = p.Value;
    if (!v.isValid() || v.isNull())
        return QStringLiteral("NULL");
    switch (v.metaType().id()) {
    case QMetaType::Bool:
        return v.toBool() ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Long:
    case QMetaType::ULong:
        return v.toString();
    case QMetaType::Double:
    case QMetaType::Float:
        if (std::isfinite(v.toDouble()))
            return numberText(v.toDouble());
        return quoteText(v.toString());
    case QMetaType::QDate:
        return quoteText(v.toDate().toString(Qt::ISODate));
    case QMetaType::QTime:
        return quoteText(v.toTime().toString(QStringLiteral("HH:mm:ss")));
    case QMetaType::QDateTime:
        return quoteText(v.toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
    case QMetaType::QByteArray:
        if (storageOf(p.Type) == Storage::Blob)
            return QStringLiteral("0x") + QString::fromLatin1(v.toByteArray().toHex());
        return quoteText(QString::fromUtf8(v.toByteArray()));
    default:
        break;
    }
    const QString text = v.toString();
    if (isNumericType(p.Type)) {
        // A number typed as text is still written bare when it reads as a number.
        bool ok = false;
        text.trimmed().toDouble(&ok);
        if (ok && !text.trimmed().contains(QLatin1String("inf"), Qt::CaseInsensitive)
            && !text.trimmed().contains(QLatin1String("nan"), Qt::CaseInsensitive))
            return text.trimmed();
    }
    return quoteText(text);
}

} // namespace

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
    c.clearErrors();
    std::shared_ptr<RowStore> rows;
    try {
        rows = c.backend().callRoutine(owner, name, Parameters);
    } catch (const DbError &e) {
        throw c.addError(e);
    }
    if (!rows || rows->columnCount() == 0)
        return Recordset::create();
    // The call text as a client cursor reports it: { ? = call name(?, ?) }
    QStringList marks;
    bool returns = false;
    for (const Parameter &p : Parameters) {
        if (p.Direction == adParamReturnValue)
            returns = true;
        else
            marks << QStringLiteral("?");
    }
    const QString source = QStringLiteral("{ %1call %2(%3) }")
                               .arg(returns ? QStringLiteral("? = ") : QString(), CommandText, marks.join(QStringLiteral(", ")));
    return Recordset::fromStore(std::move(rows), source);
}

QString Command::displayText() const
{
    QStringList values;
    for (const Parameter &p : Parameters) {
        if (p.Direction == adParamReturnValue || p.Direction == adParamOutput)
            continue;
        values << literal(p);
    }
    return values.isEmpty() ? CommandText : CommandText + u' ' + values.join(QStringLiteral(", "));
}

} // namespace db
