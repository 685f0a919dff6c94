// The toolbar's commands: filter files saved and read back, bad files refused without a change,
// the question about unsaved changes, and look-up lists read from the database.
#include "BuilderFixture.h"
#include "TestSupport.h"

#include "ui/CommonDialog.h"
#include "ui/MousePointer.h"

#include <QDir>
#include <QFile>

using namespace qbtest;
using QB = QueryBuilder;

namespace {

// The grid's condition rows, every column.
std::vector<QStringList> allRows(grid::Grid *g)
{
    std::vector<QStringList> rows;
    for (int r = g->FixedRows(); r < g->Rows(); ++r) {
        QStringList cells;
        for (int c = 0; c < QB::ColumnCount; ++c)
            cells << g->TextMatrix(r, c);
        rows.push_back(cells);
    }
    return rows;
}

void setRow(grid::Grid *g, int row, const QStringList &cells)
{
    if (g->Rows() <= row)
        g->setRows(row + 1);
    for (int c = 0; c < QB::ColumnCount; ++c)
        g->setTextMatrix(row, c, cells.value(c));
}

std::shared_ptr<db::Recordset> resultOn(const std::shared_ptr<db::Connection> &connection, const QString &sql)
{
    auto r = db::Recordset::create();
    r->Open(sql, connection);
    return r;
}

} // namespace

class Commands : public Builder {
protected:
    void SetUp() override
    {
        Builder::SetUp();
        dialogs = std::make_unique<ui::ScriptedDialogs>();
    }
    void TearDown() override
    {
        dialogs.reset();
        Builder::TearDown();
    }

    // Three conditions and a row left empty after the last AND; brackets and a value holding
    // the characters a file format might trip on.
    void fillConditions()
    {
        setRow(g, 1, {QStringLiteral("(("), QStringLiteral("name"), QStringLiteral("1"), {}, QStringLiteral("is not"),
                      QStringLiteral("Containing"), QStringLiteral("Mü\"ll'er|x\\y"), {}, QStringLiteral("OR"),
                      QStringLiteral("False")});
        setRow(g, 2, {{}, QStringLiteral("amount"), QString::number(ordAmount), {}, QStringLiteral("is"),
                      QStringLiteral("greater than"), QStringLiteral("12.5"), QStringLiteral(")"), QStringLiteral("AND"),
                      QStringLiteral("False")});
        setRow(g, 3, {{}, QStringLiteral("code"), QString::number(ordCode), {}, QStringLiteral("is"),
                      QStringLiteral("equal to"), QStringLiteral("name"), QStringLiteral(")"), QStringLiteral("AND"),
                      QStringLiteral("True")});
        setRow(g, 4, {});
        g->setTextMatrix(4, QB::colIsField, {});
    }

    std::unique_ptr<ui::ScriptedDialogs> dialogs;
};

