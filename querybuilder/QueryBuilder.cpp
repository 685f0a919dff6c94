// The query builder's interface: binding a recordset, setting up the toolbar and the filter
// grid, laying the control out, the toolbar commands and the error object.
#include "FilterGrid.h"
#include "Trap.h"

#include <hlQueryBuilder/clsQueryCol.h>

#include "app/AppInfo.h"
#include "db/Recordset.h"
#include "db/RowStore.h"
#include "db/Soundex.h"
#include "db/Types.h"
#include "grid/Grid.h"
#include "Faultdesk/hrErr.h"
#include "ui/KeyedToolBar.h"
#include "ui/Twips.h"

#include <QIcon>
#include <QResizeEvent>
#include <QShowEvent>
#include <QStyle>

using namespace querybuilder;

namespace {

struct ButtonSpec {
    const char *key;
    const char *caption; // shown while MenuText is on
    const char *toolTip;
    ui::ButtonStyle style;
    const char *icon; // freedesktop icon name; empty for our own
};

const ButtonSpec kButtons[] = {
    {"Apply", "Apply", "Apply Query", ui::tbrDefault, "system-run"},
    {"Print", "Print", "Print Query", ui::tbrDefault, "document-print"},
    {"New", "New", "New Query", ui::tbrDefault, "document-new"},
    {"Open", "Open", "Open Query", ui::tbrDefault, "document-open"},
    {"Save", "Save", "Save Query", ui::tbrDefault, "document-save"},
    {"Brackets", "Brackets", "Hide\\show brackets", ui::tbrCheck, ""},
    {"sepPopulate", "", "", ui::tbrSeparator, ""},
    {"Populate", "Lookup", "Populate with available values", ui::tbrDefault, "format-justify-fill"},
    {"Fields", "Fields", "Show Fields\\Values", ui::tbrCheck, "insert-link"},
};

const char *const kHeaders[QueryBuilder::ColumnCount] = {"(", "Column", "", "", "IS", "Comparison", "Value", ")", "AND\\OR", ""};

// The grid is 7000 twips wide when laid out; the control starts at that width.
constexpr int kGridWidthTwips = 7000;
constexpr int kStartHeightTwips = 2400;

} // namespace

QueryBuilder::QueryBuilder(QWidget *parent)
    : QWidget(parent)
    , m_numberValidator(std::make_unique<NumberValidator>())
{
    m_tlbMenu = new ui::KeyedToolBar(QStringLiteral("tlbMenu"), this);
    m_tlbMenu->setObjectName(QStringLiteral("tlbMenu"));
    buildToolBar();
    m_grdFilter = new grid::Grid(this);
    m_grdFilter->setObjectName(QStringLiteral("grdFilter"));
    m_grdFilter->setCols(ColumnCount);
    m_grdFilter->setFixedRows(1);
    m_grdFilter->setRows(2); // the header and one empty condition
    m_grdFilter->setAllowUserResizing(grid::flexResizeColumns);
    m_strColLists[colOpen] = kOpeningList;
    m_strColLists[colIs] = kIsList;
    m_strColLists[colComparison] = kComparisonList;
    m_strColLists[colClose] = kClosingList;
    m_strColLists[colOperator] = kOperatorList;
    connectGrid();
    connect(m_tlbMenu, &ui::KeyedToolBar::ButtonClick, this, [this](const QString &key) { tlbMenu_ButtonClick(key); });
    buildMenu();
    m_strFileExt = QStringLiteral("qry");
    Set_Filter();
    resize(sizeHint());
}

QueryBuilder::~QueryBuilder()
{
    // The children outlive this part of the object: an edit they end while being torn down must
    // not reach the handlers.
    m_grdFilter->disconnect(this);
    m_tlbMenu->disconnect(this);
}

QSize QueryBuilder::sizeHint() const
{
    return {ui::Twips::toPixelsX(kGridWidthTwips, this),
            ui::Twips::toPixelsY(kStartHeightTwips, this) + m_tlbMenu->sizeHint().height()};
}

QCalendarWidget *QueryBuilder::mtvDate() const
{
    return m_grdFilter->datePicker();
}

