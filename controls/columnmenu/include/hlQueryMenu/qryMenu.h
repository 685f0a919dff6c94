#pragma once

#include <tabulon/hlQueryMenuExport.h>

#include <QString>
#include <QWidget>

#include <array>
#include <memory>

class QLabel;
class QLineEdit;
class QPushButton;
class hrErr;

// The pop-up menu of a results-grid column: fifteen commands plus a filter box and a find box.
// It executes nothing itself. The host sets RemoverFilter, UnFreezeColumn and ShowColumns,
// places the menu and shows it; the menu resets itself on every show and reports the pick through
// ItemSelected (the item's caption exactly as stored, leading blank and ampersand included) or
// Cancelled (Escape). For the two box items the host reads FilterText or FindText.
//
// Once a box has the focus the menu is "editing" until the next show: hover, clicks, letter keys
// and Escape are ignored and only Enter in that box ends the pick. A disabled item never acts,
// neither clicked nor by its letter key.
//
// The menu's focus is a hidden button's (its focus proxy), so hasFocus() is false while a box is
// edited: a host that hides the menu on focus loss tests isAncestorOf(the new focus widget).
class HLQUERYMENU_EXPORT qryMenu : public QWidget {
    Q_OBJECT
    Q_CLASSINFO("DispId:FilterText", "0x68030005")
    Q_CLASSINFO("DispId:FindText", "0x68030004")
    Q_CLASSINFO("DispId:Choice", "0x68030003")
    Q_CLASSINFO("DispId:RemoverFilter", "0x68030002")
    Q_CLASSINFO("DispId:UnFreezeColumn", "0x68030001")
    Q_CLASSINFO("DispId:ShowColumns", "0x68030000")
    // The outgoing interface's identifiers, for an event sink; not callable members.
    Q_CLASSINFO("EventDispId:ItemSelected", "1")
    Q_CLASSINFO("EventDispId:Cancelled", "2")
    Q_PROPERTY(QString FilterText READ FilterText)
    Q_PROPERTY(QString FindText READ FindText)
    Q_PROPERTY(int Choice READ Choice)
    Q_PROPERTY(bool RemoverFilter READ RemoverFilter WRITE setRemoverFilter)
    Q_PROPERTY(bool UnFreezeColumn READ UnFreezeColumn WRITE setUnFreezeColumn)
    Q_PROPERTY(bool ShowColumns READ ShowColumns WRITE setShowColumns)

public:
    static constexpr int ItemCount = 15;
    static constexpr int FilterItem = 2;
    static constexpr int RemoveFilterItem = 3;
    static constexpr int FindItem = 4;
    static constexpr int UnlockItem = 8;
    static constexpr int ViewColumnsItem = 10;

    explicit qryMenu(QWidget *parent = nullptr);
    ~qryMenu() override;

    // Text confirmed with Enter; a show empties the boxes but keeps these.
    QString FilterText() const { return m_strFilterText; }
    QString FindText() const { return m_strFindText; }
    // The highlighted item: 99 before the first show, -1 right after each show.
    int Choice() const { return m_intChoice; }

    // Applied at the next show.
    bool RemoverFilter() const { return m_blnRemoverFilter; }
    void setRemoverFilter(bool on) { m_blnRemoverFilter = on; }
    bool UnFreezeColumn() const { return m_blnUnFreezeColumn; }
    void setUnFreezeColumn(bool on) { m_blnUnFreezeColumn = on; }
    bool ShowColumns() const { return m_blnShowColumns; }
    void setShowColumns(bool on) { m_blnShowColumns = on; }

    // Highlights item n (-1: none). False, changing nothing, while a box is being edited or when
    // the box of item n already shows its border.
    bool Highlight_Choice(int n);

    static QString caption(int index);
    // The item whose letter key is key (Qt::Key_A ...), or -1.
    static int itemForKey(int key);

    bool isEditing() const { return m_blnEditing; }
    QLabel *lblMenu(int index) const { return m_items.at(index).label; }
    QLabel *imgIcon(int index) const { return m_items.at(index).icon; }
    QPushButton *cmdIcon(int index) const { return m_items.at(index).button; }
    QLineEdit *txtFilter() const { return m_txtFilter; }
    QLineEdit *txtFind() const { return m_txtFind; }
    bool filterBordered() const { return m_blnFilterBordered; }
    bool findBordered() const { return m_blnFindBordered; }

signals:
    // A change the receiver makes to strItem is ignored.
    void ItemSelected(QString &strItem);
    void Cancelled();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    struct Item {
        QLabel *label = nullptr;
        QLabel *icon = nullptr;
        QPushButton *button = nullptr;
    };

    void buildItems();
    void layoutConstituents();
    // The menu's size: its drawn size, wider when the font needs it.
    QSize menuSize() const;
    void resetForShow();
    void paintItem(int index, bool highlighted);
    void setBordered(QLineEdit *box, bool *flag, bool on);
    int itemOf(QObject *watched) const;
    void hoverItem(int index);
    void clickItem(int index, const char *procName);
    void boxGotFocus(QLineEdit *box, const char *procName);
    bool boxKeyPress(QLineEdit *box, QKeyEvent *event);
    void boxEnter(QLineEdit *box);
    void menuKeyReleased(QKeyEvent *event);
    void raiseItemSelected(int index);
    void logError(const QString &procName, const QString &description);

    std::array<Item, ItemCount> m_items{};
    QPushButton *m_focusHolder = nullptr;
    QLineEdit *m_txtFilter = nullptr;
    QLineEdit *m_txtFind = nullptr;

    int m_intChoice = 99;
    bool m_blnEditing = false;
    bool m_blnFilterBordered = false;
    bool m_blnFindBordered = false;
    QString m_strFilterText;
    QString m_strFindText;
    bool m_blnRemoverFilter = false;
    bool m_blnUnFreezeColumn = false;
    bool m_blnShowColumns = false;
    int m_extraWidth = 0; // pixels beyond the drawn width that the captions need
    std::unique_ptr<hrErr> m_err; // created on the first failure
};