TEST_F(Commands, FilterFilesGiveBackEveryRowAndColumn)
{
    fillConditions();
    const std::vector<QStringList> before = allRows(g);
    const QString path = dir.filePath(QStringLiteral("people.qry"));
    ui::CommonDialog::queueFile(path);
    QTest::keyClick(g->view(), Qt::Key_F7);
    settle();
    EXPECT_EQ(qb->fileName(), path);
    EXPECT_FALSE(qb->isChanged()) << "a saved filter has no unsaved changes";
    ASSERT_TRUE(ui::CommonDialog::lastAsked());
    EXPECT_EQ(ui::CommonDialog::lastAsked()->file.title, QStringLiteral("Save Query"));
    EXPECT_EQ(ui::CommonDialog::lastAsked()->file.filter, QStringLiteral("Query (*.qry)|*.qry"));

    QFile saved(path);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    const QByteArray bytes = saved.readAll();
    EXPECT_TRUE(bytes.contains("\"format\": \"Tabulon filter\"")) << bytes.constData();
    EXPECT_TRUE(bytes.contains("\"version\": 1"));
    EXPECT_TRUE(bytes.contains("Mü")) << "UTF-8 text, not escapes";

    ASSERT_TRUE(qb->New_Filter(true));
    EXPECT_EQ(g->Rows(), 2);
    clickButton(QStringLiteral("Brackets")); // shown ...
    clickButton(QStringLiteral("Brackets")); // ... and hidden again
    ui::CommonDialog::queueFile(path);
    clickButton(QStringLiteral("Open"));
    EXPECT_EQ(allRows(g), before);
    EXPECT_EQ(button(QStringLiteral("Brackets")).Value(), ui::tbrPressed) << "opening brackets show the bracket columns";
    EXPECT_FALSE(g->ColHidden(QB::colOpen));
    EXPECT_FALSE(qb->isChanged());
    EXPECT_EQ(ui::CommonDialog::lastAsked()->file.title, QStringLiteral("Load Query"));

    // Read against another result, fields are found by name wherever they now stand.
    rs = peopleResult(dir, QStringLiteral("SELECT amount, code, name FROM people"));
    qb->rsData(rs);
    ASSERT_TRUE(qb->New_Filter(true));
    ui::CommonDialog::queueFile(path);
    clickButton(QStringLiteral("Open"));
    EXPECT_EQ(cell(1, QB::colOrdinal), QStringLiteral("2"));
    EXPECT_EQ(cell(2, QB::colOrdinal), QStringLiteral("0"));
    EXPECT_EQ(cell(3, QB::colValue), QStringLiteral("name"));
    EXPECT_EQ(cell(4, QB::colOrdinal), QString());

    // A name typed without an extension gets the one the Load dialog lists; one typed with its
    // own keeps it.
    fillConditions();
    ui::CommonDialog::queueFile(dir.filePath(QStringLiteral("fr_de")));
    QTest::keyClick(g->view(), Qt::Key_F7);
    settle();
    EXPECT_EQ(qb->fileName(), dir.filePath(QStringLiteral("fr_de.qry")));
    const QString loadPattern = ui::CommonDialog::parseFilter(QStringLiteral("(*.qry)|*.qry")).front().patterns.front();
    EXPECT_TRUE(QDir(dir.path()).entryList({loadPattern}, QDir::Files).contains(QStringLiteral("fr_de.qry")));
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("fr_de"))));
    ui::CommonDialog::queueFile(dir.filePath(QStringLiteral("fr.json")));
    QTest::keyClick(g->view(), Qt::Key_F7);
    settle();
    EXPECT_TRUE(QFile::exists(dir.filePath(QStringLiteral("fr.json"))));
    ASSERT_TRUE(qb->New_Filter(true));
    ui::CommonDialog::queueFile(dir.filePath(QStringLiteral("fr_de.qry")));
    clickButton(QStringLiteral("Open"));
    EXPECT_EQ(qb->fileName(), dir.filePath(QStringLiteral("fr_de.qry")));
    EXPECT_EQ(ui::CommonDialog::lastAsked()->file.filter, QStringLiteral("(*.qry)|*.qry")) << "the pattern checked above";
}

