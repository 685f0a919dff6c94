// The export flow: the settings taken when an export starts, the save dialog, the dispatcher
// Export_Data, the writers' members, viewing and mailing the written file.
#include "hlExport/DataExport.h"

#include "ControlProgress.h"
#include "Destinations.h"
#include "ExportJob.h"
#include "OfficeWriters.h"
#include "TextWriters.h"

#include "db/Recordset.h"
#include "grid/Grid.h"
#include "mail/MailSender.h"
#include "ui/CommonDialog.h"
#include "ui/DesktopOpener.h"
#include "ui/EventLoop.h"
#include "ui/Prompter.h"

#include <QClipboard>
#include <QComboBox>
#include <QCheckBox>
#include <QGuiApplication>

#include <exception>

namespace {

constexpr int kName = 0;
const QString kTitle = QStringLiteral("Export Data");

// Sets the control's exporting flag for one writer and puts it back as it was, so that a writer
// run by Export_Data does not end the export it is part of.
class ExportingMark {
public:
    explicit ExportingMark(bool &flag) : m_flag(flag), m_was(flag) { flag = true; }
    ~ExportingMark() { m_flag = m_was; }
    ExportingMark(const ExportingMark &) = delete;
    ExportingMark &operator=(const ExportingMark &) = delete;

private:
    bool &m_flag;
    bool m_was;
};

} // namespace

namespace hlexport {

void ControlProgress::start()
{
    // The first record gives the event loop its turn at once: the status shows the export has begun.
    m_clock.invalidate();
    m_escape = false;
    ui::EscapeWatcher::clear();
}

void ControlProgress::status(const QString &text)
{
    m_control.setStatus(text);
}

bool ControlProgress::record(std::size_t written)
{
    if (!m_clock.isValid() || m_clock.elapsed() >= 30)
        m_control.setStatus(QStringLiteral("Row ") + formatCount(written, true));
    return turn();
}

void ControlProgress::idle()
{
    if (!m_clock.isValid() || m_clock.elapsed() >= 30) {
        ui::yieldEventsNow();
        m_clock.start();
    }
}

bool ControlProgress::turn()
{
    if (!m_clock.isValid() || m_clock.elapsed() >= 30) {
        ui::yieldEventsNow();
        m_clock.start();
        if (ui::EscapeWatcher::escapePressed() || m_escape) {
            m_escape = false;
            m_control.cmdCancel_Click();
        }
    }
    return m_control.m_blnCancel;
}

} // namespace hlexport

// --- the settings of one export ---

bool DataExport::takeJob(hlexport::ExportJob &job)
{
    const std::shared_ptr<db::Recordset> rs = recordset();
    job = {};
    job.rs = rs;
    job.progress = m_progress.get();
    job.exportName = m_strExportName;
    job.includeHeaders = m_blnIncludeHeaders;
    job.headersAsRows = m_blnHeadersAsRows;
    job.fileName = m_strFileName;
    // The second item is the tab, whatever it shows.
    job.delimiter = cboDelimiter->currentIndex() == 1 && cboDelimiter->currentText() == cboDelimiter->itemText(1)
        ? QStringLiteral("\t")
        : cboDelimiter->currentText();
    const bool every = m_intDestination == Xml;
    for (int r = 1; r < grdColumns->Rows(); ++r) {
        const int field = r - 1;
        if (field >= rs->FieldCount())
            break;
        if (!every && !fieldSelected(r))
            continue;
        if (Allowed_DataType(field))
            job.columns.push_back({field, grdColumns->TextMatrix(r, kName)});
        else
            job.refused.push_back({field, grdColumns->TextMatrix(r, kName)});
    }
    return true;
}

bool DataExport::jobFor(hlexport::ExportJob &job, const QString &fileName)
{
    if (m_job)
        job = *m_job;
    else if (!takeJob(job))
        return false;
    job.fileName = fileName;
    return true;
}

bool DataExport::Allowed_DataType(qint32 lngCol)
{
    return hlexport::trap(
        [&] {
            return !hlexport::isRefusedType(recordset()->Field(lngCol).Type);
        },
        [&](const QString &error) { emit Faultdesk(QStringLiteral("Allowed_DataType"), error); });
}

bool DataExport::Get_FieldInfo(qint32 lngCol, qint32 &lngLength, qint32 &lngType)
{
    return hlexport::trap(
        [&] {
            const std::shared_ptr<db::Recordset> rs = recordset();
            if (rs->FieldCount() == 0) {
                lngType = 10;
                lngLength = 255;
                return true;
            }
            const hlexport::FieldMapping m = hlexport::fieldInfo(rs->Field(lngCol));
            lngType = m.type;
            lngLength = qint32(m.length);
            return true;
        },
        [&](const QString &error) { logError(QStringLiteral("Get_FieldLen"), error); });
}

// --- the save dialog ---

