#include "DbFixtures.h"
#include "DbTestSupport.h"

#include "db/Command.h"
#include "db/Connection.h"
#include "db/Recordset.h"
#include "db/RecordsetFilter.h"
#include "db/Worker.h"

#include <gtest/gtest.h>

#include <QDate>
#include <QFile>
#include <QTemporaryDir>

using namespace db;
using dbtest::field;

namespace {

// id, name, amount (exact), day, score; a Null where the row gives an invalid QVariant.
std::shared_ptr<Recordset> memoryRecordset(const std::vector<std::vector<QVariant>> &rows)
{
    auto store = std::make_shared<RowStore>(std::vector<FieldInfo>{
        field("id", adInteger), field("name", adVarWChar), field("amount", adNumeric, 10, 2), field("day", adDBDate),
        field("score", adDouble)});
    for (const auto &row : rows) {
        store->beginRow();
        for (int c = 0; c < int(row.size()); ++c)
            store->setValue(c, row[std::size_t(c)]);
        store->endRow();
    }
    return Recordset::fromStore(store, QStringLiteral("memory"));
}

std::shared_ptr<Recordset> sample()
{
    return memoryRecordset({
        {1, "beta", "10.00", QDate(2024, 1, 5), 2.5},
        {2, "Alpha", "9.50", QDate(2023, 12, 31), QVariant()},
        {3, QVariant(), "-0.05", QVariant(), 1.0},
        {4, "alpha", "100.25", QDate(2024, 1, 5), 2.5},
        {5, "gamma", QVariant(), QDate(2022, 6, 1), -7.0},
    });
}

std::vector<qlonglong> ids(Recordset &rs)
{
    std::vector<qlonglong> out;
    for (std::size_t r = 0; r < rs.fetchedCount(); ++r)
        out.push_back(rs.value(r, 0).toLongLong());
    return out;
}

class LazyRecordset : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_db = dbtest::makeSqliteDatabase();
        m_conn = Connection::create();
        m_conn->Open(m_db->connectionString());
        m_rs = Recordset::create();
        m_rs->Open(QStringLiteral("SELECT id, label, amount FROM conf_big ORDER BY id"), m_conn);
    }
    std::unique_ptr<dbtest::TestDatabase> m_db;
    std::shared_ptr<Connection> m_conn;
    std::shared_ptr<Recordset> m_rs;
};

} // namespace

TEST(RecordsetNavigation, EmptyRecordsetIsBothBofAndEof)
{
    auto rs = memoryRecordset({});
    EXPECT_TRUE(rs->isBOF());
    EXPECT_TRUE(rs->isEOF());
    EXPECT_EQ(rs->AbsolutePosition(), adPosUnknown);
    EXPECT_EQ(rs->RecordCount(), 0);
    EXPECT_THROW(rs->MoveNext(), DbError);
    EXPECT_THROW(rs->Value(0), DbError);
    rs->MoveLast();
    EXPECT_TRUE(rs->isEOF());
    EXPECT_TRUE(rs->GetRows().empty());
}

TEST(RecordsetNavigation, MovesStopAtBofAndEofAsAdoDoes)
{
    auto rs = sample();
    EXPECT_FALSE(rs->isBOF());
    EXPECT_EQ(rs->AbsolutePosition(), 1);
    rs->MovePrevious();
    EXPECT_TRUE(rs->isBOF());
    EXPECT_EQ(rs->AbsolutePosition(), adPosBOF);
    EXPECT_THROW(rs->MovePrevious(), DbError);
    rs->MoveNext();
    EXPECT_EQ(rs->Value(QStringLiteral("ID")).toLongLong(), 1);
    rs->Move(3);
    EXPECT_EQ(rs->Value(0).toLongLong(), 4);
    rs->Move(10);
    EXPECT_TRUE(rs->isEOF());
    EXPECT_EQ(rs->AbsolutePosition(), adPosEOF);
    EXPECT_THROW(rs->MoveNext(), DbError);
    EXPECT_THROW(rs->Value(0), DbError);
    rs->MovePrevious();
    EXPECT_EQ(rs->Value(0).toLongLong(), 5);
    rs->Move(-10);
    EXPECT_TRUE(rs->isBOF());
    rs->setAbsolutePosition(3);
    EXPECT_TRUE(rs->Value(QStringLiteral("name")).isNull());
    EXPECT_THROW(rs->setAbsolutePosition(6), DbError);
    EXPECT_THROW(rs->Value(QStringLiteral("nope")), DbError);
    const auto rest = rs->GetRows();
    ASSERT_EQ(rest.size(), 3u);
    EXPECT_EQ(rest[0][0].toLongLong(), 3);
    EXPECT_TRUE(rs->isEOF());
}

