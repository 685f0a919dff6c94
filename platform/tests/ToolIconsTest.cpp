// Every command of the toolbars has a picture of its own, from the desktop's theme or ours.
#include "ui/KeyedToolBar.h"
#include "ui/ToolIcons.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QSet>

using ui::ToolIcons;

namespace {

QImage rendered(const QIcon &icon)
{
    return icon.pixmap(QSize(24, 24)).toImage().convertToFormat(QImage::Format_ARGB32);
}

// The keys of the program's toolbars, one list a toolbar.
const QStringList kBars[] = {
    {"Refresh", "Results", "Chart", "Summary", "XTab", "Export", "Find", "SQL", "Print", "Options"},
    {"Open", "Parse", "Clear", "ShowCount", "MoveFirst", "MoveLast", "ColResize", "QueryBuilder", "ShowCols", "Sort",
     "RemoveFilter", "UnFreezeCols"},
    {"Refresh", "First", "Previous", "Next", "Last"},
    {"Slide", "Reset", "EMail"},
    {"Large", "Small", "List", "Report", "Options"},
};

} // namespace

TEST(ToolIcons, EveryButtonOfEveryToolbarCanBeToldApart)
{
    for (const QStringList &bar : kBars) {
        QList<QImage> seen;
        for (const QString &key : bar) {
            const QIcon icon = ToolIcons::forKey(key);
            ASSERT_FALSE(icon.isNull()) << key.toStdString();
            const QImage image = rendered(icon);
            ASSERT_FALSE(image.isNull()) << key.toStdString();
            EXPECT_FALSE(seen.contains(image)) << key.toStdString() << " looks like another button of its bar";
            seen << image;
        }
    }
    // Keys are matched whatever their case; an unknown key has no picture.
    EXPECT_EQ(rendered(ToolIcons::forKey(QStringLiteral("movefirst"))), rendered(ToolIcons::forKey(QStringLiteral("MoveFirst"))));
    EXPECT_TRUE(ToolIcons::forKey(QStringLiteral("NoSuchCommand")).isNull());
}

TEST(ToolIcons, OurOwnPictureStandsInForEveryKey)
{
    // Whatever theme the desktop has, or none: each key has a drawing of ours that can be shown.
    for (const QStringList &bar : kBars) {
        for (const QString &key : bar) {
            const QString own = ToolIcons::ownName(key);
            ASSERT_FALSE(own.isEmpty()) << key.toStdString();
            const QImage image = rendered(ToolIcons::own(own));
            ASSERT_FALSE(image.isNull()) << own.toStdString() << " is not drawn (is the SVG support installed?)";
            bool painted = false;
            for (int y = 0; y < image.height() && !painted; ++y)
                for (int x = 0; x < image.width() && !painted; ++x)
                    painted = qAlpha(image.pixel(x, y)) > 0;
            EXPECT_TRUE(painted) << own.toStdString();
        }
    }
}

TEST(ToolIcons, AToolbarButtonWithoutAPictureGetsItsCommandsPicture)
{
    ui::KeyedToolBar bar;
    const ui::ToolBarButton &find = bar.addButton(QStringLiteral("Find"), QStringLiteral("Find"));
    const ui::ToolBarButton &odd = bar.addButton(QStringLiteral("Frobnicate"), QStringLiteral("Frob"));
    EXPECT_EQ(rendered(find.Image()), rendered(ToolIcons::forKey(QStringLiteral("Find"))));
    EXPECT_EQ(rendered(odd.Image()), rendered(ui::KeyedToolBar::generatedIcon(QStringLiteral("Frob"))))
        << "a command no picture is known for keeps its lettered square";
}

// Every window's buttons share one icon a key (its pictures drawn once for all of them) while the
// icon themes stay; under another theme the key's picture is chosen afresh.
TEST(ToolIcons, AKeysIconIsSharedWhileTheThemeStays)
{
    const QIcon first = ToolIcons::forKey(QStringLiteral("Refresh"));
    ASSERT_FALSE(first.isNull());
    EXPECT_EQ(ToolIcons::forKey(QStringLiteral("refresh")).cacheKey(), first.cacheKey());
    EXPECT_NE(ToolIcons::forKey(QStringLiteral("Find")).cacheKey(), first.cacheKey());

    const QString theme = QIcon::themeName();
    QIcon::setThemeName(QStringLiteral("no-such-theme"));
    const QIcon other = ToolIcons::forKey(QStringLiteral("Refresh"));
    EXPECT_FALSE(other.isNull());
    EXPECT_NE(other.cacheKey(), first.cacheKey());
    QIcon::setThemeName(theme);
    EXPECT_EQ(rendered(ToolIcons::forKey(QStringLiteral("Refresh"))), rendered(first));
}
