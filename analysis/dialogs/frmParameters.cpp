#include "dialogs/frmParameters.h"

#include "hlTabulon/Options.h"

#include "db/Command.h"
#include "db/Types.h"
#include "db/ValueRules.h"
#include "dialogs/DialogTrap.h"
#include "grid/Grid.h"
#include "grid/GridView.h"
#include "settings/SettingsStore.h"
#include "ui/MousePointer.h"
#include "ui/Prompter.h"
#include "ui/Twips.h"

#include <QApplication>
#include <QCalendarWidget>
#include <QDateTime>
#include <QKeyEvent>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QTableView>

#include <stdexcept>

namespace {

enum Column { colName = 0, colType = 1, colValue = 2, colMaxLen = 3, colMaxScale = 4 };

const QString kSection = QStringLiteral("Parameters");
constexpr int kDesignWidth = 480;
constexpr int kDesignHeight = 300;

bool isFloatType(int t)
{
    return t == db::adSingle || t == db::adDouble;
}

// ISO first (what the calendar writes), then the user's own short and long forms, then day first.
std::optional<QDateTime> readDate(const QString &text)
{
    const QString t = text.trimmed();
    for (const QString &format : {QStringLiteral("yyyy-MM-dd"), QStringLiteral("yyyy-MM-dd HH:mm:ss"),
                                  QStringLiteral("yyyy-MM-ddTHH:mm:ss"), QStringLiteral("yyyy-MM-dd HH:mm"),
                                  QStringLiteral("dd/MM/yyyy")}) {
        const QDateTime d = QDateTime::fromString(t, format);
        if (d.isValid())
            return d;
    }
    const QLocale locale;
    for (QLocale::FormatType f : {QLocale::ShortFormat, QLocale::LongFormat}) {
        const QDate d = locale.toDate(t, f);
        if (d.isValid())
            return QDateTime(d, QTime(0, 0));
    }
    return std::nullopt;
}

// The spellings a flag is given in: the list's words, Yes/No and 1/0, in any case.
std::optional<bool> readBoolean(const QString &text)
{
    for (const char *yes : {"True", "Yes", "1"})
        if (text.compare(QLatin1String(yes), Qt::CaseInsensitive) == 0)
            return true;
    for (const char *no : {"False", "No", "0"})
        if (text.compare(QLatin1String(no), Qt::CaseInsensitive) == 0)
            return false;
    return std::nullopt;
}

} // namespace

frmParameters::frmParameters(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("frmParameters"));
    setWindowTitle(QStringLiteral("Parameters"));
    grdParameters = new grid::Grid(this);
    grdParameters->setObjectName(QStringLiteral("grdParameters"));
    grdParameters->move(8, 8);
    mtvDate = new QCalendarWidget(this);
    mtvDate->setObjectName(QStringLiteral("mtvDate"));
    mtvDate->hide();
    cmdClear = new QPushButton(QStringLiteral("C&lear"), this);
    cmdClear->setToolTip(QStringLiteral("Clear all parameter values"));
    cmdCancel = new QPushButton(QStringLiteral("&Cancel"), this);
    cmdCancel->setToolTip(QStringLiteral("Exit and cancel running stored procedure"));
    cmdOK = new QPushButton(QStringLiteral("&OK"), this);
    cmdOK->setToolTip(QStringLiteral("Save changes and continue"));
    cmdOK->setDefault(true);
    // Enter never wipes every value: on Clear it goes to OK, as everywhere else in the dialog.
    cmdClear->setAutoDefault(false);
    for (QPushButton *b : {cmdClear, cmdCancel, cmdOK})
        b->resize(80, 26);
    cmdClear->move(8, 0);

    connect(cmdOK, &QPushButton::clicked, this, &frmParameters::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, [this] {
        hideCalendar();
        reject();
    });
    connect(cmdClear, &QPushButton::clicked, this, &frmParameters::cmdClear_Click);
    connect(grdParameters, &grid::Grid::BeforeEdit, this, &frmParameters::beforeEdit);
    connect(grdParameters, &grid::Grid::KeyPressEdit, this, &frmParameters::keyPressEdit);
    connect(grdParameters, &grid::Grid::CellButtonClick, this, &frmParameters::cellButtonClick);
    connect(grdParameters, &grid::Grid::AfterEdit, this, [this] { fitColumns(); });
    connect(mtvDate, &QCalendarWidget::clicked, this, &frmParameters::dateClicked);
    // The calendar belongs to the cell it was opened for: it goes when the focus goes anywhere
    // else (another cell, the grid, a button) and when the grid is clicked.
    connect(qApp, &QApplication::focusChanged, mtvDate, [this](QWidget *, QWidget *now) {
        if (mtvDate->isVisible() && now && now != mtvDate && !mtvDate->isAncestorOf(now))
            mtvDate->hide();
    });
    connect(grdParameters, &grid::Grid::Click, mtvDate, [this] { hideCalendar(); });
    mtvDate->installEventFilter(this);
    for (QWidget *child : mtvDate->findChildren<QWidget *>())
        child->installEventFilter(this);
    resize(kDesignWidth, kDesignHeight);
}

