#pragma once

#include "Glob.h"
#include "frmBrowser.h"
#include "frmQuery.h"
#include "mdiMain.h"

#include "hlSourceBrowser/BrowserSettings.h"
#include "hlSourceBrowser/DataSourceFile.h"
#include "Faultdesk/ErrorState.h"
#include "Faultdesk/ModalRunner.h"
#include "SampleTool.h"
#include "SqliteWriter.h"
#include "hlTabulon/LibraryState.h"
#include "hlTabulon/Options.h"
#include "hlTabulon/hlTabulon.h"
#include "hlSourceBrowser/hlSourceBrowser.h"

#include "db/Connection.h"
#include "settings/SettingsStore.h"
#include "ui/CommonDialog.h"
#include "ui/DesktopOpener.h"
#include "ui/Prompter.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMdiArea>
#include <QTemporaryDir>

#include <functional>
#include <memory>
#include <ostream>
#include <vector>

inline std::ostream &operator<<(std::ostream &os, const QString &text)
{
    return os << text.toStdString();
}

namespace shelltest {

// Lets the event loop run for about `ms` milliseconds, or until `done` says so.
inline bool pump(int ms, const std::function<bool()> &done = {})
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        if (done && done())
            return true;
    }
    return done ? done() : true;
}

struct Report {
    QString procedure;
    QString description;
};

// The real program started in this process on the sample database: an in-memory settings
// store, the data-source file and the one-copy lock in temporary folders, every modal window,
// prompt, file dialog and web hand-off scripted or recorded, and no start-up pause.
class ShellTest : public ::testing::Test {
protected:
    ShellTest()
    {
        analysis::resetOptions();
        analysis::g_blnAbort = false;
        analysis::g_blnErrorRouting = false;
        analysis::g_strDelimiter.clear();
        browser::browserSettings() = browser::BrowserSettings{};
        browser::browserSettings().IniFilePath = dir.filePath(QStringLiteral("DataSources.ini"));
        browser::dataSources() = browser::DataSourceTable{};
        faultdesk::resetErrorState();
        faultdesk::setModalRunner([this](QDialog &dialog) {
            const faultdesk::ErrorState &st = faultdesk::errorState();
            errors.push_back({st.lastProcName, st.lastDescription});
            dialog.reject();
        });
        analysis::setModalRunner([this](QDialog &dialog) {
            modals.push_back(dialog.objectName());
            if (onModal)
                onModal(dialog);
            dialog.reject();
        });
        browser::setDialogRunner([this](QDialog &dialog) {
            browserDialogs.push_back(dialog.objectName());
            dialog.reject();
        });
        ui::DesktopOpener::setOpener(opener);
        Glob::setWaitSecondsEnabled(false);
        Glob::setInstanceFolder(lockDir.path());

    }
    ~ShellTest() override
    {
        Glob::End();
        Glob::setInstanceFolder({});
        faultdesk::setModalRunner({});
        analysis::setModalRunner({});
        browser::setDialogRunner({});
        ui::DesktopOpener::setOpener(nullptr);
        analysis::releaseErrorObject();
    }

    // The sample database and its data-source file, written by the sample tool's own code.
    void writeSample()
    {
        const QString db = dir.filePath(QStringLiteral("Sample.db"));
        std::string error, text;
        sampleOk = sample::writeSqliteDatabase(db.toStdString(), error) &&
                   sample::dataSourcesIni(db.toStdString(), text, error);
        sampleError = QString::fromStdString(error);
        if (sampleOk) {
            QFile f(browser::browserSettings().IniFilePath);
            sampleOk = f.open(QIODevice::WriteOnly) && f.write(QByteArray::fromStdString(text)) > 0;
        }
    }

    // Main on the sample database, as the program runs it.
    void start()
    {
        writeSample();
        ASSERT_TRUE(sampleOk) << sampleError;
        ASSERT_TRUE(Glob::Main());
        main = Glob::mainWindow();
        ASSERT_NE(main, nullptr);
        pump(50);
    }

    hlSourceBrowser *browserControl() const { return main->browserWindow()->control(); }

    std::shared_ptr<db::Connection> sampleConnection()
    {
        if (!connection) {
            connection = db::Connection::create();
            connection->Open(QStringLiteral("Provider=SQLite;Data Source=%1").arg(dir.filePath(QStringLiteral("Sample.db"))));
        }
        return connection;
    }

    // The browser's launch of a table, as its RunQuery raises it; the new query window. An
    // auto-run query is waited for until its results are in.
    frmQuery *launch(const QString &table, bool autoRun = true, bool showSQL = false, bool options = true,
                     const QString &delimiter = {})
    {
        const int before = int(main->queryWindows().size());
        emit browserControl()->RunQuery(sampleConnection(), QStringLiteral("SELECT * \r\nFROM \"%1\"").arg(table),
                                        QStringLiteral("Sample : Tables : ") + table, 0, 0, autoRun, showSQL,
                                        delimiter, options);
        if (main->queryWindows().size() != before + 1)
            return nullptr;
        frmQuery *w = main->queryWindows().last();
        if (autoRun)
            pump(5000, [w] { return w->control()->Results(); });
        else
            pump(30);
        return w;
    }

    void activate(QMdiSubWindow *w)
    {
        main->mdiArea->setActiveSubWindow(w);
        pump(20);
    }

    QTemporaryDir dir;
    QTemporaryDir lockDir;
    bool sampleOk = false;
    QString sampleError;
    mdiMain *main = nullptr;
    std::shared_ptr<db::Connection> connection;
    std::shared_ptr<ui::RecordingDesktopOpener> opener = std::make_shared<ui::RecordingDesktopOpener>();
    std::vector<Report> errors;
    std::vector<QString> modals;
    std::vector<QString> browserDialogs;
    std::function<void(QDialog &)> onModal;

private:
    settings::ScopedSettingsStore m_store = settings::SettingsStore::useMemory();
    ui::ScriptedPrompts m_prompts;
    ui::ScriptedDialogs m_dialogs;
};

} // namespace shelltest
