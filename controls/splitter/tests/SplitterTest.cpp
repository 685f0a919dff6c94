#include "SplitLayout.h"
#include "PaneDivider/Splitter.h"

#include "automation/Automation.h"
#include "ui/Twips.h"
#include "ui/VbColor.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QSignalSpy>
#include <QTest>

#include <memory>

using splitter::computeLayout;
using ui::Twips;

namespace {

// A shown splitter with two child panes, sized in pixels.
struct Fixture {
    std::unique_ptr<Splitter> splitter = std::make_unique<Splitter>();
    QWidget *one = new QWidget(splitter.get());
    QWidget *two = new QWidget(splitter.get());

    Fixture(int width, int height, bool horizontal, int barTwips)
    {
        splitter->resize(width, height);
        splitter->show();
        splitter->setSplitterWidth(barTwips);
        splitter->setOrientation(horizontal ? Splitter::splitHorizontal : Splitter::splitVertical);
        splitter->setChild1(one);
        splitter->setChild2(two);
    }
    QWidget *bar() const { return splitter->SplitterBar(); }
    double heightTwips() const { return Twips::fromPixelsY(splitter->height(), splitter.get()); }
    double widthTwips() const { return Twips::fromPixelsX(splitter->width(), splitter.get()); }
    int pxY(double twips) const { return Twips::toPixelsY(twips, splitter.get()); }
    int pxX(double twips) const { return Twips::toPixelsX(twips, splitter.get()); }
};

} // namespace

TEST(SplitLayout, HorizontalDividesTheHeightLeftByTheBar)
{
    const auto g = computeLayout(3000, 5000, 80, 0.5, true);
    EXPECT_EQ(g.child1, QRectF(0, 0, 3000, 2460));
    EXPECT_EQ(g.bar, QRectF(0, 2460, 3000, 80));
    EXPECT_EQ(g.child2, QRectF(0, 2540, 3000, 2460));

    const auto v = computeLayout(5000, 3000, 80, 0.25, false);
    EXPECT_EQ(v.child1, QRectF(0, 0, 1230, 3000));
    EXPECT_EQ(v.bar, QRectF(1230, 0, 80, 3000));
    EXPECT_EQ(v.child2, QRectF(1310, 0, 3690, 3000));
}

TEST(SplitLayout, NoPaneGetsANegativeSize)
{
    // SplitPercent 255: the first pane takes all the space, the bar stays inside at the edge.
    const auto over = computeLayout(3000, 5000, 80, 2.55, true);
    EXPECT_EQ(over.child1, QRectF(0, 0, 3000, 4920));
    EXPECT_EQ(over.bar, QRectF(0, 4920, 3000, 80));
    EXPECT_EQ(over.child2.height(), 0);

    // A bar thicker than the area leaves nothing to either pane.
    const auto thick = computeLayout(3000, 60, 80, 0.5, true);
    EXPECT_EQ(thick.child1.height(), 0);
    EXPECT_EQ(thick.child2.height(), 0);
    EXPECT_EQ(thick.bar, QRectF(0, 0, 3000, 80));
}

TEST(SplitLayout, APaneKeepsItsMinimumAgainstTheFraction)
{
    // 90 % for the first pane would leave the second 492 high; it asks for 1200.
    const auto g = computeLayout(3000, 5000, 80, 0.9, true, 0, 1200);
    EXPECT_EQ(g.child2, QRectF(0, 3800, 3000, 1200));
    EXPECT_EQ(g.bar, QRectF(0, 3720, 3000, 80));
    EXPECT_EQ(g.child1.height(), 3720);
    // The first pane's minimum, side by side.
    EXPECT_EQ(computeLayout(5000, 3000, 80, 0.1, false, 2000, 0).child1.width(), 2000);
    // A fraction that already leaves enough is not touched.
    EXPECT_EQ(computeLayout(3000, 5000, 80, 0.5, true, 1000, 1000).child1.height(), 2460);
    // Both minima larger than the space: the first gets its own, the second the rest, none negative.
    const auto tight = computeLayout(3000, 1000, 80, 0.5, true, 800, 800);
    EXPECT_EQ(tight.child1.height(), 800);
    EXPECT_EQ(tight.child2.height(), 120);
    const auto none = computeLayout(3000, 60, 80, 0.5, true, 800, 800);
    EXPECT_EQ(none.child1.height(), 0);
    EXPECT_EQ(none.child2.height(), 0);
}

