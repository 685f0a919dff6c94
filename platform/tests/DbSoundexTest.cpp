// SoundEx codes as the program computes them, and as SQL computes them on SQLite (our own
// function) and on PostgreSQL (fuzzystrmatch): "Sounding like" only finds rows when all agree.
#include "TestSupport.h"

#include "db/Connection.h"
#include "db/Recordset.h"
#include "db/Soundex.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

namespace {

struct Example {
    const char *word;
    const char *code;
};

// H and W separate equal codes like vowels (Ashcraft is A226, not the census's A261).
const Example kExamples[] = {{"Robert", "R163"}, {"Rupert", "R163"}, {"Tymczak", "T522"},
                             {"Pfister", "P236"}, {"O'Brien", "O165"}, {"Ashcraft", "A226"},
                             {"Lloyd", "L300"},   {"tymczak", "T522"}, {"  Robert  ", "R163"}};

QString codeIn(db::Connection &connection, const QString &word)
{
    auto rs = connection.Execute(QStringLiteral("SELECT SOUNDEX(%1)").arg(db::quoteText(word)));
    return rs->Value(0).toString();
}

} // namespace

TEST(Soundex, CodesOfTheProgram)
{
    for (const Example &e : kExamples)
        EXPECT_EQ(db::soundex(QString::fromUtf8(e.word)), QLatin1String(e.code)) << e.word;
    EXPECT_EQ(db::soundex(u""), QStringLiteral("0"));
    EXPECT_EQ(db::soundex(u"1234 '-"), QStringLiteral("0"));
    // Longer codes: the clamp keeps 4..10 characters.
    EXPECT_EQ(db::soundex(u"Robert", 2), QStringLiteral("R163"));
    EXPECT_EQ(db::soundex(u"Washington", 6), QStringLiteral("W25235"));
    EXPECT_EQ(db::soundex(u"Washington", 12).size(), 10);
    EXPECT_EQ(db::soundexLength(2), 4);
    EXPECT_EQ(db::soundexLength(12), 10);
}

TEST(Soundex, SqliteConnectionsComputeTheSameCodes)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    auto connection = db::Connection::create();
    connection->setReadOnly(false);
    connection->Open(QStringLiteral("Provider=SQLite;Data Source=") + dir.filePath(QStringLiteral("s.db")));
    for (const Example &e : kExamples)
        EXPECT_EQ(codeIn(*connection, QString::fromUtf8(e.word)), QLatin1String(e.code)) << e.word;
    // SQLite's own soundex (where built in) answers "?000" for a word without letters: ours wins.
    EXPECT_EQ(codeIn(*connection, QStringLiteral("42")), QStringLiteral("0"));
    auto nullCode = connection->Execute(QStringLiteral("SELECT SOUNDEX(NULL) IS NULL, SOUNDEX(1234)"));
    EXPECT_EQ(nullCode->Value(0).toInt(), 1);
    EXPECT_EQ(nullCode->Value(1).toString(), QStringLiteral("0"));

    // Used in a WHERE, as the query builder writes it.
    connection->Execute(QStringLiteral("CREATE TABLE p(name TEXT)"));
    connection->Execute(QStringLiteral("INSERT INTO p VALUES ('Robert'), ('Rupert'), ('Ashcraft'), ('Ashcroft'), (NULL)"));
    auto rows = connection->Execute(QStringLiteral("SELECT count(*) FROM p WHERE SOUNDEX(name) = 'R163'"));
    EXPECT_EQ(rows->Value(0).toInt(), 2);
    rows = connection->Execute(QStringLiteral("SELECT count(*) FROM p WHERE SOUNDEX(name) = 'A226'"));
    EXPECT_EQ(rows->Value(0).toInt(), 2);
}

TEST(Soundex, PostgresFuzzystrmatchComputesTheSameCodes)
{
    TABULON_REQUIRE_POSTGRES();
    auto connection = db::Connection::create();
    connection->setReadOnly(false);
    connection->Open(testsupport::postgresConnectionString());
    try {
        connection->Execute(QStringLiteral("CREATE EXTENSION IF NOT EXISTS fuzzystrmatch"));
    } catch (const db::DbError &) {
        // Another test created it at the same moment.
    }
    for (const Example &e : kExamples)
        EXPECT_EQ(codeIn(*connection, QString::fromUtf8(e.word)), QLatin1String(e.code)) << e.word;
}
