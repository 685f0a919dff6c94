// The find and details tool windows: find history and options, record stepping.
#include "TabulonTestSupport.h"

#include "db/Recordset.h"
#include "dialogs/DialogTrap.h"
#include "dialogs/frmDetails.h"
#include "dialogs/frmFind.h"
#include "grid/Grid.h"
#include "ui/KeyedToolBar.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>

#include <stdexcept>

using namespace tabtest;

namespace {

class DialogsTool : public ControlTest {
protected:
    // Every DoFind direction, in order.
    void record(frmFind &find)
    {
        QObject::connect(&find, &frmFind::DoFind, &find, [this](qint32 &d) { directions.push_back(d); });
    }
    static void type(frmFind &find, const QString &text)
    {
        find.cboFind->lineEdit()->clear();
        QTest::keyClicks(find.cboFind->lineEdit(), text);
    }
    std::vector<qint32> directions;
};

} // namespace

TEST_F(DialogsTool, FindStoresTextHistoryAndOptionsAndCountsDirections)
{
    auto &o = analysis::options();
    o.FindHistory[0] = QStringLiteral("Berlin");
    o.FindHistory[1] = QStringLiteral("Paris");
    o.FindMatchCase = true;
    o.FindCurrentColumn = true;
    frmFind find;
    record(find);
    find.show();
    EXPECT_TRUE(find.chkMatch->isChecked());
    EXPECT_FALSE(find.chkWord->isChecked());
    EXPECT_TRUE(find.optSelected[1]->isChecked());
    ASSERT_EQ(find.cboFind->count(), 2);
    EXPECT_EQ(find.cboFind->currentText(), QStringLiteral("Berlin"));
    // What is typed replaces the last search shown, not runs on from its end.
    QTest::keyClicks(find.cboFind->lineEdit(), QStringLiteral("Rom"));
    EXPECT_EQ(find.cboFind->currentText(), QStringLiteral("Rom"));

    // Blanks only: nothing happens.
    type(find, QStringLiteral("   "));
    find.cmdFind->click();
    EXPECT_TRUE(directions.empty());
    EXPECT_EQ(o.FindHistory[0], QStringLiteral("Berlin"));

    // A new typed text goes on top, blanks kept in the find text; Enter acts as the button.
    type(find, QStringLiteral(" Rome"));
    find.chkWord->setChecked(true);
    find.optSelected[0]->setChecked(true);
    QTest::keyClick(find.cboFind, Qt::Key_Return); // where the keyboard is: the combo box
    EXPECT_EQ(directions, (std::vector<qint32>{0}));
    EXPECT_EQ(o.FindText, QStringLiteral(" Rome"));
    EXPECT_EQ(o.FindHistory[0], QStringLiteral(" Rome"));
    EXPECT_EQ(o.FindHistory[1], QStringLiteral("Berlin"));
    EXPECT_EQ(o.FindHistory[2], QStringLiteral("Paris"));
    EXPECT_TRUE(o.FindWholeWord);
    EXPECT_FALSE(o.FindCurrentColumn);

    // Typing the top entry again does not shift.
    type(find, QStringLiteral("Madrid"));
    find.cmdFind->click();
    type(find, QStringLiteral("Madrid"));
    find.cmdFind->click();
    EXPECT_EQ(o.FindHistory[0], QStringLiteral("Madrid"));
    EXPECT_EQ(o.FindHistory[1], QStringLiteral(" Rome"));
    EXPECT_EQ(o.FindHistory[4], QString());
    // A picked entry replaces entry 0 without a shift.
    find.hide();
    find.show();
    ASSERT_EQ(find.cboFind->count(), 4);
    EXPECT_EQ(find.cboFind->lineEdit()->selectedText(), QStringLiteral("Madrid")) << "shown again, offered again";
    find.cboFind->setCurrentIndex(3);
    emit find.cboFind->activated(3);
    find.cmdFind->click();
    EXPECT_EQ(o.FindHistory[0], QStringLiteral("Paris"));
    EXPECT_EQ(o.FindHistory[1], QStringLiteral(" Rome"));
    EXPECT_EQ(o.FindHistory[3], QStringLiteral("Paris"));
    EXPECT_EQ(o.FindHistory[4], QString());
    EXPECT_EQ(directions, (std::vector<qint32>{0, 1, 1, 1}));

    // A new opening starts from the first row again.
    find.close();
    find.show();
    find.cmdFind->click();
    EXPECT_EQ(directions.back(), 0);
}

