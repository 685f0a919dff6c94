#include "ui/StatusPanels.h"
#include "ui/Twips.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QProgressBar>

using namespace ui;

TEST(StatusPanels, PanelsAreNumberedFromOneAndKeepTheirTextExactly)
{
    StatusPanels status(5);
    status.setObjectName(QStringLiteral("staStatus"));
    ASSERT_EQ(status.PanelCount(), 5);
    status.Panels(1).setText(QStringLiteral("Ready ..."));
    status.Panels(5).setToolTipText(QStringLiteral("Current row\\row count"));
    status.Panels(3).setText(QStringLiteral("<b>Filter on</b>"));
    EXPECT_EQ(status.Panels(1).Text(), "Ready ...");
    EXPECT_EQ(status.Panels(1).label()->text(), "Ready ...");
    EXPECT_EQ(status.Panels(5).ToolTipText(), "Current row\\row count");
    EXPECT_EQ(status.Panels(3).label()->textFormat(), Qt::PlainText) << "user data is never read as markup";

    try {
        status.Panels(6);
        FAIL() << "panel 6 does not exist";
    } catch (const std::out_of_range &e) {
        EXPECT_STREQ(e.what(), "status bar staStatus: no panel 6 (it has 5)");
    }
    EXPECT_THROW(status.Panels(0), std::out_of_range);
    EXPECT_THROW(status.Panels(QStringLiteral("nothing")), std::out_of_range);
}

TEST(StatusPanels, TemporaryMessagesDoNotHideThePanels)
{
    StatusPanels status(2);
    status.resize(600, 30);
    status.show();
    status.showMessage(QStringLiteral("saving"));
    EXPECT_TRUE(status.Panels(1).label()->isVisible());
}

TEST(StatusPanels, WidthsFollowTheAutoSizeRule)
{
    StatusPanels status;
    StatusPanel &fixed = status.addPanel(sbrNoAutoSize, 1440, QStringLiteral("rows"));
    StatusPanel &spring = status.addPanel(sbrSpring, 720);
    status.resize(800, 30);
    status.show();
    EXPECT_EQ(fixed.label()->width(), Twips::toPixelsX(1440, fixed.label()));
    EXPECT_GT(spring.label()->width(), fixed.label()->width()) << "the spring takes the rest";
    EXPECT_EQ(&status.Panels(QStringLiteral("ROWS")), &fixed);
    EXPECT_THROW(fixed.setWidth(-5), std::out_of_range);
}

TEST(StatusPanels, ProgressStaysWithinItsRange)
{
    StatusPanels status(1);
    status.show();
    EXPECT_FALSE(status.progressVisible());
    status.showProgress(3);
    EXPECT_TRUE(status.progressVisible());
    EXPECT_EQ(status.progressValue(), 0);
    status.advanceProgress();
    status.advanceProgress(5);
    EXPECT_EQ(status.progressValue(), 3);
    status.hideProgress();
    status.showProgress(10);
    EXPECT_EQ(status.progressValue(), 0) << "each showing starts from 0";
    EXPECT_EQ(status.progressBar()->maximum(), 10);
}
