#include "automation/Automation.h"

#include <gtest/gtest.h>

#include <QObject>

#include <stdexcept>

using namespace automation;

namespace {

class Control : public QObject {
    Q_OBJECT
    Q_CLASSINFO("DispId:stViewChart", "0x68030624")
    Q_CLASSINFO("DispId:Refresh", "0x60030010")
    Q_CLASSINFO("DispId:AboutBox", "-552")
    Q_CLASSINFO("DispId:SplitPercent", "0x68030002")
    Q_CLASSINFO("DispId:stCurrentView", "0x6803060E")
    Q_PROPERTY(int SplitPercent READ splitPercent WRITE setSplitPercent)
    Q_PROPERTY(bool stViewChart READ stViewChart)
    Q_PROPERTY(tbView stCurrentView READ currentView WRITE setCurrentView)
    Q_PROPERTY(QString SQL MEMBER m_sql)

public:
    enum tbView { tbViewResults = 0, tbViewChart = 1, tbViewSummary = 2, tbViewXTab = 3 };
    Q_ENUM(tbView)

    Q_INVOKABLE bool Refresh()
    {
        ++refreshes;
        return true;
    }
    Q_INVOKABLE bool Set_Options(bool data = false, bool chart = false, bool source = false)
    {
        options = {data, chart, source};
        return true;
    }
    Q_INVOKABLE QString Describe(int n) { return QStringLiteral("int %1").arg(n); }
    Q_INVOKABLE QString Describe(const QString &s) { return QStringLiteral("text %1").arg(s); }
    Q_INVOKABLE QString Format_Value(int type) { return QStringLiteral("#,##0 for %1").arg(type); }
    Q_INVOKABLE QVariant Echo(const QVariant &v) { return v; }
    Q_INVOKABLE void AboutBox() { ++aboutShown; }
    Q_INVOKABLE bool Explode() { throw std::runtime_error("grid is gone"); }

    int splitPercent() const { return m_split; }
    void setSplitPercent(int v) { m_split = v; }
    bool stViewChart() const { return true; }
    tbView currentView() const { return m_view; }
    void setCurrentView(tbView v) { m_view = v; }

    int refreshes = 0;
    int aboutShown = 0;
    std::array<bool, 3> options{true, true, true};

public slots:
    void Clear_Query() { m_sql.clear(); }

private:
    Q_INVOKABLE void hiddenHelper() {}
    int m_split = 90;
    tbView m_view = tbViewResults;
    QString m_sql = QStringLiteral("SELECT 1");
};

class DerivedControl : public Control {
    Q_OBJECT
    Q_CLASSINFO("DispId:Clear_Query", "0x68030624") // takes over the base's identifier
};

} // namespace

TEST(AutomationByName, MethodsAreFoundWithoutRegardToCase)
{
    Control c;
    QVariant result;
    QString error;
    ASSERT_TRUE(callByName(&c, QStringLiteral("refresh"), {}, &result, &error)) << error.toStdString();
    EXPECT_EQ(result, QVariant(true));
    EXPECT_EQ(c.refreshes, 1);

    ASSERT_TRUE(callByName(&c, QStringLiteral("CLEAR_QUERY")));
    EXPECT_EQ(c.property("SQL").toString(), QString());

    ASSERT_TRUE(callByName(&c, QStringLiteral("AboutBox"), {}, &result));
    EXPECT_FALSE(result.isValid());
    EXPECT_EQ(c.aboutShown, 1);
}

TEST(AutomationByName, TrailingOptionalArgumentsMayBeLeftOut)
{
    Control c;
    ASSERT_TRUE(callByName(&c, QStringLiteral("Set_Options")));
    EXPECT_EQ(c.options, (std::array<bool, 3>{false, false, false}));
    ASSERT_TRUE(callByName(&c, QStringLiteral("Set_Options"), {true}));
    EXPECT_EQ(c.options, (std::array<bool, 3>{true, false, false}));
    ASSERT_TRUE(callByName(&c, QStringLiteral("Set_Options"), {false, true, true}));
    EXPECT_EQ(c.options, (std::array<bool, 3>{false, true, true}));

    QString error;
    EXPECT_FALSE(callByName(&c, QStringLiteral("Set_Options"), {true, true, true, true}, nullptr, &error));
    EXPECT_EQ(error, QStringLiteral("wrong number of arguments: Set_Options"));
}

TEST(AutomationByName, ArgumentsConvertAndPickTheBestOverload)
{
    Control c;
    QVariant result;
    ASSERT_TRUE(callByName(&c, QStringLiteral("Describe"), {42}, &result));
    EXPECT_EQ(result.toString(), QStringLiteral("int 42"));
    ASSERT_TRUE(callByName(&c, QStringLiteral("Describe"), {QStringLiteral("42")}, &result));
    EXPECT_EQ(result.toString(), QStringLiteral("text 42"));

    ASSERT_TRUE(callByName(&c, QStringLiteral("Format_Value"), {QStringLiteral("131")}, &result));
    EXPECT_EQ(result.toString(), QStringLiteral("#,##0 for 131"));
    ASSERT_TRUE(callByName(&c, QStringLiteral("Format_Value"), {QVariant()}, &result));
    EXPECT_EQ(result.toString(), QStringLiteral("#,##0 for 0"));

    QString error;
    EXPECT_FALSE(callByName(&c, QStringLiteral("Format_Value"), {QStringLiteral("abc")}, &result, &error));
    EXPECT_TRUE(error.startsWith(QStringLiteral("type mismatch"))) << error.toStdString();

    const QVariantList list{1, QStringLiteral("two")};
    ASSERT_TRUE(callByName(&c, QStringLiteral("Echo"), QVariantList{QVariant(list)}, &result));
    EXPECT_EQ(result, QVariant(list));
}

