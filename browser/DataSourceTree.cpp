// The data-source tree: building it from the data-source file, opening and closing each data
// source's connection, and the tree's pop-up menu.
#include "hlSourceBrowser/hlSourceBrowser.h"
#include "ObjectListView.h"

#include "hlSourceBrowser/BrowserSettings.h"
#include "hlSourceBrowser/DataSourceFile.h"
#include "Passwords.h"
#include "db/Connection.h"
#include "Faultdesk/hrErr.h"
#include "BrowserTrap.h"
#include "ui/KeyedToolBar.h"
#include "ui/MousePointer.h"
#include "ui/StatusPanels.h"

#include <QContextMenuEvent>
#include <QEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QTreeWidget>

#include <algorithm>
#include <stdexcept>

using namespace browser;

namespace {

constexpr int KeyRole = Qt::UserRole;
constexpr int ImageRole = Qt::UserRole + 1;

enum DataCommand { NewSource, EditSource, DeleteSource };

QIcon imageIcon(int image)
{
    static const char *const letters[] = {"", "D", "T", "V", "S"};
    static const QColor colours[] = {{}, QColor(140, 140, 140), QColor(40, 130, 60), QColor(70, 110, 160),
                                     QColor(150, 90, 40)};
    if (image < 1 || image > 4)
        return {};
    return ui::KeyedToolBar::generatedIcon(QString::fromLatin1(letters[image]), colours[image]);
}

} // namespace

int hlSourceBrowser::nodeRow(const QTreeWidgetItem *node)
{
    if (!node)
        return 0;
    if (node->parent())
        node = node->parent();
    return node->data(0, KeyRole).toString().mid(1).toInt();
}

QString hlSourceBrowser::fullPath(const QTreeWidgetItem *node)
{
    if (!node)
        return {};
    return node->parent() ? node->parent()->text(0) + QStringLiteral(" : ") + node->text(0) : node->text(0);
}

int hlSourceBrowser::nodeImage(const QTreeWidgetItem *node)
{
    return node ? node->data(0, ImageRole).toInt() : 0;
}

void hlSourceBrowser::setNodeImage(QTreeWidgetItem *node, int image)
{
    node->setData(0, ImageRole, image);
    // A data source's image 2 is the open-database picture, not the Tables folder's.
    node->setIcon(0, imageIcon(node->parent() || image != 2 ? image : 3));
}

QTreeWidgetItem *hlSourceBrowser::dataSourceNode(int row) const
{
    const QString key = QStringLiteral("a%1").arg(row);
    for (int i = 0; i < tvwData->topLevelItemCount(); ++i) {
        QTreeWidgetItem *node = tvwData->topLevelItem(i);
        if (node->data(0, KeyRole).toString() == key)
            return node;
    }
    return nullptr;
}

std::shared_ptr<db::Connection> hlSourceBrowser::connection(int row) const
{
    return row >= 0 && size_t(row) < Connections.size() ? Connections[size_t(row)] : nullptr;
}

std::shared_ptr<db::Connection> &hlSourceBrowser::connectionSlot(int row)
{
    if (row < 1 || size_t(row) >= Connections.size())
        throw std::out_of_range(tr("There is no data source %1.").arg(row).toStdString());
    auto &slot = Connections[size_t(row)];
    if (!slot)
        slot = db::Connection::create();
    return slot;
}

