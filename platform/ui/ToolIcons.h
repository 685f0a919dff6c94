#pragma once

#include <QIcon>
#include <QString>
#include <QStringList>

namespace ui {

// The pictures of the toolbars' commands, found by the command's key: the desktop's icon theme
// by freedesktop name first, then our own drawing of the same command, so that each button can
// be told apart without its tooltip whatever theme the desktop has.
//
//     bar->addButton("Refresh", ...);   // shows "view-refresh", or our own refresh picture
class ToolIcons {
public:
    // The icon for a command key (any case); null for a key no picture is known for.
    static QIcon forKey(const QString &key);
    // The name of our own picture for a key ("" if none).
    static QString ownName(const QString &key);
    // Our own picture by its name (":/tabulon/icons/<name>.svg"); null when there is none.
    static QIcon own(const QString &name);
};

} // namespace ui