TEST_F(DialogsTool, FindHistorySurvivesCloseAndReload)
{
    auto &o = analysis::options();
    for (int i = 0; i < analysis::FindHistorySize; ++i)
        o.FindHistory[std::size_t(i)] = QStringLiteral("item %1").arg(i);
    frmFind find;
    QSignalSpy unloaded(&find, &frmFind::UnLoad);
    find.show();
    EXPECT_EQ(find.cboFind->count(), 51);
    find.hide();
    find.show(); // shown again: still each entry once
    EXPECT_EQ(find.cboFind->count(), 51);
    type(find, QStringLiteral("newest"));
    find.cmdFind->click();
    find.cmdCancel->click();
    EXPECT_EQ(unloaded.count(), 1);
    EXPECT_FALSE(find.isVisible());

    EXPECT_EQ(stored("Find", "Value0"), QStringLiteral("newest"));
    EXPECT_EQ(stored("Find", "Value1"), QStringLiteral("item 0"));
    EXPECT_EQ(stored("Find", "Value50"), QStringLiteral("item 49"));

    analysis::resetOptions();
    ASSERT_TRUE(analysis::Read_INI());
    EXPECT_EQ(o.FindHistory[0], QStringLiteral("newest"));
    EXPECT_EQ(o.FindHistory[50], QStringLiteral("item 49"));
    find.show();
    EXPECT_EQ(find.cboFind->count(), 51);
    EXPECT_EQ(find.cboFind->currentText(), QStringLiteral("newest"));
    find.close();
    EXPECT_EQ(unloaded.count(), 2);
}

namespace {

class DialogsDetails : public ControlTest {
protected:
    void SetUp() override { ASSERT_TRUE(m_sample.ok()) << m_sample.error(); }
    std::shared_ptr<db::Recordset> open(const QString &sql)
    {
        auto rs = db::Recordset::create();
        rs->Open(sql, m_sample.connect());
        return rs;
    }
    static bool enabled(frmDetails &d, const char *key) { return d.tlbMain->Buttons(QLatin1String(key)).Enabled(); }

    SampleDatabase m_sample;
};

} // namespace

TEST_F(DialogsDetails, StepsBeforeTheFirstAndAfterTheLastRecord)
{
    auto rs = open(QStringLiteral("SELECT \"ShipperID\", \"CompanyName\", NULL AS \"Nothing\" FROM \"Shippers\" "
                                  "ORDER BY \"ShipperID\""));
    const long count = rs->RecordCount();
    ASSERT_GE(count, 2);
    rs->MoveFirst();
    frmDetails details;
    details.setAdRecordSet(rs);
    details.show();
    ASSERT_TRUE(details.isLoaded());
    grid::Grid &g = *details.grdDetails;
    ASSERT_EQ(g.Rows(), 4);
    EXPECT_EQ(g.TextMatrix(0, 0), QStringLiteral("Field"));
    EXPECT_EQ(g.TextMatrix(2, 0), QStringLiteral("CompanyName"));
    EXPECT_EQ(g.TextMatrix(1, 1), QStringLiteral("1"));
    EXPECT_EQ(g.TextMatrix(3, 1), QString());
    const QString first = g.TextMatrix(2, 1);

    ASSERT_TRUE(details.Move_Record(1));
    EXPECT_TRUE(rs->isBOF());
    EXPECT_FALSE(enabled(details, "First"));
    EXPECT_FALSE(enabled(details, "Previous"));
    EXPECT_TRUE(enabled(details, "Next"));
    EXPECT_EQ(g.TextMatrix(2, 1), first);
    ASSERT_TRUE(details.Move_Record(2));
    EXPECT_EQ(g.TextMatrix(1, 1), QStringLiteral("1"));
    ASSERT_TRUE(details.Move_Record(2));
    EXPECT_EQ(g.TextMatrix(1, 1), QStringLiteral("2"));

    // Last and First are the opener's moves; the window follows them.
    std::vector<bool> asked;
    QObject::connect(&details, &frmDetails::MoveRec, &details, [&](bool &f) { asked.push_back(f); });
    ASSERT_TRUE(details.Move_Record(3));
    EXPECT_EQ(g.TextMatrix(1, 1), QString::number(count));
    ASSERT_TRUE(details.Move_Record(2));
    EXPECT_TRUE(rs->isEOF());
    EXPECT_FALSE(enabled(details, "Next"));
    EXPECT_FALSE(enabled(details, "Last"));
    EXPECT_TRUE(enabled(details, "Previous"));
    EXPECT_EQ(g.TextMatrix(1, 1), QString::number(count));
    ASSERT_TRUE(details.Move_Record(2)); // nothing beyond the end
    EXPECT_TRUE(rs->isEOF());
    // Refresh at the end shows the first record.
    emit details.tlbMain->ButtonClick(QStringLiteral("Refresh"));
    EXPECT_EQ(g.TextMatrix(1, 1), QStringLiteral("1"));
    ASSERT_TRUE(details.Move_Record(0));
    EXPECT_EQ(asked, (std::vector<bool>{false, true}));
    EXPECT_TRUE(errorWindows.empty());

    QSignalSpy unloaded(&details, &frmDetails::Unload);
    details.close();
    EXPECT_EQ(unloaded.count(), 1);
    EXPECT_FALSE(details.adRecordSet());
    EXPECT_EQ(rs->State(), db::adStateOpen);
}

