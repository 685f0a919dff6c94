// Result filters from the column menu: one condition per command, joined into the column-menu
// filter that the results pipeline applies, with a history on the "RemoveFilter" drop-down.
#include "hlTabulon/hlTabulon.h"

#include "core/ControlSupport.h"
#include "core/QueryRunner.h"
#include "hlTabulon/LibraryState.h"

#include "db/Connection.h"
#include "db/Recordset.h"
#include "db/RecordsetFilter.h"
#include "db/RowStore.h"
#include "db/Types.h"
#include "db/ValueRules.h"
#include "grid/Grid.h"
#include "ui/KeyedToolBar.h"
#include "ui/MousePointer.h"
#include "ui/Prompter.h"

#include <QDate>
#include <QDateTime>

namespace {

// A date typed in a form the data layer does not read itself.
std::optional<QDateTime> dateOf(const QString &text)
{
    const QString t = text.trimmed();
    for (const char *format : {"dd/MM/yyyy", "dd/MM/yyyy HH:mm:ss", "dd.MM.yyyy", "dd.MM.yyyy HH:mm:ss"}) {
        const QDateTime d = QDateTime::fromString(t, QLatin1String(format));
        if (d.isValid())
            return d;
    }
    return std::nullopt;
}

// One value of the column's type, from a cell or from what the user typed.
struct FilterValue {
    std::shared_ptr<db::RowStore> store;
    std::size_t row = 0;
};

} // namespace

