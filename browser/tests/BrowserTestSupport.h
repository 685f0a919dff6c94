#pragma once

#include "hlSourceBrowser/BrowserSettings.h"
#include "hlSourceBrowser/DataSourceFile.h"
#include "Faultdesk/ErrorState.h"
#include "Faultdesk/ModalRunner.h"
#include "SampleTool.h"
#include "SqliteWriter.h"
#include "TestSupport.h"
#include "db/Connection.h"
#include "hlSourceBrowser/hlSourceBrowser.h"
#include "ObjectListView.h"
#include "settings/SettingsStore.h"
#include "ui/Prompter.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QTest>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <libpq-fe.h>
#include <sqlite3.h>

#include <memory>
#include <vector>

namespace browsertest {

struct Report {
    QString procedure;
    QString description;
};

// A fresh library state for each test: empty memory settings, an empty data-source table, the
// data-source file in a temporary folder, prompts scripted and error windows recorded.
class BrowserTest : public ::testing::Test {
protected:
    BrowserTest()
    {
        browser::browserSettings() = browser::BrowserSettings{};
        browser::browserSettings().AppName = QStringLiteral("Tabulon");
        browser::browserSettings().IniFilePath = QDir(dir.path()).filePath(QStringLiteral("DataSources.ini"));
        browser::dataSources() = browser::DataSourceTable{};
        faultdesk::resetErrorState();
        faultdesk::setModalRunner([this](QDialog &dialog) {
            const faultdesk::ErrorState &st = faultdesk::errorState();
            errors.push_back({st.lastProcName, st.lastDescription});
            dialog.reject();
        });
    }
    ~BrowserTest() override
    {
        faultdesk::setModalRunner({});
        browser::setDialogRunner({});
        browser::setSaveFailureForTest({});
    }

    settings::SettingsStore &store() { return m_store.store(); }
    QString iniPath() const { return browser::browserSettings().IniFilePath; }
    // The data-source file's bytes, as the test writes them or as the browser left them.
    // Private, as the program writes it.
    void writeIni(const QByteArray &text)
    {
        testsupport::writeFile(iniPath(), text);
        QFile::setPermissions(iniPath(), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }
    QByteArray fileBytes() const { return testsupport::readFile(iniPath()); }

    QTemporaryDir dir;
    std::vector<Report> errors;

private:
    settings::ScopedSettingsStore m_store = settings::SettingsStore::useMemory();
    ui::ScriptedPrompts m_prompts;
};

// One RunQuery as the host receives it.
struct Launch {
    std::shared_ptr<db::Connection> connection;
    QString sql;
    QString queryName;
    int dataType = -1;
    int maxRecords = -1;
    bool autoRun = false;
    bool showSql = false;
    QString delimiter;
    bool options = false;
};

// A browser started on a data-source file written by the test, its Faultdesk reports and
// RunQuery records collected.
class StartedBrowserTest : public BrowserTest {
protected:
    // Real mouse events on the tree's viewport, as the user's clicks arrive.
    void clickNode(hlSourceBrowser &b, QTreeWidgetItem *node, Qt::MouseButton button)
    {
        QTest::mouseClick(b.tvwData->viewport(), button, {}, b.tvwData->visualItemRect(node).center());
    }
    // Picks an entry of a shown pop-up menu with the mouse.
    static void pick(QMenu *menu, QAction *action)
    {
        ASSERT_TRUE(QTest::qWaitFor([menu] { return menu->isVisible(); }));
        ASSERT_TRUE(action->isVisible());
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
    }
    // The sample database as the sample tool writes it and its data source, then `extra`.
    void writeSampleSources(const QByteArray &extra = {})
    {
        const QString db = dir.filePath(QStringLiteral("Sample.db"));
        std::string error, text;
        ASSERT_TRUE(sample::writeSqliteDatabase(db.toStdString(), error)) << error;
        ASSERT_TRUE(sample::dataSourcesIni(db.toStdString(), text, error)) << error;
        writeIni(QByteArray::fromStdString(text) + extra);
    }
    // A SQLite file made by running `sql`; returns its path.
    QString sqliteFile(const QString &name, const char *sql)
    {
        const QString path = dir.filePath(name);
        sqlite3 *d = nullptr;
        EXPECT_EQ(sqlite3_open(path.toUtf8().constData(), &d), SQLITE_OK);
        char *message = nullptr;
        EXPECT_EQ(sqlite3_exec(d, sql, nullptr, nullptr, &message), SQLITE_OK) << (message ? message : "");
        sqlite3_free(message);
        sqlite3_close(d);
        return path;
    }
    std::unique_ptr<hlSourceBrowser> started()
    {
        auto b = std::make_unique<hlSourceBrowser>();
        QObject::connect(b.get(), &hlSourceBrowser::Faultdesk, b.get(),
                         [this](const QString &sub, const QString &text) { events.push_back({sub, text}); });
        QObject::connect(b.get(), &hlSourceBrowser::RunQuery, b.get(),
                         [this](std::shared_ptr<db::Connection> cn, const QString &sql, const QString &name, int type,
                                int maxRecords, bool autoRun, bool showSql, const QString &delimiter, bool options) {
                             launches.push_back({std::move(cn), sql, name, type, maxRecords, autoRun, showSql,
                                                 delimiter, options});
                         });
        EXPECT_TRUE(b->Init());
        b->resize(800, 600);
        return b;
    }
    // Expands the data source of `row` (opening it) and clicks its folder named `text`.
    QTreeWidgetItem *openFolder(hlSourceBrowser &b, int row, const QString &text)
    {
        QTreeWidgetItem *source = b.dataSourceNode(row);
        if (!source)
            return nullptr;
        source->setExpanded(true);
        for (int i = 0; i < source->childCount(); ++i) {
            if (source->child(i)->text(0) == text) {
                b.tvwData->setCurrentItem(source->child(i));
                b.tvwData_NodeClick(source->child(i));
                return source->child(i);
            }
        }
        return nullptr;
    }
    int itemNamed(const hlSourceBrowser &b, const QString &name, const QString &owner = {}) const
    {
        for (int i = 0; i < b.lvwData->count(); ++i)
            if (b.lvwData->text(i) == name && b.lvwData->subItem(i, 1) == owner)
                return i;
        return -1;
    }
    QString eventText() const
    {
        QString out;
        for (const Report &r : events)
            out += r.procedure + QStringLiteral(": ") + r.description + QLatin1Char('\n');
        return out;
    }