TEST_F(DialogsDetails, ValuesShowAsTheResultsGridShowsThem)
{
    // Values a QVariant's own text gets wrong: the end of a day, a date before Christ, every
    // digit of a fraction, True rather than "true", binary data as its size.
    QTemporaryDir dir;
    const QString cs = QStringLiteral("Provider=SQLite;Data Source=%1").arg(dir.filePath(QStringLiteral("v.db")));
    auto admin = db::Connection::create();
    admin->setReadOnly(false);
    admin->Open(cs);
    admin->Execute(QStringLiteral("CREATE TABLE v (b BOOLEAN, d DATE, t TIME, ts DATETIME, bl BLOB, r REAL, n NUMERIC(8,2))"));
    admin->Execute(QStringLiteral("INSERT INTO v VALUES (1, '0044-03-15 BC', '24:00:00', '2024-03-31 02:30:00.000001',"
                                  " x'00ff10', 0.1, 2.5)"));
    auto connection = db::Connection::create();
    connection->Open(cs);
    auto rs = db::Recordset::create();
    rs->Open(QStringLiteral("SELECT * FROM v"), connection);
    rs->MoveFirst();
    frmDetails details;
    details.setAdRecordSet(rs);
    details.show();
    ASSERT_TRUE(details.isLoaded());
    grid::Grid &g = *details.grdDetails;
    ASSERT_EQ(g.Rows(), 1 + rs->FieldCount());
    const QStringList expected = {QStringLiteral("True"), QStringLiteral("0044-03-15 BC"), QStringLiteral("24:00:00"),
                                  QStringLiteral("2024-03-31 02:30:00.000001"), QStringLiteral("(binary, 3 bytes)"),
                                  QStringLiteral("0.1"), QStringLiteral("2.50")};
    for (int i = 0; i < rs->FieldCount(); ++i) {
        EXPECT_EQ(g.TextMatrix(i + 1, 1), rs->displayText(0, i)) << rs->Field(i).Name;
        EXPECT_EQ(g.TextMatrix(i + 1, 1), expected.value(i)) << rs->Field(i).Name;
    }
    details.close();
}

TEST_F(DialogsDetails, AnEmptyRecordsetIsReportedAndTheWindowStays)
{
    auto rs = open(QStringLiteral("SELECT \"ShipperID\", \"CompanyName\" FROM \"Shippers\" WHERE 1 = 0"));
    frmDetails details;
    details.setAdRecordSet(rs);
    details.show();
    pump(50);
    EXPECT_TRUE(details.isVisible());
    ASSERT_EQ(details.grdDetails->Rows(), 3);
    EXPECT_EQ(details.grdDetails->TextMatrix(1, 0), QStringLiteral("ShipperID"));
    EXPECT_EQ(details.grdDetails->TextMatrix(1, 1), QString());
    ASSERT_EQ(errorWindows.size(), 1u);
    EXPECT_EQ(errorWindows[0].procedure, QStringLiteral("Refresh_Details"));
    EXPECT_FALSE(enabled(details, "Next"));
    EXPECT_TRUE(details.Move_Record(2));
    EXPECT_TRUE(details.Move_Record(1));

    // Without a recordset the window reports and closes itself.
    frmDetails none;
    none.show();
    pump(50);
    EXPECT_FALSE(none.isVisible());
    EXPECT_EQ(errorWindows.back().procedure, QStringLiteral("Init"));
}

// The dialogs' trap: a failure is reported once under the procedure's name with its own text, after
// the undo step, and answers false; an answer of the work itself passes through unreported.
TEST_F(DialogsTool, TrapReportsAFailureAfterUndoingAndPassesAnswersThrough)
{
    std::vector<QString> order;
    const bool failed = analysis::trap(
        QStringLiteral("Save_Changes"),
        [&] {
            order.push_back(QStringLiteral("work"));
            throw std::runtime_error("Disk full \u00e9");
        },
        [&] { order.push_back(QStringLiteral("undo (") + QString::number(errorWindows.size()) + QLatin1Char(')')); });
    EXPECT_FALSE(failed);
    EXPECT_EQ(order, (std::vector<QString>{QStringLiteral("work"), QStringLiteral("undo (0)")}));
    ASSERT_EQ(errorWindows.size(), 1u);
    EXPECT_EQ(errorWindows[0].procedure, QStringLiteral("Save_Changes"));
    EXPECT_EQ(errorWindows[0].description, QStringLiteral("Disk full \u00e9"));

    // Something that is not a standard exception is still caught and reported.
    EXPECT_FALSE(analysis::trap(QStringLiteral("Move_Item"), [] { throw 42; }));
    ASSERT_EQ(errorWindows.size(), 2u);
    EXPECT_EQ(errorWindows[1].procedure, QStringLiteral("Move_Item"));
    EXPECT_EQ(errorWindows[1].description, QStringLiteral("Unexpected error"));

    bool undone = false;
    EXPECT_FALSE(analysis::trap(QStringLiteral("Init"), [] { return false; }, [&] { undone = true; }));
    EXPECT_TRUE(analysis::trap(QStringLiteral("Init"), [] { return true; }));
    EXPECT_TRUE(analysis::trap(QStringLiteral("Init"), [] {}));
    EXPECT_FALSE(undone);
    EXPECT_EQ(errorWindows.size(), 2u);
}
