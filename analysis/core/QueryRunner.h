#pragma once

#include <tabulon/hlTabulonExport.h>

#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <memory>
#include <optional>

namespace db {
class Command;
class Connection;
class Recordset;
class RecordsetFilter;
} // namespace db

namespace analysis {

// The query behind one analysis control, without its window: the data source and the statement,
// a stored routine's command, the results' recordset from opening to closing, the filters and the
// sort order laid over the statement, and the list of fields the views offer. Its work throws
// (db::DbError and the like); the control that drives it traps and reports.
class HLTABULON_EXPORT QueryRunner {
public:
    // What the statement names; numbered as the control's data types.
    enum Source : qint32 { Table = 0, View = 1, StoredProc = 2, XML = 3 };

    QueryRunner();
    ~QueryRunner();
    QueryRunner(const QueryRunner &) = delete;
    QueryRunner &operator=(const QueryRunner &) = delete;

    // --- the source ---
    // The connection is the browser's, lent to the control.
    void setConnection(std::shared_ptr<db::Connection> connection) { m_connection = std::move(connection); }
    const std::shared_ptr<db::Connection> &connection() const { return m_connection; }
    // The table, view, routine or statement the host asked for.
    void setStatement(const QString &sql) { m_statement = sql; }
    const QString &statement() const { return m_statement; }
    void setSource(Source source) { m_source = source; }
    Source source() const { return m_source; }
    // A routine's or an XML document's rows are held in memory; a table's or a statement's are
    // fetched as they are needed.
    bool inMemory() const { return m_source == StoredProc || m_source == XML; }
    void setMaxRecords(qint32 rows) { m_maxRecords = rows; }
    qint32 maxRecords() const { return m_maxRecords; }
    // The identifier delimiter the statement text is written with.
    void setDelimiter(const QString &delimiter) { m_delimiter = delimiter; }
    const QString &delimiter() const { return m_delimiter; }
    // The provider's first message of the connection's last failure; empty when it kept none.
    QString providerMessage() const;

    // --- the file ---
    // The query's SQL script or XML document, as last opened or saved; an XML document is the
    // results' source.
    void setFileName(const QString &file) { m_fileName = file; }
    const QString &fileName() const { return m_fileName; }
    // The name the save dialog proposes for a statement of the file's query. For the results
    // (viewSuffix empty) it is the file itself; for another view the file's name without blanks
    // gets "_<viewSuffix>" before its extension, which then replaces `extension`.
    QString saveProposal(const QString &viewSuffix, QString &extension) const;

    // --- the stored routine ---
    // The routine's command on the connection (a closed one without), its parameters read from
    // the catalogue.
    void prepareRoutine();
    db::Command *routine() const { return m_routine.get(); }
    // The source with the routine's parameter values written in, as the results' caption.
    QString parametersText(const QString &source) const;

    // --- filters and sort order ---
    // The column-menu filter, in the recordset's filter syntax.
    void setFilter(const QString &filter) { m_filter = filter; }
    const QString &filter() const { return m_filter; }
    // The query builder's filter, as the statement's condition.
    void setBuilderFilter(const QString &filter) { m_builderFilter = filter; }
    const QString &builderFilter() const { return m_builderFilter; }
    // The builder's conditions for rows held in memory; the filter becomes their text.
    void setBuilderConditions(const db::RecordsetFilter &conditions);
    // No builder filter, neither text nor conditions.
    void clearBuilderFilter();
    // --- the column menu's conditions ---
    // The field of the results that a grid column shows under `caption`: the field of that name,
    // else the one at the column's position.
    int resultsField(const QString &caption, int col) const;
    // The row of the results behind the grid's data row `row` (from 0) when its cell of `field`
    // still shows `text`: in a bound grid that row itself; rows held in memory, which the grid may
    // have sorted, are searched. Fetches up to that row.
    std::optional<std::size_t> cellRow(int field, std::size_t row, bool bound, const QString &text) const;
    // A condition on one column of the results, or why none can be written.
    struct ColumnCondition {
        QString text;    // in the database's SQL, or in the recordset filter's syntax in memory
        QString value;   // the value as used: '*' written as '%', a wildcard completed
        QString refusal; // the message for the user when no condition can be written
    };
    // The condition "column `caption` (field `field`) equal to `value`" (unequal when !equal):
    // IS NULL for an empty date or a Null cell, LIKE for a typed value with wildcards (when
    // `wildcards`; a cell's own text is always meant as it stands), else a literal of the
    // column's type, from the cell's own row when `cell` holds it (full precision).
    ColumnCondition columnCondition(const QString &caption, int field, bool equal, const QString &value,
                                    std::optional<std::size_t> cell, bool wildcards) const;
    // Joins `condition` to the column-menu filter with AND, or puts it in the filter's place. Rows
    // held in memory are filtered by it at once, so that a condition the recordset cannot read
    // throws here and is never kept: after a throw both filters are as they were.
    void addFilter(const QString &condition, bool replace);
    // No column-menu filter, on the statement nor on the results.
    void removeFilter();
    // One {caption, flag} pair per sort column, flag "1" for descending; {"-1", ""} is no order.
    void setSortCols(const QList<QStringList> &cols) { m_sortCols = cols; }
    const QList<QStringList> &sortCols() const { return m_sortCols; }
    void resetSortCols();
    bool hasSortOrder() const;

