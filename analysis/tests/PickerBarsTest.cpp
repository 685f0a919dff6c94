// The picker bars: what each combo offers for a field list, the rules that enable and clear them
// while the user chooses, and the number boxes' typing and formatting.
#include "TabulonTestSupport.h"

#include "ui/KeyedToolBar.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QtTest/QTest>

using namespace tabtest;

namespace {

class PickTabulon : public hlTabulon {
public:
    const std::array<QComboBox *, 6> cboChartCol = tabtest::parts<QComboBox, 6>(*this, "cboChartCol");
    const std::array<QComboBox *, 6> cboSumCol = tabtest::parts<QComboBox, 6>(*this, "cboSumCol");
    const std::array<QComboBox *, 6> cboXTabCol = tabtest::parts<QComboBox, 6>(*this, "cboXTabCol");
    ui::KeyedToolBar *const tlbSummary = tabtest::part<ui::KeyedToolBar>(*this, "tlbSummary");
    ui::KeyedToolBar *const tlbSummary2 = tabtest::part<ui::KeyedToolBar>(*this, "tlbSummary2");
    const std::array<QLineEdit *, 3> txtSumValue = tabtest::parts<QLineEdit, 3>(*this, "txtSumValue");
    QPlainTextEdit *const txtResultsSQL = tabtest::part<QPlainTextEdit>(*this, "txtResultsSQL");
};

QStringList items(const QComboBox *c)
{
    QStringList out;
    for (int i = 0; i < c->count(); ++i)
        out << c->itemText(i);
    return out;
}

class PickerBars : public ControlTest {
protected:
    void SetUp() override
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        // A text, a picture (offered nowhere), a decimal, an integer and a date column; the field
        // list by name puts the picture's empty entry first.
        ASSERT_TRUE(m_dir.isValid());
        const QString file = m_dir.filePath(QStringLiteral("pick.db"));
        {
            auto admin = db::Connection::create();
            admin->setReadOnly(false);
            admin->Open(QStringLiteral("Provider=SQLite;Data Source=%1").arg(file));
            admin->Execute(QStringLiteral("CREATE TABLE t (\"Name\" TEXT, \"Pic\" BLOB, \"Price\" NUMERIC(10,2),"
                                          " \"Qty\" INTEGER, \"When\" DATE)"));
        }
        auto connection = db::Connection::create();
        connection->Open(QStringLiteral("Provider=SQLite;Data Source=%1").arg(file));
        watch(tab);
        tab.setSortFields(true);
        tab.OpenSQL(true);
        tab.SQL(QStringLiteral("SELECT * FROM t"));
        tab.adoConnection(connection);
        // Shown, the control reads the statement's fields and fills the pickers from them.
        tab.resize(1200, 600);
        tab.show();
        ASSERT_TRUE(runnerOf(tab).fieldsLoaded());
        ASSERT_EQ(runnerOf(tab).fields().size(), 5);
        ASSERT_TRUE(events.empty()) << events.front().description;
        tab.tlbSummary->show();
        tab.tlbSummary2->show();
    }
    void TearDown() override { QLocale::setDefault(QLocale::c()); }

    QTemporaryDir m_dir;
    PickTabulon tab;
};

} // namespace

TEST_F(PickerBars, EachComboOffersWhatTheFieldsAllow)
{
    const QStringList fields{QStringLiteral("Name"), QStringLiteral("Price"), QStringLiteral("Qty"), QStringLiteral("When")};
    EXPECT_EQ(items(tab.cboSumCol[0]), fields);
    EXPECT_EQ(items(tab.cboSumCol[1]), QStringList{QStringLiteral("<none>")} + fields);
    EXPECT_EQ(items(tab.cboSumCol[2]), QStringList{QStringLiteral("<none>")} + fields);
    EXPECT_EQ(items(tab.cboXTabCol[1]), fields);
    EXPECT_EQ(items(tab.cboChartCol[2]), QStringList{QStringLiteral("<none>")});
    EXPECT_EQ(items(tab.cboSumCol[4]), (QStringList{QStringLiteral("Price"), QStringLiteral("Qty")}));
    // The item data is the position in the field list, the empty entry counted.
    EXPECT_EQ(tab.cboSumCol[4]->itemData(0).toInt(), 2);
    EXPECT_EQ(tab.cboXTabCol[4]->itemData(1).toInt(), 3);
    const QStringList functions{QStringLiteral("<Count>"), QStringLiteral("<% of Total>"), QStringLiteral("Sum of --->>>"),
                                QStringLiteral("Avg. of --->>>"), QStringLiteral("Min. of --->>>"),
                                QStringLiteral("Max. of --->>>")};
    for (auto *bar : {&tab.cboChartCol, &tab.cboSumCol, &tab.cboXTabCol}) {
        EXPECT_EQ(items((*bar)[3]), functions);
        EXPECT_EQ(items((*bar)[5]), (QStringList{QString(), QStringLiteral("Equal to"), QStringLiteral("Not equal to"),
                                                 QStringLiteral("Greater than"), QStringLiteral("Less than")}));
        EXPECT_EQ((*bar)[3]->currentIndex(), 0);
        EXPECT_FALSE((*bar)[4]->isEnabled());
        EXPECT_EQ((*bar)[4]->currentIndex(), -1);
        EXPECT_EQ((*bar)[5]->currentIndex(), -1);
    }
    EXPECT_FALSE(tab.cboSumCol[2]->isEnabled());
    for (QLineEdit *box : tab.txtSumValue)
        EXPECT_FALSE(box->isEnabled());

    // Filled again for another statement, nothing is doubled; without numeric fields only counting
    // is offered.
    tab.txtResultsSQL->setPlainText(QStringLiteral("SELECT \"Name\" FROM t"));
    ASSERT_TRUE(showView(tab, hlTabulon::tbViewSummary));
    ASSERT_EQ(runnerOf(tab).fields(), (QList<QStringList>{{QStringLiteral("Name"), QStringLiteral("202")}}));
    EXPECT_EQ(items(tab.cboSumCol[0]), QStringList{QStringLiteral("Name")});
    EXPECT_EQ(items(tab.cboSumCol[3]), (QStringList{QStringLiteral("<Count>"), QStringLiteral("<% of Total>")}));
    EXPECT_TRUE(items(tab.cboSumCol[5]).isEmpty());
    EXPECT_TRUE(items(tab.cboChartCol[5]).isEmpty());
}