bool hlSourceBrowser::Refresh_Data()
{
    const QString before = staStatus->Panels(1).Text();
    return trap(QStringLiteral("Refresh_Data"), [&] {
        ui::MousePointer::setHourglass();
        staStatus->Panels(1).setText(tr("Selecting Data Sources ..."));

        // What the tree showed, so that a data source still in the file after the rebuild keeps
        // its open connection, its expansion and the selection. A source is the same when its
        // name and the text its connection was opened with are: an edited connection reopens.
        struct Shown {
            QString name;
            QString connection;
            std::shared_ptr<db::Connection> cn;
            bool expanded = false;
            bool taken = false;
        };
        std::vector<Shown> shown;
        int selectedSource = -1;
        QString selectedFolder;
        for (int i = 0; i < tvwData->topLevelItemCount(); ++i) {
            QTreeWidgetItem *node = tvwData->topLevelItem(i);
            const int row = nodeRow(node);
            Shown s;
            s.name = node->text(0);
            s.cn = connection(row);
            if (s.cn && s.cn->State() != db::adStateClosed)
                s.connection = s.cn->ConnectionString();
            else if (row >= 1 && row <= kMaxDataSources)
                s.connection = connectionText(dataSources().rows[size_t(row)]);
            s.expanded = node->isExpanded();
            if (QTreeWidgetItem *current = tvwData->currentItem()) {
                if (current == node || current->parent() == node) {
                    selectedSource = int(shown.size());
                    selectedFolder = current->parent() ? current->text(0) : QString();
                }
            }
            shown.push_back(std::move(s));
        }

        // The list is rebuilt from nothing: its signals must not open anything on the way.
        const QSignalBlocker block(tvwData);
        tvwData->clear();
        m_tipSource = -1;
        QTreeWidgetItem *reselect = nullptr;
        if (Get_DataSources()) {
            const DataSourceTable &table = dataSources();
            int n = 1;
            while (n <= kMaxDataSources && !table.rows[size_t(n)].Name.isEmpty())
                ++n;
            // Sources no longer shown are let go; a query window still using one keeps it.
            Connections.assign(size_t(n) + 1, nullptr);
            errorObject().adoConnection(std::shared_ptr<db::Connection>());

            const BrowserSettings &s = browserSettings();
            const std::pair<bool, QString> folders[] = {
                {s.OpenTable, tr("Tables")}, {s.OpenView, tr("Views")}, {s.OpenSp, tr("Stored Procedures")}};
            for (int i = 1; i < n; ++i) {
                const DataSourceRow &row = table.rows[size_t(i)];
                auto *node = new QTreeWidgetItem(tvwData, {undoubleApostrophes(row.Name)});
                node->setData(0, KeyRole, QStringLiteral("a%1").arg(i));
                setNodeImage(node, 1);
                QFont bold = node->font(0);
                bold.setBold(true);
                node->setFont(0, bold);
                int image = 2;
                for (const auto &[on, text] : folders) {
                    if (on) {
                        auto *folder = new QTreeWidgetItem(node, {text});
                        setNodeImage(folder, image);
                    }
                    ++image;
                }

                const QString connectionNow = connectionText(row);
                auto same = std::find_if(shown.begin(), shown.end(), [&](const Shown &old) {
                    return !old.taken && old.name == node->text(0) && old.connection == connectionNow;
                });
                if (same == shown.end())
                    continue;
                same->taken = true;
                const bool open = same->cn && same->cn->State() != db::adStateClosed;
                if (open) {
                    Connections[size_t(i)] = same->cn;
                    setNodeImage(node, 2);
                    if (same->expanded && node->childCount() > 0)
                        node->setExpanded(true);
                }
                if (int(same - shown.begin()) == selectedSource) {
                    reselect = node;
                    for (int c = 0; c < node->childCount() && !selectedFolder.isEmpty(); ++c) {
                        if (node->child(c)->text(0) == selectedFolder && open)
                            reselect = node->child(c);
                    }
                }
            }
        }

        keepTreeNamesWhole();
        clearObjects();
        staStatus->Panels(2).setText({});
        m_currentRow = 0;
        if (reselect) {
            tvwData->setCurrentItem(reselect);
            m_currentRow = nodeRow(reselect);
            if (const auto cn = connection(m_currentRow))
                errorObject().adoConnection(cn);
            // The folder that was listed is listed again, so the list and its count stay.
            if (reselect->parent())
                Refresh();
        }
        staStatus->Panels(1).setText(before);
        ui::MousePointer::setDefault();
        return true;
    });
}

bool hlSourceBrowser::Connect_DataSource()
{
    // report() masks the passwords a provider's message may quote.
    const QString before = staStatus->Panels(1).Text();
    const bool connected = trap(QStringLiteral("Connect_DataSource"), [&] {
        ui::MousePointer::setHourglass();
        QTreeWidgetItem *selected = tvwData->currentItem();
        if (!selected)
            throw std::runtime_error(tr("No data source is selected.").toStdString());
        QTreeWidgetItem *node = selected->parent() ? selected->parent() : selected;
        staStatus->Panels(1).setText(tr("Connecting to %1 ...").arg(node->text(0)));
        clearObjects();

        const int row = m_currentRow;
        // Held here, not in its slot: the list of sources may be rebuilt while it opens.
        const std::shared_ptr<db::Connection> cn = connectionSlot(row);
        if (cn->State() == db::adStateClosed) {
            cn->setReadOnly(true);
            cn->setCursorLocation(db::adUseServer);
            cn->setConnectionTimeout(10);
            // The file keeps apostrophes doubled; the database gets what the user typed.
            cn->Open(connectionText(dataSources().rows[size_t(row)]));
            // Sources changed meanwhile: the row is no longer this connection's, which goes.
            if (connection(row) != cn)
                return false;
            if (QTreeWidgetItem *sourceNode = dataSourceNode(row))
                setNodeImage(sourceNode, 2);
        }
        errorObject().adoConnection(cn);
        staStatus->Panels(1).setText(tr("Ready ..."));
        ui::MousePointer::setDefault();
        return true;
    });
    // A connection that failed is not still being made.
    if (!connected)
        staStatus->Panels(1).setText(before);
    return connected;
}