TEST_F(Commands, BadFilterFilesAreRefusedAndChangeNothing)
{
    fillConditions();
    const QString good = dir.filePath(QStringLiteral("good.qry"));
    ui::CommonDialog::queueFile(good);
    QTest::keyClick(g->view(), Qt::Key_F7);
    settle();
    QFile f(good);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray text = f.readAll();
    f.close();
    setRow(g, 1, {{}, QStringLiteral("id"), QString::number(ordId), {}, QStringLiteral("is"), QStringLiteral("equal to"),
                  QStringLiteral("7"), {}, {}, QStringLiteral("False")});
    g->setRows(2);
    const std::vector<QStringList> before = allRows(g);

    struct Bad {
        const char *name;
        QByteArray bytes;
    };
    QByteArray unknownField = text;
    unknownField.replace("\"field\": \"amount\"", "\"field\": \"salary\"");
    QByteArray badWord = text;
    badWord.replace("\"comparison\": \"greater than\"", "\"comparison\": \"greater than 1; DROP TABLE people\"");
    QByteArray badBracket = text;
    badBracket.replace("\"open\": \"((\"", "\"open\": \"(1=1) OR (\"");
    QByteArray notNumber = text;
    notNumber.replace("\"value\": \"12.5\"", "\"value\": \"12.5 OR 1=1\"");
    QByteArray newer = text;
    newer.replace("\"version\": 1", "\"version\": 2");
    const Bad bad[] = {{"truncated.qry", text.left(text.size() / 2)},
                       {"sql.qry", "SELECT * FROM people WHERE name = 'x'\n"},
                       {"other.qry", "{\"format\": \"something else\", \"version\": 1, \"conditions\": []}"},
                       {"unknown.qry", unknownField},
                       {"word.qry", badWord},
                       {"bracket.qry", badBracket},
                       {"number.qry", notNumber},
                       {"newer.qry", newer},
                       {"empty.qry", {}}};
    for (const Bad &b : bad) {
        const QString path = dir.filePath(QLatin1String(b.name));
        testsupport::writeFile(path, b.bytes);
        ui::Prompter::clearAsked();
        ui::CommonDialog::queueFile(path);
        clickButton(QStringLiteral("Open"));
        const ui::PromptRecord *said = ui::Prompter::lastAsked();
        ASSERT_TRUE(said) << b.name;
        EXPECT_TRUE(said->text.startsWith(QStringLiteral("Not a filter file"))) << b.name << ": " << said->text.toStdString();
        EXPECT_EQ(allRows(g), before) << b.name;
        EXPECT_EQ(qb->fileName(), good) << b.name;
    }
    // A grid file of the grid's own format is no filter file either.
    const QString gridFile = dir.filePath(QStringLiteral("grid.qry"));
    g->SaveGrid(gridFile);
    ui::CommonDialog::queueFile(gridFile);
    clickButton(QStringLiteral("Open"));
    EXPECT_TRUE(ui::Prompter::lastAsked()->text.startsWith(QStringLiteral("Not a filter file")));
    EXPECT_EQ(allRows(g), before);
}

TEST_F(Commands, NewAndOpenOfferToSaveUnsavedChanges)
{
    condition(1, QStringLiteral("name"), QStringLiteral("equal to"), QStringLiteral("Smith"));
    ASSERT_TRUE(qb->isChanged());
    const std::vector<QStringList> before = allRows(g);

    ui::Prompter::queueAnswer(ui::MsgResult::Cancel);
    clickButton(QStringLiteral("New"));
    ASSERT_TRUE(ui::Prompter::lastAsked());
    EXPECT_EQ(ui::Prompter::lastAsked()->text, QStringLiteral("Query has changed. Save Changes?"));
    EXPECT_EQ(ui::Prompter::lastAsked()->title, QStringLiteral("New Query"));
    EXPECT_EQ(allRows(g), before);

    ui::Prompter::queueAnswer(ui::MsgResult::Yes);
    ui::CommonDialog::queueFile(std::nullopt); // the save dialog cancelled
    clickButton(QStringLiteral("New"));
    EXPECT_EQ(allRows(g), before);
    EXPECT_TRUE(qb->isChanged());

    ui::Prompter::clearAsked();
    ui::Prompter::queueAnswer(ui::MsgResult::Cancel);
    clickButton(QStringLiteral("Open"));
    ASSERT_TRUE(ui::Prompter::lastAsked());
    EXPECT_EQ(ui::Prompter::lastAsked()->title, QStringLiteral("New Query"));
    EXPECT_EQ(allRows(g), before);

    ui::Prompter::queueAnswer(ui::MsgResult::No);
    clickButton(QStringLiteral("New"));
    EXPECT_EQ(g->Rows(), 2);
    EXPECT_EQ(rowCells(1).join(QString()), QString());
    EXPECT_TRUE(qb->FilterEmpty());
    EXPECT_FALSE(qb->isChanged());
}

// ---------------------------------------------------------------- look-up lists

