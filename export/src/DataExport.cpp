// The export control's window and its event handlers: the column grid, the destinations and their
// options, Go and Stop, Close. The export itself is in DataExportFlow.cpp.
#include "hlExport/DataExport.h"

#include "ControlProgress.h"
#include "Destinations.h"
#include "ExportJob.h"

#include "db/Recordset.h"
#include "grid/Grid.h"
#include "Faultdesk/hrErr.h"
#include "ui/FormButton.h"
#include "ui/EventLoop.h"
#include "ui/KeyedToolBar.h"
#include "ui/MousePointer.h"
#include "ui/Prompter.h"
#include "ui/StatusPanels.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <exception>

namespace {

constexpr int kName = 0;
constexpr int kSelected = 1;
constexpr int kMaxDelimiter = 3;

QIcon themeIcon(const char *name, const QString &fallback)
{
    const QIcon icon = QIcon::fromTheme(QLatin1String(name));
    return icon.isNull() ? ui::KeyedToolBar::generatedIcon(fallback) : icon;
}

QIcon goIcon()
{
    return themeIcon("media-playback-start", QStringLiteral("Go"));
}

QIcon stopIcon()
{
    return themeIcon("process-stop", QStringLiteral("Stop"));
}

// The delimiter box takes no key once it holds three characters, Backspace included, so that
// typing never makes the delimiter longer.
class DelimiterKeys : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::KeyPress) {
            auto *edit = qobject_cast<QLineEdit *>(watched);
            auto *key = static_cast<QKeyEvent *>(event);
            const bool typed = !key->text().isEmpty() && (key->text().at(0).isPrint() || key->key() == Qt::Key_Backspace);
            if (edit && typed && edit->text().size() == kMaxDelimiter)
                return true;
        }
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

DataExport::DataExport(QWidget *parent)
    : QWidget(parent)
    , m_progress(std::make_unique<hlexport::ControlProgress>(*this))
{
    setObjectName(QStringLiteral("DataExport"));
    createControls();
}

DataExport::~DataExport() = default;