TEST(RecordsetSortAndFilter, SortsByTypedValuesStablyWithNullsFirst)
{
    auto rs = sample();
    rs->setSort(QStringLiteral("[score] DESC, id"));
    EXPECT_EQ(ids(*rs), (std::vector<qlonglong>{1, 4, 3, 5, 2})) << "Nulls last when descending";
    rs->setSort(QStringLiteral("amount"));
    EXPECT_EQ(ids(*rs), (std::vector<qlonglong>{5, 3, 2, 1, 4})) << "exact decimals by value";
    rs->setSort(QStringLiteral("\"name\" ASC"));
    EXPECT_EQ(ids(*rs), (std::vector<qlonglong>{3, 2, 4, 1, 5})) << "case-insensitive and stable";
    rs->setSort(QStringLiteral("day DESC, name DESC"));
    EXPECT_EQ(ids(*rs), (std::vector<qlonglong>{1, 4, 2, 5, 3}));
    EXPECT_EQ(rs->AbsolutePosition(), 1);

    EXPECT_THROW(rs->setSort(QStringLiteral("nope")), DbError);
    EXPECT_THROW(rs->setSort(QStringLiteral("id SIDEWAYS")), DbError);
    EXPECT_EQ(rs->Sort(), QStringLiteral("day DESC, name DESC")) << "a rejected order changes nothing";
    rs->setSort(QString());
    EXPECT_EQ(ids(*rs), (std::vector<qlonglong>{1, 2, 3, 4, 5}));
}

TEST(RecordsetSortAndFilter, FiltersByTextOrStructuredConditionsTogetherWithSort)
{
    auto rs = sample();
    rs->setSort(QStringLiteral("id DESC"));
    rs->setFilter(QStringLiteral("name LIKE 'a*' OR score IS NULL"));
    EXPECT_EQ(ids(*rs), (std::vector<qlonglong>{4, 2}));
    EXPECT_EQ(rs->RecordCount(), 2);

    EXPECT_THROW(rs->setFilter(QStringLiteral("name = ")), DbError);
    EXPECT_THROW(rs->setFilter(QStringLiteral("unknown = 1")), DbError);
    EXPECT_EQ(rs->Filter(), QStringLiteral("name LIKE 'a*' OR score IS NULL"));
    EXPECT_EQ(rs->RecordCount(), 2) << "a rejected filter leaves the old one";

    RecordsetFilter::Node root;
    root.condition = {QStringLiteral("score"), QStringLiteral(">="), QVariant(2.5)};
    rs->setFilter(RecordsetFilter(root));
    EXPECT_EQ(ids(*rs), (std::vector<qlonglong>{4, 1}));
    EXPECT_FALSE(rs->Filter().isEmpty());

    rs->setFilter(QStringLiteral("0"));
    EXPECT_TRUE(rs->Filter().isEmpty());
    EXPECT_EQ(ids(*rs), (std::vector<qlonglong>{5, 4, 3, 2, 1}));
}

TEST_F(LazyRecordset, FetchesInChunksAndNavigatesAcrossThem)
{
    EXPECT_GE(m_rs->fetchedCount(), 100u);
    EXPECT_LE(m_rs->fetchedCount(), 200u);
    m_rs->Move(500);
    EXPECT_EQ(m_rs->AbsolutePosition(), 501);
    EXPECT_LT(m_rs->fetchedCount(), 5000u);
    EXPECT_EQ(m_rs->fetchMore(10), 10u);

    {
        // A stop before the rows came: the wait ends, and the recordset stays usable.
        StopToken stopped;
        stopped.setStopWhen([] { return true; });
        const StopToken::Scope scope(stopped);
        EXPECT_FALSE(m_rs->fetchAll());
    }
    EXPECT_FALSE(m_rs->fetchError());
    EXPECT_TRUE(m_rs->fetchAll());
    EXPECT_EQ(m_rs->fetchedCount(), 5000u);
    m_rs->MoveLast();
    EXPECT_EQ(m_rs->Value(0).toLongLong(), 5000);
    EXPECT_FALSE(m_rs->ensureRow(5000));
    EXPECT_GT(m_rs->bytesHeld(), 5000u * 8);
}