frmParameters::~frmParameters() = default;

bool frmParameters::Init()
{
    return analysis::trap(QStringLiteral("Init"), [&] {
        settings::SettingsStore &store = settings::SettingsStore::instance();
        const auto w = settings::SettingsStore::toLong(
            store.GetSetting(analysis::settingsApplication(), kSection, QStringLiteral("Width"), QString()));
        const auto h = settings::SettingsStore::toLong(
            store.GetSetting(analysis::settingsApplication(), kSection, QStringLiteral("Height"), QString()));
        if (w && h && *w > 0 && *h > 0) {
            // A stored size never makes the window larger than the screen it opens on.
            QSize size(ui::Twips::toPixelsX(*w, this), ui::Twips::toPixelsY(*h, this));
            if (const QScreen *s = screen())
                size = size.boundedTo(s->availableGeometry().size());
            resize(size);
        }
        m_sizeRestored = true;

        grdParameters->setCols(5);
        grdParameters->setFixedCols(0);
        const char *heads[] = {"Name", "Type", "Value", "Max Len", "Max Scale"};
        for (int c = 0; c < 5; ++c)
            grdParameters->setTextMatrix(0, c, QLatin1String(heads[c]));
        grdParameters->setColHidden(colMaxLen, true);
        grdParameters->setColHidden(colMaxScale, true);
        grdParameters->setEditable(grid::flexEDKbdMouse);
        if (!Get_Parameters())
            return false;
        setWindowTitle(QStringLiteral("Parameters for ") + m_sps);
        m_cancelled = true;
        return true;
    });
}

QString frmParameters::Get_ParameterType(int row, int adoType)
{
    QString type = QStringLiteral("Unknown");
    analysis::trap(QStringLiteral("Get_ParameterType"), [&] {
        switch (adoType) {
        case 2: case 3: case 4: case 5: case 6: case 14: case 16: case 17: case 18: case 19: case 20: case 21:
        case 131: case 139:
            m_editLists[row] = QString();
            type = QStringLiteral("Number");
            break;
        case 7: case 133: case 134: case 135:
            m_editLists[row] = QStringLiteral("...");
            type = QStringLiteral("Date");
            break;
        case 8: case 129: case 130: case 200: case 201: case 202: case 203:
            m_editLists[row] = QString();
            type = QStringLiteral("String");
            break;
        case 11:
            m_editLists[row] = QStringLiteral("True|False");
            type = QStringLiteral("Boolean");
            break;
        default: break;
        }
    });
    return type;
}

bool frmParameters::Get_Parameters()
{
    return analysis::trap(QStringLiteral("Get_Parameters"), [&] {
        if (!m_command)
            throw std::runtime_error("No stored procedure command was given");
        const auto &params = m_command->Parameters;
        grdParameters->setRows(int(params.size()) + 1);
        m_editLists = QStringList(int(params.size()) + 1, QString());
        for (int i = 0; i < int(params.size()); ++i) {
            const db::Parameter &p = params[std::size_t(i)];
            const int r = i + 1;
            grdParameters->setRowHidden(r, !db::isInputDirection(p.Direction));
            const QString type = Get_ParameterType(r, p.Type);
            grdParameters->setTextMatrix(r, colName, p.Name);
            grdParameters->setTextMatrix(r, colType, type);
            QString value;
            if (p.Value.isValid() && !p.Value.isNull()) {
                if (p.Value.typeId() == QMetaType::QDate)
                    value = p.Value.toDate().toString(Qt::ISODate);
                else if (p.Value.typeId() == QMetaType::QDateTime)
                    value = p.Value.toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
                else if (p.Value.typeId() == QMetaType::Bool)
                    value = p.Value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
                else
                    value = p.Value.toString();
            }
            grdParameters->setTextMatrix(r, colValue, value);
            const bool number = type == QLatin1String("Number");
            grdParameters->setTextMatrix(r, colMaxLen, QString::number(number ? p.Precision : p.Size));
            grdParameters->setTextMatrix(r, colMaxScale, number ? QString::number(p.NumericScale) : QString());
        }
        fitColumns();
        return true;
    });
}