TEST(Splitter, APaneWithAMinimumHeightIsNotSqueezed)
{
    Fixture f(400, 300, true, 60);
    f.splitter->setSplitPercent(90);
    f.two->setMinimumHeight(80);
    f.splitter->resize(400, 301); // any layout applies it
    EXPECT_GE(f.two->height(), 79);
    EXPECT_EQ(f.splitter->SplitPercent(), 90) << "the user's division is kept for larger windows";
    f.splitter->resize(400, 1000);
    EXPECT_GT(f.two->height(), 80);
    EXPECT_NEAR(f.one->height(), int(0.9 * (1000 - f.bar()->height())), 2);
}

TEST(Splitter, NewInstanceDefaultsAndWrittenBag)
{
    Splitter s;
    EXPECT_EQ(s.Orientation(), Splitter::splitVertical);
    EXPECT_EQ(s.SplitPercent(), 50);
    EXPECT_EQ(s.SplitterWidth(), 50);
    EXPECT_EQ(s.SplitterColor(), 0u);
    EXPECT_EQ(s.SplitterBar()->cursor().shape(), Qt::SizeHorCursor);
    // 50 is not the written default of the width (80), so a new splitter stores it.
    EXPECT_EQ(s.WriteProperties(), (QVariantMap{{QStringLiteral("SplitterWidth"), 50}}));

    s.setOrientation(1);
    s.setSplitPercent(80);
    s.setSplitterWidth(80);
    EXPECT_EQ(s.WriteProperties(),
              (QVariantMap{{QStringLiteral("Orientation"), true}, {QStringLiteral("SplitPercent"), 80}}));
}

TEST(Splitter, ReadingTheBagAppliesEachKeyOnItsOwn)
{
    Splitter s;
    QSignalSpy resized(&s, &Splitter::Resize);
    s.ReadProperties({});
    EXPECT_EQ(s.Orientation(), Splitter::splitVertical);
    EXPECT_EQ(s.SplitPercent(), 50);
    EXPECT_EQ(s.SplitterWidth(), 80); // a stored splitter without the key reads 80
    EXPECT_EQ(resized.count(), 2);    // orientation and percent lay out

    s.ReadProperties({{QStringLiteral("orientation"), QStringLiteral("True")},
                      {QStringLiteral("SplitPercent"), 300},
                      {QStringLiteral("SplitterWidth"), QStringLiteral("40")}});
    EXPECT_EQ(s.Orientation(), Splitter::splitHorizontal);
    EXPECT_EQ(s.SplitPercent(), 50) << "a value that does not fit a byte leaves the percent alone";
    EXPECT_EQ(s.SplitterWidth(), 40) << "the key after a failed one is still read";

    s.ReadProperties({{QStringLiteral("Orientation"), QStringLiteral("sideways")},
                      {QStringLiteral("SplitPercent"), 12.5},
                      {QStringLiteral("SplitterWidth"), -3}});
    EXPECT_EQ(s.Orientation(), Splitter::splitHorizontal);
    EXPECT_EQ(s.SplitPercent(), 12);
    EXPECT_EQ(s.SplitterWidth(), 40);
}

TEST(Splitter, WritersThatLayOutRaiseResizeAndMarkTheirProperty)
{
    Splitter s;
    QWidget pane(&s);
    QSignalSpy resized(&s, &Splitter::Resize);
    QSignalSpy changed(&s, &Splitter::PropertyChanged);

    s.setSplitterWidth(120);
    s.setSplitterColor(ui::VbColor::rgb(255, 0, 0));
    EXPECT_EQ(resized.count(), 0);

    s.setSplitPercent(30);
    s.setOrientation(Splitter::splitHorizontal);
    s.setChild1(&pane);
    s.setChild2(nullptr);
    EXPECT_EQ(resized.count(), 4);

    QStringList names;
    for (const auto &args : changed)
        names << args.at(0).toString();
    EXPECT_EQ(names, (QStringList{"SplitterWidth", "SplitterColor", "SplitPercent", "Orientation", "Child1", "Child2"}));
}

