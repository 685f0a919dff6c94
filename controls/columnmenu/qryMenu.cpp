#include "hlQueryMenu/qryMenu.h"

#include "Faultdesk/hrErr.h"
#include "app/AppInfo.h"
#include "ui/Twips.h"
#include "ui/VbColor.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QStyle>

#include <algorithm>
#include <exception>

using ui::Twips;
using ui::VbColor;

namespace {

struct ItemSpec {
    const char *caption;
    int key; // Qt::Key_*, 0 for none
    int top; // twips
    QStyle::StandardPixmap icon;
};

// By item index; the visual order follows the tops.
constexpr ItemSpec kItems[qryMenu::ItemCount] = {
    {" Filter by &Selection", Qt::Key_S, 420, QStyle::SP_FileDialogContentsView},
    {" Filter E&x Selection", Qt::Key_X, 735, QStyle::SP_FileDialogListView},
    {"&Filter for:", 0, 1110, QStyle::SP_FileDialogContentsView},
    {" &Remove Filter", Qt::Key_R, 1485, QStyle::SP_DialogResetButton},
    {" F&ind:", 0, 1860, QStyle::SP_FileDialogContentsView},
    {" Sort &Ascending", Qt::Key_A, 2310, QStyle::SP_ArrowUp},
    {" Sort &Descending", Qt::Key_D, 2610, QStyle::SP_ArrowDown},
    {" &Lock Column", Qt::Key_L, 3000, QStyle::SP_ArrowLeft},
    {" U&nlock Column", Qt::Key_N, 3300, QStyle::SP_ArrowRight},
    {" &Hide Column", Qt::Key_H, 3960, QStyle::SP_TitleBarMinButton},
    {" &View Columns", Qt::Key_V, 4260, QStyle::SP_FileDialogDetailedView},
    {" Vie&w Cell", Qt::Key_W, 4620, QStyle::SP_FileDialogInfoView},
    {" &Copy", Qt::Key_C, 60, QStyle::SP_DialogSaveButton},
    {" &Autosize Column", 0, 3660, QStyle::SP_TitleBarMaxButton},
    {" View R&ow", 0, 4920, QStyle::SP_FileDialogInfoView},
};

constexpr int kLabelLeft = 360;
constexpr int kLabelWidth = 1695;
constexpr int kLabelHeight = 270;
constexpr int kRightEdge = 2100;  // the frame's right line; the width is this + 20
constexpr int kBottomEdge = 5220; // the frame's bottom line; the height is this + 20
constexpr int kOffside = 2220;    // left of what is kept outside the visible area
constexpr int kSeparators[] = {360, 1785, 2235, 2910, 3585, 4560};

// " F&ind:" as rich text: the marked letter underlined, blanks kept.
QString richCaption(const QString &caption)
{
    QString html;
    for (int i = 0; i < caption.size(); ++i) {
        const QChar c = caption.at(i);
        if (c == QLatin1Char('&') && i + 1 < caption.size()) {
            const QChar next = caption.at(++i);
            html += next == QLatin1Char('&') ? QStringLiteral("&amp;")
                                              : QStringLiteral("<u>%1</u>").arg(QString(next).toHtmlEscaped());
        } else if (c == QLatin1Char(' ')) {
            html += QStringLiteral("&nbsp;");
        } else {
            html += QString(c).toHtmlEscaped();
        }
    }
    return html;
}

bool isEnterKey(int key)
{
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

} // namespace

qryMenu::qryMenu(QWidget *parent) : QWidget(parent)
{
    // Created first so that it is first in the tab order: the menu's focus lands here and
    // neither box starts out being edited.
    m_focusHolder = new QPushButton(this);
    m_focusHolder->setObjectName(QStringLiteral("cmdFocus"));
    setFocusProxy(m_focusHolder);

    buildItems();

    m_txtFilter = new QLineEdit(this);
    m_txtFilter->setObjectName(QStringLiteral("txtFilter"));
    m_txtFind = new QLineEdit(this);
    m_txtFind->setObjectName(QStringLiteral("txtFind"));
    for (QLineEdit *box : {m_txtFilter, m_txtFind}) {
        box->setFrame(false);
        box->setMouseTracking(true);
    }
    setTabOrder(m_focusHolder, m_txtFilter);
    setTabOrder(m_txtFilter, m_txtFind);

    // Key preview: the menu sees every key before its constituents do.
    for (QWidget *child : findChildren<QWidget *>())
        child->installEventFilter(this);

    layoutConstituents();
    resize(menuSize());
    for (int i = 0; i < ItemCount; ++i)
        paintItem(i, false);
}

qryMenu::~qryMenu() = default;

QString qryMenu::caption(int index)
{
    if (index < 0 || index >= ItemCount)
        return {};
    return QString::fromLatin1(kItems[index].caption);
}

int qryMenu::itemForKey(int key)
{
    for (int i = 0; i < ItemCount; ++i) {
        if (kItems[i].key != 0 && kItems[i].key == key)
            return i;
    }
    return -1;
}

void qryMenu::buildItems()
{
    for (int i = 0; i < ItemCount; ++i) {
        Item &item = m_items[i];
        // The button frames the icon like a raised button, so it sits behind it.
        item.button = new QPushButton(this);
        item.button->setObjectName(QStringLiteral("cmdIcon_%1").arg(i));
        item.button->setFocusPolicy(Qt::NoFocus);
        item.button->hide();
        connect(item.button, &QPushButton::clicked, this, [this, i] { clickItem(i, "cmdIcon_Click"); });

        item.icon = new QLabel(this);
        item.icon->setObjectName(QStringLiteral("imgIcon_%1").arg(i));
        item.icon->setAlignment(Qt::AlignCenter);
        item.icon->setMouseTracking(true);

        item.label = new QLabel(this);
        item.label->setObjectName(QStringLiteral("lblMenu_%1").arg(i));
        item.label->setTextFormat(Qt::RichText);
        item.label->setText(richCaption(caption(i)));
        item.label->setAutoFillBackground(true);
        item.label->setMouseTracking(true);
    }
}

void qryMenu::layoutConstituents()
{
    const auto px = [this](int twips) { return Twips::toPixelsX(twips, this); };
    // The twips place every caption for the font the menu was drawn for; a larger font widens the
    // labels, moves the two boxes right and widens the menu, so that no caption is cut off.
    const QFontMetrics fm(m_items[0].label->font());
    const auto textWidth = [&](int i) {
        QString plain = caption(i);
        plain.replace(QLatin1String("&&"), QLatin1String("\x01")).remove(QLatin1Char('&'));
        plain.replace(QLatin1Char('\x01'), QLatin1Char('&'));
        return fm.horizontalAdvance(plain) + 6;
    };
    int extra = 0;
    for (int i = 0; i < ItemCount; ++i) {
        if (i != FilterItem && i != FindItem)
            extra = std::max(extra, textWidth(i) - px(kLabelWidth));
    }
    const int filterLabel = std::max(px(645), textWidth(FilterItem));
    const int findLabel = std::max(px(420), textWidth(FindItem));
    const int filterBox = std::max(px(780), px(75) + filterLabel + 2);
    const int findBox = std::max(px(750), px(kLabelLeft) + findLabel + 2);
    extra = std::max({extra, filterBox - px(780), findBox - px(750)});
    m_extraWidth = std::max(0, extra);

    m_focusHolder->setGeometry(Twips::toPixels(kOffside, 0, 300, 300, this).translated(m_extraWidth, 0));
    for (int i = 0; i < ItemCount; ++i) {
        const int top = kItems[i].top;
        int left = i == 7 ? 375 : kLabelLeft;
        int width = px(kLabelWidth) + m_extraWidth;
        int iconLeft = 75;
        if (i == FilterItem) {
            left = 75;
            width = filterLabel;
            iconLeft = kOffside + 200; // the box stands where the icon would be
        } else if (i == FindItem) {
            width = findLabel;
        }
        const QRect labelRect = Twips::toPixels(left, top, 0, kLabelHeight, this);
        m_items[i].label->setGeometry(QRect(labelRect.topLeft(), QSize(width, labelRect.height())));
        const int shift = i == FilterItem ? m_extraWidth : 0;
        m_items[i].icon->setGeometry(Twips::toPixels(iconLeft, top, 240, 240, this).translated(shift, 0));
        m_items[i].button->setGeometry(Twips::toPixels(iconLeft - 25, top - 30, 315, 315, this).translated(shift, 0));
    }
    const QRect filter = Twips::toPixels(780, kItems[FilterItem].top - 15, 1290, 300, this);
    m_txtFilter->setGeometry(filter.translated(filterBox - filter.left(), 0));
    const QRect find = Twips::toPixels(750, kItems[FindItem].top - 15, 1290, 300, this);
    m_txtFind->setGeometry(find.translated(findBox - find.left(), 0));
}

QSize qryMenu::menuSize() const
{
    return Twips::toPixels(kRightEdge + 20, kBottomEdge + 20, this) + QSize(m_extraWidth, 0);
}

void qryMenu::paintItem(int index, bool highlighted)
{
    QLabel *label = m_items[index].label;
    QPalette palette = label->palette();
    const QColor back = VbColor::toQColor(highlighted ? VbColor::Highlight : VbColor::ButtonFace);
    const QColor fore = VbColor::toQColor(highlighted ? VbColor::HighlightText : VbColor::ButtonText);
    // The disabled group keeps the style's dimmed text.
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        palette.setColor(group, QPalette::Window, back);
        palette.setColor(group, QPalette::WindowText, fore);
        palette.setColor(group, QPalette::Text, fore);
    }
    palette.setColor(QPalette::Disabled, QPalette::Window, back);
    label->setPalette(palette);
    m_items[index].button->setVisible(highlighted);
}

