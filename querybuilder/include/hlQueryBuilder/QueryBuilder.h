#pragma once

#include <hlQueryBuilder/hlQueryBuilderExport.h>

#include <QString>
#include <QVariant>
#include <QWidget>

#include <array>
#include <memory>
#include <optional>
#include <vector>

class QCalendarWidget;
class QValidator;
class clsQueryCol;
class hrErr;

namespace db {
class Connection;
class Recordset;
class RecordsetFilter;
}
namespace grid {
class Grid;
}
namespace ui {
class KeyedToolBar;
}

// A filter composed as a grid of conditions, one a row: opening brackets, a field of the bound
// recordset, "is" or "is not", a comparison, a value (typed, picked from a list or a date picker,
// or another field), closing brackets and "AND" / "OR" to the next row.
//
// The host sets MenuText, Bracket, UseSP, rsData and DateFormat, shows the control (which runs
// Init) and answers Apply by reading FilterEmpty and the filter. Public members trap their own
// failures: they report through the control's error object and return false.
class HLQUERYBUILDER_EXPORT QueryBuilder : public QWidget {
    Q_OBJECT
    Q_PROPERTY(bool MenuText READ MenuText WRITE setMenuText)
    Q_PROPERTY(QString Bracket READ Bracket WRITE setBracket)
    Q_PROPERTY(bool UseSP READ UseSP WRITE setUseSP)
    Q_PROPERTY(bool FilterEmpty READ FilterEmpty)
    Q_PROPERTY(QVariant Get_Filter READ Get_Filter)

public:
    // The value class of a field.
    enum adDataType { dtNumeric = 0, dtString = 1, dtBoolean = 2 };
    Q_ENUM(adDataType)

    // The columns of the filter grid; 2, 3 and 9 are never shown.
    enum FilterColumn {
        colOpen = 0,       // opening brackets
        colField = 1,      // field name
        colOrdinal = 2,    // the field's ordinal in the bound recordset, as text
        colSpare = 3,      // always empty
        colIs = 4,         // "is" / "is not"
        colComparison = 5, // comparison word
        colValue = 6,      // value text, or another field's name
        colClose = 7,      // closing brackets
        colOperator = 8,   // "AND" / "OR"
        colIsField = 9,    // "True" when the value is a field name
        ColumnCount = 10
    };
    Q_ENUM(FilterColumn)

    explicit QueryBuilder(QWidget *parent = nullptr);
    ~QueryBuilder() override;

    // --- automation interface ---
    Q_INVOKABLE bool Init();
    Q_INVOKABLE bool Init_Err();
    Q_INVOKABLE bool Set_MenuText();
    Q_INVOKABLE bool Set_ToolTips();
    // 67 (C) copies, 86 (V) pastes: see the editing notes in the source.
    Q_INVOKABLE bool CopyAndPaste(int lngKeyCode);
    Q_INVOKABLE int Get_DataType(int lngColType) const;
    Q_INVOKABLE bool Allowed_DataType(int lngType);
    // Key filters: the key to use, 0 to drop it, -1 for Enter. The argument is not changed.
    Q_INVOKABLE int Check_AlphaKey(int iKeyAscii) const;
    Q_INVOKABLE int Check_NumberKey(int iKeyAscii) const;
    // Shows the bracket columns exactly while the "Brackets" button is down.
    Q_INVOKABLE bool Show_Brackets();
    // Clears the grid to one empty condition, after offering to save unsaved changes unless
    // blnNoSave; false when the user cancelled.
    Q_INVOKABLE bool New_Filter(bool blnNoSave = false);
    // Fills the current row's field's look-up list with the field's values from the database.
    Q_INVOKABLE bool Populate_LookUp();
    // The SoundEx code of a word (length clamped to 4..10; see db::soundex).
    Q_INVOKABLE QString SoundEx(const QString &WordString, int SoundExLen = 4);
    // The same; *SoundExLen is given the length used less one.
    QString SoundEx(const QString &WordString, int *SoundExLen);

    // The conditions as the text of an SQL WHERE clause without the word WHERE, written for the
    // connected database; with UseSP, as the recordset filter's own text. An invalid QVariant
    // after a failure or a refused condition (the user is told why).
    QVariant Get_Filter();
    // The conditions as a recordset filter (for the rows of routines and XML documents, which
    // the program filters itself); empty after a failure or a refused condition.
    std::optional<db::RecordsetFilter> Get_FilterConditions();

    // True while row 1 has no field (or there is no row 1).
    bool FilterEmpty() const;

    // Binds the recordset whose fields may be filtered; nullptr unbinds. The builder keeps its
    // fields and statement, not the recordset, which its owner may close. The condition rows
    // stay, each row's field found again by name; look-up lists are dropped.
    Q_INVOKABLE void rsData(const std::shared_ptr<db::Recordset> &recordset);
    std::shared_ptr<db::Recordset> rsData() const { return m_rsData; }

    // The open connection of the host's query: look-up lists are read through it, and the
    // filter text is written in its database's dialect. Not owned beyond the reference.
    Q_INVOKABLE void adoConnection(const std::shared_ptr<db::Connection> &connection) { m_adoConnection = connection; }
    std::shared_ptr<db::Connection> adoConnection() const { return m_adoConnection; }

    // The pattern of dates picked from the date picker ("dd/mm/yyyy" when empty at Init).
    Q_INVOKABLE void DateFormat(const QString &format) { m_strDateFormat = format; }
    QString dateFormat() const { return m_strDateFormat; }