void frmParameters::fitColumns()
{
    if (grdParameters->Cols() <= colValue)
        return;
    grdParameters->AutoSize(0, grdParameters->Cols() - 1, false, 75);
    const QTableView *view = grdParameters->view();
    int others = 0;
    for (int c = 0; c < grdParameters->Cols(); ++c) {
        if (c != colValue && !grdParameters->ColHidden(c))
            others += view->columnWidth(c);
    }
    // One pixel short of the edge, so that rounding never brings up a scroll bar.
    const int room = view->viewport()->width() - others - 1;
    if (room > view->columnWidth(colValue))
        grdParameters->setColWidth(colValue, int(ui::Twips::fromPixelsX(room, grdParameters)));
}

bool frmParameters::Force_GridUpdate()
{
    return analysis::trap(QStringLiteral("Force_GridUpdate"), [&] {
        m_updating = true;
        const int row = grdParameters->Row();
        if (grdParameters->Rows() > 1)
            grdParameters->setRow(1);
        grdParameters->setRow(0);
        grdParameters->setRow(row);
        fitColumns();
        hideCalendar();
        m_updating = false;
        return true;
    }, [&] { m_updating = false; });
}

bool frmParameters::Save_Changes()
{
    return analysis::trap(QStringLiteral("Save_Changes"), [&] {
        Force_GridUpdate();
        if (!m_command)
            throw std::runtime_error("No stored procedure command was given");
        auto &params = m_command->Parameters;
        // Every value is checked before any is written, so a refused one leaves the command as it was.
        std::vector<std::pair<std::size_t, QVariant>> values;
        static const QRegularExpression number(QStringLiteral("^[+-]?(\\d+(\\.\\d*)?|\\.\\d+)$"));
        for (int r = 1; r < grdParameters->Rows() && r <= int(params.size()); ++r) {
            const db::Parameter &p = params[std::size_t(r - 1)];
            // Outputs and the return value are the routine's to fill, not inputs.
            if (!db::isInputDirection(p.Direction))
                continue;
            const QString type = grdParameters->TextMatrix(r, colType);
            const QString text = grdParameters->TextMatrix(r, colValue).trimmed();
            QVariant v;
            if (type == QLatin1String("Number")) {
                if (!text.isEmpty()) {
                    if (!number.match(text).hasMatch()) {
                        ui::Prompter::msgBox(QStringLiteral("The value of ") + p.Name + QStringLiteral(" is not a number."),
                                             ui::MsgButtons::OK, ui::MsgIcon::Exclamation, {}, this);
                        return false;
                    }
                    if (db::storageOf(p.Type) == db::Storage::Int64) {
                        const std::optional<std::int64_t> n = db::parseInteger(QStringView(text), p.Type);
                        if (!n) {
                            const db::IntegerRange range = db::integerRange(p.Type);
                            ui::Prompter::msgBox(QStringLiteral("The value of %1 is not a whole number from %2 to %3.")
                                                     .arg(p.Name)
                                                     .arg(range.min)
                                                     .arg(range.max),
                                                 ui::MsgButtons::OK, ui::MsgIcon::Exclamation, {}, this);
                            return false;
                        }
                        v = qlonglong(*n);
                    } else if (isFloatType(p.Type)) {
                        v = text.toDouble();
                    } else {
                        v = text; // exact decimals stay exact
                    }
                }
            } else if (type == QLatin1String("String")) {
                v = grdParameters->TextMatrix(r, colValue);
            } else if (type == QLatin1String("Boolean")) {
                // Empty is Null, as in every other row; any other text is no flag at all.
                if (!text.isEmpty()) {
                    const std::optional<bool> flag = readBoolean(text);
                    if (!flag) {
                        ui::Prompter::msgBox(QStringLiteral("The value of %1 must be True or False (Yes or No, 1 or 0).")
                                                 .arg(p.Name),
                                             ui::MsgButtons::OK, ui::MsgIcon::Exclamation, {}, this);
                        return false;
                    }
                    v = *flag;
                }
            } else if (type == QLatin1String("Date")) {
                if (!text.isEmpty()) {
                    const auto d = readDate(text);
                    if (!d) {
                        ui::Prompter::msgBox(QStringLiteral("The value of ") + p.Name + QStringLiteral(" is not a date."),
                                             ui::MsgButtons::OK, ui::MsgIcon::Exclamation, {}, this);
                        return false;
                    }
                    if (p.Type == db::adDBDate || p.Type == 7)
                        v = d->date();
                    else if (p.Type == db::adDBTime)
                        v = d->time();
                    else
                        v = *d;
                }
            } else {
                continue;
            }
            values.emplace_back(std::size_t(r - 1), v);
        }
        for (auto &[index, value] : values)
            params[index].Value = value;
        m_cancelled = false;
        return true;
    });
}

void frmParameters::cmdOK_Click()
{
    if (Save_Changes())
        accept();
}

void frmParameters::cmdClear_Click()
{
    for (int r = 1; r < grdParameters->Rows(); ++r)
        grdParameters->setTextMatrix(r, colValue, QString());
}