void QueryBuilder::buildToolBar()
{
    for (const ButtonSpec &b : kButtons) {
        if (b.style == ui::tbrSeparator) {
            m_tlbMenu->addSeparatorButton(QString::fromLatin1(b.key));
            continue;
        }
        const QString caption = QString::fromLatin1(b.caption);
        const QIcon fallback = ui::KeyedToolBar::generatedIcon(QString::fromLatin1(b.key) == QLatin1String("Brackets")
                                                                   ? QStringLiteral("(")
                                                                   : caption);
        const QIcon icon = *b.icon ? QIcon::fromTheme(QString::fromLatin1(b.icon), fallback) : fallback;
        m_tlbMenu->addButton(QString::fromLatin1(b.key), caption, QString::fromLatin1(b.toolTip), b.style, icon);
    }
    m_tlbMenu->setMovable(false);
    m_tlbMenu->setFloatable(false);
}

// ---------------------------------------------------------------- interface

bool QueryBuilder::Init()
{
    return trap("Init", [&] {
        if (!Init_Err())
            return false;
        if (m_strDateFormat.isEmpty())
            m_strDateFormat = QStringLiteral("dd/mm/yyyy");
        setButtonEnabled(QStringLiteral("Populate"), false);
        setButtonEnabled(QStringLiteral("Fields"), false);
        for (const char *key : {"sepPopulate", "Populate", "Fields"})
            m_tlbMenu->Buttons(QString::fromLatin1(key)).setVisible(!m_blnUseSP);
        m_tlbMenu->show();
        if (!Set_Filter())
            return false;
        Set_ToolTips();
        Set_MenuText();
        m_strFileExt = QStringLiteral("qry");
        UserControl_Resize();
        return true;
    });
}

bool QueryBuilder::Init_Err()
{
    return trap("Init_Err", [&] {
        if (!m_err)
            m_err = std::make_unique<hrErr>();
        m_err->CallingApp(app::appInfo(QStringLiteral("hlQueryBuilder")));
        m_err->EMailAddress(app::reportAddress());
        m_err->EMailSubject(QStringLiteral("Query Builder Error"));
    });
}

bool QueryBuilder::Set_ToolTips()
{
    return trap("Set_ToolTips", [&] {
        m_strToolTips = {QStringLiteral("Opening parenthesis"),
                         QStringLiteral("Choose a field"),
                         QString(),
                         QString(),
                         QStringLiteral("Is\\Is Not"),
                         QStringLiteral("Choose a comparison"),
                         QStringLiteral("Enter\\choose a value"),
                         QStringLiteral("Closing parenthesis"),
                         QStringLiteral("Choose an operator"),
                         QString()};
    });
}

bool QueryBuilder::Set_MenuText()
{
    return trap("Set_MenuText", [&] {
        for (const ButtonSpec &b : kButtons)
            m_tlbMenu->Buttons(QString::fromLatin1(b.key))
                .setCaption(m_blnMenuText ? QString::fromLatin1(b.caption) : QString());
        m_tlbMenu->setShowCaptions(m_blnMenuText);
        m_tlbMenu->setToolButtonStyle(m_blnMenuText ? Qt::ToolButtonTextUnderIcon : Qt::ToolButtonIconOnly);
        UserControl_Resize();
    });
}

int QueryBuilder::Get_DataType(int lngColType) const
{
    switch (lngColType) {
    case db::adSmallInt:
    case db::adInteger:
    case db::adSingle:
    case db::adDouble:
    case db::adCurrency:
    case db::adDecimal:
    case db::adTinyInt:
    case db::adUnsignedTinyInt:
    case 18: // unsigned small integer
    case 19: // unsigned integer
    case db::adBigInt:
    case 21: // unsigned big integer
    case db::adNumeric:
        return dtNumeric;
    case db::adBoolean:
        return dtBoolean;
    default:
        return dtString;
    }
}

bool QueryBuilder::Allowed_DataType(int lngType)
{
    return lngType != db::adLongVarWChar && lngType != db::adVarBinary && lngType != db::adLongVarBinary;
}

