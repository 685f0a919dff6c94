// The object list: a folder's tables, views or stored routines from the database schema, their
// column widths, and the type helpers the field tooltip uses.
#include "hlSourceBrowser/hlSourceBrowser.h"
#include "ObjectListView.h"

#include "hlSourceBrowser/BrowserSettings.h"
#include "hlSourceBrowser/DataSourceFile.h"
#include "BrowserTrap.h"
#include "db/Command.h"
#include "db/Connection.h"
#include "db/ConnectionString.h"
#include "grid/GridFormat.h"
#include "ui/MousePointer.h"
#include "ui/StatusPanels.h"
#include "ui/Twips.h"

#include <QFontMetrics>
#include <QLocale>
#include <QHeaderView>
#include <QStyle>
#include <QTreeView>
#include <QTreeWidget>

#include <stdexcept>

using namespace browser;

namespace {

struct ListedKind {
    int large;
    int small;
};
constexpr ListedKind kTableIcons{1, 5};
constexpr ListedKind kViewIcons{2, 6};
constexpr ListedKind kRoutineIcons{3, 7};

QDateTime schemaDate(const QString &text)
{
    if (text.isEmpty())
        return {};
    QDateTime d = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (!d.isValid())
        d = QDateTime::fromString(text, Qt::ISODate);
    return d;
}

QString itemCountText(int count)
{
    return QStringLiteral(" ") + grid::format::groupedCount(count) + QStringLiteral(" items");
}

} // namespace

bool hlSourceBrowser::Set_Grids()
{
    return trap(QStringLiteral("Set_Grids"), [&] {
        // The tree's path separator is fullPath()'s " : ".
        if (lvwData->columnCount() == 0) {
            lvwData->addColumn(tr("Name"), 1500);
            lvwData->addColumn(tr("Owner"), 1500);
            lvwData->addColumn(tr("Create Date"), 1500);
            lvwData->addColumn(QString(), 0);
        }
        return true;
    });
}

QString hlSourceBrowser::delimiter() const
{
    if (m_currentRow >= 1 && m_currentRow <= kMaxDataSources) {
        const QString d = undoubleApostrophes(dataSources().rows[size_t(m_currentRow)].Delimiter).trimmed();
        if (!d.isEmpty())
            return d.left(1);
    }
    const auto cn = connection(m_currentRow);
    return QString(cn ? cn->DefaultDelimiter() : QChar(u'"'));
}

void hlSourceBrowser::clearObjects()
{
    lvwData->clear();
    m_objectName.clear();
    m_objectOwner.clear();
    m_objectBase.clear();
    m_currentItem.clear();
    m_fields.clear();
    hideToolTip();
}

QString hlSourceBrowser::quotedObjectName(int item) const
{
    const QString d = delimiter();
    const QString name = db::quoteIdentifier(lvwData->text(item), d);
    const QString owner = lvwData->subItem(item, 1);
    return owner.isEmpty() ? name : db::quoteIdentifier(owner, d) + QLatin1Char('.') + name;
}

bool hlSourceBrowser::selectObject(int item)
{
    // Two schemas may hold objects of the same name: the owner is part of the identity.
    const QString key = QStringLiteral("%1\x1f%2\x1f%3")
                            .arg(QString::number(m_listDataType), lvwData->subItem(item, 1), lvwData->text(item));
    m_objectName = quotedObjectName(item);
    m_objectOwner = lvwData->subItem(item, 1);
    m_objectBase = lvwData->text(item);
    if (key == m_currentItem)
        return false;
    m_currentItem = key;
    return true;
}