bool hlSourceBrowser::Disconnect_DataSource()
{
    return trap(QStringLiteral("Disconnect_DataSource"), [&] {
        const auto cn = connection(m_currentRow);
        if (cn)
            cn->Close();
        errorObject().adoConnection(std::shared_ptr<db::Connection>());
        if (QTreeWidgetItem *node = dataSourceNode(m_currentRow)) {
            setNodeImage(node, 1);
            node->setExpanded(false);
        }
        clearObjects();
        staStatus->Panels(2).setText({});
        return true;
    });
}

void hlSourceBrowser::tvwData_Expand(QTreeWidgetItem *node)
{
    if (!node || node->parent())
        return;
    tvwData->setCurrentItem(node);
    m_currentRow = nodeRow(node);
    // A tree rebuilt while the connection was being made no longer holds the node.
    if (!Connect_DataSource() && tvwData->indexOfTopLevelItem(node) >= 0) {
        const QSignalBlocker block(tvwData);
        node->setExpanded(false);
    }
}

bool hlSourceBrowser::tvwData_NodeClick(QTreeWidgetItem *node)
{
    return trap(QStringLiteral("tvwData_NodeClick"), [&] {
        if (!node)
            return true;
        ui::MousePointer::setHourglass();
        if (!node->parent()) {
            if (node->childCount() > 0) {
                clearObjects();
                staStatus->Panels(2).setText({});
                m_currentRow = nodeRow(node);
                emit QuerySelected(fullPath(node));
            }
        } else {
            const QString text = node->text(0);
            if (text == tr("Tables"))
                m_currentDataType = tbDataTable;
            else if (text == tr("Views"))
                m_currentDataType = tbDataView;
            else if (text == tr("Stored Procedures"))
                m_currentDataType = tbDataStoredProc;
            m_folderPath = fullPath(node);
            m_currentRow = nodeRow(node);
            Get_DataObjects(node);
            if (lvwData->count() == 0)
                emit QuerySelected(m_folderPath);
        }
        ui::MousePointer::setDefault();
        return true;
    });
}

void hlSourceBrowser::tvwData_MouseMove(QTreeWidgetItem *nodeUnderPointer)
{
    if (nodeUnderPointer && !nodeUnderPointer->parent()) {
        const int row = nodeRow(nodeUnderPointer);
        if (row != m_tipSource && row >= 1 && row <= kMaxDataSources) {
            tvwData->setToolTip(undoubleApostrophes(dataSources().rows[size_t(row)].Description));
            m_tipSource = row;
        }
        return;
    }
    tvwData->setToolTip({});
    m_tipSource = -1;
}

bool hlSourceBrowser::tvwData_MouseUp(Qt::MouseButton button)
{
    m_sourceQuery = true;
    if (tvwData->topLevelItemCount() == 0 || button == Qt::LeftButton)
        return false;
    QTreeWidgetItem *selected = tvwData->currentItem();
    if (!selected || selected->parent())
        return false;
    const auto cn = connection(m_currentRow);
    const bool open = cn && cn->State() != db::adStateClosed;
    const BrowserSettings &s = browserSettings();
    mnuDisconnect->setVisible(open);
    mnuConnect->setVisible(!open);
    for (QAction *a : {mnuDatCap1, mnuNewDataSource, mnuEditDataSource, mnuDeleteDataSource})
        a->setVisible(s.EditData);
    mnuDatCap2->setVisible(s.OpenSQL && open);
    mnuQuery->setVisible(mnuDatCap2->isVisible());
    return true;
}

void hlSourceBrowser::selectForMenu(QTreeWidgetItem *node)
{
    // The menu acts on the data source under the pointer, which becomes the selected one just as
    // a left click would make it.
    if (!node || node->parent())
        return;
    tvwData->setCurrentItem(node);
    tvwData_NodeClick(node);
    // A source without folders is left alone by the click; the list must not go on showing
    // another source's objects.
    if (node->childCount() == 0 && nodeRow(node) != m_currentRow) {
        clearObjects();
        staStatus->Panels(2).setText({});
    }
    m_currentRow = nodeRow(node);
}

