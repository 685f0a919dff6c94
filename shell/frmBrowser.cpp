#include "frmBrowser.h"

#include "Glob.h"
#include "mdiMain.h"

#include "hlSourceBrowser/hlSourceBrowser.h"

#include "settings/SettingsStore.h"
#include "ui/MousePointer.h"
#include "ui/Twips.h"

#include <QCloseEvent>
#include <QProgressBar>

frmBrowser::frmBrowser(mdiMain &main)
    : m_main(main)
{
    setObjectName(QStringLiteral("frmBrowser"));
    setWindowTitle(QStringLiteral("Data Sources"));
    m_hlSourceBrowser = new hlSourceBrowser(this);
    m_hlSourceBrowser->setObjectName(QStringLiteral("hlSourceBrowser"));
    setWidget(m_hlSourceBrowser);
    // Part of the window's design; nothing drives it, so it stays out of sight.
    prgProgress = new QProgressBar(this);
    prgProgress->setObjectName(QStringLiteral("prgProgress"));
    prgProgress->hide();

    connect(m_hlSourceBrowser, &hlSourceBrowser::Refreshed, this, [this] { m_main.browserRefreshed(); });
    connect(m_hlSourceBrowser, &hlSourceBrowser::Faultdesk, this,
            [](const QString &strSub, const QString &strDescription) { Glob::logError(strSub, strDescription); });
    connect(m_hlSourceBrowser, &hlSourceBrowser::RunQuery, this, &frmBrowser::hlSourceBrowser_RunQuery);
}

frmBrowser::~frmBrowser()
{
    // However the window goes, its connections close with it.
    if (!m_blnUnloaded)
        m_hlSourceBrowser->UnloadFlter();
}

bool frmBrowser::Form_Load()
{
    return m_hlSourceBrowser->Init();
}

void frmBrowser::Form_Activate()
{
    ui::MousePointer::setDefault();
    m_main.browserActivated();
    Glob::unloadSplash();
}

void frmBrowser::hlSourceBrowser_RunQuery(std::shared_ptr<db::Connection> adoConnection, const QString &strSQl,
                                          const QString &strQueryName, int tbCurrentDataType, int lngMaxRecords,
                                          bool blnAutoRun, bool blnShowSQL, const QString &strDelimter,
                                          bool blnOptions)
{
    Glob::PendingQuery &pending = Glob::pendingQuery();
    pending.Connection = std::move(adoConnection);
    pending.SQL = strSQl;
    pending.QueryName = strQueryName;
    pending.DataType = tbCurrentDataType;
    pending.MaxRecords = lngMaxRecords;
    pending.AutoRun = blnAutoRun;
    Glob::setShowSQL(blnShowSQL);
    pending.Delimiter = strDelimter;
    pending.OptionsVisible = blnOptions;
    Glob::Show_Query();
}

void frmBrowser::closeEvent(QCloseEvent *event)
{
    if (!m_blnExiting) {
        // The browser lives as long as the main window: the close box only puts it aside.
        event->ignore();
        showMinimized();
        return;
    }
    QMdiSubWindow::closeEvent(event);
}

void frmBrowser::unloadForExit()
{
    m_blnExiting = true;
    if (!m_blnUnloaded) {
        m_blnUnloaded = true;
        m_hlSourceBrowser->UnloadFlter();
        writeGeometry();
    }
    close();
}

void frmBrowser::writeGeometry()
{
    // Left, top and outer size in twips; the state 0 normal, 1 minimised, 2 maximised. A failed
    // write loses only a window position, and the store keeps the old one whole.
    settings::SettingsStore &store = settings::SettingsStore::instance();
    const QString app = Glob::ProductTitle();
    const QString section = QStringLiteral("Browser");
    const QRect outer =
        (isMinimized() || isMaximized()) && normalGeometry().isValid() ? normalGeometry() : geometry();
    auto twips = [](double value) { return QString::number(float(value), 'g', 9); };
    store.SaveSetting(app, section, QStringLiteral("Left"), twips(ui::Twips::fromPixelsX(outer.x(), this)));
    store.SaveSetting(app, section, QStringLiteral("Top"), twips(ui::Twips::fromPixelsY(outer.y(), this)));
    store.SaveSetting(app, section, QStringLiteral("Width"), twips(ui::Twips::fromPixelsX(outer.width(), this)));
    store.SaveSetting(app, section, QStringLiteral("Height"), twips(ui::Twips::fromPixelsY(outer.height(), this)));
    const int windowState = isMinimized() ? 1 : isMaximized() ? 2 : 0;
    store.SaveSetting(app, section, QStringLiteral("State"), QString::number(windowState));
}