bool hlSourceBrowser::Get_DataObjects(QTreeWidgetItem *Nodx)
{
    ui::MousePointer::setHourglass();
    lvwData->setEnabled(false);
    const QString before = staStatus->Panels(1).Text();
    bool ok = false;
    QString refusal;
    try {
        hideToolTip();
        staStatus->Panels(1).setText(tr("Retrieving Items ..."));
        const std::shared_ptr<db::Connection> cn = connectionSlot(m_currentRow);
        const bool noOwners = cn->Provider().contains(QLatin1String("MySql"));
        lvwData->hide();
        clearObjects();
        lvwData->beginUpdate();

        auto add = [&](const db::SchemaObject &o, const QString &name, ListedKind icons, const QString &date) {
            const int item = lvwData->addItem(name, icons.large, icons.small);
            if (!noOwners)
                lvwData->setSubItem(item, 1, o.Owner);
            const QDateTime when = schemaDate(date);
            if (when.isValid()) {
                lvwData->setSubItem(item, 2, QLocale().toString(when, QLocale::ShortFormat));
                lvwData->setSubItem(item, 3, when.toString(QStringLiteral("yy/dd/MM hh:mm:ss")));
            }
            lvwData->setItemDate(item, when);
        };

        const QString folder = Nodx ? Nodx->text(0) : QString();
        bool listed = true;
        // A listing the database refused is said so, never shown as a folder with nothing in it.
        auto refused = [&](const QString &what, const db::DbError &e) {
            listed = false;
            const QString description = cn->Errors().empty() ? e.message() : cn->Errors().front().Description;
            Show_SQLError(db::maskPasswords(cn->ConnectionString()), description);
            const QString source = m_currentRow >= 1 && m_currentRow <= kMaxDataSources
                ? undoubleApostrophes(dataSources().rows[size_t(m_currentRow)].Name)
                : QString();
            refusal = what.arg(source) + QStringLiteral("\n") + db::maskPasswords(description);
        };
        if (folder == tr("Tables")) {
            m_listDataType = tbDataTable;
            if (browserSettings().OpenTable) {
                for (const db::SchemaObject &o : cn->Tables())
                    add(o, o.Name, kTableIcons, o.Created);
            }
        } else if (folder == tr("Views")) {
            m_listDataType = tbDataView;
            try {
                for (const db::SchemaObject &o : cn->Views())
                    add(o, o.Name, kViewIcons, o.Modified.isEmpty() ? o.Created : o.Modified);
            } catch (const db::DbError &e) {
                refused(tr("The views of %1 could not be listed:"), e);
            }
        } else if (folder == tr("Stored Procedures")) {
            m_listDataType = tbDataStoredProc;
            try {
                for (const db::SchemaObject &o : cn->Routines()) {
                    QString name = o.Name;
                    if (name.endsWith(QLatin1String(";1")))
                        name.chop(2);
                    if (name.startsWith(QLatin1String("dt_")))
                        continue;
                    add(o, name, kRoutineIcons, o.Created);
                }
            } catch (const db::DbError &e) {
                refused(tr("The stored procedures of %1 could not be listed:"), e);
            }
        }
        // Sorted once, after all items are in.
        lvwData->endUpdate();
        if (listed) {
            lvwData->setSelectedItem(lvwData->displayedItem(0));
            lvwData->setView(browserSettings().DataView);
            Size_Cols();
            emit Refreshed();
            ok = true;
        } else {
            lvwData->clear();
        }
    } catch (const std::exception &e) {
        refusal = db::maskPasswords(QString::fromUtf8(e.what()));
    }

    try {
        lvwData->endUpdate();
        staStatus->Panels(1).setText(before);
        // No count for a folder that could not be listed: it is not empty, it is unknown.
        staStatus->Panels(2).setText(refusal.isEmpty() ? itemCountText(lvwData->count()) : QString());
        tvwData->setEnabled(true);
        // A launch straight after the listing takes the first object, owner included.
        if (const int first = lvwData->displayedItem(0); first >= 0) {
            m_objectName = quotedObjectName(first);
            m_objectOwner = lvwData->subItem(first, 1);
            m_objectBase = lvwData->text(first);
        }
    } catch (...) {
    }
    lvwData->show();
    lvwData->setEnabled(true);
    ui::MousePointer::setDefault();
    if (!refusal.isEmpty())
        report(QStringLiteral("Get_DataObjects"), refusal);
    return ok;
}