TEST_F(LazyRecordset, ClonesShareRowsAndCursorButNotPositionOrFilter)
{
    m_rs->setAbsolutePosition(7);
    auto clone = m_rs->Clone();
    EXPECT_EQ(clone->AbsolutePosition(), 1);
    EXPECT_EQ(m_rs->AbsolutePosition(), 7);

    // Fetching through the clone grows the original.
    ASSERT_FALSE(m_rs->isComplete());
    clone->MoveLast();
    EXPECT_EQ(m_rs->fetchedCount(), 5000u);
    EXPECT_TRUE(m_rs->isComplete());

    clone->setFilter(QStringLiteral("id <= 3"));
    EXPECT_EQ(clone->RecordCount(), 3);
    EXPECT_EQ(m_rs->RecordCount(), 5000);
    EXPECT_TRUE(m_rs->Filter().isEmpty());

    auto second = m_rs->Clone();
    m_rs->Close();
    m_rs.reset();
    EXPECT_EQ(clone->RecordCount(), 3);
    EXPECT_EQ(second->RecordCount(), 5000);
    EXPECT_EQ(second->value(4999, 1).toString(), QStringLiteral("row 5000"));
}

TEST_F(LazyRecordset, CloneOfAHalfFetchedRecordsetOutlivesTheOriginalAndTheConnection)
{
    auto clone = m_rs->Clone();
    m_rs.reset();
    m_conn->Close();
    m_conn.reset();
    EXPECT_EQ(clone->RecordCount(), 5000);
}

TEST_F(LazyRecordset, ClosedRecordsetRefusesWork)
{
    m_rs->Close();
    EXPECT_EQ(m_rs->State(), adStateClosed);
    EXPECT_THROW(m_rs->Close(), DbError);
    EXPECT_THROW(m_rs->MoveNext(), DbError);
    EXPECT_THROW(m_rs->RecordCount(), DbError);
    EXPECT_EQ(m_rs->FieldCount(), 0);
    m_rs->Open(QStringLiteral("SELECT 1 AS one"), m_conn);
    EXPECT_EQ(m_rs->RecordCount(), 1);
    EXPECT_THROW(m_rs->Open(QStringLiteral("SELECT 2"), m_conn), DbError);
}

TEST_F(LazyRecordset, SavedXmlOpensBackWithTheVisibleRowsExactly)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("rows.xml"));
    auto rs = Recordset::create();
    rs->Open(QStringLiteral("SELECT * FROM conf_types"), m_conn);
    rs->setSort(QStringLiteral("id DESC"));
    rs->setFilter(QStringLiteral("id <> 1"));
    rs->Save(path);

    auto back = Recordset::create();
    back->OpenXml(path);
    ASSERT_EQ(back->RecordCount(), 2);
    ASSERT_EQ(back->FieldCount(), rs->FieldCount());
    for (int c = 0; c < rs->FieldCount(); ++c) {
        EXPECT_EQ(back->Field(c).Name, rs->Field(c).Name);
        EXPECT_EQ(back->Field(c).Type, rs->Field(c).Type) << rs->Field(c).Name.toStdString();
        for (std::size_t r = 0; r < 2; ++r) {
            EXPECT_EQ(back->isNull(r, c), rs->isNull(r, c));
            EXPECT_EQ(back->value(r, c), rs->value(r, c)) << rs->Field(c).Name.toStdString() << " row " << r;
        }
    }
    EXPECT_EQ(back->value(0, 0).toLongLong(), 3);
    EXPECT_EQ(back->Source(), path);

    // A broken file is a clear error, not a half-open recordset.
    QFile broken(dir.filePath(QStringLiteral("broken.xml")));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write("<xml><rows");
    broken.close();
    auto bad = Recordset::create();
    EXPECT_THROW(bad->OpenXml(broken.fileName()), DbError);
    EXPECT_EQ(bad->State(), adStateClosed);
}

