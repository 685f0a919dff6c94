// SQL scripts and XML documents: opening a query from a file, saving the current view's SQL, the
// save dialog's proposal and the recent-files list of the "Open" button.
#include "hlTabulon/hlTabulon.h"

#include "core/ControlSupport.h"
#include "core/QueryRunner.h"
#include "hlTabulon/Options.h"

#include "files/AtomicFile.h"
#include "settings/IniFile.h"
#include "settings/SettingsStore.h"
#include "ui/CommonDialog.h"
#include "ui/KeyedToolBar.h"
#include "ui/Prompter.h"

#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QStringDecoder>

#include <stdexcept>

using analysis::options;

namespace {

const QString kGeneral = QStringLiteral("General");
const QString kRecentKey = QStringLiteral("Recent Files");

// A file past this size is far more than a query; the SQL box takes seconds a megabyte to lay it
// out (far more for one long line), so the user is asked first.
constexpr qint64 kLargeScript = 1024 * 1024;

// The text of a script: what its byte-order mark says (UTF-8, UTF-16 or UTF-32, the mark dropped;
// a file that is not what its mark says is refused), else UTF-8, else Windows-1252 when the bytes
// are not valid UTF-8 (files from older tools). Line
// ends become the box's own. A file holding NULs or other control characters is no script, and
// nothing of it is taken.
QString readText(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error(QStringLiteral("Cannot open '%1': %2").arg(path, file.errorString()).toStdString());
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw std::runtime_error(QStringLiteral("Cannot read '%1': %2").arg(path, file.errorString()).toStdString());
    const std::optional<QStringConverter::Encoding> marked = QStringConverter::encodingForData(bytes);
    QStringDecoder decoder(marked.value_or(QStringConverter::Utf8));
    QString text = decoder.decode(bytes);
    if (decoder.hasError()) {
        if (marked)
            throw std::runtime_error(QStringLiteral("'%1' is not valid %2 text, as its byte-order mark says; "
                                                    "nothing was loaded.")
                                         .arg(path, QString::fromLatin1(QStringConverter::nameForEncoding(*marked)))
                                         .toStdString());
        text = settings::IniFile::fromWindows1252(bytes);
    }
    for (const QChar c : std::as_const(text)) {
        const char16_t u = c.unicode();
        if (u < 0x20 && u != u'\t' && u != u'\n' && u != u'\r' && u != u'\f' && u != u'\v')
            throw std::runtime_error(QStringLiteral("'%1' is not a text file (it holds %2 characters); nothing was "
                                                    "loaded.")
                                         .arg(path, u == 0 ? QStringLiteral("NUL") : QStringLiteral("control"))
                                         .toStdString());
    }
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    return text;
}

// CR LF line ends, and one after the last line unless the text already ends with one: a file
// opened and saved again stays as it was.
void writeText(const QString &path, QString text)
{
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    if (!text.endsWith(u'\n'))
        text += u'\n';
    text.replace(QLatin1String("\n"), QLatin1String("\r\n"));
    if (const auto error = files::saveFile(path, text.toUtf8()))
        throw std::runtime_error(error->toStdString());
}

QString recentKey(int index)
{
    return kRecentKey + QString::number(index);
}

} // namespace

bool hlTabulon::Open_SQL(const QString &strFile)
{
    QString fileName;
    try {
        if (strFile.isEmpty()) {
            ui::FileDialogRequest request;
            request.title = QStringLiteral("Open SQL Script\\XML Document");
            request.filter = QStringLiteral("SQL Script (*.sql)|*.sql|XML Document (*.xml)|*.xml|All Files (*.*)|*.*");
            request.fileName = QStringLiteral("*.sql");
            request.fileMustExist = true;
            const std::optional<ui::FileChoice> choice = ui::CommonDialog::showOpen(request, this);
            if (!choice)
                return false;
            fileName = choice->fileName;
        } else {
            fileName = strFile.trimmed();
        }
        if (fileName.isEmpty())
            return false;
    } catch (...) {
        return false;
    }

    return trap(QStringLiteral("Open_SQL"), [&] {
        const qint64 size = QFileInfo(fileName).size();
        if (size > kLargeScript
            && ui::Prompter::msgBox(QStringLiteral("'%1' is %2 MB, far more than a query usually holds; the SQL box "
                                                   "may take a long time to show it. Open it anyway?")
                                        .arg(fileName)
                                        .arg(double(size) / (1024 * 1024), 0, 'f', 1),
                                    ui::MsgButtons::YesNo, ui::MsgIcon::Question, QStringLiteral("Open SQL"), this)
                   != ui::MsgResult::Yes)
            return false;
        const QString text = readText(fileName);
        txtResultsSQL->setPlainText(text);
        // Another query: the views' field lists and pickers are read again, whether or not the
        // SQL box is editable (its change handler clears this only when it is).
        m_query->setFieldsLoaded(false);
        if (fileName.right(3).toUpper() != QLatin1String("XML")) {
            setDataType(tbDataTable);
            m_query->setFileName(fileName);
            txtResultsSQL->setEnabled(true);
            txtResultsSQL->setFocus();
            Change_View(tbViewResults);
            Enable_DataButtons(true);
            txtResultsSQL->setEnabled(true);
        } else {
            // The document is the query's source: the results run opens the file itself.
            setDataType(tbDataXML);
            m_query->setFileName(fileName);
            setCommandEnabled(tlbMain, QStringLiteral("Results"), true);
            setCommandEnabled(tlbResults, QStringLiteral("Clear"), true);
            Change_View(tbViewResults);
        }
        emit QuerySelected(m_query->fileName());
        m_query->setStatement(txtResultsSQL->toPlainText());
        m_query->setFilter({});
        resetSortCols();
        Set_RecentFiles(m_query->fileName());
        return true;
    });
}

