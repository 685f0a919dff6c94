// Tools > Options on a query window reaches its control's options dialog.
#include "ShellTestSupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QMdiArea>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

using shelltest::pump;
using shelltest::ShellTest;

namespace {

class OptionsCommand : public ShellTest {};

TEST_F(OptionsCommand, CtrlOOnAQueryWindowOpensTheOptionsOnItsViewAndOkApplies)
{
    start();
    frmQuery *w = launch(QStringLiteral("Customers"));
    ASSERT_NE(w, nullptr);
    main->mdiArea->setActiveSubWindow(w);
    pump(20);
    ASSERT_TRUE(main->mnuOptions->isEnabled());
    EXPECT_TRUE(w->control()->stShowRowCount());

    QString shownTab;
    onModal = [&shownTab](QDialog &d) {
        d.show();
        auto *tabs = d.findChild<QTabWidget *>(QStringLiteral("tabOptions"));
        auto *showCount = d.findChild<QCheckBox *>(QStringLiteral("chkShowCount"));
        auto *ok = d.findChild<QPushButton *>(QStringLiteral("cmdOK"));
        ASSERT_TRUE(tabs && showCount && ok);
        shownTab = tabs->tabText(tabs->currentIndex());
        showCount->click();
        ok->click();
    };
    QApplication::setActiveWindow(main);
    QTest::keyClick(main, Qt::Key_O, Qt::ControlModifier);
    pump(20);

    ASSERT_EQ(modals.size(), 1u);
    EXPECT_EQ(modals[0], QStringLiteral("frmOptions"));
    EXPECT_EQ(shownTab, QStringLiteral("Results"));
    EXPECT_TRUE(analysis::options().ShowCount);
    // Re-applied to the control: with the count always shown, its toggle goes.
    EXPECT_FALSE(w->control()->stShowRowCount());
    EXPECT_TRUE(errors.empty()) << (errors.empty() ? QString() : errors.front().procedure + QStringLiteral(": ") + errors.front().description);
}

} // namespace
