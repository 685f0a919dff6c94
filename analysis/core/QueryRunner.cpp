#include "core/QueryRunner.h"

#include "core/QueryText.h"

#include "db/Command.h"
#include "db/Connection.h"
#include "db/Recordset.h"
#include "db/RecordsetFilter.h"
#include "db/RowStore.h"
#include "db/Types.h"
#include "db/ValueRules.h"

#include <QDate>
#include <QDateTime>

#include <algorithm>
#include <utility>
#include <vector>

namespace analysis {

namespace qtext = querytext;

namespace {

bool isOpen(const std::shared_ptr<db::Recordset> &rs)
{
    return rs && rs->State() == db::adStateOpen;
}

// A date typed in a form the data layer does not read itself.
std::optional<QDateTime> dateOf(const QString &text)
{
    const QString t = text.trimmed();
    for (const char *format : {"dd/MM/yyyy", "dd/MM/yyyy HH:mm:ss", "dd.MM.yyyy", "dd.MM.yyyy HH:mm:ss"}) {
        const QDateTime d = QDateTime::fromString(t, QLatin1String(format));
        if (d.isValid())
            return d;
    }
    return std::nullopt;
}

// One value of the column's type, from a cell or from what the user typed.
struct FilterValue {
    std::shared_ptr<db::RowStore> store;
    std::size_t row = 0;
};

} // namespace

QueryRunner::QueryRunner() = default;

QueryRunner::~QueryRunner() = default;

QString QueryRunner::providerMessage() const
{
    if (!m_connection || m_connection->Errors().empty())
        return {};
    return m_connection->Errors().front().Description;
}

QString QueryRunner::saveProposal(const QString &viewSuffix, QString &extension) const
{
    if (viewSuffix.isEmpty())
        return m_fileName;
    QString proposal;
    if (!m_fileName.isEmpty()) {
        // Blanks go from the file's own name, never from its folder, which must stay the folder
        // it is.
        const int slash = int(m_fileName.lastIndexOf(u'/'));
        const QString folder = m_fileName.left(slash + 1);
        QString name = m_fileName.mid(slash + 1);
        name.remove(u' ');
        // The last five characters hold the dot of an extension of up to four letters
        // ("Report.html" as well as "Sales.sql").
        const int dot = int(name.indexOf(u'.', std::max<qsizetype>(0, name.size() - 5)));
        if (dot >= 0 && dot + 1 < name.size()) {
            extension = name.mid(dot + 1);
            proposal = folder + name.left(dot) + u'_';
        } else {
            proposal = folder + (dot >= 0 ? name.left(dot) + u'_' : name);
        }
    }
    return proposal + viewSuffix + u'.' + extension;
}

void QueryRunner::prepareRoutine()
{
    m_routine = std::make_unique<db::Command>();
    m_routine->ActiveConnection = m_connection ? m_connection : db::Connection::create();
    m_routine->CommandType = db::adCmdStoredProc;
    m_routine->CommandText = m_statement;
    m_routine->RefreshParameters();
}

QString QueryRunner::parametersText(const QString &source) const
{
    if (!m_routine)
        return source;
    const auto dialect = m_connection ? m_connection->dialect() : db::Dialect::byDefault();
    return qtext::getParameters(source, m_routine->Parameters, dialect->database());
}

void QueryRunner::setBuilderConditions(const db::RecordsetFilter &conditions)
{
    m_builderConditions = std::make_shared<db::RecordsetFilter>(conditions);
    m_builderFilter = conditions.toString();
}

void QueryRunner::clearBuilderFilter()
{
    m_builderFilter.clear();
    m_builderConditions.reset();
}

int QueryRunner::resultsField(const QString &caption, int col) const
{
    if (!isOpen(m_results))
        throw db::UsageError(QStringLiteral("There are no results to filter"));
    // The clicked column's own field when it bears the name, then a field of exactly that name:
    // PostgreSQL results may hold "N" beside "n", which a name looked up regardless of case mixes.
    if (col >= 0 && col < m_results->FieldCount() && m_results->Field(col).Name == caption)
        return col;
    for (int f = 0; f < m_results->FieldCount(); ++f) {
        if (m_results->Field(f).Name == caption)
            return f;
    }
    const int field = m_results->FieldIndex(caption);
    return field >= 0 ? field : col;
}

std::optional<std::size_t> QueryRunner::cellRow(int field, std::size_t row, bool bound, const QString &text) const
{
    if (m_results->ensureRow(row) && (bound || m_results->displayText(row, field) == text))
        return row;
    if (inMemory()) {
        // The grid's own sort may have moved the copied rows.
        for (std::size_t k = 0; k < m_results->fetchedCount(); ++k) {
            if (m_results->displayText(k, field) == text)
                return k;
        }
    }
    return std::nullopt;
}

QueryRunner::ColumnCondition QueryRunner::columnCondition(const QString &caption, int field, bool equal,
                                                          const QString &typed, std::optional<std::size_t> cell,
                                                          bool wildcards) const
{
    if (!isOpen(m_results))
        throw db::UsageError(QStringLiteral("There are no results to filter"));
    const db::FieldInfo &info = m_results->Field(field);
    const int type = info.Type;
    // Routines and XML documents are filtered in memory, in the recordset filter's syntax;
    // tables and views by the database, in its own.
    const bool memory = inMemory();
    // Through ODBC the condition is written for the database behind the driver, as the query
    // builder writes its own.
    const auto client = m_connection ? m_connection->dialect() : db::Dialect::byDefault();
    const db::Dialect *const dialect = &client->database();
    ColumnCondition out;

    // A name the results hold twice (a join's two "id" columns) cannot say which one it means:
    // the database would refuse it, or take the first.
    const Qt::CaseSensitivity nameCase = dialect->caseSensitiveNames() && !memory ? Qt::CaseSensitive : Qt::CaseInsensitive;
    int sameName = 0;
    for (int f = 0; f < m_results->FieldCount(); ++f)
        sameName += m_results->Field(f).Name.compare(caption, nameCase) == 0 ? 1 : 0;
    if (sameName > 1) {
        out.refusal = QStringLiteral("The results have more than one column named '%1': give each its own name "
                                     "(AS) in the statement to filter by it.")
                          .arg(caption);
        return out;
    }

    QString value = typed;
    bool like = false;
    if (wildcards) {
        value.replace(u'*', u'%');
        like = value.contains(u'%');
        if (like && value.startsWith(u'%') && !value.endsWith(u'%'))
            value += u'%';
    }
    if (type == db::adBoolean && value == QLatin1String("-1"))
        value = QStringLiteral("1");
    out.value = value;

    bool isNull = false;
    if (!like && value.isEmpty()) {
        if (db::isDateType(type))
            isNull = true;
        else if (cell)
            isNull = m_results->isNull(*cell, field);
    }
    if (!isNull && !like && cell && m_results->isNull(*cell, field))
        isNull = true;

    const QString column = db::quoteIdentifier(caption, m_delimiter);
    if (isNull) {
        out.text = column + (equal ? QStringLiteral("  IS NULL") : QStringLiteral("  IS NOT NULL"));
    } else if (db::storageOf(type) == db::Storage::Blob) {
        out.refusal = QStringLiteral("The column '%1' holds binary data: it can be filtered for empty cells only.").arg(caption);
    } else if (like) {
        const QString op = equal ? QStringLiteral(" LIKE ") : QStringLiteral(" NOT LIKE ");
        if (type == db::adBoolean) {
            out.refusal = QStringLiteral("The column '%1' holds True or False: a wildcard cannot match it.").arg(caption);
            return out;
        }
        // Numbers and dates match by the text they show.
        const QString text = memory ? column : dialect->columnText(column, info);
        out.text = text + u' ' + op + db::quoteText(value);
    } else {
        // The value as one cell of the column's type.
        FilterValue v;
        if (cell) {
            v.store = m_results->store();
            v.row = m_results->storeRow(*cell);
        } else {
            v.store = std::make_shared<db::RowStore>(std::vector<db::FieldInfo>{info});
            v.store->beginRow();
            // A typed date is read day first, as the user writes it; ISO and the rest as the data
            // layer reads text.
            const auto d = db::isDateType(type) && type != db::adDBTime ? dateOf(value) : std::nullopt;
            try {
                if (d)
                    v.store->setValue(0, type == db::adDBDate ? QVariant(d->date()) : QVariant(*d));
                else
                    v.store->setValue(0, db::isTextType(type) ? QVariant(value) : QVariant(value.trimmed()));
            } catch (const db::DbError &) {
                out.refusal = QStringLiteral("'") + typed
                              + (db::isDateType(type) ? QStringLiteral("' is not a date.") : QStringLiteral("' is not a number."));
                return out;
            }
            v.store->endRow();
        }
        const int c = cell ? field : 0;
        const QString op = equal ? QStringLiteral(" =") : QStringLiteral(" <>");
        if (memory)
            out.text = column + u' ' + op + u' ' + db::RecordsetFilter::literal(*v.store, v.row, c);
        else
            out.text = dialect->comparison(column, info, op, dialect->literal(*v.store, v.row, c));
    }
    return out;
}

void QueryRunner::addFilter(const QString &condition, bool replace)
{
    const QString filter = m_filter.isEmpty() || replace ? condition : m_filter + QStringLiteral(" AND ") + condition;
    // A filter the recordset cannot read throws before it replaces the one the rows have.
    if (inMemory() && isOpen(m_results))
        m_results->setFilter(filter);
    m_filter = filter;
}

void QueryRunner::removeFilter()
{
    if (isOpen(m_results))
        m_results->setFilter(QString());
    m_filter.clear();
}

void QueryRunner::resetSortCols()
{
    m_sortCols = {QStringList{QStringLiteral("-1"), QString()}};
}

bool QueryRunner::hasSortOrder() const
{
    return qtext::hasSortOrder(m_sortCols);
}

QString QueryRunner::filteredStatement(const QString &sql) const
{
    return qtext::getQuery(sql, m_filter, m_builderFilter);
}

bool QueryRunner::orderStatement(QString &sql) const
{
    if (!hasSortOrder())
        return true;
    if (!m_results)
        return false;
    sql = qtext::changeOrderBy(sql, m_sortCols, m_delimiter);
    return true;
}

QString QueryRunner::runText(const QString &sql) const
{
    return m_source == StoredProc && m_routine ? m_routine->CommandText : sql;
}

bool QueryRunner::resultsOpen() const
{
    return isOpen(m_results);
}

void QueryRunner::resetResults()
{
    m_results = db::Recordset::create();
}

void QueryRunner::newResults(bool checkOnly)
{
    // Each run opens a fresh recordset, so a clone still holding the last one keeps it whole.
    if (isOpen(m_results))
        m_results->Close();
    m_results = db::Recordset::create();
    m_results->CursorLocation = m_source == StoredProc ? db::adUseClient : db::adUseServer;
    m_results->setMaxRecords(checkOnly ? 1 : m_maxRecords);
}

void QueryRunner::checkSyntax(const QString &sql) const
{
    if (!m_connection)
        throw db::UsageError(QStringLiteral("There is no connection"));
    m_connection->CheckSyntax(sql);
}

void QueryRunner::openResults(const QString &sql)
{
    if (!m_results)
        newResults(false);
    // Held here: the open waits with the event loop running, and the recordset must outlive it
    // even if a new run replaced the member meanwhile.
    const std::shared_ptr<db::Recordset> results = m_results;
    if (m_source == StoredProc) {
        if (!m_routine)
            throw db::UsageError(QStringLiteral("The stored procedure has not been set up"));
        std::vector<QVariant> saved;
        for (const db::Parameter &p : m_routine->Parameters)
            saved.push_back(p.Value);
        try {
            results->Open(*m_routine);
        } catch (...) {
            for (std::size_t i = 0; i < saved.size(); ++i)
                m_routine->Parameters[i].Value = saved[i];
            throw;
        }
        if (results->State() != db::adStateOpen) {
            if (auto outputs = m_routine->outputRow())
                m_results = std::move(outputs);
        }
        for (std::size_t i = 0; i < saved.size() && i < m_routine->Parameters.size(); ++i) {
            const int dir = m_routine->Parameters[i].Direction;
            // Output values stay for the call text; what was entered is kept as entered.
            if (dir == db::adParamInput || dir == db::adParamInputOutput)
                m_routine->Parameters[i].Value = saved[i];
        }
    } else if (m_source == XML) {
        results->OpenXml(m_fileName);
    } else {
        if (!m_connection)
            throw db::UsageError(QStringLiteral("There is no connection"));
        results->Open(sql, m_connection);
    }
}

void QueryRunner::filterInMemory()
{
    if (isOpen(m_results))
        filterRows(*m_results);
}

void QueryRunner::filterRows(db::Recordset &rows) const
{
    db::RecordsetFilter::Node both;
    both.isGroup = true;
    if (m_builderConditions && !m_builderFilter.isEmpty() && !m_builderConditions->isEmpty())
        both.children.push_back(m_builderConditions->root());
    if (!m_filter.isEmpty())
        both.children.push_back(db::RecordsetFilter::parse(m_filter).root());
    both.joinedByOr.assign(both.children.empty() ? 0 : both.children.size() - 1, false);
    if (both.children.empty())
        rows.setFilter(QString());
    else
        rows.setFilter(db::RecordsetFilter(both));
}

void QueryRunner::sortInMemory()
{
    QStringList keys;
    for (const QStringList &pair : std::as_const(m_sortCols)) {
        const QString name = pair.value(0);
        if (name.isEmpty() || name == QLatin1String("-1"))
            continue;
        keys << QStringLiteral("[%1] %2").arg(QString(name).replace(QLatin1String("]"), QLatin1String("]]")),
                                           pair.value(1) == QLatin1String("1") ? QStringLiteral("DESC")
                                                                              : QStringLiteral("ASC"));
    }
    m_results->setSort(keys.join(QStringLiteral(", ")));
}

void QueryRunner::readFields(const QString &sql, bool sortByName)
{
    if (isOpen(m_fields))
        m_fields->Close();
    m_fields.reset();
    std::vector<db::FieldInfo> fields;
    if (inMemory()) {
        if (!isOpen(m_results))
            throw db::UsageError(QStringLiteral("The results are not open"));
        m_fields = m_results->Clone();
        for (int i = 0; i < m_fields->FieldCount(); ++i)
            fields.push_back(m_fields->Field(i));
    } else if (isOpen(m_results) && m_results->Source() == sql) {
        // The results of this very statement are open: their columns were typed from the first
        // rows fetched, so the statement is not run again to type its expressions.
        for (int i = 0; i < m_results->FieldCount(); ++i)
            fields.push_back(m_results->Field(i));
        m_fields = db::Recordset::fromStore(std::make_shared<db::RowStore>(fields), sql);
    } else {
        if (!m_connection)
            throw db::UsageError(QStringLiteral("There is no connection"));
        // The result's columns only: nothing but a SELECT is run and no row is read.
        fields = m_connection->DescribeQuery(sql);
        m_fields = db::Recordset::fromStore(std::make_shared<db::RowStore>(fields), sql);
    }
    QList<QStringList> list;
    list.reserve(qsizetype(fields.size()));
    for (const db::FieldInfo &f : fields) {
        if (qtext::allowedDataType(f.Type))
            list.append(QStringList{f.Name, QString::number(f.Type)});
    }
    while (list.size() < qsizetype(fields.size()))
        list.append(QStringList{QString(), QString()});
    if (sortByName)
        qtext::sortArray(list);
    m_fieldList = list;
}

const std::shared_ptr<db::Recordset> &QueryRunner::ensureFieldsRecordset()
{
    if (!m_fields)
        m_fields = db::Recordset::fromStore(std::make_shared<db::RowStore>(std::vector<db::FieldInfo>{}));
    return m_fields;
}

void QueryRunner::closeAll() noexcept
{
    for (std::shared_ptr<db::Recordset> *rs : {&m_results, &m_fields}) {
        try {
            if (isOpen(*rs))
                (*rs)->Close();
        } catch (...) {
        }
    }
}

void QueryRunner::release()
{
    m_results.reset();
    m_fields.reset();
    m_routine.reset();
    // The connection belongs to the browser: only our reference goes.
    m_connection.reset();
}

} // namespace analysis
