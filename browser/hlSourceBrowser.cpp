#include "hlSourceBrowser/hlSourceBrowser.h"
#include "ObjectListView.h"
#include "KeyMoves.h"

#include "hlSourceBrowser/BrowserSettings.h"
#include "hlSourceBrowser/DataSourceFile.h"
#include "PaneDivider/Splitter.h"
#include "BrowserTrap.h"
#include "app/AppInfo.h"
#include "db/Connection.h"
#include "db/ConnectionString.h"
#include "Faultdesk/hrErr.h"
#include "settings/SettingsStore.h"
#include "ui/EventLoop.h"
#include "ui/KeyedToolBar.h"
#include "ui/MousePointer.h"
#include "ui/StatusPanels.h"

#include <QMenu>
#include <QScreen>
#include <QStyle>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

using namespace browser;

namespace {

const char *const kViewKeys[] = {"Large", "Small", "List", "Report"};

} // namespace

hlSourceBrowser::hlSourceBrowser(QWidget *parent) : QWidget(parent)
{
    buildLayout();
    buildTreeMenu();
}

hlSourceBrowser::~hlSourceBrowser()
{
    UnloadFlter();
}

void hlSourceBrowser::buildLayout()
{
    tlbData = new ui::KeyedToolBar(QStringLiteral("tlbData"), this);
    tlbData->addButton(QStringLiteral("Large"), {}, tr("Large Icons"), ui::tbrButtonGroup);
    tlbData->addButton(QStringLiteral("Small"), {}, tr("Small Icons"), ui::tbrButtonGroup);
    tlbData->addButton(QStringLiteral("List"), {}, tr("List"), ui::tbrButtonGroup);
    tlbData->addButton(QStringLiteral("Report"), {}, tr("Details"), ui::tbrButtonGroup);
    tlbData->addSeparatorButton();
    tlbData->addButton(QStringLiteral("Options"), {}, tr("Browser options"));
    connect(tlbData, &ui::KeyedToolBar::ButtonClick, this, &hlSourceBrowser::tlbData_ButtonClick);
    connect(tlbData, &ui::KeyedToolBar::MouseDown, this, [this](Qt::MouseButton button) {
        if (button == Qt::RightButton)
            Show_ToolbarMenu();
    });

    hlSplitData = new Splitter(this);
    hlSplitData->setObjectName(QStringLiteral("hlSplitData"));
    auto *tree = new KeyMoves<QTreeWidget>(hlSplitData);
    // A node reached with the keyboard is chosen as a click would choose it.
    tree->movedByKey = [this, tree](const QModelIndex &index) { tvwData_NodeClick(tree->itemFromIndex(index)); };
    tvwData = tree;
    tvwData->setObjectName(QStringLiteral("tvwData"));
    tvwData->setHeaderHidden(true);
    tvwData->setMouseTracking(true);
    tvwData->viewport()->installEventFilter(this);
    tvwData->installEventFilter(this); // the menu key and Shift+F10 reach the tree itself
    lvwData = new ObjectList(hlSplitData);
    lvwData->setObjectName(QStringLiteral("lvwData"));
    buildObjectList();
    connect(hlSplitData, &Splitter::Resize, this, [this] {
        if (m_initialised)
            browserSettings().SplitPercentage = hlSplitData->SplitPercent();
    });

    staStatus = new ui::StatusPanels(2, this);
    staStatus->setObjectName(QStringLiteral("staStatus"));
    cmdCancel = new QPushButton(tr("Cancel"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    cmdCancel->hide(); // off the visible area: only its shortcut matters

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(tlbData);
    layout->addWidget(hlSplitData, 1);
    layout->addWidget(staStatus);
    hlSplitData->hide();
    tvwData->hide();
    lvwData->hide();
}

int hlSourceBrowser::treeWidthNeeded() const
{
    QFont boldFont = tvwData->font();
    boldFont.setBold(true);
    const QFontMetrics plain(tvwData->font());
    const QFontMetrics bold(boldFont);
    const int indent = tvwData->indentation();
    int text = 0;
    for (const QString &folder : {tr("Tables"), tr("Views"), tr("Stored Procedures")})
        text = std::max(text, indent + plain.horizontalAdvance(folder));
    for (const DataSourceRow &row : dataSources().rows) {
        if (!row.Name.isEmpty())
            text = std::max(text, bold.horizontalAdvance(undoubleApostrophes(row.Name)));
    }
    const QStyle *st = tvwData->style();
    const int icon = st->pixelMetric(QStyle::PM_SmallIconSize, nullptr, tvwData);
    const int scrollBar = st->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, tvwData);
    return indent + icon + text + scrollBar + 4 * plain.averageCharWidth() + 2 * tvwData->frameWidth();
}

void hlSourceBrowser::keepTreeNamesWhole()
{
    // The split keeps its percentage where that leaves the tree room for its names; where it
    // would not, the bar gives way. A very long data-source name may still be cut.
    const int most = 40 * QFontMetrics(tvwData->font()).averageCharWidth();
    tvwData->setMinimumWidth(std::min(treeWidthNeeded(), most));
    if (hlSplitData->isVisible())
        hlSplitData->layoutPanes();
}

QSize hlSourceBrowser::sizeHint() const
{
    const QFontMetrics plain(tvwData->font());
    const int tree = treeWidthNeeded();
    // The list beside it: a name, an owner and a date in the details view.
    const int list = 60 * plain.averageCharWidth();

    const BrowserSettings &s = browserSettings();
    const double percent = std::clamp(s.SplitPercentage, 10, 90) / 100.0;
    const double treeShare = s.SplitLeft ? 1.0 - percent : percent;
    int width = s.SplitOrientation ? std::max(tree, list) : std::max(int(tree / treeShare), tree + list);
    int height = 36 * plain.height();
    if (const QScreen *screen = this->screen()) {
        // A start size, not a demand: on a small screen the browser leaves room for query windows.
        const QRect available = screen->availableGeometry();
        width = std::min(width, available.width() * 3 / 5);
        height = std::min(height, available.height() * 3 / 4);
    }
    return {std::max(width, 40 * plain.averageCharWidth()), height};
}

void hlSourceBrowser::report(const QString &procName, const QString &description)
{
    ui::MousePointer::setDefault();
    // A provider's message may quote the connection string it was given.
    emit Faultdesk(procName, db::maskPasswords(description));
}

bool hlSourceBrowser::trap(const QString &procedure, const std::function<bool()> &body)
{
    return trapWith([this](const QString &name, const QString &text) { report(name, text); }, procedure, body,
                    [] {});
}

bool hlSourceBrowser::Init()
{
    return browser::trap(QStringLiteral("Init"), [&] {
        BrowserSettings &s = browserSettings();
        s.AppName = QStringLiteral("Tabulon");
        if (!Read_INI())
            return false;
        Get_Options();

        hrErr &err = errorObject();
        err.CallingApp(app::appInfo(QStringLiteral("hlSourceBrowser")));
        err.EMailAddress(app::reportAddress());
        err.EMailSubject(QStringLiteral("Tabulon Error"));
        err.DebugMode(true);

        m_initialised = false;
        m_currentDataType = tbDataTable;
        if (!Set_Options(true, true, false))
            return false;
        applyDataView();
        cmdCancel->move(30000, cmdCancel->y());
        if (!Set_Grids())
            return false;
        mnuDisconnect->setVisible(false);
        staStatus->show();
        staStatus->Panels(2).setToolTipText(tr("Row count"));
        if (!Refresh_Data())
            return false;
        tvwData->show();
        lvwData->show();
        m_initialised = true;
        hlSplitData->setSplitterColor(0);
        hlSplitData->show();
        keepTreeNamesWhole();
        ui::MousePointer::setDefault();
        return true;
    });
}

bool hlSourceBrowser::Set_Options(bool blnDataChanged, bool /*blnChartChanged*/, bool blnDataSourceChanged)
{
    return trap(QStringLiteral("Set_Options"), [&] {
        const BrowserSettings &s = browserSettings();
        if (blnDataChanged)
            lvwData->setGridLines(s.GridLines);
        if (blnDataSourceChanged)
            Refresh_Data();
        Set_MenuText();
        hlSplitData->setSplitterWidth(40);
        hlSplitData->setSplitPercent(s.SplitPercentage);
        hlSplitData->setOrientation(s.SplitOrientation ? Splitter::splitHorizontal : Splitter::splitVertical);
        // Releasing first, so that swapping the panes never puts one widget in both.
        hlSplitData->setChild1(nullptr);
        hlSplitData->setChild2(nullptr);
        hlSplitData->setChild1(s.SplitLeft ? static_cast<QWidget *>(lvwData) : tvwData);
        hlSplitData->setChild2(s.SplitLeft ? static_cast<QWidget *>(tvwData) : lvwData);
        emit Refreshed();
        return true;
    });
}

bool hlSourceBrowser::Set_MenuText()
{
    return trap(QStringLiteral("Set_MenuText"), [&] {
        const bool text = browserSettings().ToolBarText;
        const std::pair<const char *, QString> captions[] = {
            {"Large", tr("Large")}, {"Small", tr("Small ")}, {"List", tr("List")},
            {"Report", tr("Details")}, {"Options", tr("Browse options")}};
        for (const auto &[key, caption] : captions)
            tlbData->Buttons(QString::fromLatin1(key)).setCaption(text ? caption : QString());
        tlbData->Buttons(5).setCaption({});
        tlbData->setShowCaptions(text);
        ui::yieldEvents();
        return true;
    });
}

void hlSourceBrowser::applyDataView()
{
    const int view = browserSettings().DataView;
    if (view >= 0 && view <= 3)
        tlbData->Buttons(QString::fromLatin1(kViewKeys[view])).setValue(ui::tbrPressed);
    lvwData->setView(view);
}

bool hlSourceBrowser::Refresh()
{
    try {
        QTreeWidgetItem *node = tvwData->currentItem();
        if (!node || !node->parent())
            return false;
        // The keys may have moved the selection since the last click: the folder lists its own
        // data source's objects.
        m_currentRow = nodeRow(node);
        m_folderPath = fullPath(node);
        return Get_DataObjects(node);
    } catch (...) {
        return false;
    }
}

bool hlSourceBrowser::Show_SQLError(const QString &, const QString &)
{
    ui::MousePointer::setHourglass();
    return true;
}

int hlSourceBrowser::QueryTotal() const
{
    return lvwData->count();
}

bool hlSourceBrowser::stOpenSQL() const
{
    return browserSettings().OpenSQL;
}

void hlSourceBrowser::UnloadFlter()
{
    try {
        hideToolTip();
        m_fields.clear();
    } catch (...) {
    }
    for (auto &cn : Connections) {
        try {
            if (cn)
                cn->Close();
        } catch (...) {
        }
        cn.reset();
    }
    try {
        errorObject().adoConnection(std::shared_ptr<db::Connection>());
    } catch (...) {
    }
    if (hlSplitData) {
        hlSplitData->setChild1(nullptr);
        hlSplitData->setChild2(nullptr);
    }
}
