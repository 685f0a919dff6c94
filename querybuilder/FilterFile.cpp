#include "FilterFile.h"

#include "FilterGrid.h"

#include <hlQueryBuilder/QueryBuilder.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

namespace querybuilder {

namespace {

const QString kFormat = QStringLiteral("Tabulon filter");
// A filter of ten thousand conditions is no filter a person built; a bigger file is not ours.
constexpr qint64 kMaxFileBytes = 8 * 1024 * 1024;
constexpr qsizetype kMaxConditions = 10000;

struct Key {
    const char *name;
    int column;
};

const Key kTextKeys[] = {{"open", QueryBuilder::colOpen},         {"field", QueryBuilder::colField},
                         {"is", QueryBuilder::colIs},             {"comparison", QueryBuilder::colComparison},
                         {"value", QueryBuilder::colValue},       {"close", QueryBuilder::colClose},
                         {"operator", QueryBuilder::colOperator}};

[[noreturn]] void refuse(const QString &why)
{
    throw FilterFileError(why.toStdString());
}

// A list cell holds one of its list's entries; the blank entry stands for no text.
bool fromList(const QString &list, const QString &text, bool blankAllowed)
{
    return (blankAllowed && text.isEmpty()) || (!text.trimmed().isEmpty() && inList(list, text));
}

} // namespace

void writeFilterFile(const QString &path, const std::vector<FilterRow> &rows)
{
    QJsonArray conditions;
    for (const FilterRow &row : rows) {
        QJsonObject o;
        for (const Key &k : kTextKeys)
            o.insert(QLatin1String(k.name), row[std::size_t(k.column)]);
        bool ok = false;
        const int ordinal = row[QueryBuilder::colOrdinal].toInt(&ok);
        if (ok)
            o.insert(QStringLiteral("ordinal"), ordinal);
        // A row without a field may not have said yet what its value is.
        const QString isField = row[QueryBuilder::colIsField];
        o.insert(QStringLiteral("valueIsField"),
                 isField.trimmed().isEmpty() ? QJsonValue() : QJsonValue(readBoolean(isField).value_or(false)));
        conditions.append(o);
    }
    const QJsonObject document{{QStringLiteral("format"), kFormat},
                               {QStringLiteral("version"), kFilterFileVersion},
                               {QStringLiteral("conditions"), conditions}};
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw std::runtime_error(QStringLiteral("Cannot write %1: %2").arg(path, file.errorString()).toStdString());
    file.write(QJsonDocument(document).toJson(QJsonDocument::Indented));
    if (!file.commit())
        throw std::runtime_error(QStringLiteral("Cannot write %1: %2").arg(path, file.errorString()).toStdString());
}

std::vector<FilterRow> readFilterFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error(QStringLiteral("Cannot read %1: %2").arg(path, file.errorString()).toStdString());
    if (file.size() > kMaxFileBytes)
        refuse(QStringLiteral("the file is far larger than any filter"));
    const QByteArray bytes = file.readAll();
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError)
        refuse(QStringLiteral("its text breaks off or is not a filter's (%1 at byte %2)")
                   .arg(error.errorString())
                   .arg(error.offset));
    const QJsonObject top = document.object();
    if (!document.isObject() || top.value(QStringLiteral("format")).toString() != kFormat)
        refuse(QStringLiteral("it does not say it holds a filter"));
    const QJsonValue version = top.value(QStringLiteral("version"));
    if (!version.isDouble() || version.toDouble() != double(version.toInt()) || version.toInt() < 1)
        refuse(QStringLiteral("it has no version number"));
    if (version.toInt() > kFilterFileVersion)
        refuse(QStringLiteral("it was written by a newer version of Tabulon (format %1)").arg(version.toInt()));
    const QJsonValue list = top.value(QStringLiteral("conditions"));
    if (!list.isArray() || list.toArray().isEmpty())
        refuse(QStringLiteral("it holds no conditions"));
    const QJsonArray conditions = list.toArray();
    if (conditions.size() > kMaxConditions)
        refuse(QStringLiteral("it holds more than %1 conditions").arg(kMaxConditions));

    std::vector<FilterRow> rows;
    for (qsizetype i = 0; i < conditions.size(); ++i) {
        const QString where = QStringLiteral("condition %1").arg(i + 1);
        if (!conditions.at(i).isObject())
            refuse(where + QStringLiteral(" is not a condition"));
        const QJsonObject o = conditions.at(i).toObject();
        FilterRow row;
        for (const Key &k : kTextKeys) {
            const QJsonValue v = o.value(QLatin1String(k.name));
            if (!v.isString())
                refuse(QStringLiteral("%1 has no \"%2\" text").arg(where, QLatin1String(k.name)));
            row[std::size_t(k.column)] = v.toString();
        }
        const QJsonValue isField = o.value(QStringLiteral("valueIsField"));
        if (isField.isBool())
            row[QueryBuilder::colIsField] = isField.toBool() ? kTrue : kFalse;
        else if (!isField.isNull())
            refuse(where + QStringLiteral(" does not say whether its value is a field"));
        const QJsonValue ordinal = o.value(QStringLiteral("ordinal"));
        if (ordinal.isDouble() && ordinal.toInt(-1) >= 0)
            row[QueryBuilder::colOrdinal] = QString::number(ordinal.toInt());

        const bool hasField = !row[QueryBuilder::colField].isEmpty();
        const bool valid = fromList(kOpeningList, row[QueryBuilder::colOpen], true)
                           && fromList(kClosingList, row[QueryBuilder::colClose], true)
                           && fromList(kIsList, row[QueryBuilder::colIs], !hasField)
                           && fromList(kComparisonList, row[QueryBuilder::colComparison], !hasField)
                           && fromList(kOperatorList, row[QueryBuilder::colOperator], true);
        if (!valid)
            refuse(where + QStringLiteral(" holds a word, bracket or field this grid does not offer"));
        if (!hasField)
            row[QueryBuilder::colOrdinal].clear();
        rows.push_back(row);
    }
    return rows;
}

} // namespace querybuilder
