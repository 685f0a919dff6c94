// Tools > Options on a query window reaches its control's options dialog.
#include "ShellTestSupport.h"

#include "dialogs/frmOptions.h"

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

    int shownTab = -1;
    onModal = [&shownTab](QDialog &d) {
        auto *dlg = qobject_cast<frmOptions *>(&d);
        ASSERT_NE(dlg, nullptr);
        dlg->show();
        ASSERT_TRUE(dlg->isLoaded());
        shownTab = dlg->tabOptions->currentIndex();
        dlg->chkShowCount->click();
        dlg->cmdOK->click();
    };
    QApplication::setActiveWindow(main);
    QTest::keyClick(main, Qt::Key_O, Qt::ControlModifier);
    pump(20);

    ASSERT_EQ(modals.size(), 1u);
    EXPECT_EQ(modals[0], QStringLiteral("frmOptions"));
    EXPECT_EQ(shownTab, frmOptions::tabResults);
    EXPECT_TRUE(analysis::options().ShowCount);
    // Re-applied to the control: with the count always shown, its toggle goes.
    EXPECT_FALSE(w->control()->stShowRowCount());
    EXPECT_TRUE(errors.empty()) << (errors.empty() ? QString() : errors.front().procedure + QStringLiteral(": ") + errors.front().description);
}

} // namespace