bool hlTabulon::Set_Filter(bool blnEqual, QString &strValue)
{
    QString fallback;
    // The filter the results had before, back on them.
    const auto undo = [&] {
        m_blnFetching = false;
        try {
            m_query->setFilter(fallback);
            if (m_query->resultsOpen())
                m_query->results()->setFilter(fallback);
        } catch (...) {
        }
    };
    return trap(QStringLiteral("Set_Filter"), [&] {
        if (!m_query->resultsOpen())
            throw db::DbError(QStringLiteral("There are no results to filter"));
        fallback = m_query->results()->Filter();
        if (fallback == QLatin1String("0"))
            fallback.clear();

        const int col = grdResults->Col();
        const int row = grdResults->Row();
        const QString header = grdResults->TextMatrix(0, col);
        int field = m_query->results()->FieldIndex(header);
        if (field < 0)
            field = col;
        const db::FieldInfo &info = m_query->results()->Field(field);
        const int type = info.Type;
        // Routines and XML documents are filtered in memory, in the recordset filter's syntax;
        // tables and views by the database, in its own.
        const bool inMemory = m_query->inMemory();
        const db::Provider provider = m_query->connection() ? m_query->connection()->provider() : db::Provider::SQLite;
        auto refuse = [&](const QString &message) {
            ui::Prompter::msgBox(message, ui::MsgButtons::OK, ui::MsgIcon::Exclamation, {}, this);
            m_blnFetching = false;
            return false;
        };

        // A name the results hold twice (a join's two "id" columns) cannot say which one it
        // means: the database would refuse it, or take the first.
        const Qt::CaseSensitivity nameCase = provider == db::Provider::PostgreSQL && !inMemory ? Qt::CaseSensitive
                                                                                              : Qt::CaseInsensitive;
        int sameName = 0;
        for (int f = 0; f < m_query->results()->FieldCount(); ++f)
            sameName += m_query->results()->Field(f).Name.compare(header, nameCase) == 0 ? 1 : 0;
        if (sameName > 1)
            return refuse(QStringLiteral("The results have more than one column named '%1': give each its own name "
                                         "(AS) in the statement to filter by it.")
                              .arg(header));

        QString value = strValue;
        value.replace(u'*', u'%');
        const bool like = value.contains(u'%');
        if (like && value.startsWith(u'%') && !value.endsWith(u'%'))
            value += u'%';
        if (type == db::adBoolean && value == QLatin1String("-1"))
            value = QStringLiteral("1");

        // The cell the command was given, when the value is its text: its row holds the value
        // at full precision, whatever the grid shows of it.
        std::optional<std::size_t> cell;
        if (row >= 1 && strValue == grdResults->TextMatrix(row, col)) {
            m_blnFetching = true;
            const std::size_t r = std::size_t(row - 1);
            if (m_query->results()->ensureRow(r) && (grdResults->DataMode() == grid::flexDMBound || m_query->results()->displayText(r, field) == strValue)) {
                cell = r;
            } else if (inMemory) {
                // The grid's own sort may have moved the copied rows.
                for (std::size_t k = 0; k < m_query->results()->fetchedCount() && !cell; ++k) {
                    if (m_query->results()->displayText(k, field) == strValue)
                        cell = k;
                }
            }
            m_blnFetching = false;
        }

        bool isNull = false;
        if (!like && value.isEmpty()) {
            if (db::isDateType(type))
                isNull = true;
            else if (cell)
                isNull = m_query->results()->isNull(*cell, field);
        }
        if (!isNull && !like && cell && m_query->results()->isNull(*cell, field))
            isNull = true;

        const QString column = db::quoteIdentifier(header, m_query->delimiter());
        QString condition;
        if (isNull) {
            condition = column + (blnEqual ? QStringLiteral("  IS NULL") : QStringLiteral("  IS NOT NULL"));
        } else if (db::storageOf(type) == db::Storage::Blob) {
            return refuse(QStringLiteral("The column '%1' holds binary data: it can be filtered for empty cells only.").arg(header));
        } else if (like) {
            const QString op = blnEqual ? QStringLiteral(" LIKE ") : QStringLiteral(" NOT LIKE ");
            if (type == db::adBoolean)
                return refuse(QStringLiteral("The column '%1' holds True or False: a wildcard cannot match it.").arg(header));
            // Numbers and dates match by the text they show.
            const QString text = inMemory ? column : db::sqlColumnText(column, info, provider);
            condition = text + u' ' + op + db::quoteText(value);
        } else {
            // The value as one cell of the column's type.
            FilterValue v;
            if (cell) {
                v.store = m_query->results()->store();
                v.row = m_query->results()->storeRow(*cell);
            } else {
                v.store = std::make_shared<db::RowStore>(std::vector<db::FieldInfo>{info});
                v.store->beginRow();
                // A typed date is read day first, as the user writes it; ISO and the rest as the
                // data layer reads text.
                const auto d = db::isDateType(type) && type != db::adDBTime ? dateOf(value) : std::nullopt;
                try {
                    if (d)
                        v.store->setValue(0, type == db::adDBDate ? QVariant(d->date()) : QVariant(*d));
                    else
                        v.store->setValue(0, db::isTextType(type) ? QVariant(value) : QVariant(value.trimmed()));
                } catch (const db::DbError &) {
                    return refuse(QStringLiteral("'") + strValue
                                  + (db::isDateType(type) ? QStringLiteral("' is not a date.") : QStringLiteral("' is not a number.")));
                }
                v.store->endRow();
            }
            const int c = cell ? field : 0;
            const QString op = blnEqual ? QStringLiteral(" =") : QStringLiteral(" <>");
            if (inMemory)
                condition = column + u' ' + op + u' ' + db::RecordsetFilter::literal(*v.store, v.row, c);
            else
                condition = db::sqlComparison(column, info, provider, op, db::sqlLiteral(*v.store, v.row, c, provider));
        }

        const QString filter = m_query->filter().isEmpty() || m_blnOpenSQL ? condition : m_query->filter() + QStringLiteral(" AND ") + condition;
        // In memory the condition is tried at once, so that one the recordset cannot read is
        // reported now and never stored.
        if (inMemory)
            m_query->results()->setFilter(filter);
        m_query->setFilter(filter);
        strValue = value;

        tlbResults->Buttons(QStringLiteral("sepSort")).setVisible(true);
        ui::ToolBarButton &button = tlbResults->Buttons(QStringLiteral("RemoveFilter"));
        button.setVisible(true);
        button.setStyle(ui::tbrDropdown);
        if (button.ButtonMenus().Count() == 0)
            button.ButtonMenus().Add(m_query->filter());
        else
            button.ButtonMenus().Add(m_query->filter(), QString(), 1);
        m_blnFetching = false;
        return true;
    }, undo);
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
            if (m_query->resultsOpen())
                m_query->results()->setFilter(QString());
            m_query->setFilter({});
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