bool DataExport::Get_FileName(QString &strFileType, QString &strExt)
{
    return app::trapQuietly([&] {
        ui::FileDialogRequest request;
        request.title = QStringLiteral("Select Export file");
        request.fileName = QString(m_strExportName).remove(u' ') + u'.' + strExt;
        request.filter = strFileType + QStringLiteral(" (*.") + strExt + QStringLiteral(")|*.") + strExt
            + QStringLiteral("|All Files (*.*)|*.*");
        request.defaultExt = strExt;
        request.overwritePrompt = true;
        const std::optional<ui::FileChoice> choice = ui::CommonDialog::showSave(request, this);
        if (!choice)
            return false;
        m_strFileName = choice->fileName;
        return true;
    });
}

// --- the dispatcher ---

bool DataExport::Export_Data()
{
    // An export started while another runs (from the toolbar inside a yield) is refused.
    if (m_blnExporting)
        return false;
    m_blnExporting = true;
    m_blnCancel = false;
    m_progress->start();
    hlexport::ExportJob job;
    std::size_t rowsRead = 0;
    const bool done = hlexport::trap(
        [&] {
            const std::shared_ptr<db::Recordset> rs = recordset();
            rs->MoveFirst();
            takeJob(job);
            job.rowsRead = &rowsRead;
            m_job = &job;
            const int destination = m_intDestination;
            bool written = false;
            if (job.columns.empty() && destination != Xml) {
                ui::Prompter::msgBox(QStringLiteral("Nothing to export"), ui::MsgButtons::OK, ui::MsgIcon::Information,
                                     kTitle, this);
            } else if (destination == Clipboard) {
                m_strFileName = QStringLiteral("Clipboard");
                setStatus(QStringLiteral("Copying to Clipboard ..."));
                QGuiApplication::clipboard()->clear();
                written = exportClipboard();
            } else {
                const hlexport::DestinationInfo info = hlexport::destinationInfo(destination);
                QString fileType = info.fileType;
                QString extension = info.extension;
                if (Get_FileName(fileType, extension) && !m_strFileName.isEmpty()) {
                    job.fileName = m_strFileName;
                    ui::yieldEventsNow();
                    const QString description =
                        destination == TextFile ? cboDelimiter->currentText() + info.description : info.description;
                    setStatus(QStringLiteral("Exporting to ") + description + QStringLiteral(" ..."));
                    // A writer that completed counts, also when the result had no rows to write.
                    m_blnWriterDone = false;
                    switch (destination) {
                    case TextFile: written = exportTextFile(job); break;
                    case Spreadsheet: Export_Excel(job.fileName); written = m_blnWriterDone; break;
                    case MailMerge: Export_Word(job.fileName); written = m_blnWriterDone; break;
                    case DesktopDatabase: Export_Access(); written = m_blnWriterDone; break;
                    case Html: {
                        QString file = job.fileName;
                        Export_HTML(file);
                        written = m_blnWriterDone;
                        break;
                    }
                    case Xml: written = exportXml(job); break;
                    default: break;
                    }
                }
            }
            if (!written)
                return false;
            setStatus(QStringLiteral("Finished!"));
            // A result read through a cursor of the export's own is not fetched again to be counted.
            const std::size_t rows = rs->isComplete() ? std::size_t(rs->RecordCount()) : rowsRead;
            ui::Prompter::msgBox(QStringLiteral("Successfully exported ") + hlexport::formatCount(rows, false)
                                     + QStringLiteral(" rows to ") + QChar(13) + m_strFileName,
                                 ui::MsgButtons::OK, ui::MsgIcon::Information, kTitle, this);
            return true;
        },
        [&](const QString &error) { logError(QStringLiteral("Export_Data"), error); });
    m_job = nullptr;
    m_blnExporting = false;
    setStatus(QStringLiteral("Ready"));
    m_blnCancel = false;
    if (isHidden())
        m_rs.reset();
    return done;
}

bool DataExport::exportClipboard()
{
    qint32 exported = 0;
    QString text;
    if (!Get_Rows(exported, text))
        return false;
    if (!text.isEmpty())
        QGuiApplication::clipboard()->setText(text);
    return true;
}

bool DataExport::Get_Rows(qint32 &lngExported, QString &strRows)
{
    const ExportingMark mark(m_blnExporting);
    std::size_t exported = std::size_t(std::max(lngExported, 0));
    const bool ok = hlexport::trap(
        [&] {
            hlexport::ExportJob job;
            if (!jobFor(job, m_strFileName))
                return false;
            std::optional<QString> text = hlexport::collectDelimited(job, exported);
            if (!text)
                return false;
            strRows = std::move(*text);
            return true;
        },
        [&](const QString &error) { logError(QStringLiteral("Get_Rows"), error); });
    lngExported = qint32(exported);
    setStatus(QStringLiteral("Ready ..."));
    return ok;
}

bool DataExport::exportTextFile(hlexport::ExportJob &job)
{
    std::size_t exported = 0;
    const bool ok = hlexport::trap(
        [&] { return hlexport::writeDelimited(job, exported).outcome == hlexport::WriteResult::Done; },
        [&](const QString &error) { logError(QStringLiteral("Get_Rows"), error); });
    setStatus(QStringLiteral("Ready ..."));
    return ok;
}