void DataExport::createControls()
{
    tlbMain = new ui::KeyedToolBar(QStringLiteral("tlbMain"), this);
    tlbMain->setObjectName(QStringLiteral("tlbMain"));
    tlbMain->setMovable(false);
    tlbMain->setFloatable(false);
    tlbMain->setShowCaptions(false);
    tlbMain->addButton(QStringLiteral("Export"), QString(), QStringLiteral("Go"), ui::tbrDefault, goIcon());
    tlbMain->addButton(QStringLiteral("SelectAll"), QString(), QStringLiteral("Select all columns"), ui::tbrDefault,
                       themeIcon("edit-select-all", QStringLiteral("All")));
    tlbMain->addButton(QStringLiteral("DeSelectAll"), QString(), QStringLiteral("Deselect all columns"), ui::tbrDefault,
                       themeIcon("edit-clear", QStringLiteral("None")));

    fraColumns = new QGroupBox(QStringLiteral("Columns "), this);
    fraColumns->setObjectName(QStringLiteral("fraColumns"));
    grdColumns = new grid::Grid(fraColumns);
    grdColumns->setObjectName(QStringLiteral("grdColumns"));
    auto *columnsLayout = new QVBoxLayout(fraColumns);
    columnsLayout->addWidget(grdColumns);

    fraDestination = new QGroupBox(QStringLiteral("Destination"), this);
    fraDestination->setObjectName(QStringLiteral("fraDestination"));
    auto *destinationLayout = new QVBoxLayout(fraDestination);
    for (int i = 0; i < int(optDestination.size()); ++i) {
        auto *option = new QRadioButton(hlexport::destinationInfo(i).caption, fraDestination);
        option->setObjectName(QStringLiteral("optDestination%1").arg(i));
        optDestination[std::size_t(i)] = option;
        destinationLayout->addWidget(option);
        connect(option, &QRadioButton::clicked, this, [this, i] { optDestination_Click(i); });
    }
    chkExcelCols = new QCheckBox(QStringLiteral("Col headers as rows"), fraDestination);
    chkExcelCols->setObjectName(QStringLiteral("chkExcelCols"));
    destinationLayout->addWidget(chkExcelCols);

    fraOptions = new QGroupBox(QStringLiteral("Options"), this);
    fraOptions->setObjectName(QStringLiteral("fraOptions"));
    chkEMail = new QCheckBox(QStringLiteral("EMail file"), fraOptions);
    chkEMail->setObjectName(QStringLiteral("chkEMail"));
    cboDelimiter = new QComboBox(fraOptions);
    cboDelimiter->setObjectName(QStringLiteral("cboDelimiter"));
    cboDelimiter->setEditable(true);
    cboDelimiter->setInsertPolicy(QComboBox::NoInsert);
    cboDelimiter->lineEdit()->installEventFilter(new DelimiterKeys(cboDelimiter));
    auto *lblDelimiter = new QLabel(QStringLiteral("Delimiter"), fraOptions);
    lblDelimiter->setBuddy(cboDelimiter);
    chkHeaders = new QCheckBox(QStringLiteral("Include Column Headers"), fraOptions);
    chkHeaders->setObjectName(QStringLiteral("chkHeaders"));
    chkPreview = new QCheckBox(QStringLiteral("View file"), fraOptions);
    chkPreview->setObjectName(QStringLiteral("chkPreview"));
    auto *optionsLayout = new QGridLayout(fraOptions);
    optionsLayout->addWidget(chkEMail, 0, 0, 1, 2);
    optionsLayout->addWidget(lblDelimiter, 1, 0);
    optionsLayout->addWidget(cboDelimiter, 1, 1);
    optionsLayout->addWidget(chkHeaders, 2, 0, 1, 2);
    optionsLayout->addWidget(chkPreview, 3, 0, 1, 2);

    cmdSelect = ui::formButton(this, "cmdSelect", QStringLiteral("&Select All"), QStringLiteral("Select all columns for export"));
    cmdDeSelectAll = ui::formButton(this, "cmdDeSelectAll", QStringLiteral("&Deselect All"),
                                    QStringLiteral("Deselect all columns for export"));
    cmdOK = ui::formButton(this, "cmdOK", QStringLiteral("&Go"), QStringLiteral("Begin Export"));
    cmdCancel = ui::formButton(this, "cmdCancel", QStringLiteral("&Close"), QStringLiteral("Exit export"));

    staStatus = new ui::StatusPanels(1, this);
    staStatus->setObjectName(QStringLiteral("staStatus"));
    staStatus->setSizeGripEnabled(false);
    staStatus->Panels(1).setText(QStringLiteral("Ready"));

    auto *right = new QVBoxLayout;
    right->addWidget(fraDestination);
    right->addWidget(fraOptions);
    right->addStretch();
    auto *middle = new QHBoxLayout;
    middle->addWidget(fraColumns, 1);
    middle->addLayout(right);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(cmdSelect);
    buttons->addWidget(cmdDeSelectAll);
    buttons->addStretch();
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdCancel);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    layout->addWidget(tlbMain);
    auto *body = new QVBoxLayout;
    body->setContentsMargins(8, 4, 8, 4);
    body->addLayout(middle, 1);
    body->addLayout(buttons);
    layout->addLayout(body, 1);
    layout->addWidget(staStatus);

    // The window opens on the clipboard: headers on, no file to view or mail.
    optDestination[Clipboard]->setChecked(true);
    chkHeaders->setChecked(true);
    chkExcelCols->setEnabled(false);
    chkEMail->setEnabled(false);
    chkPreview->setEnabled(false);

    connect(tlbMain, &ui::KeyedToolBar::ButtonClick, this, &DataExport::tlbMain_ButtonClick);
    connect(cmdSelect, &QPushButton::clicked, this, [this] { Select_Cols(true); });
    connect(cmdDeSelectAll, &QPushButton::clicked, this, [this] { Select_Cols(false); });
    connect(cmdOK, &QPushButton::clicked, this, &DataExport::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &DataExport::cmdCancel_Click);
    connect(chkHeaders, &QCheckBox::clicked, this, [this] { m_blnIncludeHeaders = chkHeaders->isChecked(); });
    connect(chkExcelCols, &QCheckBox::clicked, this, [this] { m_blnHeadersAsRows = chkExcelCols->isChecked(); });
    connect(grdColumns, &grid::Grid::BeforeEdit, this, [this](int, int col, bool &cancel) {
        if (col != kSelected || m_blnExporting)
            cancel = true;
    });
    connect(ui::EscapeWatcher::instance(), &ui::EscapeWatcher::pressed, this, [this] {
        if (m_blnExporting)
            m_progress->escapePressed();
    });
}