void qryMenu::setBordered(QLineEdit *box, bool *flag, bool on)
{
    if (box->hasFrame() != on)
        box->setFrame(on);
    *flag = on;
}

bool qryMenu::Highlight_Choice(int n)
{
    try {
        if (m_blnEditing)
            return false;
        if (n == FilterItem) {
            if (m_blnFilterBordered)
                return false;
            setBordered(m_txtFilter, &m_blnFilterBordered, true);
        } else {
            setBordered(m_txtFilter, &m_blnFilterBordered, false);
        }
        if (n == FindItem) {
            if (m_blnFindBordered)
                return false;
            setBordered(m_txtFind, &m_blnFindBordered, true);
        } else {
            setBordered(m_txtFind, &m_blnFindBordered, false);
        }
        for (int i = 0; i < ItemCount; ++i)
            paintItem(i, false);
        if (n >= 0 && n < ItemCount) {
            paintItem(n, true);
            m_intChoice = n;
        }
        return true;
    } catch (const std::exception &e) {
        logError(QStringLiteral("Highlight_Choice"), QString::fromUtf8(e.what()));
        return false;
    }
}

void qryMenu::resetForShow()
{
    m_blnEditing = false;
    m_txtFilter->setEnabled(true);
    m_txtFind->setEnabled(true);
    // A box that kept the focus while hidden would be edited without the menu knowing.
    if (QWidget *focused = window()->focusWidget(); focused == m_txtFilter || focused == m_txtFind)
        m_focusHolder->setFocus(Qt::OtherFocusReason);
    // The DPI may differ from the screen the menu was last shown on.
    layoutConstituents();
    resize(menuSize());
    m_txtFilter->clear();
    m_txtFind->clear();

    const std::pair<int, bool> switched[] = {
        {RemoveFilterItem, m_blnRemoverFilter}, {UnlockItem, m_blnUnFreezeColumn}, {ViewColumnsItem, m_blnShowColumns}};
    for (const auto &[index, on] : switched) {
        m_items[index].label->setEnabled(on);
        m_items[index].icon->setEnabled(on);
        m_items[index].button->setEnabled(on);
    }
    const int iconSize = Twips::toPixelsX(240, this);
    for (int i = 0; i < ItemCount; ++i) {
        const QIcon icon = style()->standardIcon(kItems[i].icon, nullptr, this);
        const bool enabled = m_items[i].label->isEnabled();
        m_items[i].icon->setPixmap(icon.pixmap(QSize(iconSize, iconSize), enabled ? QIcon::Normal : QIcon::Disabled));
    }

    m_intChoice = -1;
    Highlight_Choice(-1);
}