TEST(AutomationByName, PropertiesReadWithoutArgumentsAndWriteWithOne)
{
    Control c;
    QVariant value;
    ASSERT_TRUE(callByName(&c, QStringLiteral("splitpercent"), {}, &value));
    EXPECT_EQ(value.toInt(), 90);
    ASSERT_TRUE(callByName(&c, QStringLiteral("SplitPercent"), {QStringLiteral("75")}));
    EXPECT_EQ(c.splitPercent(), 75);

    // Enumerated properties take the plain number a host passes.
    ASSERT_TRUE(setProperty(&c, QStringLiteral("stcurrentview"), 2));
    EXPECT_EQ(c.currentView(), Control::tbViewSummary);
    ASSERT_TRUE(getProperty(&c, QStringLiteral("stCurrentView"), &value));
    EXPECT_EQ(value.toInt(), 2);

    QString error;
    EXPECT_FALSE(callByName(&c, QStringLiteral("stViewChart"), {false}, nullptr, &error));
    EXPECT_EQ(error, QStringLiteral("property is read-only: stViewChart"));
    EXPECT_FALSE(setProperty(&c, QStringLiteral("SplitPercent"), QStringLiteral("lots"), &error));
    EXPECT_EQ(c.splitPercent(), 75);
}

TEST(AutomationByName, FailuresAreReportedNotThrown)
{
    Control c;
    QString error;
    EXPECT_FALSE(callByName(&c, QStringLiteral("Run_Query"), {}, nullptr, &error));
    EXPECT_EQ(error, QStringLiteral("member not found: Run_Query"));
    EXPECT_EQ(lastError(), error);

    // Private members and signals are not part of the automation interface.
    EXPECT_FALSE(callByName(&c, QStringLiteral("hiddenHelper")));
    EXPECT_FALSE(callByName(&c, QStringLiteral("destroyed")));

    EXPECT_FALSE(callByName(&c, QStringLiteral("Explode"), {}, nullptr, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("grid is gone"))) << error.toStdString();

    EXPECT_FALSE(callByName(nullptr, QStringLiteral("Refresh"), {}, nullptr, &error));
    EXPECT_FALSE(error.isEmpty());

    ASSERT_TRUE(callByName(&c, QStringLiteral("Refresh")));
    EXPECT_TRUE(lastError().isEmpty());
}

TEST(AutomationById, IdentifiersReachMethodsAndProperties)
{
    Control c;
    QVariant value;
    ASSERT_TRUE(callById(&c, 0x68030624, {}, &value));
    EXPECT_EQ(value, QVariant(true));
    ASSERT_TRUE(callById(&c, 0x60030010));
    EXPECT_EQ(c.refreshes, 1);
    ASSERT_TRUE(callById(&c, -552));
    EXPECT_EQ(c.aboutShown, 1);

    ASSERT_TRUE(setPropertyById(&c, 0x68030002, 40));
    ASSERT_TRUE(getPropertyById(&c, 0x68030002, &value));
    EXPECT_EQ(value.toInt(), 40);
    ASSERT_TRUE(callById(&c, 0x6803060E, {3}));
    EXPECT_EQ(c.currentView(), Control::tbViewXTab);

    QString error;
    EXPECT_FALSE(callById(&c, 0x68030001, {}, nullptr, &error));
    EXPECT_EQ(error, QStringLiteral("member not found: dispid 0x68030001"));
    EXPECT_FALSE(callById(&c, -4, {}, nullptr, &error));
    EXPECT_EQ(error, QStringLiteral("member not found: dispid -4"));

    EXPECT_EQ(dispIdOf(c.metaObject(), QStringLiteral("stviewchart")), 0x68030624L);
    EXPECT_EQ(memberForDispId(c.metaObject(), -552), QStringLiteral("AboutBox"));

    DerivedControl d;
    ASSERT_TRUE(callById(&d, 0x68030624));
    EXPECT_EQ(d.property("SQL").toString(), QString());
}

TEST(AutomationById, IdentifierText)
{
    EXPECT_EQ(parseDispId(QStringLiteral("0x68030624")), 0x68030624L);
    EXPECT_EQ(parseDispId(QStringLiteral("&H6803060F")), 0x6803060FL);
    EXPECT_EQ(parseDispId(QStringLiteral("-552")), -552L);
    EXPECT_EQ(parseDispId(QStringLiteral("1745027100")), 1745027100L);
    EXPECT_EQ(parseDispId(QStringLiteral("0x80000000")), long(INT32_MIN));
    EXPECT_EQ(parseDispId(QStringLiteral("0x1FFFFFFFF")), std::nullopt);
    EXPECT_EQ(parseDispId(QStringLiteral("abc")), std::nullopt);
    EXPECT_EQ(parseDispId(QString()), std::nullopt);
}

#include "AutomationTest.moc"