    std::vector<Report> events;
    std::vector<Launch> launches;
};

// The PostgreSQL test server as a data source's connection string; empty without a server.
inline QString postgresConnectionString(const QString &connInfo)
{
    std::unique_ptr<PGconn, decltype(&PQfinish)> pg(PQconnectdb(connInfo.toUtf8().constData()), &PQfinish);
    if (PQstatus(pg.get()) != CONNECTION_OK)
        return {};
    return QStringLiteral("Provider=PostgreSQL;Data Source=%1;Port=%2;Initial Catalog=%3;User ID=%4;Password=%5")
        .arg(QString::fromUtf8(PQhost(pg.get())), QString::fromUtf8(PQport(pg.get())),
             QString::fromUtf8(PQdb(pg.get())), QString::fromUtf8(PQuser(pg.get())),
             QString::fromUtf8(PQpass(pg.get())));
}

// Two schemas of this test process, each with a table "orders", and in the second a view and a
// function; dropped again at the end of the test.
class PostgresSchemas {
public:
    explicit PostgresSchemas(const QString &connInfo)
        : m_pg(PQconnectdb(connInfo.toUtf8().constData()), &PQfinish)
    {
        const QString pid = QString::number(QCoreApplication::applicationPid());
        sales = QStringLiteral("sales_%1").arg(pid);
        archive = QStringLiteral("archive_%1").arg(pid);
        ok = PQstatus(m_pg.get()) == CONNECTION_OK
            && exec(QStringLiteral("SET client_min_messages = warning;"
                                   "DROP SCHEMA IF EXISTS %1 CASCADE; DROP SCHEMA IF EXISTS %2 CASCADE;"
                                   "CREATE SCHEMA %1; CREATE SCHEMA %2;"
                                   "CREATE TABLE %1.orders (id integer, customer text);"
                                   "CREATE TABLE %2.orders (id integer, archived_on date, scan bytea);"
                                   "CREATE VIEW %2.recent AS SELECT id FROM %2.orders;"
                                   "CREATE FUNCTION %2.top_orders(p_limit integer, p_note text) RETURNS SETOF integer"
                                   " LANGUAGE sql AS 'SELECT id FROM %2.orders LIMIT p_limit';")
                        .arg(sales, archive));
    }
    ~PostgresSchemas()
    {
        if (ok)
            exec(QStringLiteral("DROP SCHEMA IF EXISTS %1 CASCADE; DROP SCHEMA IF EXISTS %2 CASCADE;").arg(sales, archive));
    }
    bool exec(const QString &sql)
    {
        std::unique_ptr<PGresult, decltype(&PQclear)> r(PQexec(m_pg.get(), sql.toUtf8().constData()), &PQclear);
        error = QString::fromUtf8(PQerrorMessage(m_pg.get()));
        return PQresultStatus(r.get()) == PGRES_COMMAND_OK;
    }

    QString sales;
    QString archive;
    QString error;
    bool ok = false;

private:
    std::unique_ptr<PGconn, decltype(&PQfinish)> m_pg;
};

} // namespace browsertest