TEST(CommandText, QuotesTextDoublesApostrophesAndWritesNullAndNumbersBare)
{
    Command cmd;
    cmd.CommandText = QStringLiteral("sales.report");
    auto param = [](const char *name, int type, QVariant value, int direction = adParamInput) {
        Parameter p;
        p.Name = QString::fromUtf8(name);
        p.Type = type;
        p.Direction = direction;
        p.Value = std::move(value);
        return p;
    };
    cmd.Parameters = {param("ret", adInteger, QVariant(), adParamReturnValue),
                      param("who", adVarWChar, QStringLiteral("O'Brien")),
                      param("n", adInteger, 12),
                      param("rate", adDouble, 0.1),
                      param("amount", adNumeric, QStringLiteral("12.50")),
                      param("code", adVarWChar, QStringLiteral("007")),
                      param("since", adDBDate, QDate(2024, 2, 29)),
                      param("none", adVarWChar, QVariant()),
                      param("total", adDouble, QVariant(), adParamOutput)};
    EXPECT_EQ(cmd.displayText(),
              QStringLiteral("sales.report 'O''Brien', 12, 0.1, 12.50, '007', '2024-02-29', NULL"));

    auto db = dbtest::makeSqliteDatabase();
    cmd.ActiveConnection = Connection::create();
    cmd.ActiveConnection->Open(db->connectionString());
    EXPECT_THROW(cmd.RefreshParameters(), DbError);
    EXPECT_FALSE(cmd.ActiveConnection->Errors().empty());
    EXPECT_THROW(cmd.Execute(), DbError);
}

TEST(ConnectionBasics, QuotesIdentifiersMasksPasswordsAndReportsFailures)
{
    EXPECT_EQ(quoteIdentifier(QStringLiteral("a]b"), QStringLiteral("[")), QStringLiteral("[a]]b]"));
    EXPECT_EQ(quoteIdentifier(QStringLiteral("say \"hi\""), QStringLiteral("\"")), QStringLiteral("\"say \"\"hi\"\"\""));
    EXPECT_EQ(quoteText(QStringLiteral("O'Brien")), QStringLiteral("'O''Brien'"));
    // A NUL would cut the statement where it stands: refused, saying where.
    const DbError nul = dbtest::errorOf([] { quoteText(QStringLiteral("ab") + QChar(0) + QStringLiteral("c")); });
    EXPECT_TRUE(nul.message().contains(QStringLiteral("NUL character (at position 3)"))) << nul.message().toStdString();
    auto c = Connection::create();
    EXPECT_EQ(c->QuoteIdentifier(QStringLiteral("x`y"), QStringLiteral("`")), QStringLiteral("`x``y`"));
    EXPECT_EQ(c->QuoteIdentifier(QStringLiteral("plain")), QStringLiteral("\"plain\""));

    try {
        c->Open(QStringLiteral("Provider=Jet;Password=hunter22"));
        FAIL() << "opened an unknown provider";
    } catch (const DbError &e) {
        EXPECT_EQ(e.message(), QStringLiteral("Unknown provider: Jet"));
    }
    EXPECT_EQ(c->State(), adStateClosed);
    ASSERT_EQ(c->Errors().size(), 1u);

    // A client message that quotes the password shows it masked.
    try {
        c->Open(QStringLiteral("Data Source=/no/such/hunter22/x.db;Password=hunter22"));
        FAIL() << "opened a missing file";
    } catch (const DbError &e) {
        EXPECT_FALSE(e.message().contains(QStringLiteral("hunter22"))) << e.message().toStdString();
    }
    ASSERT_FALSE(c->Errors().empty());
    EXPECT_FALSE(c->Errors().front().Description.contains(QStringLiteral("hunter22")));
    EXPECT_EQ(c->Errors().front().Source, QStringLiteral("SQLite"));
    EXPECT_THROW(c->Close(), DbError);
    EXPECT_THROW(c->Tables(), DbError);
    EXPECT_TRUE(c->Version().isEmpty());
}

TEST(ConnectionBasics, KeepsEveryDiagnosticRecordOfOneFailureWithSecretsMasked)
{
    auto conn = Connection::create();
    conn->setConnectionString(QStringLiteral("Provider=ODBC;Driver=X;PWD=hunter2"));
    ProviderError first{QStringLiteral("login failed for PWD=hunter2"), QStringLiteral("28000"), 18456, {}};
    ProviderError second{QStringLiteral("cannot open database"), QStringLiteral("42000"), 4060, QStringLiteral("Driver")};
    const DbError thrown = conn->addError(DbErrorRecords({first, second}));
    ASSERT_EQ(conn->Errors().size(), 2u);
    EXPECT_FALSE(conn->Errors()[0].Description.contains(QStringLiteral("hunter2")));
    EXPECT_FALSE(thrown.message().contains(QStringLiteral("hunter2")));
    EXPECT_EQ(conn->Errors()[1].SQLState, QStringLiteral("42000"));
    EXPECT_EQ(conn->Errors()[1].Source, QStringLiteral("Driver"));
}
