#include "ui/KeyedToolBar.h"

#include "ui/ToolIcons.h"

#include <QAction>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QToolButton>

#include <stdexcept>

namespace ui {

namespace {

bool sameKey(const QString &a, const QString &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

std::string quoted(const QString &text)
{
    return "\"" + text.toStdString() + "\"";
}

std::string barName(const KeyedToolBar &bar)
{
    return bar.objectName().isEmpty() ? std::string("toolbar") : "toolbar " + bar.objectName().toStdString();
}

} // namespace

// --- ButtonMenu ---

ButtonMenu::ButtonMenu(ToolBarButton *parent, QString key, QAction *action)
    : m_parent(parent)
    , m_key(std::move(key))
    , m_action(action)
{
}

ButtonMenu::~ButtonMenu() = default;

QString ButtonMenu::Text() const { return m_action->text(); }
void ButtonMenu::setText(const QString &text) { m_action->setText(text); }
bool ButtonMenu::Enabled() const { return m_action->isEnabled(); }
void ButtonMenu::setEnabled(bool enabled) { m_action->setEnabled(enabled); }
bool ButtonMenu::Visible() const { return m_action->isVisible(); }
void ButtonMenu::setVisible(bool visible) { m_action->setVisible(visible); }
int ButtonMenu::Index() const { return m_parent->m_menus->indexOf(this) + 1; }

// --- ButtonMenuList ---

ButtonMenuList::ButtonMenuList(ToolBarButton *parent)
    : m_parent(parent)
    , m_menu(new QMenu(parent->m_bar))
{
}

ButtonMenuList::~ButtonMenuList()
{
    m_items.clear();
    delete m_menu.data();
}

int ButtonMenuList::indexOf(const ButtonMenu *item) const
{
    for (std::size_t i = 0; i < m_items.size(); ++i) {
        if (m_items[i].get() == item)
            return int(i);
    }
    return -1;
}

bool ButtonMenuList::Exists(const QString &key) const
{
    if (key.isEmpty())
        return false;
    for (const auto &item : m_items) {
        if (sameKey(item->Key(), key))
            return true;
    }
    return false;
}

ButtonMenu &ButtonMenuList::Add(const QString &text, const QString &key, int index)
{
    if (index < 0 || index > Count() + 1)
        throw std::out_of_range("button " + quoted(m_parent->Key()) + ": menu index " + std::to_string(index)
                                + " is outside 1.." + std::to_string(Count() + 1));
    if (Exists(key))
        throw std::invalid_argument("button " + quoted(m_parent->Key()) + ": menu key " + quoted(key)
                                    + " is already used");
    auto *action = new QAction(text, m_menu);
    const std::size_t at = index == 0 ? m_items.size() : std::size_t(index - 1);
    QAction *before = at < m_items.size() ? m_items[at]->m_action : nullptr;
    m_menu->insertAction(before, action);
    auto item = std::unique_ptr<ButtonMenu>(new ButtonMenu(m_parent, key, action));
    ButtonMenu *raw = item.get();
    m_items.insert(m_items.begin() + std::ptrdiff_t(at), std::move(item));

    KeyedToolBar *bar = m_parent->m_bar;
    ToolBarButton *button = m_parent;
    QObject::connect(action, &QAction::triggered, bar, [bar, button, raw] {
        // Copies: the handler may rekey the button or clear this very menu.
        const QString buttonKey = button->Key();
        const QString itemKey = raw->Key();
        const QString itemText = raw->Text();
        emit bar->ButtonMenuClick(buttonKey, itemKey, itemText);
    });
    return *raw;
}

ButtonMenu &ButtonMenuList::Item(int index) const
{
    if (index < 1 || index > Count())
        throw std::out_of_range("button " + quoted(m_parent->Key()) + ": no menu entry " + std::to_string(index)
                                + " (it has " + std::to_string(Count()) + ")");
    return *m_items[std::size_t(index - 1)];
}

ButtonMenu &ButtonMenuList::Item(const QString &key) const
{
    for (const auto &item : m_items) {
        if (!key.isEmpty() && sameKey(item->Key(), key))
            return *item;
    }
    throw std::out_of_range("button " + quoted(m_parent->Key()) + ": no menu entry with key " + quoted(key));
}

void ButtonMenuList::Remove(int index)
{
    ButtonMenu &item = Item(index);
    QAction *action = item.m_action;
    m_items.erase(m_items.begin() + (index - 1));
    // Later, in case the removal comes from this entry's own click.
    m_menu->removeAction(action);
    action->deleteLater();
}

void ButtonMenuList::Remove(const QString &key)
{
    Remove(Item(key).Index());
}

void ButtonMenuList::Clear()
{
    while (!m_items.empty())
        Remove(Count());
}

// --- ToolBarButton ---

ToolBarButton::ToolBarButton(KeyedToolBar *bar, QString key, QAction *action, ButtonStyle style)
    : m_bar(bar)
    , m_key(std::move(key))
    , m_action(action)
    , m_style(style)
    , m_menus(new ButtonMenuList(this))
{
}

ToolBarButton::~ToolBarButton() = default;

void ToolBarButton::setKey(const QString &key)
{
    const ToolBarButton *other = key.isEmpty() ? nullptr : m_bar->find(key);
    if (other && other != this)
        throw std::invalid_argument(barName(*m_bar) + ": key " + quoted(key) + " is already used");
    m_key = key;
}

int ToolBarButton::Index() const
{
    return m_bar->indexOf(this) + 1;
}

void ToolBarButton::setCaption(const QString &caption)
{
    m_caption = caption;
    applyCaption();
    m_bar->updateButtonStyle();
}

void ToolBarButton::applyCaption()
{
    m_action->setText(m_caption);
    // Exactly as given: the derived icon text would trim "Sort " to "Sort".
    m_action->setIconText(m_caption);
    m_action->setToolTip(m_toolTip);
}

void ToolBarButton::setToolTipText(const QString &text)
{
    m_toolTip = text;
    m_action->setToolTip(text);
}

bool ToolBarButton::Enabled() const { return m_action->isEnabled(); }
void ToolBarButton::setEnabled(bool enabled) { m_action->setEnabled(enabled); }
bool ToolBarButton::Visible() const { return m_action->isVisible(); }

void ToolBarButton::setVisible(bool visible)
{
    m_action->setVisible(visible);
    m_bar->updateButtonStyle();
}

void ToolBarButton::setValue(ButtonValue value)
{
    m_value = value;
    if (value == tbrPressed && m_style == tbrButtonGroup)
        m_bar->releaseGroupOf(this);
    applyCheckedState();
}

void ToolBarButton::setStyle(ButtonStyle style)
{
    if (style < tbrDefault || style > tbrDropdown)
        throw std::out_of_range("button " + quoted(m_key) + ": no button style " + std::to_string(int(style)));
    if ((style == tbrSeparator) != (m_style == tbrSeparator))
        throw std::invalid_argument("button " + quoted(m_key) + ": a button and a separator cannot change into each other");
    m_style = style;
    applyStyle();
}

QIcon ToolBarButton::Image() const { return m_action->icon(); }
void ToolBarButton::setImage(const QIcon &icon) { m_action->setIcon(icon); }

QToolButton *ToolBarButton::widget() const
{
    return qobject_cast<QToolButton *>(m_bar->widgetForAction(m_action));
}

void ToolBarButton::applyStyle()
{
    if (QToolButton *button = widget()) {
        if (m_style == tbrDropdown) {
            button->setMenu(m_menus->m_menu);
            button->setPopupMode(QToolButton::MenuButtonPopup);
        } else {
            button->setMenu(nullptr);
            button->setPopupMode(QToolButton::DelayedPopup);
        }
    }
    applyCheckedState();
}

void ToolBarButton::applyCheckedState()
{
    if (m_style == tbrSeparator)
        return;
    // Only check and group buttons toggle on a click; any other button shows a pressed value
    // it was given.
    const bool pressed = m_value == tbrPressed;
    m_action->setCheckable(m_style == tbrCheck || m_style == tbrButtonGroup || pressed);
    m_action->setChecked(pressed);
}

void ToolBarButton::clicked()
{
    switch (m_style) {
    case tbrCheck:
        m_value = m_action->isChecked() ? tbrPressed : tbrUnpressed;
        break;
    case tbrButtonGroup:
        setValue(tbrPressed);
        break;
    default:
        break;
    }
    applyCheckedState();
    const QString key = m_key;
    emit m_bar->ButtonClick(key);
}

// --- KeyedToolBar ---

KeyedToolBar::KeyedToolBar(QWidget *parent)
    : KeyedToolBar(QString(), parent)
{
}

KeyedToolBar::KeyedToolBar(const QString &name, QWidget *parent)
    : QToolBar(name, parent)
{
    if (!name.isEmpty())
        setObjectName(name);
    setMovable(false);
    setFloatable(false);
    setToolButtonStyle(Qt::ToolButtonIconOnly);
}

KeyedToolBar::~KeyedToolBar()
{
    // The buttons' menus and actions are children of the bar: let go of them while it still exists.
    m_buttons.clear();
}

ToolBarButton &KeyedToolBar::append(const QString &key, QAction *action, ButtonStyle style)
{
    auto button = std::unique_ptr<ToolBarButton>(new ToolBarButton(this, key, action, style));
    ToolBarButton *raw = button.get();
    m_buttons.push_back(std::move(button));
    if (style != tbrSeparator)
        connect(action, &QAction::triggered, this, [raw] { raw->clicked(); });
    raw->applyStyle();
    return *raw;
}

ToolBarButton &KeyedToolBar::addButton(const QString &key, const QString &caption, const QString &toolTip,
                                       ButtonStyle style, const QIcon &icon)
{
    if (!key.isEmpty() && find(key))
        throw std::invalid_argument(barName(*this) + ": key " + quoted(key) + " is already used");
    if (style < tbrDefault || style > tbrDropdown)
        throw std::out_of_range(barName(*this) + ": no button style " + std::to_string(int(style)));
    if (style == tbrSeparator || (style == tbrDefault && caption.isEmpty() && key.startsWith(QLatin1String("sep"), Qt::CaseInsensitive)))
        return addSeparatorButton(key);

    // The command's own picture when the caller gives none; a lettered square only for a
    // command no picture is known for.
    QIcon shown = icon.isNull() ? ToolIcons::forKey(key) : icon;
    if (shown.isNull())
        shown = generatedIcon(caption.isEmpty() ? key : caption);
    QAction *action = addAction(shown, caption);
    ToolBarButton &button = append(key, action, style);
    button.m_caption = caption;
    button.m_toolTip = toolTip;
    button.applyCaption();
    updateButtonStyle();
    return button;
}

ToolBarButton &KeyedToolBar::addSeparatorButton(const QString &key)
{
    if (!key.isEmpty() && find(key))
        throw std::invalid_argument(barName(*this) + ": key " + quoted(key) + " is already used");
    return append(key, addSeparator(), tbrSeparator);
}

ToolBarButton *KeyedToolBar::find(const QString &key) const
{
    if (key.isEmpty())
        return nullptr;
    for (const auto &button : m_buttons) {
        if (sameKey(button->Key(), key))
            return button.get();
    }
    return nullptr;
}

bool KeyedToolBar::hasButton(const QString &key) const
{
    return find(key) != nullptr;
}

ToolBarButton &KeyedToolBar::Buttons(const QString &key) const
{
    if (ToolBarButton *button = find(key))
        return *button;
    throw std::out_of_range(barName(*this) + ": no button with key " + quoted(key));
}

ToolBarButton &KeyedToolBar::Buttons(int index) const
{
    if (index < 1 || index > ButtonCount())
        throw std::out_of_range(barName(*this) + ": no button " + std::to_string(index) + " (it has "
                                + std::to_string(ButtonCount()) + ")");
    return *m_buttons[std::size_t(index - 1)];
}

int KeyedToolBar::indexOf(const ToolBarButton *button) const
{
    for (std::size_t i = 0; i < m_buttons.size(); ++i) {
        if (m_buttons[i].get() == button)
            return int(i);
    }
    return -1;
}

void KeyedToolBar::releaseGroupOf(const ToolBarButton *button)
{
    // A group is a run of neighbouring group buttons.
    const int at = indexOf(button);
    const auto release = [this](int i) {
        ToolBarButton &other = *m_buttons[std::size_t(i)];
        if (other.m_style != tbrButtonGroup)
            return false;
        other.m_value = tbrUnpressed;
        other.applyCheckedState();
        return true;
    };
    for (int i = at - 1; i >= 0 && release(i); --i) {
    }
    for (int i = at + 1; i < ButtonCount() && release(i); ++i) {
    }
}

void KeyedToolBar::setShowCaptions(bool show)
{
    m_showCaptions = show;
    updateButtonStyle();
}

void KeyedToolBar::updateButtonStyle()
{
    bool anyCaption = false;
    for (const auto &button : m_buttons) {
        if (button->m_style != tbrSeparator && button->Visible() && !button->m_caption.isEmpty())
            anyCaption = true;
    }
    setToolButtonStyle(m_showCaptions && anyCaption ? Qt::ToolButtonTextUnderIcon : Qt::ToolButtonIconOnly);
}

bool KeyedToolBar::Enabled() const
{
    return !testAttribute(Qt::WA_ForceDisabled);
}

void KeyedToolBar::mousePressEvent(QMouseEvent *event)
{
    m_pressedOnBar = event->button() == Qt::LeftButton;
    emit MouseDown(event->button(), event->modifiers(), event->position().toPoint());
    QToolBar::mousePressEvent(event);
}

void KeyedToolBar::mouseReleaseEvent(QMouseEvent *event)
{
    const bool click = m_pressedOnBar && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    m_pressedOnBar = false;
    QToolBar::mouseReleaseEvent(event);
    if (click)
        emit Click();
}

QIcon KeyedToolBar::generatedIcon(const QString &text, const QColor &color)
{
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    painter.drawRoundedRect(QRectF(2, 2, 28, 28), 6, 6);
    const QString letter = text.trimmed().left(1).toUpper();
    if (!letter.isEmpty()) {
        QFont font = painter.font();
        font.setPixelSize(18);
        font.setBold(true);
        painter.setFont(font);
        painter.setPen(Qt::white);
        painter.drawText(QRect(0, 0, 32, 32), Qt::AlignCenter, letter);
    }
    painter.end();
    return QIcon(pixmap);
}

} // namespace ui