TEST(Splitter, HostsReachMembersByDispatchIdentifier)
{
    Splitter s;
    QWidget pane(&s);
    QString error;
    ASSERT_TRUE(automation::setPropertyById(&s, 0x68030005, 1, &error)) << error.toStdString();
    QVariant value;
    ASSERT_TRUE(automation::getPropertyById(&s, 0x68030005, &value, &error)) << error.toStdString();
    EXPECT_EQ(value.toInt(), -1);

    // Bytes: 255 is taken though over 100, what does not fit is refused and changes nothing.
    ASSERT_TRUE(automation::setPropertyById(&s, 0x68030002, 255, &error)) << error.toStdString();
    EXPECT_EQ(s.SplitPercent(), 255);
    EXPECT_FALSE(automation::setPropertyById(&s, 0x68030002, 256, &error));
    EXPECT_FALSE(automation::setPropertyById(&s, 0x68030001, -1, &error));
    EXPECT_EQ(s.SplitPercent(), 255);
    EXPECT_EQ(s.SplitterWidth(), 50);

    ASSERT_TRUE(automation::setPropertyById(&s, 0x68030004, QVariant::fromValue<QObject *>(&pane), &error))
        << error.toStdString();
    EXPECT_EQ(s.Child1(), &pane);
    ASSERT_TRUE(automation::setPropertyById(&s, 0x68030000, int(0x8000000F), &error)) << error.toStdString();
    EXPECT_EQ(s.SplitterColor(), 0x8000000Fu);
    ASSERT_TRUE(automation::callByName(&s, QStringLiteral("child2"), {QVariant::fromValue<QObject *>(&pane)}));
    EXPECT_EQ(s.Child2(), &pane);
}

TEST(Splitter, LaysOutThePanesInTwips)
{
    Fixture f(300, 400, true, 90);
    f.splitter->setSplitPercent(50);
    const double space = f.heightTwips() - 90;
    EXPECT_EQ(f.one->geometry(), QRect(0, 0, 300, f.pxY(space / 2)));
    EXPECT_EQ(f.bar()->geometry(), QRect(0, f.pxY(space / 2), 300, f.pxY(space / 2 + 90) - f.pxY(space / 2)));
    EXPECT_EQ(f.two->geometry().top(), f.bar()->geometry().bottom() + 1);
    EXPECT_EQ(f.two->geometry().bottom(), 399);

    // Resizing the splitter lays out again.
    QSignalSpy resized(f.splitter.get(), &Splitter::Resize);
    f.splitter->resize(500, 200);
    EXPECT_EQ(resized.count(), 1);
    EXPECT_EQ(f.one->width(), 500);
    EXPECT_EQ(f.two->geometry().bottom(), 199);

    f.splitter->setOrientation(Splitter::splitVertical);
    EXPECT_EQ(f.bar()->cursor().shape(), Qt::SizeHorCursor);
    EXPECT_EQ(f.one->height(), 200);
    EXPECT_EQ(f.one->width(), f.pxX((f.widthTwips() - 90) / 2));
    EXPECT_EQ(f.two->geometry().right(), 499);
}

TEST(Splitter, AMissingOrDestroyedPaneIsLeftOut)
{
    Fixture f(300, 400, true, 90);
    f.splitter->setChild2(nullptr);
    f.splitter->setSplitPercent(25);
    EXPECT_EQ(f.one->height(), f.pxY((f.heightTwips() - 90) * 0.25));

    delete f.one;
    QSignalSpy resized(f.splitter.get(), &Splitter::Resize);
    f.splitter->setSplitPercent(75);
    EXPECT_EQ(f.splitter->Child1(), nullptr);
    EXPECT_EQ(resized.count(), 1);
    EXPECT_EQ(f.bar()->y(), f.pxY((f.heightTwips() - 90) * 0.75));
}

TEST(Splitter, APaneOutsideTheSplitterIsPlacedInItsParentsCoordinates)
{
    QWidget host;
    host.resize(600, 600);
    auto *s = new Splitter(&host);
    auto *pane = new QWidget(&host);
    s->setGeometry(50, 100, 300, 400);
    host.show();
    s->setOrientation(Splitter::splitHorizontal);
    s->setChild1(pane);
    EXPECT_EQ(pane->pos(), QPoint(50, 100));
    EXPECT_EQ(pane->width(), 300);
}

TEST(SplitterDrag, TheBarsFarEdgeFollowsThePointerAndThePanesWaitForTheRelease)
{
    Fixture f(300, 400, true, 90);
    const QRect before = f.one->geometry();
    QSignalSpy resized(f.splitter.get(), &Splitter::Resize);

    QTest::mousePress(f.bar(), Qt::LeftButton, {}, QPoint(10, 2));
    QTest::mouseMove(f.bar(), QPoint(10, 130 - f.bar()->y()));
    const double top = Twips::fromPixelsY(130, f.splitter.get()) - 90;
    EXPECT_EQ(f.bar()->y(), f.pxY(top));
    EXPECT_NEAR(f.splitter->fraction(), top / f.heightTwips(), 1e-6);
    EXPECT_EQ(f.one->geometry(), before);
    EXPECT_EQ(resized.count(), 0);

    QTest::mouseRelease(f.bar(), Qt::LeftButton, {}, QPoint(10, 5));
    EXPECT_EQ(resized.count(), 2);
    const double a = (f.heightTwips() - 90) * double(f.splitter->fraction());
    EXPECT_EQ(f.one->height(), f.pxY(a));
    EXPECT_EQ(f.splitter->SplitPercent(), qRound(top / f.heightTwips() * 100)); // 31 at 96 dpi
}