int QueryBuilder::Check_AlphaKey(int iKeyAscii) const
{
    const int k = iKeyAscii;
    if (k == 13)
        return -1;
    if (k == 8 || k == 32 || k == 39 || k == 96 || (k >= '0' && k <= '9') || (k >= 'A' && k <= 'Z')
        || (k >= 'a' && k <= 'z'))
        return k;
    return 0;
}

int QueryBuilder::Check_NumberKey(int iKeyAscii) const
{
    const int k = iKeyAscii;
    if (k == 13)
        return -1;
    if (k == 8 || k == '.' || k == '-' || (k >= '0' && k <= '9'))
        return k;
    const QString mark = QLocale().decimalPoint();
    if (mark.size() == 1 && mark.at(0).unicode() == k)
        return k;
    return 0;
}

QString QueryBuilder::SoundEx(const QString &WordString, int SoundExLen)
{
    return SoundEx(WordString, &SoundExLen);
}

QString QueryBuilder::SoundEx(const QString &WordString, int *SoundExLen)
{
    QString code;
    trap("SoundEx", [&] {
        const int length = db::soundexLength(SoundExLen ? *SoundExLen : 4);
        if (SoundExLen)
            *SoundExLen = length - 1;
        code = db::soundex(WordString, length);
    });
    return code;
}

bool QueryBuilder::FilterEmpty() const
{
    return m_grdFilter->Rows() <= m_grdFilter->FixedRows() || m_grdFilter->TextMatrix(1, colField).isEmpty();
}

bool QueryBuilder::isChanged() const
{
    return m_tlbMenu->Buttons(QStringLiteral("Save")).Enabled();
}

// ---------------------------------------------------------------- binding

void QueryBuilder::rsData(const std::shared_ptr<db::Recordset> &recordset)
{
    trap("Property Set rsData", [&] {
        m_rsData.reset();
        m_strFieldList = QStringLiteral(" |");
        m_fields.clear();
        m_listedOrdinals.clear();
        m_strSource.clear();
        if (!recordset)
            return;
        // The fields alone, kept apart: the host closes its recordset when it reads the fields
        // again (for its views) while the conditions still name them.
        std::vector<db::FieldInfo> infos;
        for (int i = 0; i < recordset->FieldCount(); ++i)
            infos.push_back(recordset->Field(i));
        m_rsData = db::Recordset::fromStore(std::make_shared<db::RowStore>(std::move(infos)), recordset->Source());
        const int n = recordset->FieldCount();
        m_fields.resize(std::size_t(n));
        for (int i = 0; i < n; ++i) {
            const db::FieldInfo &f = recordset->Field(i);
            if (!Allowed_DataType(f.Type) || f.Name.isEmpty())
                continue;
            m_strFieldList += f.Name + QLatin1Char('|');
            // A "|" inside a name splits its entry in the grid's list: each piece stands for it.
            for (qsizetype piece = 0, pieces = f.Name.count(QLatin1Char('|')) + 1; piece < pieces; ++piece)
                m_listedOrdinals.push_back(i);
            FieldEntry &entry = m_fields[std::size_t(i)];
            entry.listed = true;
            entry.type = f.Type;
            // Only character fields limit what is typed: a date, a Boolean or a number is checked
            // by its own rule, and 0 (an unbounded text) means no limit.
            entry.limit = db::isTextType(f.Type) && f.DefinedSize > 0 ? int(f.DefinedSize) : 0;
        }
        QString source = recordset->Source().toUpper();
        const qsizetype from = source.indexOf(QLatin1String("FROM "));
        if (from >= 0)
            source = source.mid(from + 5);
        const qsizetype orderBy = source.indexOf(QLatin1String("ORDER BY "));
        if (orderBy >= 0)
            source = source.left(orderBy);
        m_strSource = source;
        m_grdFilter->setColComboList(colField, gridFieldList());
        // A row keeps its field by name: the same ordinal may be another field of this result. A
        // row whose field is gone keeps its text but no ordinal, so it filters nothing.
        grid::Grid &g = *m_grdFilter;
        g.FinishEditing(false);
        for (int row = g.FixedRows(); row < g.Rows(); ++row) {
            if (g.TextMatrix(row, colOrdinal).isEmpty())
                continue;
            const int ordinal = listedOrdinalByName(g.TextMatrix(row, colField));
            g.setTextMatrix(row, colOrdinal, ordinal < 0 ? QString() : QString::number(ordinal));
            if (ordinal >= 0)
                fixedLookUp(ordinal);
        }
    });
}