void qryMenu::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous())
        resetForShow();
}

int qryMenu::itemOf(QObject *watched) const
{
    for (int i = 0; i < ItemCount; ++i) {
        if (watched == m_items[i].label || watched == m_items[i].icon)
            return i;
    }
    return -1;
}

void qryMenu::hoverItem(int index)
{
    if (!m_items[index].label->isEnabled())
        return;
    if (m_intChoice != index)
        Highlight_Choice(index);
}

void qryMenu::clickItem(int index, const char *procName)
{
    try {
        // A disabled item is inert however it is reached.
        if (m_blnEditing || !m_items[index].label->isEnabled())
            return;
        if (index == FilterItem)
            m_txtFilter->setFocus(Qt::MouseFocusReason);
        else if (index == FindItem)
            m_txtFind->setFocus(Qt::MouseFocusReason);
        else
            raiseItemSelected(index);
    } catch (const std::exception &e) {
        logError(QString::fromLatin1(procName), QString::fromUtf8(e.what()));
    }
}

void qryMenu::boxGotFocus(QLineEdit *box, const char *procName)
{
    try {
        Highlight_Choice(box == m_txtFilter ? FilterItem : FindItem);
        box->setSelection(0, int(box->text().size()));
        m_blnEditing = true;
        (box == m_txtFilter ? m_txtFind : m_txtFilter)->setEnabled(false);
    } catch (const std::exception &e) {
        logError(QString::fromLatin1(procName), QString::fromUtf8(e.what()));
    }
}

bool qryMenu::boxKeyPress(QLineEdit *box, QKeyEvent *event)
{
    if (event->modifiers() != Qt::ControlModifier)
        return false;
    switch (event->key()) {
    case Qt::Key_C:
        // The whole text, not just the selection.
        if (QClipboard *clipboard = QApplication::clipboard()) {
            clipboard->clear();
            clipboard->setText(box->text());
        }
        return true;
    case Qt::Key_V:
        if (QClipboard *clipboard = QApplication::clipboard())
            box->setText(clipboard->text());
        return true;
    case Qt::Key_A:
        box->selectAll();
        return true;
    default:
        return false;
    }
}

