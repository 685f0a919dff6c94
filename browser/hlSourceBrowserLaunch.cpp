// Launching a query: the launch modes, the row-limit prompt and the RunQuery record.
#include "hlSourceBrowser/hlSourceBrowser.h"
#include "ObjectListView.h"

#include "hlSourceBrowser/BrowserSettings.h"
#include "hlSourceBrowser/DataSourceFile.h"
#include "BrowserTrap.h"
#include "db/Connection.h"
#include "ui/Prompter.h"

#include <QRegularExpression>

#include <cmath>
#include <limits>
#include <optional>
#include <stdexcept>

using namespace browser;

namespace {

// The row limit as typed: a whole number from 0 to the largest Long, a decimal rounded to the
// nearest whole number. Empty for anything else.
std::optional<int> parseRowLimit(const QString &entry)
{
    static const QRegularExpression number(QStringLiteral("^(\\d+(\\.\\d*)?|\\.\\d+)$"));
    const QString text = entry.trimmed();
    if (!number.match(text).hasMatch())
        return std::nullopt;
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok)
        return std::nullopt;
    const double rounded = std::floor(value + 0.5);
    if (rounded > double(std::numeric_limits<int>::max()))
        return std::nullopt;
    return int(rounded);
}

} // namespace

bool hlSourceBrowser::Run(int lngType)
{
    return trap(QStringLiteral("Run"), [&] {
        m_sourceQuery = false;
        switch (lngType) {
        case 0:
            m_maxRecords = 0;
            m_autoRun = false;
            m_showSQL = true;
            break;
        case 1:
            m_maxRecords = 0;
            m_autoRun = true;
            m_showSQL = false;
            break;
        case 2: {
            const std::optional<QString> answer = ui::Prompter::inputBox(
                tr("Enter maximum number of rows to return. 0 equals all."), tr("Return top ..."),
                QString::number(m_maxRecords == 0 ? 100 : m_maxRecords), this);
            if (!answer || answer->trimmed().isEmpty())
                return false;
            const std::optional<int> limit = parseRowLimit(*answer);
            if (!limit) {
                ui::Prompter::msgBox(tr("The number of rows must be a whole number from 0 to 2,147,483,647."),
                                     ui::MsgButtons::OK, ui::MsgIcon::Exclamation, tr("Return top ..."), this);
                return false;
            }
            m_maxRecords = *limit;
            m_autoRun = true;
            m_showSQL = false;
            break;
        }
        default:
            break; // keeps the last launch's options
        }
        return Run_Query();
    });
}

bool hlSourceBrowser::Run_Query()
{
    return trap(QStringLiteral("Run_Query"), [&] {
        QString sql;
        QString queryName;
        if (m_sourceQuery) {
            m_currentDataType = tbDataTable;
            if (m_currentRow < 1 || m_currentRow > kMaxDataSources)
                throw std::runtime_error(tr("No data source is selected.").toStdString());
            queryName = undoubleApostrophes(dataSources().rows[size_t(m_currentRow)].Name);
        } else {
            if (m_objectName.isEmpty())
                return false;
            const int item = lvwData->selectedItem();
            if (item < 0)
                throw std::runtime_error(tr("No object is selected in the list.").toStdString());
            // The launch is for the object the list shows selected, whichever way it got selected.
            m_objectName = quotedObjectName(item);
            m_objectOwner = lvwData->subItem(item, 1);
            m_objectBase = lvwData->text(item);
            m_currentDataType = m_listDataType;
            if (m_listDataType == tbDataStoredProc)
                sql = m_objectName;
            else
                sql = QStringLiteral("SELECT * \r\nFROM ") + m_objectName;
            queryName = m_folderPath + QStringLiteral(" : ") + lvwData->text(item);
        }
        const std::shared_ptr<db::Connection> cn = connectionSlot(m_currentRow);
        emit RunQuery(cn, sql, queryName, m_currentDataType, m_maxRecords, m_autoRun, m_showSQL, delimiter(),
                      browserSettings().Options);
        return true;
    });
}
