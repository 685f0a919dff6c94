#pragma once

#include <tabulon/PlatformExport.h>

#include <QIcon>
#include <QPointer>
#include <QString>
#include <QToolBar>

#include <memory>
#include <vector>

class QAction;
class QMenu;
class QToolButton;

namespace ui {

class KeyedToolBar;
class ToolBarButton;

// Button styles and values by the classic toolbar constants, so the program's code reads the same.
enum ButtonStyle { tbrDefault = 0, tbrCheck = 1, tbrButtonGroup = 2, tbrSeparator = 3, tbrPlaceholder = 4, tbrDropdown = 5 };
enum ButtonValue { tbrUnpressed = 0, tbrPressed = 1 };

// One entry of a drop-down button's menu.
class PLATFORM_EXPORT ButtonMenu {
public:
    QString Key() const { return m_key; }
    QString Text() const;
    void setText(const QString &text);
    bool Enabled() const;
    void setEnabled(bool enabled);
    bool Visible() const;
    void setVisible(bool visible);
    int Index() const; // 1-based
    QAction *action() const { return m_action; }

    ButtonMenu(const ButtonMenu &) = delete;
    ButtonMenu &operator=(const ButtonMenu &) = delete;
    ~ButtonMenu();

private:
    friend class ButtonMenuList;
    ButtonMenu(ToolBarButton *parent, QString key, QAction *action);
    ToolBarButton *m_parent;
    QString m_key;
    QAction *m_action; // owned by the button's menu
};

// The menu entries of one button, indexed from 1 like the rest of the toolbar; keys match
// without regard to case and may be empty. A bad index or an unknown key throws
// std::out_of_range naming the button.
class PLATFORM_EXPORT ButtonMenuList {
public:
    // Adds an entry before position `index` (1-based), or at the end when index is 0. A key
    // already used by another entry of the same button throws std::invalid_argument.
    ButtonMenu &Add(const QString &text, const QString &key = {}, int index = 0);
    int Count() const { return int(m_items.size()); }
    ButtonMenu &Item(int index) const;
    ButtonMenu &Item(const QString &key) const;
    ButtonMenu &operator()(int index) const { return Item(index); }
    ButtonMenu &operator()(const QString &key) const { return Item(key); }
    bool Exists(const QString &key) const;
    void Remove(int index);
    void Remove(const QString &key);
    void Clear();

    ButtonMenuList(const ButtonMenuList &) = delete;
    ButtonMenuList &operator=(const ButtonMenuList &) = delete;
    ~ButtonMenuList();

private:
    friend class ToolBarButton;
    friend class ButtonMenu;
    explicit ButtonMenuList(ToolBarButton *parent);
    int indexOf(const ButtonMenu *item) const;
    ToolBarButton *m_parent;
    QPointer<QMenu> m_menu; // a popup child of the toolbar
    std::vector<std::unique_ptr<ButtonMenu>> m_items;
};

// One button (or separator) of a KeyedToolBar. The button holds its state itself: what is read
// is what was last set, whether or not the toolbar is visible or enabled.
class PLATFORM_EXPORT ToolBarButton {
public:
    QString Key() const { return m_key; }
    // Rekeys the button (the export toolbar's "Export" becomes "Cancel" while it runs). A key
    // used by another button throws std::invalid_argument.
    void setKey(const QString &key);
    int Index() const; // 1-based position on the toolbar

    QString Caption() const { return m_caption; }
    void setCaption(const QString &caption);
    QString ToolTipText() const { return m_toolTip; }
    void setToolTipText(const QString &text);
    bool Enabled() const;
    void setEnabled(bool enabled);
    bool Visible() const;
    void setVisible(bool visible);
    // tbrPressed or tbrUnpressed. Pressing a button of a group releases the rest of its group.
    ButtonValue Value() const { return m_value; }
    void setValue(ButtonValue value);
    void setValue(int value) { setValue(value ? tbrPressed : tbrUnpressed); }
    ButtonStyle Style() const { return m_style; }
    void setStyle(ButtonStyle style);
    void setStyle(int style) { setStyle(ButtonStyle(style)); }
    QIcon Image() const;
    void setImage(const QIcon &icon);
    // The entries shown by a tbrDropdown button; kept whatever the style.
    ButtonMenuList &ButtonMenus() const { return *m_menus; }