    // --- the statement text ---
    // sql narrowed by the builder's and the column menu's filters.
    QString filteredStatement(const QString &sql) const;
    // Writes the sort order into sql; false when there is an order but no results to sort yet.
    bool orderStatement(QString &sql) const;
    // What a run of sql shows in its messages: for a routine, its command text.
    QString runText(const QString &sql) const;

    // --- the results ---
    const std::shared_ptr<db::Recordset> &results() const { return m_results; }
    bool resultsOpen() const;
    // A fresh, closed recordset in place of the last results.
    void resetResults();
    // Closes the last results and makes ready a fresh recordset for the next run: a client cursor
    // for a routine, at most one row for a statement only checked.
    void newResults(bool checkOnly);
    // Checks sql on the connection without running it.
    void checkSyntax(const QString &sql) const;
    // Runs the source into the fresh recordset: the routine's command (the values entered kept
    // as entered, the output values taken), the XML document of fileName(), or sql on the
    // connection. A routine without a result set gives its output values as one row.
    void openResults(const QString &sql);
    // Lays the builder's conditions and the column-menu filter over rows held in memory.
    void filterInMemory();
    // The same filters laid over other rows of the same columns (a routine's rows run again).
    void filterRows(db::Recordset &rows) const;
    // Orders rows held in memory by the sort list.
    void sortInMemory();

    // --- the field list ---
    // Reads the columns of sql's result (for rows held in memory, of the open results) without
    // reading a row: the field recordset, and the fields the views offer, {name, ADO type code}
    // each, empty rows for the others at the end; by name when sortByName.
    void readFields(const QString &sql, bool sortByName);
    const std::shared_ptr<db::Recordset> &fieldsRecordset() const { return m_fields; }
    // An empty field recordset where none was read.
    const std::shared_ptr<db::Recordset> &ensureFieldsRecordset();
    void setFields(const QList<QStringList> &fields) { m_fieldList = fields; }
    const QList<QStringList> &fields() const { return m_fieldList; }
    // The views' pickers hold the field list of the statement as it stands; an edited or another
    // statement needs it read again.
    void setFieldsLoaded(bool loaded) { m_fieldsLoaded = loaded; }
    bool fieldsLoaded() const { return m_fieldsLoaded; }

    // Closes the results and the field recordset; each failure is passed over.
    void closeAll() noexcept;
    // Lets go of the recordsets, the command and the connection.
    void release();

private:
    std::shared_ptr<db::Connection> m_connection;
    std::shared_ptr<db::Recordset> m_results;
    std::shared_ptr<db::Recordset> m_fields;
    std::unique_ptr<db::Command> m_routine;
    std::shared_ptr<db::RecordsetFilter> m_builderConditions;
    QString m_statement;
    QString m_fileName;
    QString m_delimiter;
    QString m_filter;
    QString m_builderFilter;
    QList<QStringList> m_sortCols;
    QList<QStringList> m_fieldList;
    Source m_source = Table;
    qint32 m_maxRecords = 0;
    bool m_fieldsLoaded = false;
};

} // namespace analysis