TEST_F(PickerBars, ChoicesEnableAndClearWhatDependsOnThem)
{
    auto &sum = tab.cboSumCol;
    sum[3]->setCurrentIndex(3); // Avg.
    EXPECT_TRUE(sum[4]->isEnabled());
    sum[4]->setCurrentIndex(1);
    sum[3]->setCurrentIndex(0); // Count
    EXPECT_FALSE(sum[4]->isEnabled());
    EXPECT_EQ(sum[4]->currentIndex(), -1);

    sum[5]->setCurrentIndex(3);
    EXPECT_TRUE(tab.txtSumValue[1]->isEnabled());
    tab.txtSumValue[1]->setText(QStringLiteral("12"));
    sum[5]->setCurrentIndex(0);
    EXPECT_FALSE(tab.txtSumValue[1]->isEnabled());
    EXPECT_EQ(tab.txtSumValue[1]->text(), QStringLiteral("12"));

    sum[1]->setCurrentIndex(2);
    EXPECT_TRUE(sum[2]->isEnabled());
    sum[2]->setCurrentIndex(3);
    sum[1]->setCurrentIndex(0);
    EXPECT_FALSE(sum[2]->isEnabled());
    EXPECT_EQ(sum[2]->currentIndex(), 0);

    // While a refresh runs, clicks change no state.
    {
        analysis::OperationFrame refreshing(tab, analysis::OperationFrame::Refreshing, QStringLiteral("Refreshing ..."));
        sum[3]->setCurrentIndex(2);
        sum[1]->setCurrentIndex(1);
        EXPECT_FALSE(sum[4]->isEnabled());
        EXPECT_FALSE(sum[2]->isEnabled());
    }
}

TEST_F(PickerBars, NumberBoxesTakeTheNumberAsTypedAndShowThousands)
{
    tab.cboSumCol[5]->setCurrentIndex(1);
    QLineEdit *box = tab.txtSumValue[1];
    ASSERT_TRUE(box->isEnabled());
    box->setFocus();
    QApplication::setActiveWindow(&tab);
    box->clear();
    QTest::keyClicks(box, QStringLiteral("-1a23 4"));
    QTest::keyClick(box, Qt::Key_Return);
    EXPECT_EQ(box->text(), QStringLiteral("1234"));
    QGuiApplication::clipboard()->setText(QStringLiteral("99"));
    QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(box->text(), QStringLiteral("1234"));
    QTest::keyClicks(box, QStringLiteral("567"));

    tab.cboSumCol[0]->setFocus();
    QCoreApplication::processEvents();
    EXPECT_EQ(box->text(), QStringLiteral("1,234,567"));
    box->setFocus();
    QCoreApplication::processEvents();
    EXPECT_EQ(box->text(), QStringLiteral("1234567"));

    box->setText(QStringLiteral("0"));
    tab.cboSumCol[0]->setFocus();
    QCoreApplication::processEvents();
    EXPECT_EQ(box->text(), QStringLiteral("0"));
    box->setFocus();
    QCoreApplication::processEvents();
    EXPECT_EQ(box->text(), QString());

    // A fraction and thousands separators are the number the user means, kept exactly; a slip in
    // the grouping is left as typed, for the refresh to refuse.
    QTest::keyClicks(box, QStringLiteral("1,000.5"));
    EXPECT_EQ(box->text(), QStringLiteral("1,000.5"));
    tab.cboSumCol[0]->setFocus();
    QCoreApplication::processEvents();
    EXPECT_EQ(box->text(), QStringLiteral("1,000.5"));
    box->setFocus();
    QCoreApplication::processEvents();
    EXPECT_EQ(box->text(), QStringLiteral("1000.5"));
    box->clear();
    QTest::keyClicks(box, QStringLiteral("1,00.5"));
    tab.cboSumCol[0]->setFocus();
    QCoreApplication::processEvents();
    EXPECT_EQ(box->text(), QStringLiteral("1,00.5"));
}
