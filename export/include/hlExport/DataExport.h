#pragma once

#include <tabulon/hlExportExport.h>

#include <QString>
#include <QVariant>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QPushButton;
class QRadioButton;
class hrErr;

namespace db {
class Recordset;
}
namespace grid {
class Grid;
}
namespace ui {
class KeyedToolBar;
class StatusPanels;
} // namespace ui
namespace hlexport {
struct ExportJob;
class ControlProgress;
} // namespace hlexport

// The export control: writes a recordset to the clipboard, a delimited text file, a spreadsheet
// workbook, a mail-merge document, a desktop database, an HTML page or an XML document. The host
// gives it a name, a top row and the recordset (the three write-only members below), shows it,
// and closes it when it raises Unload. Every method traps its own failures: it reports them
// through the control's error object under its own name and answers false (or 0).
//
// Files are written under a temporary name and renamed when complete, so a failed or stopped
// export never leaves a half file under the chosen name, and an existing file stays whole.
class HLEXPORT_EXPORT DataExport : public QWidget {
    Q_OBJECT
    Q_CLASSINFO("DispId:ExportName", "0x6803001C")
    Q_CLASSINFO("DispId:Data", "0x6803001B")
    Q_CLASSINFO("DispId:TopRow", "0x6803001A")
    Q_CLASSINFO("EventDispId:Unload", "1")
    Q_CLASSINFO("EventDispId:Faultdesk", "2")

public:
    // The destinations, in the order of their option buttons.
    enum Destination : int {
        Clipboard = 0,
        TextFile = 1,
        Spreadsheet = 2,
        MailMerge = 3,
        DesktopDatabase = 4,
        Html = 5,
        Xml = 6,
    };

    explicit DataExport(QWidget *parent = nullptr);
    ~DataExport() override;

    // --- the interface, in its order ---
    Q_INVOKABLE bool EMail_Data();
    // The records written; an invalid QVariant when stopped, when nothing qualified or on a failure.
    Q_INVOKABLE QVariant Export_Access();
    Q_INVOKABLE bool Allowed_DataType(qint32 lngCol);
    // The records written plus one; 0 when stopped, failed or cut short by the sheet's size.
    Q_INVOKABLE qint32 Export_Excel(const QString &strFileName);
    // 1 when the page was completed; 0 when stopped or failed.
    qint32 Export_HTML(QString &strFile);
    Q_INVOKABLE bool Get_Columns();
    Q_INVOKABLE bool Get_Delimiters();
    bool Get_FieldInfo(qint32 lngCol, qint32 &lngLength, qint32 &lngType);
    Q_INVOKABLE bool Select_Cols(bool blnSelect = false);
    // The records written; 0 when stopped, given up or failed.
    Q_INVOKABLE qint32 Export_Word(const QString &strFileName);
    bool Get_FileName(QString &strFileType, QString &strExt);
    // The delimited lines of every record, collected in strRows (CR LF after each); lngExported
    // counts the records. False when stopped or failed.
    bool Get_Rows(qint32 &lngExported, QString &strRows);
    // Runs the chosen destination; true only when the export was completed.
    Q_INVOKABLE bool Export_Data();

    // --- write-only members for the host ---
    Q_INVOKABLE void ExportName(const QString &name);
    // Keeps a clone of the recordset (with its filter and sort, so the rows exported are the rows
    // shown); the given recordset itself is never moved.
    Q_INVOKABLE void Data(const std::shared_ptr<db::Recordset> &recordset);
    Q_INVOKABLE void TopRow(qint32 row);

    // --- for the host window ---
    bool isExporting() const { return m_blnExporting; }
    // The window wants to close: true when it may close now. While an export runs it asks
    // "Cancel Export?"; on Yes the export stops and closeRequested follows once it has ended.
    bool requestClose();

    // The destination chosen, and the file of the last export ("Clipboard" for the clipboard).
    Destination destination() const { return Destination(m_intDestination); }
    QString fileName() const { return m_strFileName; }

signals:
    void Unload();
    void Faultdesk(const QString &strSub, const QString &strDescription);
    // A close asked for during an export may happen now.
    void closeRequested();

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    friend class hlexport::ControlProgress;

    void createControls();
    void UserControl_Show();
    void UserControl_Hide();
    void optDestination_Click(int index);
    void cmdOK_Click();
    void cmdCancel_Click();
    void tlbMain_ButtonClick(const QString &key);
    void lockForm(bool locked);
    void afterExport();
    void setStatus(const QString &text);
    void logError(const QString &procedure, const QString &description);
    std::shared_ptr<db::Recordset> recordset();
    // The settings of one export, taken once when it starts.
    bool takeJob(hlexport::ExportJob &job);
    // The running export's settings, or new ones for a writer called on its own.
    bool jobFor(hlexport::ExportJob &job, const QString &fileName);
    bool fieldSelected(int gridRow) const;
    // Delimited text to the clipboard or a file (the two uses of Get_Rows).
    bool exportClipboard();
    bool exportTextFile(hlexport::ExportJob &job);
    bool exportXml(hlexport::ExportJob &job);
    // The frame the writer members share: the exporting flag, the running export's settings, the
    // trap that reports under the member's name, "Ready ..." at the end. `work` answers whether
    // the writer completed; so does the frame, and it keeps the answer in m_blnWriterDone.
    bool runWriter(const QString &procedure, const QString &fileName,
                   const std::function<bool(hlexport::ExportJob &)> &work);

    // --- child controls ---
    ui::KeyedToolBar *tlbMain = nullptr;
    QGroupBox *fraColumns = nullptr;
    grid::Grid *grdColumns = nullptr;
    QGroupBox *fraDestination = nullptr;
    std::array<QRadioButton *, 7> optDestination{};
    QCheckBox *chkExcelCols = nullptr;
    QGroupBox *fraOptions = nullptr;
    QCheckBox *chkEMail = nullptr;
    QComboBox *cboDelimiter = nullptr;
    QCheckBox *chkHeaders = nullptr;
    QCheckBox *chkPreview = nullptr;
    QPushButton *cmdSelect = nullptr;
    QPushButton *cmdDeSelectAll = nullptr;
    QPushButton *cmdOK = nullptr;
    QPushButton *cmdCancel = nullptr;
    ui::StatusPanels *staStatus = nullptr;

    // --- state ---
    std::shared_ptr<db::Recordset> m_rs;
    std::unique_ptr<hrErr> m_err;
    std::unique_ptr<hlexport::ControlProgress> m_progress;
    const hlexport::ExportJob *m_job = nullptr; // the running export's settings
    QString m_strExportName = QStringLiteral("Export");
    QString m_strFileName;
    QString m_strDelimiter;
    int m_intDestination = Clipboard;
    qint32 m_lngTopRow = 0;
    bool m_blnIncludeHeaders = true;
    bool m_blnHeadersAsRows = false;
    bool m_blnExporting = false;
    bool m_blnCancel = false;
    bool m_blnExcel = false;
    bool m_blnAccess = false;
    bool m_blnWord = false;
    bool m_blnClosePending = false;
    bool m_blnAsking = false;
    bool m_blnWriterDone = false;
};
