#include "ui/ToolIcons.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>

#include <mutex>

namespace ui {

namespace {

struct Picture {
    QStringList theme; // freedesktop names, the standard one first
    QString own;       // our drawing
};

// Keys as the toolbars name their commands. Keys that mean one thing wherever they appear share a
// picture ("Refresh", "Options"); the others are told apart by their names.
const QHash<QString, Picture> &pictures()
{
    static const QHash<QString, Picture> table = {
        // the query window's main toolbar
        {QStringLiteral("refresh"), {{QStringLiteral("view-refresh")}, QStringLiteral("refresh")}},
        {QStringLiteral("results"), {{QStringLiteral("x-office-spreadsheet")}, QStringLiteral("results")}},
        {QStringLiteral("chart"), {{QStringLiteral("office-chart-bar")}, QStringLiteral("chart")}},
        {QStringLiteral("summary"), {{}, QStringLiteral("summary")}},
        {QStringLiteral("xtab"), {{}, QStringLiteral("crosstab")}},
        {QStringLiteral("export"), {{QStringLiteral("document-export")}, QStringLiteral("export")}},
        {QStringLiteral("find"), {{QStringLiteral("edit-find")}, QStringLiteral("find")}},
        {QStringLiteral("sql"), {{QStringLiteral("document-save")}, QStringLiteral("save")}},
        {QStringLiteral("print"), {{QStringLiteral("document-print")}, QStringLiteral("print")}},
        {QStringLiteral("options"), {{QStringLiteral("preferences-system")}, QStringLiteral("options")}},
        // the chart's toolbar
        {QStringLiteral("slide"), {{}, QStringLiteral("sliders")}},
        {QStringLiteral("reset"), {{QStringLiteral("zoom-original")}, QStringLiteral("reset-view")}},
        {QStringLiteral("email"), {{QStringLiteral("mail-message-new"), QStringLiteral("mail-send")}, QStringLiteral("mail")}},
        // the results toolbar
        {QStringLiteral("open"), {{QStringLiteral("document-open")}, QStringLiteral("open")}},
        {QStringLiteral("parse"), {{}, QStringLiteral("parse")}},
        {QStringLiteral("clear"), {{QStringLiteral("edit-clear")}, QStringLiteral("clear")}},
        {QStringLiteral("showcount"), {{}, QStringLiteral("count")}},
        {QStringLiteral("movefirst"), {{QStringLiteral("go-first")}, QStringLiteral("first")}},
        {QStringLiteral("movelast"), {{QStringLiteral("go-last")}, QStringLiteral("last")}},
        {QStringLiteral("colresize"), {{}, QStringLiteral("resize-columns")}},
        {QStringLiteral("querybuilder"), {{}, QStringLiteral("query-builder")}},
        {QStringLiteral("showcols"), {{}, QStringLiteral("columns")}},
        {QStringLiteral("sort"), {{}, QStringLiteral("sort")}},
        {QStringLiteral("removefilter"), {{}, QStringLiteral("filter-clear")}},
        {QStringLiteral("unfreezecols"), {{}, QStringLiteral("unlock")}},
        // the details window
        {QStringLiteral("first"), {{QStringLiteral("go-first")}, QStringLiteral("first")}},
        {QStringLiteral("previous"), {{QStringLiteral("go-previous")}, QStringLiteral("previous")}},
        {QStringLiteral("next"), {{QStringLiteral("go-next")}, QStringLiteral("next")}},
        {QStringLiteral("last"), {{QStringLiteral("go-last")}, QStringLiteral("last")}},
        // the browser's list views
        {QStringLiteral("large"), {{QStringLiteral("view-list-icons")}, QStringLiteral("view-icons")}},
        {QStringLiteral("small"), {{}, QStringLiteral("view-small-icons")}},
        {QStringLiteral("list"), {{QStringLiteral("view-list-text")}, QStringLiteral("view-list")}},
        {QStringLiteral("report"), {{QStringLiteral("view-list-details")}, QStringLiteral("view-details")}},
    };
    return table;
}

bool themeInstalled(const QString &theme)
{
    for (const QString &path : QIcon::themeSearchPaths()) {
        if (QFileInfo::exists(QDir(path).filePath(theme + QStringLiteral("/index.theme"))))
            return true;
    }
    return false;
}

// A desktop without a theme of its own (a bare window manager reports the empty "hicolor") still
// gets the theme the program installs; a desktop with one keeps it, and looks names it lacks up
// there.
void chooseTheme()
{
    static std::once_flag once;
    std::call_once(once, [] {
        const QString ours = QStringLiteral("Tango");
        if (!themeInstalled(ours))
            return;
        const QString current = QIcon::themeName();
        if (current.isEmpty() || current == QLatin1String("hicolor") || !themeInstalled(current))
            QIcon::setThemeName(ours);
        else if (QIcon::fallbackThemeName().isEmpty() || QIcon::fallbackThemeName() == QLatin1String("hicolor"))
            QIcon::setFallbackThemeName(ours);
    });
}

} // namespace

QString ToolIcons::ownName(const QString &key)
{
    return pictures().value(key.toLower()).own;
}

QIcon ToolIcons::own(const QString &name)
{
    const QString path = QStringLiteral(":/tabulon/icons/") + name + QStringLiteral(".svg");
    if (name.isEmpty() || !QFileInfo::exists(path))
        return {};
    return QIcon(path);
}

QIcon ToolIcons::forKey(const QString &key)
{
    chooseTheme();
    const auto it = pictures().constFind(key.toLower());
    if (it == pictures().cend())
        return {};
    // One icon a key while the themes stay: every window's buttons then share its pictures, drawn
    // (from scalable drawings) once rather than for each new window. Never freed, as the icons
    // must not outlive the application object.
    struct Chosen {
        QString theme;
        QString fallback;
        QIcon icon;
    };
    static auto *chosen = new QHash<QString, Chosen>;
    const QString theme = QIcon::themeName();
    const QString fallback = QIcon::fallbackThemeName();
    const auto known = chosen->constFind(it.key());
    if (known != chosen->cend() && known->theme == theme && known->fallback == fallback)
        return known->icon;
    QIcon icon;
    for (const QString &name : it->theme) {
        if (QIcon::hasThemeIcon(name)) {
            icon = QIcon::fromTheme(name);
            break;
        }
    }
    if (icon.isNull())
        icon = own(it->own);
    chosen->insert(it.key(), Chosen{theme, fallback, icon});
    return icon;
}

} // namespace ui