    bool MenuText() const { return m_blnMenuText; }
    void setMenuText(bool on) { m_blnMenuText = on; }
    // Written on both sides of field names in the filter text and look-up queries.
    QString Bracket() const { return m_strBracket; }
    void setBracket(const QString &text) { m_strBracket = text; }
    // The filter is for the host's row-by-row evaluation (stored routines, XML documents).
    bool UseSP() const { return m_blnUseSP; }
    void setUseSP(bool on) { m_blnUseSP = on; }

    // The look-up object of the field at `ordinal`, created when first asked for; nullptr for an
    // ordinal outside the bound recordset.
    clsQueryCol *QueryCol(int ordinal);
    // " |" followed by every listed field's name and "|".
    QString FieldList() const { return m_strFieldList; }
    // The bound recordset's statement after "FROM " and before "ORDER BY ", upper-cased.
    QString SourceText() const { return m_strSource; }
    // The filter counts as changed since it was last saved or cleared ("Save" enabled).
    bool isChanged() const;
    // The filter file last loaded or saved; empty at first.
    QString fileName() const { return m_strFileName; }
    // Most values a look-up list holds; one more shows as the entry "(more…)".
    static constexpr int kLookUpLimit = 1000;
    static QString moreEntry() { return QStringLiteral("(more\u2026)"); }

    // Constituents, for the host window and tests.
    grid::Grid *grdFilter() const { return m_grdFilter; }
    ui::KeyedToolBar *tlbMenu() const { return m_tlbMenu; }
    QCalendarWidget *mtvDate() const; // nullptr until first opened

    QSize sizeHint() const override;

signals:
    void Apply();
    void ReSize();
    void Faultdesk(const QString &strSub, const QString &strDescription);

protected:
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    struct FieldEntry {
        bool listed = false; // offered in the field list
        int type = 0;        // ADO type of a listed field
        int limit = 0;       // most characters a typed value may have; 0 for no limit
        std::unique_ptr<clsQueryCol> lookUp;
    };

    // --- set-up and layout (QueryBuilder.cpp) ---
    void buildToolBar();
    bool Set_Filter();
    void UserControl_Resize();
    void tlbMenu_ButtonClick(const QString &key);
    void commandFields();
    bool Force_GridUpdate();
    void fitColumns();
    void markChanged(bool changed);
    void setButtonEnabled(const QString &key, bool enabled);
    bool buttonDown(const QString &key) const;
    bool bracketsShown() const;
    void logError(const QString &procName, const QString &description);
    template <class Body>
    bool trap(const char *procName, Body &&body);

    // --- the field table ---
    int ordinalOf(int row) const; // -1 when the row has no field or an unknown one
    int fieldClass(int row) const; // Get_DataType of the row's field; dtString without one
    int listedOrdinal(int comboIndex) const;
    bool canPopulate(int row);
    int listedOrdinalByName(const QString &name) const;
    QString gridFieldList() const;
    bool valueFitsField(int row, const QString &value, bool valueIsField, QString *why) const;
    bool valueFitsOrdinal(int ordinal, const QString &value, bool valueIsField, QString *why) const;

    // --- editing (FilterGridEdit.cpp) ---
    void connectGrid();
    void grdFilter_BeforeEdit(int row, int col, bool &cancel);
    void grdFilter_ComboCloseUp(int row, int col, bool &finishEdit);
    void chooseField(int row, int comboIndex);
    bool fixedLookUp(int ordinal);
    void grdFilter_ValidateEdit(int row, int col, bool &cancel);
    void grdFilter_AfterEdit(int row, int col);
    void grdFilter_KeyDownEdit(int row, int col, int &keyCode, int shift);
    void grdFilter_KeyPressEdit(int row, int col, int &keyAscii);
    void grdFilter_KeyUpEdit(int row, int col, int &keyCode, int shift);
    void grdFilter_KeyDown(int &keyCode, int shift);
    void grdFilter_KeyUp(int &keyCode, int shift);
    void grdFilter_RowColChange();
    void grdFilter_CellButtonClick(int row, int col);
    void grdFilter_MouseMove(int button, int shift, int x, int y);
    void deleteCondition();
    void clearCondition(int row);
    void removeCondition(int row);
    void moveTo(int row, int col);
    void startEditSoon();

    // --- commands and filter files (FilterCommands.cpp) ---
    bool Check_ToSave();
    bool Load_Query();
    bool Save_Query();
    bool Print_Grid();
    QString lookUpStatement(const QString &field) const;
    void buildMenu();

    // --- the filter text (FilterText.cpp) ---
    struct FilterPiece;
    bool readConditions(std::vector<FilterPiece> &pieces);

    // --- copy and paste (ConditionClipboard.cpp) ---
    void copyConditions(int r1, int r2) const;
    bool pasteConditions(const QByteArray &data);
    void pasteValue(const QString &text);
    void refuse(const QString &why);

    grid::Grid *m_grdFilter = nullptr;
    ui::KeyedToolBar *m_tlbMenu = nullptr;
    std::unique_ptr<QValidator> m_numberValidator;
    std::unique_ptr<hrErr> m_err;

    std::shared_ptr<db::Recordset> m_rsData;
    std::shared_ptr<db::Connection> m_adoConnection;
    std::vector<FieldEntry> m_fields;
    std::vector<int> m_listedOrdinals; // the field of each entry of the field list after the blank
    QString m_strFieldList = QStringLiteral(" |");
    QString m_strSource;
    std::array<QString, ColumnCount> m_strColLists;
    std::array<QString, ColumnCount> m_strToolTips;

    QString m_strBracket;
    QString m_strDateFormat;
    QString m_strFileExt;
    QString m_strFileName;
    bool m_blnUseSP = false;
    bool m_blnMenuText = false;
    bool m_blnLaidOut = false;

    int m_lngPendingRow = 0;
    bool m_blnCtrl = false;
    bool m_blnCloseUp = false;
    bool m_blnGridUpdate = false;
};