clsQueryCol *QueryBuilder::QueryCol(int ordinal)
{
    if (ordinal < 0 || std::size_t(ordinal) >= m_fields.size())
        return nullptr;
    FieldEntry &entry = m_fields[std::size_t(ordinal)];
    if (!entry.lookUp)
        entry.lookUp = std::make_unique<clsQueryCol>();
    return entry.lookUp.get();
}

QString QueryBuilder::gridFieldList() const
{
    // The stored list ends with "|"; the grid would show that as one more, empty entry.
    QString list = m_strFieldList;
    if (list.endsWith(QLatin1Char('|')))
        list.chop(1);
    return list;
}

int QueryBuilder::listedOrdinal(int comboIndex) const
{
    const int i = comboIndex - 1; // entry 0 is the blank
    return i >= 0 && std::size_t(i) < m_listedOrdinals.size() ? m_listedOrdinals[std::size_t(i)] : -1;
}

int QueryBuilder::listedOrdinalByName(const QString &name) const
{
    if (!m_rsData || name.isEmpty())
        return -1;
    int caseless = -1;
    for (std::size_t i = 0; i < m_fields.size(); ++i) {
        if (!m_fields[i].listed)
            continue;
        const QString &fieldName = m_rsData->Field(int(i)).Name;
        if (fieldName == name)
            return int(i);
        if (caseless < 0 && fieldName.compare(name, Qt::CaseInsensitive) == 0)
            caseless = int(i);
    }
    return caseless;
}

int QueryBuilder::ordinalOf(int row) const
{
    bool ok = false;
    const int ordinal = m_grdFilter->TextMatrix(row, colOrdinal).trimmed().toInt(&ok);
    if (!ok || ordinal < 0 || std::size_t(ordinal) >= m_fields.size() || !m_fields[std::size_t(ordinal)].listed)
        return -1;
    return ordinal;
}

int QueryBuilder::fieldClass(int row) const
{
    const int ordinal = ordinalOf(row);
    return ordinal < 0 ? dtString : Get_DataType(m_fields[std::size_t(ordinal)].type);
}

// ---------------------------------------------------------------- layout

bool QueryBuilder::Set_Filter()
{
    return trap("Set_Filter", [&] {
        grid::Grid &g = *m_grdFilter;
        if (g.Cols() != ColumnCount)
            g.setCols(ColumnCount);
        g.setEditable(grid::flexEDKbdMouse);
        g.setVisible(true);
        for (int c = 0; c < ColumnCount; ++c)
            g.setTextMatrix(0, c, QString::fromLatin1(kHeaders[c]));
        for (int c : {colOrdinal, colSpare, colIsField})
            g.setColHidden(c, true);
        // The bracket columns follow the Brackets button, also when the grid is laid out again.
        g.setColHidden(colOpen, !bracketsShown());
        g.setColHidden(colClose, !bracketsShown());
        for (int c : {colOpen, colIs, colComparison, colClose, colOperator})
            g.setColComboList(c, m_strColLists[std::size_t(c)]);
        g.setColComboList(colField, gridFieldList());
        // Only the first lay-out starts unchanged: a later Init (each show of the host window)
        // must not make unsaved conditions look saved.
        if (!m_blnLaidOut)
            markChanged(false);
        m_blnLaidOut = true;
        fitColumns();
    });
}

void QueryBuilder::UserControl_Resize()
{
    // Layout failures leave the control as it was.
    app::trapQuietly([&] {
        const int barHeight = m_tlbMenu->isHidden() ? 0 : m_tlbMenu->sizeHint().height();
        m_tlbMenu->setGeometry(0, 0, width(), barHeight);
        m_grdFilter->setGeometry(0, barHeight, width(), std::max(0, height() - barHeight));
    });
}

void QueryBuilder::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous())
        Init();
}

