#include "core/QueryRunner.h"

#include "core/QueryText.h"

#include "db/Command.h"
#include "db/Connection.h"
#include "db/Recordset.h"
#include "db/RecordsetFilter.h"
#include "db/RowStore.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace analysis {

namespace qtext = querytext;

namespace {

// A routine that answers only through its output parameters still has something to show: one
// row of those values, under the call text a client cursor would report.
std::shared_ptr<db::Recordset> outputRow(const db::Command &command)
{
    std::vector<db::FieldInfo> fields;
    std::vector<const db::Parameter *> outputs;
    for (const db::Parameter &p : command.Parameters) {
        if (p.Direction == db::adParamInput)
            continue;
        db::FieldInfo f;
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
    auto store = std::make_shared<db::RowStore>(fields);
    store->beginRow();
    for (int i = 0; i < int(outputs.size()); ++i)
        store->setValue(i, outputs[std::size_t(i)]->Value);
    store->endRow();
    return db::Recordset::fromStore(std::move(store), command.callText());
}

bool isOpen(const std::shared_ptr<db::Recordset> &rs)
{
    return rs && rs->State() == db::adStateOpen;
}

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
    const db::Provider provider = m_connection ? m_connection->provider() : db::Provider::SQLite;
    return qtext::getParameters(source, m_routine->Parameters, provider);
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
        throw db::DbError(QStringLiteral("There is no connection"));
    m_connection->CheckSyntax(sql);
}

void QueryRunner::openResults(const QString &sql)
{
    if (!m_results)
        newResults(false);
    if (m_source == StoredProc) {
        if (!m_routine)
            throw db::DbError(QStringLiteral("The stored procedure has not been set up"));
        std::vector<QVariant> saved;
        for (const db::Parameter &p : m_routine->Parameters)
            saved.push_back(p.Value);
        try {
            m_results->Open(*m_routine);
        } catch (...) {
            for (std::size_t i = 0; i < saved.size(); ++i)
                m_routine->Parameters[i].Value = saved[i];
            throw;
        }
        if (m_results->State() != db::adStateOpen) {
            if (auto outputs = outputRow(*m_routine))
                m_results = std::move(outputs);
        }
        for (std::size_t i = 0; i < saved.size() && i < m_routine->Parameters.size(); ++i) {
            const int dir = m_routine->Parameters[i].Direction;
            // Output values stay for the call text; what was entered is kept as entered.
            if (dir == db::adParamInput || dir == db::adParamInputOutput)
                m_routine->Parameters[i].Value = saved[i];
        }
    } else if (m_source == XML) {
        m_results->OpenXml(m_fileName);
    } else {
        if (!m_connection)
            throw db::DbError(QStringLiteral("There is no connection"));
        m_results->Open(sql, m_connection);
    }
}

void QueryRunner::filterInMemory()
{
    if (!isOpen(m_results))
        return;
    db::RecordsetFilter::Node both;
    both.isGroup = true;
    if (m_builderConditions && !m_builderFilter.isEmpty() && !m_builderConditions->isEmpty())
        both.children.push_back(m_builderConditions->root());
    if (!m_filter.isEmpty())
        both.children.push_back(db::RecordsetFilter::parse(m_filter).root());
    both.joinedByOr.assign(both.children.empty() ? 0 : both.children.size() - 1, false);
    if (both.children.empty())
        m_results->setFilter(QString());
    else
        m_results->setFilter(db::RecordsetFilter(both));
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
            throw db::DbError(QStringLiteral("The results are not open"));
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
            throw db::DbError(QStringLiteral("There is no connection"));
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