TEST(SplitterDrag, DraggingPastTheEdgeClampsTheFraction)
{
    Fixture f(400, 300, false, 90);
    QTest::mousePress(f.bar(), Qt::LeftButton, {}, QPoint(2, 10));
    QTest::mouseMove(f.bar(), QPoint(900, 10));
    EXPECT_FLOAT_EQ(f.splitter->fraction(), 0.999f);
    EXPECT_GT(f.bar()->x(), 400) << "the bar itself is not held back while dragging";
    QTest::mouseRelease(f.bar(), Qt::LeftButton, {}, QPoint(2, 10));
    EXPECT_EQ(f.bar()->x(), f.pxX((f.widthTwips() - 90) * double(0.999f)));
    EXPECT_EQ(f.splitter->SplitPercent(), 100);

    QTest::mousePress(f.bar(), Qt::LeftButton, {}, QPoint(2, 10));
    QTest::mouseMove(f.bar(), QPoint(-2000, 10));
    QTest::mouseRelease(f.bar(), Qt::LeftButton, {}, QPoint(2, 10));
    EXPECT_FLOAT_EQ(f.splitter->fraction(), 0.001f);
    EXPECT_EQ(f.one->width(), f.pxX((f.widthTwips() - 90) * double(0.001f)));
}

TEST(SplitterDrag, OnlyTheLeftButtonAloneDragsButAnyReleaseLaysOut)
{
    Fixture f(300, 400, true, 90);
    const int barTop = f.bar()->y();
    QSignalSpy resized(f.splitter.get(), &Splitter::Resize);

    QTest::mousePress(f.bar(), Qt::RightButton, {}, QPoint(10, 2));
    QTest::mouseMove(f.bar(), QPoint(10, 80));
    EXPECT_EQ(f.bar()->y(), barTop);
    QTest::mouseRelease(f.bar(), Qt::RightButton, {}, QPoint(10, 80));
    EXPECT_EQ(resized.count(), 2);

    QTest::mousePress(f.bar(), Qt::LeftButton, {}, QPoint(10, 2));
    QTest::mousePress(f.bar(), Qt::RightButton, {}, QPoint(10, 2));
    QTest::mouseMove(f.bar(), QPoint(10, 80));
    EXPECT_EQ(f.bar()->y(), barTop);
    EXPECT_EQ(f.splitter->SplitPercent(), 50);
    QTest::mouseRelease(f.bar(), Qt::RightButton, {}, QPoint(10, 80));
    QTest::mouseRelease(f.bar(), Qt::LeftButton, {}, QPoint(10, 80));
    EXPECT_EQ(resized.count(), 6);
}

TEST(SplitterDrag, PressingBringsTheBarInFrontOfThePanes)
{
    Fixture f(300, 400, true, 90);
    f.one->raise();
    QTest::mousePress(f.bar(), Qt::LeftButton, {}, QPoint(10, 2));
    EXPECT_EQ(f.splitter->children().last(), f.bar());
    QTest::mouseRelease(f.bar(), Qt::LeftButton, {}, QPoint(10, 2));
}

TEST(SplitterPaint, ZeroAndButtonFacePaintTheSystemButtonFace)
{
    Fixture f(300, 400, true, 150);
    const QColor face = f.splitter->palette().color(QPalette::Active, QPalette::Button);
    const auto painted = [&] {
        QImage image(f.bar()->size(), QImage::Format_RGB32);
        image.fill(Qt::magenta);
        f.bar()->render(&image);
        return image.pixelColor(image.width() / 2, image.height() / 2);
    };
    f.splitter->setSplitterColor(0);
    EXPECT_EQ(painted(), face);
    f.splitter->setSplitterColor(ui::VbColor::ButtonFace);
    EXPECT_EQ(painted(), face);
    f.splitter->setSplitterColor(ui::VbColor::rgb(0, 0, 255)); // 0x00BBGGRR: blue
    EXPECT_EQ(painted(), QColor(0, 0, 255));
    f.splitter->setSplitterColor(ui::VbColor::rgb(1, 1, 1)); // near black is not the face
    EXPECT_EQ(painted(), QColor(1, 1, 1));
}
