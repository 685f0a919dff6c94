// Result filters from the column menu: one condition per command (written by the query runner),
// joined into the column-menu filter that the results pipeline applies, with a history on the
// "RemoveFilter" drop-down.
#include "hlTabulon/hlTabulon.h"

#include "core/ControlSupport.h"
#include "core/QueryRunner.h"
#include "hlTabulon/LibraryState.h"

#include "grid/Grid.h"
#include "ui/KeyedToolBar.h"
#include "ui/MousePointer.h"
#include "ui/Prompter.h"

bool hlTabulon::Set_Filter(bool blnEqual, QString &strValue, bool blnWildcards)
{
    return trap(QStringLiteral("Set_Filter"), [&] {
        const int col = grdResults->Col();
        const int row = grdResults->Row();
        const QString header = grdResults->TextMatrix(0, col);
        const int field = m_query->resultsField(header, col);

        // The cell the command was given, when the value is its text: its row holds the value
        // at full precision, whatever the grid shows of it.
        std::optional<std::size_t> cell;
        if (row >= 1 && strValue == grdResults->TextMatrix(row, col)) {
            m_blnFetching = true;
            cell = m_query->cellRow(field, std::size_t(row - 1), grdResults->DataMode() == grid::flexDMBound, strValue);
            m_blnFetching = false;
        }

        const analysis::QueryRunner::ColumnCondition condition =
            m_query->columnCondition(header, field, blnEqual, strValue, cell, blnWildcards);
        if (!condition.refusal.isEmpty()) {
            ui::Prompter::msgBox(condition.refusal, ui::MsgButtons::OK, ui::MsgIcon::Exclamation, {}, this);
            return false;
        }
        m_query->addFilter(condition.text, m_blnOpenSQL);
        strValue = condition.value;

        tlbResults->Buttons(QStringLiteral("sepSort")).setVisible(true);
        ui::ToolBarButton &button = tlbResults->Buttons(QStringLiteral("RemoveFilter"));
        button.setVisible(true);
        button.setStyle(ui::tbrDropdown);
        if (button.ButtonMenus().Count() == 0)
            button.ButtonMenus().Add(m_query->filter());
        else
            button.ButtonMenus().Add(m_query->filter(), QString(), 1);
        return true;
    }, [&] { m_blnFetching = false; });
}

bool hlTabulon::Remove_Filter()
{
    bool ok = false;
    bool declined = false;
    trap(QStringLiteral("Remove_Filter"), [&] {
        ui::ToolBarButton &button = tlbResults->Buttons(QStringLiteral("RemoveFilter"));
        bool go = true;
        if (button.ButtonMenus().Count() >= 3) {
            go = ui::Prompter::msgBox(QStringLiteral("All Filter history will be lost. Continue?"), ui::MsgButtons::YesNo,
                                      ui::MsgIcon::Question, QStringLiteral("Clear Filter"), this)
                 == ui::MsgResult::Yes;
        }
        declined = !go;
        if (go) {
            m_query->removeFilter();
            button.ButtonMenus().Clear();
            Refresh_Results(false, true, false);
            hideColumnMenu();
            ok = true;
        }
    });
    if (declined)
        return false;
    tlbResults->Buttons(QStringLiteral("sepSort")).setVisible(false);
    tlbResults->Buttons(QStringLiteral("RemoveFilter")).setVisible(false);
    tlbResults->Buttons(QStringLiteral("sepSort"))
        .setVisible(tlbResults->Buttons(QStringLiteral("UnFreezeCols")).Visible()
                    || tlbResults->Buttons(QStringLiteral("RemoveFilter")).Visible());
    ui::MousePointer::setDefault();
    return ok;
}
