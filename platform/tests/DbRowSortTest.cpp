// The in-memory sort against SQLite's own order for the same collation, and its stability.
#include "DbFixtures.h"
#include "DbTestSupport.h"

#include "db/Connection.h"
#include "db/Recordset.h"
#include "db/RowSort.h"
#include "db/RowStore.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

using namespace db;
using dbtest::field;

namespace {

class RowSortVsSqlite : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_db = dbtest::makeSqliteDatabase();
        ASSERT_TRUE(m_db);
        m_db->exec(QStringLiteral("CREATE TABLE s(id INTEGER PRIMARY KEY, t TEXT, q INTEGER, x REAL)"));
        // Case variants that fold together, non-ASCII texts that have no case, equal keys for
        // stability, empty texts and Nulls, shared prefixes longer than eight bytes.
        static const char *const words[] = {"apple", "Apple", "APPLE", "banana", "Banana split", "cherry", "",
                                            "zürich", "øre", "日本", "prefix-long-AAAA", "prefix-long-aaab",
                                            "prefix-long-aaaa", "a", "B", "_under", "0", "~tilde"};
        QString sql = QStringLiteral("INSERT INTO s(t, q, x) VALUES ");
        std::mt19937 rnd(11);
        for (int i = 0; i < 3000; ++i) {
            const unsigned w = rnd() % 20;
            const QString t = w >= 18 ? QStringLiteral("NULL") : QStringLiteral("'%1'").arg(QString::fromUtf8(words[w]));
            const QString q = rnd() % 9 == 0 ? QStringLiteral("NULL") : QString::number(int(rnd() % 7) - 3);
            sql += QStringLiteral("%1(%2, %3, %4)").arg(i ? "," : "", t, q, QString::number(double(rnd() % 5) / 4));
        }
        m_db->exec(sql);
        m_conn = Connection::create();
        m_conn->Open(m_db->connectionString());
    }

    std::vector<qlonglong> sqliteOrder(const QString &orderBy)
    {
        auto rs = Recordset::create();
        rs->Open(QStringLiteral("SELECT id FROM s ORDER BY ") + orderBy, m_conn);
        rs->fetchAll();
        std::vector<qlonglong> out;
        for (std::size_t r = 0; r < rs->fetchedCount(); ++r)
            out.push_back(rs->value(r, 0).toLongLong());
        return out;
    }

    std::vector<qlonglong> ourOrder(const QString &sort)
    {
        auto rs = Recordset::create();
        rs->Open(QStringLiteral("SELECT id, t, q, x FROM s ORDER BY id"), m_conn);
        rs->setSort(sort);
        std::vector<qlonglong> out;
        for (std::size_t r = 0; r < rs->fetchedCount(); ++r)
            out.push_back(rs->value(r, 0).toLongLong());
        return out;
    }

    std::unique_ptr<dbtest::TestDatabase> m_db;
    std::shared_ptr<Connection> m_conn;
};

} // namespace

// SQLite's NOCASE folds ASCII letters only, as ours does for these texts; rows with equal keys keep
// their order (SQLite is told so by the id). Nulls come first ascending, last descending, in both.
TEST_F(RowSortVsSqlite, SameOrderAsSqliteForTheSameCollationTiesInPlace)
{
    EXPECT_EQ(ourOrder(QStringLiteral("t")), sqliteOrder(QStringLiteral("t COLLATE NOCASE, id")));
    EXPECT_EQ(ourOrder(QStringLiteral("t DESC")), sqliteOrder(QStringLiteral("t COLLATE NOCASE DESC, id")));
    EXPECT_EQ(ourOrder(QStringLiteral("q DESC, t, x DESC")),
              sqliteOrder(QStringLiteral("q DESC, t COLLATE NOCASE, x DESC, id")));
    EXPECT_EQ(ourOrder(QStringLiteral("x, q")), sqliteOrder(QStringLiteral("x, q, id")));
}

// Case folding beyond ASCII: the folded forms order the rows, equal folds keep their order.
TEST(RowSort, FoldsCaseBeyondAsciiAndKeepsEqualFoldsInPlace)
{
    RowStore s({field("t", adVarWChar)});
    const char *const texts[] = {"Øre", "öl", "ÖL", "øre", "Éclair", "éclair", "Zebra", "ärger"};
    for (const char *t : texts) {
        s.beginRow();
        s.setText(0, t, std::strlen(t));
        s.endRow();
    }
    std::vector<std::uint32_t> rows = {0, 1, 2, 3, 4, 5, 6, 7};
    sortRows(s, {{0, false}}, rows);
    // "zebra" < "ärger" < "éclair" < "öl" < "øre" by code point; equal folds in input order.
    EXPECT_EQ(rows, (std::vector<std::uint32_t>{6, 7, 4, 5, 1, 2, 0, 3}));
}