void QueryBuilder::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    UserControl_Resize();
}

// Every column sized to its contents with 75 twips to spare, and room for the drop-down arrow
// of the list that edits it; the Value column keeps an inch for typing.
void QueryBuilder::fitColumns()
{
    grid::Grid &g = *m_grdFilter;
    const int arrow = int(ui::Twips::fromPixelsX(style()->pixelMetric(QStyle::PM_ScrollBarExtent), this));
    g.AutoSize(0, ColumnCount - 1, false, 75 + arrow);
    if (g.ColWidth(colValue) < ui::Twips::PerInch)
        g.setColWidth(colValue, ui::Twips::PerInch);
}

bool QueryBuilder::bracketsShown() const
{
    return buttonDown(QStringLiteral("Brackets"));
}

// ---------------------------------------------------------------- toolbar

void QueryBuilder::setButtonEnabled(const QString &key, bool enabled)
{
    m_tlbMenu->Buttons(key).setEnabled(enabled);
}

bool QueryBuilder::buttonDown(const QString &key) const
{
    return m_tlbMenu->Buttons(key).Value() == ui::tbrPressed;
}

void QueryBuilder::markChanged(bool changed)
{
    setButtonEnabled(QStringLiteral("Save"), changed);
}

void QueryBuilder::tlbMenu_ButtonClick(const QString &key)
{
    // Each command traps its own failures; the toolbar's handler reports none.
    app::trapQuietly([&] {
        if (key == QLatin1String("Apply")) {
            Force_GridUpdate();
            emit Apply();
        } else if (key == QLatin1String("Print")) {
            Print_Grid();
        } else if (key == QLatin1String("New")) {
            New_Filter(false);
        } else if (key == QLatin1String("Open")) {
            if (Load_Query())
                markChanged(false);
        } else if (key == QLatin1String("Save")) {
            Save_Query();
        } else if (key == QLatin1String("Brackets")) {
            Show_Brackets();
        } else if (key == QLatin1String("Populate")) {
            if (Populate_LookUp())
                m_grdFilter->EditCell();
        } else if (key == QLatin1String("Fields")) {
            commandFields();
        }
    });
}

bool QueryBuilder::Show_Brackets()
{
    return trap("Show_Brackets", [&] {
        m_grdFilter->setColHidden(colOpen, !bracketsShown());
        m_grdFilter->setColHidden(colClose, !bracketsShown());
        fitColumns();
    });
}

// The value of the current row switches between a literal and another field's name. A value
// that does not fit its new meaning is emptied: a literal left standing as a field name (or the
// reverse) would compare with something the user never chose.
void QueryBuilder::commandFields()
{
    grid::Grid &g = *m_grdFilter;
    g.HideDatePicker();
    Force_GridUpdate();
    const int row = g.Row();
    if (row < g.FixedRows() || ordinalOf(row) < 0)
        return;
    const bool isField = buttonDown(QStringLiteral("Fields"));
    g.setTextMatrix(row, colIsField, isField ? kTrue : kFalse);
    if (!valueFitsField(row, g.TextMatrix(row, colValue), isField, nullptr))
        g.setTextMatrix(row, colValue, QString());
    setButtonEnabled(QStringLiteral("Populate"), !isField && canPopulate(row));
    markChanged(true);
    g.EditCell();
}

// Ends any cell edit (storing its text), fits the columns and hides the date picker.
bool QueryBuilder::Force_GridUpdate()
{
    m_blnGridUpdate = true;
    const bool done = trap("Force_GridUpdate", [&] {
        m_grdFilter->FinishEditing(false);
        fitColumns();
        m_grdFilter->HideDatePicker();
    });
    m_blnGridUpdate = false;
    return done;
}

// ---------------------------------------------------------------- errors

void QueryBuilder::logError(const QString &procName, const QString &description)
{
    // Nothing is left to report a failing report through.
    app::trapQuietly([&] {
        if (!m_err) {
            m_err = std::make_unique<hrErr>();
            m_err->CallingApp(app::appInfo(QStringLiteral("hlQueryBuilder")));
        }
        m_err->Log_Error(procName, description);
    });
}