bool hlTabulon::Save_SQL(const QString &strFileName)
{
    // A file that could not be written is not the current file.
    const QString previous = m_query->fileName();
    const auto undo = [&] { m_query->setFileName(previous); };
    return trap(QStringLiteral("Save_SQL"), [&] {
        if (!strFileName.isEmpty()) {
            m_query->setFileName(strFileName);
        } else {
            QString kind;
            switch (m_intView) {
            case tbViewChart: kind = QStringLiteral("Chart SQL"); break;
            case tbViewSummary: kind = QStringLiteral("Summary SQL"); break;
            case tbViewXTab: kind = QStringLiteral("XTab SQL"); break;
            case tbViewResults:
            default: kind = QStringLiteral("Results SQL"); break;
            }
            if (!Get_SaveFileName(kind))
                return false;
        }
        writeText(m_query->fileName(), sqlBox(m_intView)->toPlainText());
        if (m_intView != tbViewResults) {
            ui::Prompter::msgBox(QStringLiteral("Successfully saved ") + m_query->fileName(), ui::MsgButtons::OK,
                                 ui::MsgIcon::Information, QStringLiteral("Save SQL"), this);
        }
        Set_RecentFiles(m_query->fileName());
        emit QuerySelected(m_query->fileName());
        return true;
    }, undo);
}

bool hlTabulon::Get_SaveFileName(QString &strKind)
{
    try {
        const bool xml = m_intView == tbViewResults && dataType() == tbDataXML;
        QString extension = xml ? QStringLiteral("xml") : QStringLiteral("sql");
        const QString typeName = xml ? QStringLiteral("XML Document") : QStringLiteral("SQL Script");
        QString suffix;
        switch (m_intView) {
        case tbViewChart: suffix = QStringLiteral("Chart"); break;
        case tbViewSummary: suffix = QStringLiteral("Summary"); break;
        case tbViewXTab: suffix = QStringLiteral("X-Tab"); break;
        case tbViewResults:
        default: break;
        }
        const QString proposal = m_query->saveProposal(suffix, extension);

        ui::FileDialogRequest request;
        request.title = xml ? QStringLiteral("Save XML document") : QStringLiteral("Save ") + strKind;
        request.filter = typeName + QStringLiteral(" (*.") + extension + QStringLiteral(")|*.") + extension
                         + QStringLiteral("|All Files (*.*)|*.*");
        request.fileName = proposal;
        // A name typed without an extension gets the kind's own, or the Open dialog, which lists
        // that kind, would not show the file just saved.
        request.defaultExt = extension;
        request.overwritePrompt = true;
        const std::optional<ui::FileChoice> choice = ui::CommonDialog::showSave(request, this);
        if (!choice || choice->fileName.isEmpty())
            return false;
        m_query->setFileName(choice->fileName);
        return true;
    } catch (...) {
        return false;
    }
}

bool hlTabulon::Set_RecentFiles(const QString &strNewName)
{
    return trap(QStringLiteral("Set_RecentFiles"), [&] {
        const int capacity = std::clamp(options().RecentFiles, 0, analysis::MaxRecentFiles);
        settings::SettingsStore &store = settings::SettingsStore::instance();
        const QString app = analysis::settingsApplication();

        // The store is the list's home: another query window may have changed it meanwhile.
        QStringList entries;
        for (int i = 1; i <= capacity; ++i)
            entries << store.GetSetting(app, kGeneral, recentKey(i));

        if (!strNewName.isEmpty() && capacity >= 1 && !entries.contains(strNewName)) {
            entries.removeLast();
            entries.prepend(strNewName);
        }
        m_strRecentFiles = entries;

        ui::ToolBarButton &button = tlbResults->Buttons(QStringLiteral("Open"));
        button.setStyle(capacity >= 1 && !entries.value(0).isEmpty() ? ui::tbrDropdown : ui::tbrDefault);
        ui::ButtonMenuList &menu = button.ButtonMenus();
        menu.Clear();
        for (int i = 1; i <= capacity; ++i) {
            const QString &entry = entries.at(i - 1);
            if (entry.isEmpty())
                break;
            // The caption shows the path; the path itself travels as the entry's data, so an "&"
            // in it is neither a shortcut nor lost.
            QString shown = entry;
            shown.replace(QLatin1String("&"), QLatin1String("&&"));
            ui::ButtonMenu &item =
                menu.Add(u'&' + QString::number(i) + u' ' + shown, QStringLiteral("RecentFile") + QString::number(i));
            item.action()->setData(entry);
            if (!store.SaveSetting(app, kGeneral, recentKey(i), entry))
                throw std::runtime_error(store.lastError().toStdString());
        }
        return true;
    });
}