// --- showing and hiding ---

void DataExport::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous())
        UserControl_Show();
}

void DataExport::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    if (!event->spontaneous())
        UserControl_Hide();
}

void DataExport::UserControl_Show()
{
    Get_Delimiters();
    Get_Columns();
    Select_Cols(true);
    // Every writer is part of this library, so every destination is there to be chosen.
    m_blnWord = hlexport::writerAvailable(MailMerge);
    m_blnAccess = hlexport::writerAvailable(DesktopDatabase);
    m_blnExcel = hlexport::writerAvailable(Spreadsheet);
    optDestination[DesktopDatabase]->setEnabled(m_blnAccess);
    optDestination[MailMerge]->setEnabled(m_blnWord);
    optDestination[Spreadsheet]->setEnabled(m_blnExcel);
}

void DataExport::UserControl_Hide()
{
    // An export still running keeps its rows until it has stopped; its end releases them.
    m_blnCancel = true;
    if (!m_blnExporting)
        m_rs.reset();
}

bool DataExport::requestClose()
{
    if (!m_blnExporting)
        return true;
    cmdCancel_Click();
    if (m_blnCancel)
        m_blnClosePending = true;
    return false;
}

// --- the column grid ---

bool DataExport::Get_Delimiters()
{
    return hlexport::trap(
        [&] {
            cboDelimiter->clear();
            cboDelimiter->addItems({QStringLiteral(","), QStringLiteral("<tab>"), QStringLiteral("@")});
            cboDelimiter->setCurrentIndex(0);
            return true;
        },
        [&](const QString &error) { logError(QStringLiteral("Get_Delimiters"), error); });
}

bool DataExport::Get_Columns()
{
    return hlexport::trap(
        [&] {
            const std::shared_ptr<db::Recordset> rs = recordset();
            grdColumns->setRows(1);
            grdColumns->setCols(2);
            grdColumns->setFixedRows(1);
            grdColumns->setFixedCols(0);
            grdColumns->setTextMatrix(0, kName, QStringLiteral("Name"));
            grdColumns->setTextMatrix(0, kSelected, QStringLiteral("Selected"));
            grdColumns->setColDataType(kSelected, grid::flexDTBoolean);
            grdColumns->setSelectionMode(grid::flexSelectionFree);
            grdColumns->setEditable(grid::flexEDKbdMouse);
            const int fields = rs->FieldCount();
            grdColumns->setRows(fields + 1);
            for (int f = 0; f < fields; ++f)
                grdColumns->setTextMatrix(f + 1, kName, rs->Field(f).Name);
            grdColumns->AutoSize(kName, kSelected, false, 75);
            return true;
        },
        [&](const QString &error) { logError(QStringLiteral("Get_Columns"), error); });
}

bool DataExport::Select_Cols(bool blnSelect)
{
    return hlexport::trap(
        [&] {
            const QString text = blnSelect ? QStringLiteral("True") : QStringLiteral("False");
            for (int r = 1; r < grdColumns->Rows(); ++r)
                grdColumns->setTextMatrix(r, kSelected, text);
            return true;
        },
        [&](const QString &error) { logError(QStringLiteral("Select_Cols"), error); });
}

bool DataExport::fieldSelected(int gridRow) const
{
    return grdColumns->Cell(grid::flexcpChecked, gridRow, kSelected).toInt() == grid::flexChecked;
}

// --- destinations ---

void DataExport::optDestination_Click(int index)
{
    m_intDestination = index;
    chkHeaders->setEnabled(index == Clipboard || index == TextFile || index == Spreadsheet || index == Html);
    cboDelimiter->setEnabled(index == Clipboard || index == TextFile);
    chkPreview->setEnabled(index != Clipboard);
    chkEMail->setEnabled(chkPreview->isEnabled());
    chkExcelCols->setEnabled(index == Spreadsheet);
    const bool xml = index == Xml;
    if (xml)
        Select_Cols(true);
    grdColumns->setEditable(xml ? grid::flexEDNone : grid::flexEDKbdMouse);
    tlbMain->Buttons(QStringLiteral("SelectAll")).setEnabled(!xml);
    tlbMain->Buttons(QStringLiteral("DeSelectAll")).setEnabled(!xml);
}

// --- Go, Stop and Close ---

