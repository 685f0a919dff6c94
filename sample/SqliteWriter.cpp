#include "SqliteWriter.h"

#include "SampleData.h"

#include <sqlite3.h>

#include <memory>
#include <stdexcept>
#include <system_error>
#include <unistd.h>

namespace sample {

namespace {

struct DatabaseCloser {
    void operator()(sqlite3 *db) const { sqlite3_close(db); }
};
struct StatementFinalizer {
    void operator()(sqlite3_stmt *statement) const { sqlite3_finalize(statement); }
};
using DatabaseHandle = std::unique_ptr<sqlite3, DatabaseCloser>;
using StatementHandle = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

[[noreturn]] void fail(sqlite3 *db, const std::string &what)
{
    throw std::runtime_error(what + ": " + (db ? sqlite3_errmsg(db) : "out of memory"));
}

void execute(sqlite3 *db, const std::string &sql)
{
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK)
        fail(db, "SQL failed (" + sql.substr(0, sql.find('\n')) + ")");
}

class InsertSink final : public RowSink {
public:
    explicit InsertSink(sqlite3 *db) : m_db(db) {}

    void beginTable(const TableDef &table) override
    {
        execute(m_db, createTableSql(Dialect::SQLite, table));
        std::string columns, marks;
        for (const ColumnDef &column : table.columns) {
            columns += (columns.empty() ? "" : ", ") + identifier(Dialect::SQLite, column.name);
            marks += marks.empty() ? "?" : ", ?";
        }
        const std::string sql =
            "INSERT INTO " + identifier(Dialect::SQLite, table.name) + " (" + columns + ") VALUES (" + marks + ")";
        sqlite3_stmt *statement = nullptr;
        if (sqlite3_prepare_v3(m_db, sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &statement, nullptr) != SQLITE_OK)
            fail(m_db, "Cannot prepare the rows of " + std::string(table.name));
        m_insert.reset(statement);
        m_table = table.name;
    }

    void addRow(std::span<const Value> row) override
    {
        sqlite3_stmt *statement = m_insert.get();
        for (std::size_t i = 0; i < row.size(); ++i) {
            const int at = static_cast<int>(i) + 1;
            const Value &value = row[i];
            int rc = SQLITE_OK;
            if (const auto *n = std::get_if<std::int64_t>(&value))
                rc = sqlite3_bind_int64(statement, at, *n);
            else if (const auto *d = std::get_if<double>(&value))
                rc = sqlite3_bind_double(statement, at, *d);
            else if (const auto *s = std::get_if<std::string>(&value))
                rc = sqlite3_bind_text(statement, at, s->data(), static_cast<int>(s->size()), SQLITE_STATIC);
            else if (const auto *m = std::get_if<Decimal2>(&value))
                rc = sqlite3_bind_double(statement, at, static_cast<double>(m->cents) / 100.0);
            else if (const auto *b = std::get_if<bool>(&value))
                rc = sqlite3_bind_int(statement, at, *b ? 1 : 0);
            else if (const auto *blob = std::get_if<Blob>(&value))
                rc = sqlite3_bind_blob(statement, at, blob->data(), static_cast<int>(blob->size()), SQLITE_STATIC);
            else
                rc = sqlite3_bind_null(statement, at);
            if (rc != SQLITE_OK)
                fail(m_db, "Cannot bind a value of " + m_table);
        }
        if (sqlite3_step(statement) != SQLITE_DONE)
            fail(m_db, "Cannot insert into " + m_table);
        sqlite3_reset(statement);
    }

    void endTable() override { m_insert.reset(); }

private:
    sqlite3 *m_db;
    StatementHandle m_insert;
    std::string m_table;
};

// Removes the temporary file unless it has been renamed into place.
class TemporaryFile {
public:
    explicit TemporaryFile(std::filesystem::path path) : m_path(std::move(path)) { discard(); }
    ~TemporaryFile()
    {
        if (!m_kept)
            discard();
    }
    TemporaryFile(const TemporaryFile &) = delete;
    TemporaryFile &operator=(const TemporaryFile &) = delete;

    const std::filesystem::path &path() const { return m_path; }
    void keep() { m_kept = true; }

private:
    void discard()
    {
        std::error_code ignored;
        std::filesystem::remove(m_path, ignored);
        std::filesystem::remove(std::filesystem::path(m_path) += "-journal", ignored);
    }

    std::filesystem::path m_path;
    bool m_kept = false;
};

void build(const std::filesystem::path &file)
{
    sqlite3 *raw = nullptr;
    const int opened = sqlite3_open_v2(file.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    DatabaseHandle db(raw);
    if (opened != SQLITE_OK)
        fail(db.get(), "Cannot create " + file.string());

    // No journal: a failed build is thrown away whole, never rolled back.
    execute(db.get(), "PRAGMA journal_mode = OFF");
    execute(db.get(), "PRAGMA synchronous = FULL");
    execute(db.get(), "PRAGMA foreign_keys = ON");
    execute(db.get(), "PRAGMA user_version = 1");
    execute(db.get(), "BEGIN");
    {
        InsertSink sink(db.get());
        generateSampleData(sink);
    }
    // Indexes after the rows: one sort each instead of a growing B-tree per insert.
    for (const IndexDef &index : sampleIndexes())
        execute(db.get(), createIndexSql(Dialect::SQLite, index));
    for (const ViewDef &view : sampleViews())
        execute(db.get(), createViewSql(Dialect::SQLite, view));
    execute(db.get(), "COMMIT");

    if (sqlite3_close(db.get()) != SQLITE_OK)
        fail(db.get(), "Cannot close " + file.string());
    db.release();
}

} // namespace

bool writeSqliteDatabase(const std::filesystem::path &path, std::string &error)
{
    try {
        std::filesystem::path temporaryPath = path;
        temporaryPath += ".tmp-" + std::to_string(::getpid());
        TemporaryFile temporary(temporaryPath);
        build(temporary.path());
        std::error_code ec;
        std::filesystem::rename(temporary.path(), path, ec);
        if (ec)
            throw std::runtime_error("Cannot move the new database to " + path.string() + ": " + ec.message());
        temporary.keep();
        return true;
    } catch (const std::exception &e) {
        error = e.what();
        return false;
    }
}

} // namespace sample
