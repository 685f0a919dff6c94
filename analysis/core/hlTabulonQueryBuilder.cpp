// The query builder in the query window: its window, showing and hiding it, and taking its
// filter into the query. Tables and views are filtered by the database over the statement's
// result rows (Get_Query); routines and XML documents, whose rows are held in memory, by the
// recordset filter with the builder's conditions as they stand, never as text run as code.
#include "hlTabulon/hlTabulon.h"

#include "core/ControlSupport.h"
#include "core/QueryRunner.h"
#include "hlTabulon/LibraryState.h"
#include "hlTabulon/Options.h"
#include "dialogs/frmQueryBuilder.h"

#include "db/Recordset.h"
#include "db/RecordsetFilter.h"
#include "db/RowStore.h"
#include "grid/Grid.h"
#include "ui/EventLoop.h"
#include "ui/KeyedToolBar.h"
#include "ui/MousePointer.h"
#include "ui/StatusPanels.h"

#include <hlQueryBuilder/QueryBuilder.h>

namespace {

const QString kShowTip = QStringLiteral("Show Query Builder");
const QString kHideTip = QStringLiteral("Hide Query Builder");

bool sameFields(const std::shared_ptr<db::Recordset> &a, const std::shared_ptr<db::Recordset> &b)
{
    if (!a || !b || a->FieldCount() != b->FieldCount() || a->Source() != b->Source())
        return false;
    for (int i = 0; i < a->FieldCount(); ++i) {
        if (a->Field(i).Name != b->Field(i).Name || a->Field(i).Type != b->Field(i).Type)
            return false;
    }
    return true;
}

} // namespace

frmQueryBuilder *hlTabulon::queryBuilderWindow() const
{
    return qobject_cast<frmQueryBuilder *>(m_frmQueryBuilder.data());
}

void hlTabulon::createQueryBuilderWindow()
{
    if (m_frmQueryBuilder)
        return;
    auto *window = new frmQueryBuilder(this);
    window->setParentWindow(this);
    window->setCalledFrom(this);
    connect(window, &frmQueryBuilder::QueryUnload, this, &hlTabulon::frmQueryBuilder_QueryUnload);
    connect(window, &frmQueryBuilder::Resize, this, [this] {
        if (!m_blnResizing && !m_blnInitialising)
            UserControl_Resize();
    });
    m_frmQueryBuilder = window;
}

// The user closed the window: it is only hidden, and the control takes the space back.
void hlTabulon::frmQueryBuilder_QueryUnload()
{
    ui::ToolBarButton &qb = tlbResults->Buttons(QStringLiteral("QueryBuilder"));
    qb.setValue(ui::tbrUnpressed);
    qb.setToolTipText(kShowTip);
    m_blnQBVisible = false;
    emit ViewChanged();
    UserControl_Resize();
}

bool hlTabulon::Show_QueryBuilder()
{
    return trap(QStringLiteral("Show_QueryBuilder"), [&] {
        ui::MousePointer::setHourglass();
        // Made the first time it is asked for: most windows never show it.
        createQueryBuilderWindow();
        frmQueryBuilder *window = queryBuilderWindow();
        if (!window)
            throw std::runtime_error("The query builder's window was not created");
        m_blnQBVisible = !m_blnQBVisible;
        ui::ToolBarButton &button = tlbResults->Buttons(QStringLiteral("QueryBuilder"));
        if (m_blnQBVisible) {
            staStatus->Panels(1).setText(QStringLiteral("Loading Query Builder ..."));
            QueryBuilder *qb = window->hlQueryBuilder();
            qb->setMenuText(analysis::options().QueryBuilderToolbarText);
            qb->setBracket(m_query->delimiter());
            qb->setUseSP(m_query->inMemory());
            qb->Set_MenuText();
            // A query that ran at once read no field list at the start; the builder needs one as
            // the analysis views do (a failure is reported, and the builder offers no field).
            if (!m_query->fieldsLoaded() && (!m_query->inMemory() || m_query->resultsOpen()))
                Get_Fields();
            const std::shared_ptr<db::Recordset> &known = m_query->ensureFieldsRecordset();
            // A new binding keeps the conditions whose fields the result still has. The rows
            // of a routine or XML document are a clone of results that the next run closes:
            // the builder keeps their fields alone, which stay readable.
            std::shared_ptr<db::Recordset> fields = known;
            if (qb->UseSP() && known->State() == db::adStateOpen) {
                std::vector<db::FieldInfo> infos;
                for (int i = 0; i < known->FieldCount(); ++i)
                    infos.push_back(known->Field(i));
                fields = db::Recordset::fromStore(std::make_shared<db::RowStore>(infos), known->Source());
            }
            if (!sameFields(qb->rsData(), fields))
                qb->rsData(fields);
            qb->adoConnection(m_query->connection());
            qb->DateFormat(DateFormat());
            window->show();
            window->raise();
            button.setToolTipText(kHideTip);
            button.setValue(ui::tbrPressed);
        } else {
            window->hide();
            button.setValue(ui::tbrUnpressed);
            button.setToolTipText(kShowTip);
        }
        UserControl_Resize();
        emit ViewChanged();
        staStatus->Panels(1).setText(QStringLiteral("Ready ..."));
        ui::MousePointer::setDefault();
        return true;
    }, ui::MousePointer::setDefault);
}

bool hlTabulon::Set_Query()
{
    return trap(QStringLiteral("Set_Query"), [&] {
        frmQueryBuilder *window = queryBuilderWindow();
        if (!window || !window->isVisible() || !m_blnQBVisible)
            return true;
        QueryBuilder *qb = window->hlQueryBuilder();
        if (qb->FilterEmpty())
            return true;
        if (m_query->inMemory()) {
            const std::optional<db::RecordsetFilter> conditions = qb->Get_FilterConditions();
            if (!conditions)
                return false; // refused: the builder said why
            m_query->setBuilderConditions(*conditions);
        } else {
            const QVariant filter = qb->Get_Filter();
            if (!filter.isValid())
                return false;
            m_query->setBuilderFilter(filter.toString());
        }
        return true;
    });
}

bool hlTabulon::Apply_Query()
{
    return trap(QStringLiteral("Apply_Query"), [&] {
        frmQueryBuilder *window = queryBuilderWindow();
        if (window && window->isVisible() && m_blnQBVisible && !window->hlQueryBuilder()->FilterEmpty()) {
            const std::optional<db::RecordsetFilter> conditions = window->hlQueryBuilder()->Get_FilterConditions();
            if (!conditions)
                return false;
            m_query->setBuilderConditions(*conditions);
        }
        applyInMemoryFilters();
        if (!m_query->builderFilter().isEmpty() && !m_blnOpenSQL) {
            ui::ToolBarButton &qb = tlbResults->Buttons(QStringLiteral("QueryBuilder"));
            qb.setStyle(ui::tbrDropdown);
            ui::yieldEvents();
            qb.setValue(ui::tbrPressed);
        }
        return true;
    });
}

// The rows a routine or XML document returned, narrowed by the builder's conditions and the
// column-menu filter together: one recordset filter holds both.
void hlTabulon::applyInMemoryFilters()
{
    if (!m_query->resultsOpen())
        return;
    m_query->filterInMemory();
    grdResults->setDataSource(m_query->results());
    // Binding again puts every column back to the default width: size them to the rows shown.
    if (grdResults->Cols() > 0)
        grdResults->AutoSize(0, grdResults->Cols() - 1);
}