void frmParameters::beforeEdit(int row, int col, bool &cancel)
{
    if (col != colValue || m_updating || row < 1) {
        cancel = true;
        return;
    }
    // A text's declared length limits what is typed; a number's precision counts digits, not its
    // sign and decimal point. A date's or a flag's size is bytes of storage, no limit on the text.
    const QString type = grdParameters->TextMatrix(row, colType);
    const int declared = grdParameters->TextMatrix(row, colMaxLen).toInt();
    int maxLength = 0;
    if (type == QLatin1String("String"))
        maxLength = declared;
    else if (type == QLatin1String("Number") && declared > 0)
        maxLength = declared + 2;
    grdParameters->setEditMaxLength(maxLength);
    grdParameters->setComboList(m_editLists.value(row));
}

void frmParameters::keyPressEdit(int row, int, int &keyAscii)
{
    if (grdParameters->TextMatrix(row, colType) != QLatin1String("Number"))
        return;
    // A minus sign is a number's too; Enter, Escape and the other control keys end or leave the
    // edit as in any other cell.
    if (keyAscii == '-' || keyAscii < 32)
        return;
    const int key = analysis::Check_NumberKey(keyAscii, grdParameters->TextMatrix(row, colMaxScale).toInt() > 0);
    keyAscii = key < 0 ? 0 : key;
}

void frmParameters::cellButtonClick(int row, int col)
{
    analysis::trap(QStringLiteral("grdParameters_CellButtonClick"), [&] {
        const auto d = readDate(grdParameters->TextMatrix(row, col));
        mtvDate->setSelectedDate(d ? d->date() : QDate::currentDate());
        const QRect cell = grdParameters->geometry();
        mtvDate->move(cell.left() + ui::Twips::toPixelsX(grdParameters->ColPos(col), this),
                      cell.top() + ui::Twips::toPixelsY(grdParameters->RowPos(row) + grdParameters->RowHeight(row), this));
        mtvDate->show();
        mtvDate->raise();
        mtvDate->setFocus();
    });
}

void frmParameters::dateClicked(const QDate &date)
{
    const QString text = date.toString(Qt::ISODate);
    // The cell's editor, still open behind the calendar, takes the date and is closed, so that it
    // cannot put its old text back later.
    if (grdParameters->isEditing()) {
        grdParameters->setEditText(text);
        grdParameters->FinishEditing(false);
    } else {
        grdParameters->setTextMatrix(grdParameters->Row(), grdParameters->Col(), text);
    }
    fitColumns();
    hideCalendar();
}

void frmParameters::hideCalendar()
{
    // Hidden with the focus inside, the calendar would pass it on to the next button (Clear).
    const bool hadFocus = mtvDate->isVisible() && mtvDate->isAncestorOf(QApplication::focusWidget());
    if (hadFocus)
        grdParameters->setFocus(Qt::OtherFocusReason);
    mtvDate->hide();
}

bool frmParameters::eventFilter(QObject *watched, QEvent *event)
{
    // Escape in the calendar puts the calendar away, not the dialog.
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape
        && mtvDate->isVisible() && (watched == mtvDate || mtvDate->isAncestorOf(qobject_cast<QWidget *>(watched)))) {
        hideCalendar();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void frmParameters::Load()
{
    if (!m_loaded) {
        m_loaded = true;
        m_initialised = Init();
    }
}

void frmParameters::showEvent(QShowEvent *event)
{
    Load();
    QDialog::showEvent(event);
    ui::MousePointer::setDefault();
    if (m_initialised)
        fitColumns();
    if (m_initialised && grdParameters->Rows() > 1) {
        grdParameters->setRow(1);
        grdParameters->setCol(colValue);
        grdParameters->setFocus();
    }
}

void frmParameters::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    const int l = grdParameters->x();
    const int w = width() - 2 * l - 13;
    const int h = height() - cmdOK->height() - 33;
    if (w <= 0 || h <= 0)
        return;
    grdParameters->resize(w, h);
    const int top = grdParameters->y() + h + 3;
    cmdCancel->move(l + w - cmdCancel->width(), top);
    cmdOK->move(cmdCancel->x() - cmdOK->width() - 3, top);
    cmdClear->move(cmdClear->x(), top);
    if (m_initialised)
        fitColumns();
}

void frmParameters::done(int result)
{
    if (m_sizeRestored) {
        settings::SettingsStore &store = settings::SettingsStore::instance();
        store.SaveSetting(analysis::settingsApplication(), kSection, QStringLiteral("Width"),
                          QString::number(qRound(ui::Twips::fromPixelsX(width(), this))));
        store.SaveSetting(analysis::settingsApplication(), kSection, QStringLiteral("Height"),
                          QString::number(qRound(ui::Twips::fromPixelsY(height(), this))));
    }
    QDialog::done(result);
}