void qryMenu::boxEnter(QLineEdit *box)
{
    if (box == m_txtFilter) {
        m_strFilterText = box->text();
        raiseItemSelected(FilterItem);
    } else {
        m_strFindText = box->text();
        raiseItemSelected(FindItem);
    }
}

void qryMenu::menuKeyReleased(QKeyEvent *event)
{
    if (m_blnEditing || event->isAutoRepeat())
        return;
    if (event->key() == Qt::Key_Escape) {
        emit Cancelled();
        return;
    }
    // Keypad keys share no key code with letters here, so only real letters reach an item.
    const int index = itemForKey(event->key());
    if (index >= 0 && m_items[index].label->isEnabled())
        raiseItemSelected(index);
}

void qryMenu::raiseItemSelected(int index)
{
    QString strItem = caption(index); // the receiver's changes stay with it
    emit ItemSelected(strItem);
}

void qryMenu::keyPressEvent(QKeyEvent *event)
{
    // The menu's keys are its own: a letter or Enter must not also reach the host's grid.
    event->accept();
}

void qryMenu::keyReleaseEvent(QKeyEvent *event)
{
    menuKeyReleased(event);
    event->accept();
}

bool qryMenu::eventFilter(QObject *watched, QEvent *event)
{
    auto *box = qobject_cast<QLineEdit *>(watched);
    if (box != m_txtFilter && box != m_txtFind)
        box = nullptr;

    switch (event->type()) {
    case QEvent::KeyPress:
        if (box)
            return boxKeyPress(box, static_cast<QKeyEvent *>(event));
        break;
    case QEvent::KeyRelease: {
        auto *key = static_cast<QKeyEvent *>(event);
        if (box && isEnterKey(key->key())) {
            if (!key->isAutoRepeat())
                boxEnter(box);
        } else {
            menuKeyReleased(key);
        }
        // Handled here once; letting it travel on would reach the menu a second time.
        return true;
    }
    case QEvent::FocusIn:
        if (box) {
            // The box's own focus handling goes first, or it would undo the selection made here.
            static_cast<QObject *>(box)->event(event);
            boxGotFocus(box, box == m_txtFilter ? "txtFilter_GotFocus" : "txtFind_GotFocus");
            return true;
        }
        break;
    case QEvent::FocusOut:
        if (box && !m_blnEditing)
            setBordered(box, box == m_txtFilter ? &m_blnFilterBordered : &m_blnFindBordered, false);
        break;
    case QEvent::MouseMove:
        if (box) {
            Highlight_Choice(box == m_txtFilter ? FilterItem : FindItem);
        } else if (const int index = itemOf(watched); index >= 0) {
            hoverItem(index);
        }
        break;
    case QEvent::MouseButtonRelease: {
        const int index = itemOf(watched);
        auto *mouse = static_cast<QMouseEvent *>(event);
        if (index >= 0 && mouse->button() == Qt::LeftButton
            && static_cast<QWidget *>(watched)->rect().contains(mouse->position().toPoint())) {
            clickItem(index, watched == m_items[index].label ? "lblMenu_Click" : "imgIcon_Click");
            return true;
        }
        break;
    }
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

void qryMenu::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), VbColor::toQColor(VbColor::ButtonFace));
    const auto x = [this](int twips) { return Twips::toPixelsX(twips, this); };
    const auto y = [this](int twips) { return Twips::toPixelsY(twips, this); };

    const int wider = m_extraWidth;
    painter.setPen(Qt::white);
    for (int sep : kSeparators)
        painter.drawLine(x(150), y(sep), x(2055) + wider, y(sep));
    painter.drawLine(x(5), 0, x(kRightEdge) + wider, 0);
    painter.drawLine(0, 0, 0, y(kBottomEdge));
    painter.setPen(Qt::black);
    painter.drawLine(x(kRightEdge) + wider, 0, x(kRightEdge) + wider, y(kBottomEdge));
    painter.drawLine(0, y(kBottomEdge), x(kRightEdge - 5) + wider, y(kBottomEdge));
}

void qryMenu::logError(const QString &procName, const QString &description)
{
    try {
        if (!m_err) {
            m_err = std::make_unique<hrErr>();
            // Its reports name the column menu; the program name the hosts gave the library stays.
            m_err->ReportsAs(app::appInfo(QStringLiteral("hlQueryMenu")));
        }
        m_err->Log_Error(procName, description);
    } catch (...) {
        // Nothing is left to report a failing report through.
    }
}