void DataExport::lockForm(bool locked)
{
    cmdOK->setText(locked ? QStringLiteral("&Stop") : QStringLiteral("&Go"));
    cmdOK->setToolTip(locked ? QStringLiteral("Stop export") : QStringLiteral("Begin export"));
    cmdSelect->setEnabled(!locked);
    cmdDeSelectAll->setEnabled(!locked);
    cmdCancel->setEnabled(!locked);
    fraDestination->setEnabled(!locked);
    fraOptions->setEnabled(!locked);
    const bool xml = m_intDestination == Xml;
    grdColumns->setEditable(locked || xml ? grid::flexEDNone : grid::flexEDKbdMouse);
    tlbMain->Buttons(QStringLiteral("SelectAll")).setEnabled(!locked && !xml);
    tlbMain->Buttons(QStringLiteral("DeSelectAll")).setEnabled(!locked && !xml);
    ui::ToolBarButton &go = tlbMain->Buttons(locked ? QStringLiteral("Export") : QStringLiteral("Cancel"));
    go.setKey(locked ? QStringLiteral("Cancel") : QStringLiteral("Export"));
    go.setImage(locked ? stopIcon() : goIcon());
    go.setToolTipText(locked ? QStringLiteral("Stop") : QStringLiteral("Go"));
}

void DataExport::cmdOK_Click()
{
    if (m_blnExporting) {
        cmdCancel_Click();
        return;
    }
    lockForm(true);
    if (Export_Data())
        afterExport();
    if (!m_blnExporting)
        lockForm(false);
    if (m_blnClosePending) {
        m_blnClosePending = false;
        emit closeRequested();
    }
}

void DataExport::tlbMain_ButtonClick(const QString &key)
{
    if (key.compare(QLatin1String("Export"), Qt::CaseInsensitive) == 0)
        cmdOK_Click();
    else if (key.compare(QLatin1String("Cancel"), Qt::CaseInsensitive) == 0)
        cmdCancel_Click();
    else if (key.compare(QLatin1String("SelectAll"), Qt::CaseInsensitive) == 0)
        Select_Cols(true);
    else if (key.compare(QLatin1String("DeSelectAll"), Qt::CaseInsensitive) == 0)
        Select_Cols(false);
}

void DataExport::cmdCancel_Click()
{
    if (!m_blnExporting) {
        emit Unload();
        return;
    }
    // A second Escape or Stop while the question is up asks nothing more.
    if (m_blnAsking)
        return;
    m_blnAsking = true;
    const ui::MsgResult answer = ui::Prompter::msgBox(QStringLiteral("Cancel Export?"), ui::MsgButtons::YesNo,
                                                      ui::MsgIcon::Question, QStringLiteral("Export Data"), this);
    m_blnAsking = false;
    m_blnCancel = answer == ui::MsgResult::Yes;
}

// --- helpers ---

void DataExport::setStatus(const QString &text)
{
    staStatus->Panels(1).setText(text);
    // Drawn now: the writers' steps come one after another without the event loop turning.
    staStatus->Panels(1).label()->repaint();
}

void DataExport::logError(const QString &procedure, const QString &description)
{
    ui::MousePointer::setDefault();
    if (!m_err)
        m_err = std::make_unique<hrErr>();
    m_err->Log_Error(procedure, description);
}

std::shared_ptr<db::Recordset> DataExport::recordset()
{
    if (!m_rs)
        m_rs = db::Recordset::create();
    return m_rs;
}

void DataExport::ExportName(const QString &name)
{
    m_strExportName = name;
}

void DataExport::TopRow(qint32 row)
{
    m_lngTopRow = row;
}

void DataExport::Data(const std::shared_ptr<db::Recordset> &recordset)
{
    hlexport::trap(
        [&] {
            m_rs.reset();
            if (!recordset || recordset->State() != db::adStateOpen) {
                m_rs = db::Recordset::create();
                return;
            }
            std::shared_ptr<db::Recordset> clone = recordset->Clone();
            // A clone starts without the filter and the order of its original; the rows exported
            // are the rows the user sees.
            if (!recordset->Filter().isEmpty())
                clone->setFilter(recordset->Filter());
            if (!recordset->Sort().isEmpty())
                clone->setSort(recordset->Sort());
            m_rs = std::move(clone);
        },
        [&] { m_rs = db::Recordset::create(); },
        [&](const QString &error) { logError(QStringLiteral("Data"), error); });
}
