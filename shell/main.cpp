#include "Glob.h"
#include "mdiMain.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tabulon"));
    // The run ends when the main window has unloaded, not when some last window happens to close.
    QApplication::setQuitOnLastWindowClosed(false);

    if (!Glob::Main())
        return 0;
    QObject::connect(Glob::mainWindow(), &mdiMain::unloaded, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    const int code = QApplication::exec();
    Glob::End();
    return code;
}
