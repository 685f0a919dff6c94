#include "BrowserTestSupport.h"

#include "Passwords.h"

#include <QFontMetrics>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QTest>

#include <functional>

using namespace browser;
using browsertest::BrowserTest;

namespace {

const QString App = QStringLiteral("Tabulon");

class PasswordTest : public BrowserTest {
protected:
    // Answers each password dialog shown with the texts given, pressing OK; a dialog still open
    // after OK (a refused password) is then cancelled.
    void answer(const QString &current, const QString &next = {}, const QString &confirm = {})
    {
        shown = 0;
        setDialogRunner([=, this](QDialog &d) {
            ++shown;
            auto &dlg = static_cast<frmPassword &>(d);
            dlg.txtPassword[0]->setText(current);
            dlg.txtPassword[1]->setText(next);
            dlg.txtPassword[2]->setText(confirm);
            okEnabled = dlg.cmdOK->isEnabled();
            dlg.cmdOK->click();
            if (dlg.Cancelled())
                dlg.cmdCancel->click();
        });
    }
    int shown = 0;
    bool okEnabled = false;
};

TEST(PasswordHash, CaseAndSurroundingBlanksDoNotMatter)
{
    const QString stored = hashPassword(QStringLiteral("Secret1"));
    ASSERT_FALSE(stored.isEmpty());
    EXPECT_FALSE(stored.contains(QStringLiteral("SECRET1")));
    EXPECT_NE(stored, hashPassword(QStringLiteral("Secret1"))); // salted
    EXPECT_TRUE(verifyPassword(QStringLiteral("secret1"), stored));
    EXPECT_TRUE(verifyPassword(QStringLiteral("  SECRET1 "), stored));
    EXPECT_FALSE(verifyPassword(QStringLiteral("secret2"), stored));
    EXPECT_FALSE(verifyPassword(QString(), stored));
    EXPECT_TRUE(verifyPassword(QString(), QString()));
    EXPECT_FALSE(verifyPassword(QStringLiteral("x"), QString()));
}

TEST_F(PasswordTest, GateAsksOnlyWhenAPasswordIsStoredAndItsFlagIsOn)
{
    answer(QStringLiteral("pw"));
    browserSettings().DataPassword = true;
    EXPECT_TRUE(Check_AdminPassword()); // nothing stored
    EXPECT_EQ(shown, 0);

    browserSettings().Password = hashPassword(QStringLiteral("PW"));
    browserSettings().DataPassword = false;
    browserSettings().AdminPassword = true;
    EXPECT_TRUE(Check_AdminPassword());
    EXPECT_EQ(shown, 0);
    EXPECT_TRUE(checkPasswordFor(browserSettings().AdminPassword)); // the admin tab's own flag
    EXPECT_EQ(shown, 1);

    browserSettings().DataPassword = true;
    EXPECT_TRUE(Check_AdminPassword());
    EXPECT_EQ(shown, 2);

    answer(QStringLiteral("wrong"));
    EXPECT_FALSE(Check_AdminPassword());
    EXPECT_EQ(ui::Prompter::asked().back().text, QStringLiteral("Invalid Password"));
}

TEST_F(PasswordTest, CancellingTheCheckRefuses)
{
    browserSettings().Password = hashPassword(QStringLiteral("PW"));
    browserSettings().DataPassword = true;
    setDialogRunner([](QDialog &d) { static_cast<frmPassword &>(d).cmdCancel->click(); });
    EXPECT_FALSE(Check_AdminPassword());
}

TEST_F(PasswordTest, SettingTheFirstPasswordSavesItAtOnce)
{
    frmPassword dlg(true);
    EXPECT_FALSE(dlg.txtPassword[0]->isEnabled()); // nothing stored yet
    EXPECT_TRUE(dlg.txtPassword[1]->isEnabled());
    for (QLineEdit *box : dlg.txtPassword)
        EXPECT_EQ(box->echoMode(), QLineEdit::Password);

    answer({}, QStringLiteral("abc"), QStringLiteral("ABC "));
    frmPassword set(true);
    runDialog(set);
    ASSERT_FALSE(set.Cancelled());
    EXPECT_TRUE(verifyPassword(QStringLiteral("abc"), browserSettings().Password));
    EXPECT_EQ(store().GetSetting(App, QStringLiteral("Admin"), QStringLiteral("Password")), browserSettings().Password);
    EXPECT_EQ(ui::Prompter::lastAsked()->text, QStringLiteral("Password changed"));
}

TEST_F(PasswordTest, MismatchedConfirmationOfEqualLengthIsRefused)
{
    browserSettings().Password = hashPassword(QStringLiteral("OLD"));
    const QString before = browserSettings().Password;
    answer(QStringLiteral("old"), QStringLiteral("abcd"), QStringLiteral("abce"));
    frmPassword dlg(true);
    runDialog(dlg);
    EXPECT_TRUE(okEnabled);
    EXPECT_TRUE(dlg.Cancelled());
    EXPECT_EQ(ui::Prompter::lastAsked()->text, QStringLiteral("Confirm does not match Password, try again!"));
    EXPECT_EQ(browserSettings().Password, before);
    EXPECT_TRUE(store().GetSetting(App, QStringLiteral("Admin"), QStringLiteral("Password")).isEmpty());
}

TEST_F(PasswordTest, ChangeNeedsTheCurrentPasswordAndAFailedSaveKeepsTheOld)
{
    browserSettings().Password = hashPassword(QStringLiteral("OLD"));
    const QString before = browserSettings().Password;
    answer(QStringLiteral("nope"), QStringLiteral("new"), QStringLiteral("new"));
    frmPassword wrong(true);
    runDialog(wrong);
    EXPECT_TRUE(wrong.Cancelled());
    EXPECT_EQ(browserSettings().Password, before);

    store().setWriteFailure(QStringLiteral("read-only"));
    answer(QStringLiteral("old"), QStringLiteral("new"), QStringLiteral("new"));
    frmPassword failed(true);
    runDialog(failed);
    EXPECT_TRUE(failed.Cancelled());
    EXPECT_EQ(browserSettings().Password, before);
    ASSERT_FALSE(errors.empty());
    EXPECT_TRUE(errors.back().description.contains(QStringLiteral("read-only")));
}

TEST_F(PasswordTest, BoxesTakeOnlyLettersAndDigits)
{
    frmPassword dlg(true);
    QTest::keyClicks(dlg.txtPassword[1], QStringLiteral("a b-c_9"));
    EXPECT_EQ(dlg.txtPassword[1]->text(), QStringLiteral("abc9"));
}

TEST_F(PasswordTest, OkFollowsTheLengthsOfNewAndConfirm)
{
    frmPassword dlg(true);
    EXPECT_FALSE(dlg.cmdOK->isEnabled());
    dlg.txtPassword[1]->setText(QStringLiteral("ab"));
    EXPECT_FALSE(dlg.cmdOK->isEnabled());
    dlg.txtPassword[2]->setText(QStringLiteral("x "));
    EXPECT_FALSE(dlg.cmdOK->isEnabled());
    dlg.txtPassword[2]->setText(QStringLiteral(" xy "));
    EXPECT_TRUE(dlg.cmdOK->isEnabled());
}

TEST_F(PasswordTest, EachWindowIsWideEnoughForItsTitle)
{
    for (const bool changeMode : {true, false}) {
        frmPassword dlg(changeMode);
        dlg.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
        QFont bold = dlg.font();
        bold.setBold(true);
        // Title text, window icon and the three title-bar buttons.
        const int bar = dlg.style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, &dlg);
        EXPECT_GE(dlg.width(), QFontMetrics(bold).horizontalAdvance(dlg.windowTitle()) + 4 * bar)
            << dlg.windowTitle().toStdString();
    }
}

} // namespace