bool DataExport::exportXml(hlexport::ExportJob &job)
{
    setStatus(QStringLiteral("Exporting to XML ..."));
    // Trapped by Export_Data: a failed save is that procedure's failure.
    return hlexport::writeXml(job).outcome == hlexport::WriteResult::Done;
}

bool DataExport::runWriter(const QString &procedure, const QString &fileName,
                           const std::function<bool(hlexport::ExportJob &)> &work)
{
    const ExportingMark mark(m_blnExporting);
    const bool done = hlexport::trap(
        [&] {
            hlexport::ExportJob job;
            return jobFor(job, fileName) && work(job);
        },
        [&](const QString &error) { logError(procedure, error); });
    m_blnWriterDone = done;
    setStatus(QStringLiteral("Ready ..."));
    return done;
}

qint32 DataExport::Export_HTML(QString &strFile)
{
    return runWriter(QStringLiteral("Export_HTML"), strFile, [](hlexport::ExportJob &job) {
        return hlexport::writeHtml(job).outcome == hlexport::WriteResult::Done;
    }) ? 1 : 0;
}

qint32 DataExport::Export_Excel(const QString &strFileName)
{
    qint32 result = 0;
    runWriter(QStringLiteral("Export_Excel"), strFileName, [&](hlexport::ExportJob &job) {
        const hlexport::WriteResult written = hlexport::writeXlsx(job);
        const QString title = QStringLiteral("Export to Excel");
        if (written.outcome == hlexport::WriteResult::LimitReached) {
            setStatus(QStringLiteral("Ready ..."));
            ui::Prompter::msgBox(written.message + QChar(13) + hlexport::formatCount(written.records, false)
                                     + QStringLiteral(" records were written to ") + job.fileName + u'.',
                                 ui::MsgButtons::OK, ui::MsgIcon::Information, title, this);
            return false;
        }
        if (written.outcome != hlexport::WriteResult::Done)
            return false;
        if (!written.message.isEmpty())
            ui::Prompter::msgBox(written.message, ui::MsgButtons::OK, ui::MsgIcon::Information, title, this);
        result = qint32(written.records + 1);
        return true;
    });
    return result;
}

qint32 DataExport::Export_Word(const QString &strFileName)
{
    qint32 result = 0;
    runWriter(QStringLiteral("Export_Word"), strFileName, [&](hlexport::ExportJob &job) {
        for (;;) {
            try {
                const hlexport::WriteResult written = hlexport::writeDocx(job);
                result = qint32(written.records);
                return written.outcome == hlexport::WriteResult::Done;
            } catch (const hlexport::TargetError &e) {
                // The file cannot be written (read-only, or its folder is): another one may be. The
                // reason is the target's own; nothing here knows the document to be open elsewhere.
                const ui::MsgResult answer = ui::Prompter::msgBox(
                    e.text() + QStringLiteral(".\nPlease select another document"), ui::MsgButtons::OKCancel,
                    ui::MsgIcon::Critical, QStringLiteral("Mail merge"), this);
                QString fileType = QStringLiteral("Mail merge documents");
                QString extension = QStringLiteral("docx");
                if (answer != ui::MsgResult::OK || !Get_FileName(fileType, extension))
                    return false;
                job.fileName = m_strFileName;
            }
        }
    });
    return m_blnWriterDone ? result : 0;
}

QVariant DataExport::Export_Access()
{
    QVariant result;
    runWriter(QStringLiteral("Export_Access"), m_strFileName, [&](hlexport::ExportJob &job) {
        if (job.columns.empty())
            return false;
        const hlexport::WriteResult written = hlexport::writeSqlite(job);
        if (written.outcome != hlexport::WriteResult::Done)
            return false;
        result = qlonglong(written.records);
        return true;
    });
    return result;
}

// --- after a completed export ---

void DataExport::afterExport()
{
    if (m_intDestination == Clipboard)
        return;
    if (chkPreview->isChecked()) {
        setStatus(QStringLiteral("Viewing file ..."));
        const ui::OpenResult opened = ui::DesktopOpener::openFile(m_strFileName);
        if (!opened.ok)
            logError(QStringLiteral("View file"), opened.error);
        setStatus(QStringLiteral("Ready ..."));
    }
    if (chkEMail->isChecked()) {
        setStatus(QStringLiteral("E-Mailing file ..."));
        EMail_Data();
        setStatus(QStringLiteral("Ready ..."));
    }
}

bool DataExport::EMail_Data()
{
    return hlexport::trap(
        [&] {
            mail::MailMessage message;
            message.subject = QStringLiteral("Data Export");
            message.attachments = {m_strFileName};
            message.body = m_strExportName;
            const mail::MailResult sent = mail::MailSender::instance().send(message);
            if (sent.noMailProgram) {
                ui::Prompter::msgBox(sent.error, ui::MsgButtons::OK, ui::MsgIcon::Exclamation, kTitle, this);
                return false;
            }
            if (!sent.ok) {
                logError(QStringLiteral("EMail_Data"),
                         sent.error.isEmpty() ? QStringLiteral("The mail program did not take the message.") : sent.error);
                return false;
            }
            return true;
        },
        [&](const QString &error) { logError(QStringLiteral("EMail_Data"), error); });
}