TEST_F(Commands, LookUpListsOfferTheFieldsValuesWhole)
{
    connection->Close();
    connection->setReadOnly(false);
    connection->Open();
    connection->Execute(QStringLiteral("INSERT INTO people (id, name) VALUES (2, 'smith'), (3, 'A|B'), (4, NULL), (5, 'Smith'),"
                                       " (6, 'Ödegaard')"));
    choose(1, QB::colField, QStringLiteral("name"));
    ASSERT_TRUE(button(QStringLiteral("Populate")).Enabled());
    clickButton(QStringLiteral("Populate"));
    const QStringList values = qb->QueryCol(ordName)->LookUpValues();
    EXPECT_EQ(values.size(), 4) << values.join(QStringLiteral(", ")).toStdString();
    EXPECT_TRUE(values.contains(QStringLiteral("smith")) && values.contains(QStringLiteral("Smith"))) << "case is kept";
    EXPECT_TRUE(values.contains(QStringLiteral("A|B")));
    EXPECT_TRUE(errors.isEmpty()) << errors.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(cell(1, QB::colValue), QStringLiteral("<Choose>"));

    // The list is open on the Value cell; a value holding "|" is one entry.
    settle();
    auto *combo = qobject_cast<QComboBox *>(g->editor());
    ASSERT_TRUE(combo);
    EXPECT_TRUE(combo->isEditable());
    EXPECT_GE(combo->findText(QStringLiteral("A|B")), 0);
    QTest::keyClick(combo, Qt::Key_Escape);
    settle();
    choose(1, QB::colValue, QStringLiteral("A|B"));
    EXPECT_EQ(cell(1, QB::colValue), QStringLiteral("A|B"));
}

TEST_F(Commands, LookUpListsReadTheQuerysOwnRowsAndStopAtTheirLimit)
{
    connection->Close();
    connection->setReadOnly(false);
    connection->Open();
    connection->Execute(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 2 UNION ALL SELECT i + 1 FROM n WHERE i < 1105)"
                                       " INSERT INTO people (id, name, note) SELECT i, 'n' || i, 'v' || i FROM n"));
    // An alias, a WHERE and a trailing comment of the query's own.
    rs = resultOn(connection, QStringLiteral("SELECT name AS who, id FROM people WHERE id BETWEEN 10 AND 12; -- three"));
    qb->rsData(rs);
    choose(1, QB::colField, QStringLiteral("who"));
    clickButton(QStringLiteral("Populate"));
    EXPECT_EQ(qb->QueryCol(0)->LookUpValues(), (QStringList{QStringLiteral("n10"), QStringLiteral("n11"), QStringLiteral("n12")}));

    QTest::keyClick(typingTarget(), Qt::Key_Escape);
    rs = resultOn(connection, QStringLiteral("SELECT note FROM people"));
    qb->rsData(rs);
    qb->New_Filter(true);
    choose(1, QB::colField, QStringLiteral("note"));
    clickButton(QStringLiteral("Populate"));
    const QStringList values = qb->QueryCol(0)->LookUpValues();
    ASSERT_EQ(values.size(), QB::kLookUpLimit + 1);
    EXPECT_EQ(values.last(), QB::moreEntry());
    // Choosing the entry for the values left out chooses no value.
    settle();
    choose(1, QB::colValue, QB::moreEntry());
    EXPECT_EQ(cell(1, QB::colValue), QStringLiteral("<Choose>"));
}

TEST_F(Commands, AFailedLookUpKeepsTheListAndTheGrid)
{
    choose(1, QB::colField, QStringLiteral("name"));
    clickButton(QStringLiteral("Populate"));
    ASSERT_EQ(qb->QueryCol(ordName)->LookUpValues(), QStringList{QStringLiteral("Smith")});
    QTest::keyClick(typingTarget(), Qt::Key_Escape);
    g->setTextMatrix(1, QB::colValue, QStringLiteral("Sm"));
    connection->Close();
    g->Select(1, QB::colValue);
    ASSERT_FALSE(qb->Populate_LookUp());
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors.first().contains(QStringLiteral("Populate_LookUp"))) << errors.first().toStdString();
    errors.clear();
    EXPECT_EQ(qb->QueryCol(ordName)->LookUpValues(), QStringList{QStringLiteral("Smith")});
    EXPECT_EQ(cell(1, QB::colValue), QStringLiteral("Sm"));
    EXPECT_TRUE(g->isEnabled());
    EXPECT_TRUE(qb->tlbMenu()->isEnabled());
    EXPECT_EQ(ui::MousePointer::current(), ui::MousePointer::Shape::Default);
}