void hlSourceBrowser::buildTreeMenu()
{
    mnuData = new QMenu(tr("Browser"), this);
    mnuConnect = mnuData->addAction(tr("Connect"));
    mnuDisconnect = mnuData->addAction(tr("Disconnect"));
    mnuDatCap1 = mnuData->addSeparator();
    mnuNewDataSource = mnuData->addAction(tr("&New Data Source"));
    mnuEditDataSource = mnuData->addAction(tr("&Edit Data Source properties"));
    mnuDeleteDataSource = mnuData->addAction(tr("&Delete Data Source"));
    mnuDatCap2 = mnuData->addSeparator();
    mnuQuery = mnuData->addAction(tr("&Query"));

    connect(mnuConnect, &QAction::triggered, this, [this] {
        if (QTreeWidgetItem *node = dataSourceNode(m_currentRow)) {
            if (Connect_DataSource() && tvwData->indexOfTopLevelItem(node) >= 0 && node->childCount() > 0) {
                const QSignalBlocker block(tvwData);
                node->setExpanded(true);
            }
        }
    });
    connect(mnuDisconnect, &QAction::triggered, this, &hlSourceBrowser::Disconnect_DataSource);
    connect(mnuQuery, &QAction::triggered, this, &hlSourceBrowser::mnuQuery_Click);
    connect(mnuNewDataSource, &QAction::triggered, this, [this] { editDataSources(NewSource); });
    connect(mnuEditDataSource, &QAction::triggered, this, [this] { editDataSources(EditSource); });
    connect(mnuDeleteDataSource, &QAction::triggered, this, [this] { editDataSources(DeleteSource); });

    connect(tvwData, &QTreeWidget::itemExpanded, this, &hlSourceBrowser::tvwData_Expand);
    connect(tvwData, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem *node) { tvwData_NodeClick(node); });
}

void hlSourceBrowser::editDataSources(int command)
{
    if (!Check_AdminPassword())
        return;
    bool changed = false;
    switch (command) {
    case NewSource:
        changed = New_DataSource(0, false);
        break;
    case EditSource:
        changed = m_currentRow >= 1 && New_DataSource(m_currentRow, true);
        break;
    default:
        // Answering No deletes nothing, so nothing is saved or rebuilt.
        changed = m_currentRow >= 1 && Delete_DataSource(m_currentRow)
            && dataSources().rows[size_t(m_currentRow)].ID.isEmpty();
        break;
    }
    // A failed save keeps the tree as the file still is.
    if (changed && Save_DataSources())
        Refresh_Data();
}

bool hlSourceBrowser::eventFilter(QObject *watched, QEvent *event)
{
    const bool menuKey = event->type() == QEvent::ContextMenu
        && static_cast<QContextMenuEvent *>(event)->reason() == QContextMenuEvent::Keyboard;
    // Shift+F10 is the menu key of keyboards without one; the platform does not always say so.
    const bool shiftF10 = event->type() == QEvent::KeyPress
        && static_cast<QKeyEvent *>(event)->key() == Qt::Key_F10
        && static_cast<QKeyEvent *>(event)->modifiers() == Qt::ShiftModifier;
    if (watched == tvwData && (menuKey || shiftF10)) {
        // From the keyboard the menu is the selected data source's, shown beside its node.
        QTreeWidgetItem *node = tvwData->currentItem();
        selectForMenu(node);
        if (node && tvwData_MouseUp(Qt::RightButton))
            mnuData->popup(tvwData->viewport()->mapToGlobal(tvwData->visualItemRect(node).center()));
        return true;
    }
    if (watched == tvwData->viewport()) {
        if (event->type() == QEvent::MouseMove) {
            const auto *me = static_cast<QMouseEvent *>(event);
            tvwData_MouseMove(tvwData->itemAt(me->position().toPoint()));
        } else if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick) {
            // The right button leaves the selection to the release below, so that a folder
            // never looks selected while the list still shows another one.
            if (static_cast<QMouseEvent *>(event)->button() == Qt::RightButton)
                return true;
        } else if (event->type() == QEvent::MouseButtonRelease) {
            const auto *me = static_cast<QMouseEvent *>(event);
            QTreeWidgetItem *under = tvwData->itemAt(me->position().toPoint());
            // A folder has no menu: the selected source's would act on a source not pointed at.
            if (me->button() == Qt::RightButton && under && under->parent())
                return QWidget::eventFilter(watched, event);
            if (me->button() == Qt::RightButton)
                selectForMenu(under);
            if (tvwData_MouseUp(me->button()))
                mnuData->popup(me->globalPosition().toPoint());
        }
    }
    return QWidget::eventFilter(watched, event);
}