    QAction *action() const { return m_action; }
    // The tool button that shows this button; nullptr for a separator.
    QToolButton *widget() const;

    ToolBarButton(const ToolBarButton &) = delete;
    ToolBarButton &operator=(const ToolBarButton &) = delete;
    ~ToolBarButton();

private:
    friend class KeyedToolBar;
    friend class ButtonMenuList;
    friend class ButtonMenu;
    ToolBarButton(KeyedToolBar *bar, QString key, QAction *action, ButtonStyle style);
    void applyStyle();
    void applyCheckedState();
    void applyCaption();
    void clicked();

    KeyedToolBar *m_bar;
    QString m_key;
    QAction *m_action; // owned by the toolbar
    QString m_caption;
    QString m_toolTip;
    ButtonStyle m_style;
    ButtonValue m_value = tbrUnpressed;
    std::unique_ptr<ButtonMenuList> m_menus;
};

// A toolbar whose buttons are addressed by a string key, the way the program's code names them:
//     tlbMain->Buttons("Refresh").setEnabled(false);
//     tlbResults->Buttons("QueryBuilder").setValue(ui::tbrPressed);
//     tlbResults->Buttons("RemoveFilter").ButtonMenus().Add(filterText, {}, 1);
// Keys match without regard to case; a key beginning with "sep" added without a style makes a
// separator. An unknown key or index throws std::out_of_range naming the toolbar and the key.
// Buttons without a key are reached by their 1-based index.
class PLATFORM_EXPORT KeyedToolBar : public QToolBar {
    Q_OBJECT

public:
    explicit KeyedToolBar(QWidget *parent = nullptr);
    explicit KeyedToolBar(const QString &name, QWidget *parent = nullptr);
    ~KeyedToolBar() override;

    // Adds a button at the end. Without an icon the button gets a plain generated one.
    ToolBarButton &addButton(const QString &key, const QString &caption, const QString &toolTip = {},
                             ButtonStyle style = tbrDefault, const QIcon &icon = {});
    // A separator; the key may be empty.
    ToolBarButton &addSeparatorButton(const QString &key = {});

    ToolBarButton &Buttons(const QString &key) const;
    ToolBarButton &Buttons(int index) const; // 1-based
    int ButtonCount() const { return int(m_buttons.size()); }
    bool hasButton(const QString &key) const;

    // Captions under the icons ("Toolbar Text" on) or icons alone. Captions stay stored either
    // way; a toolbar whose captions are all empty shows icons alone too.
    void setShowCaptions(bool show);

    // The bar's own switches as set, whatever its parents are.
    bool Visible() const { return !isHidden(); }
    bool Enabled() const;

    // A simple icon for a button: a rounded square with the first letter of `text`.
    static QIcon generatedIcon(const QString &text, const QColor &color = QColor(70, 110, 160));

signals:
    // A button was clicked (after a check or group button changed its value).
    void ButtonClick(const QString &key);
    // An entry of a drop-down button's menu was chosen.
    void ButtonMenuClick(const QString &buttonKey, const QString &itemKey, const QString &itemText);
    // A click on the bar itself, outside its buttons.
    void Click();
    // A mouse button pressed on the bar outside its buttons, or a right button on a button.
    void MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPoint position);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    friend class ToolBarButton;
    friend class ButtonMenuList;
    ToolBarButton *find(const QString &key) const;
    int indexOf(const ToolBarButton *button) const;
    void updateButtonStyle();
    void releaseGroupOf(const ToolBarButton *button);
    ToolBarButton &append(const QString &key, QAction *action, ButtonStyle style);

    std::vector<std::unique_ptr<ToolBarButton>> m_buttons;
    bool m_showCaptions = true;
    bool m_pressedOnBar = false;
};

} // namespace ui