bool hlSourceBrowser::Size_Cols()
{
    return trap(QStringLiteral("Size_Cols"), [&] {
        // Measured as the details view draws: its own font, the names with their icons, and never
        // narrower than the heading with room for its sort arrow.
        const QTreeView *view = lvwData->reportView();
        const QStyle *st = view->style();
        const QFontMetrics fm(view->font());
        const QFontMetrics headerFm(view->header()->font());
        const int icon = st->pixelMetric(QStyle::PM_SmallIconSize, nullptr, view);
        const int margin = st->pixelMetric(QStyle::PM_HeaderMargin, nullptr, view->header());
        auto widest = [&](int sub) {
            int w = 0;
            for (int i = 0; i < lvwData->count(); ++i)
                w = std::max(w, fm.horizontalAdvance(sub == 0 ? lvwData->text(i) : lvwData->subItem(i, sub)));
            if (sub == 0 && lvwData->count() > 0)
                w += icon + 2 * st->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + margin;
            w = std::max(w, headerFm.horizontalAdvance(lvwData->columnHeader(sub + 1)) + 3 * margin + icon);
            return qRound(ui::Twips::fromPixelsX(w, this));
        };
        lvwData->setColumnWidth(1, widest(0) + 400);
        for (int column = 2; column < lvwData->columnCount(); ++column)
            lvwData->setColumnWidth(column, widest(column - 1) + 400);
        return true;
    });
}

bool hlSourceBrowser::Allowed_DataType(int lngType)
{
    return lngType != db::adLongVarWChar && lngType != db::adVarBinary && lngType != db::adLongVarBinary;
}

QString hlSourceBrowser::Field_Type(int lngType)
{
    switch (lngType) {
    case 0: return QStringLiteral("Empty");
    case 2: return QStringLiteral("SmallInt");
    case 3: return QStringLiteral("Integer");
    case 4: return QStringLiteral("Single");
    case 5: return QStringLiteral("Double");
    case 6: return QStringLiteral("Currency");
    case 7: return QStringLiteral("Date");
    case 8: return QStringLiteral("BSTR");
    case 9: return QStringLiteral("IDispatch");
    case 10: return QStringLiteral("Error");
    case 11: return QStringLiteral("Boolean");
    case 12: return QStringLiteral("Variant");
    case 13: return QStringLiteral("IUnknown");
    case 14: return QStringLiteral("Decimal");
    case 16: return QStringLiteral("TinyInt");
    case 20: return QStringLiteral("BigInt");
    case 72: return QStringLiteral("GUID");
    case 128: return QStringLiteral("Binary");
    case 129: return QStringLiteral("Char");
    case 131: return QStringLiteral("Numeric");
    case 133: return QStringLiteral("DBDate");
    case 134: return QStringLiteral("DBTime");
    case 135: return QStringLiteral("DBTimeStamp");
    case 200: return QStringLiteral("VarChar");
    case 201: return QStringLiteral("LongVarChar");
    case 202: return QStringLiteral("WChar");
    case 203: return QStringLiteral("LongVarWChar");
    case 205: return QStringLiteral("LongVarBinary");
    case 8192: return QStringLiteral("Array");
    default: return {};
    }
}

bool hlSourceBrowser::Get_Parameters()
{
    return trap(QStringLiteral("Get_Parameters"), [&] {
        db::Command cmd;
        cmd.ActiveConnection = connectionSlot(m_currentRow);
        cmd.CommandType = 4;
        cmd.CommandText = m_objectName;
        cmd.RefreshParameters();
        FieldArray fields;
        fields.reserve(cmd.Parameters.size());
        for (const db::Parameter &p : cmd.Parameters) {
            if (Allowed_DataType(p.Type))
                fields.push_back({p.Name, QString::number(p.Type)});
        }
        if (browserSettings().ObjectToolTipSort)
            Sort_Array(fields);
        m_fields = std::move(fields);
        return true;
    });
}
