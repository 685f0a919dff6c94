#pragma once

#include <QAbstractSpinBox>
#include <QDialog>
#include <QFont>
#include <QPointer>

#include <array>
#include <optional>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;
class hlTabulon;

namespace analysis {
struct Options;
}

// The number box of the recent-files count with its up-down arrows. Typing is not limited; an
// arrow takes the box's leading number and steps it by one within 0 to 9.
class RecentFilesBox : public QAbstractSpinBox {
    Q_OBJECT
public:
    explicit RecentFilesBox(QWidget *parent = nullptr);
    QLineEdit *edit() const { return lineEdit(); }
    void stepBy(int steps) override;
    QValidator::State validate(QString &input, int &pos) const override;

protected:
    StepEnabled stepEnabled() const override;
};

// "Options": the display options of the analysis control (results, chart, summary and cross-tab
// views, their grids, fonts, colours, wallpapers and pane splits, and a few general settings).
//
// The controls are loaded from the library's shared option values when the dialog loads. Edits
// stay in the controls until Apply or OK: then a copy of the shared values takes them all, and
// only when every control gave a valid value is it stored and made the shared values in one go,
// and the opening control re-applies them. Closing without saving leaves the shared values, the
// store and the control as they were.
class frmOptions : public QDialog {
    Q_OBJECT
public:
    enum Tab { tabResults = 0, tabChart = 1, tabSummary = 2, tabXTab = 3, tabGeneral = 4 };

    explicit frmOptions(QWidget *parent = nullptr);
    ~frmOptions() override;

    // Inputs, set before the dialog loads.
    void setCalledFrom(hlTabulon *control) { m_calledFrom = control; }
    // The tab shown first (the opener's current view); below 0 keeps the tab strip as it is.
    void setInitialTab(qint32 tab) { m_initialTab = tab; }

    // Loads the dialog once (Init); showing it loads it too. True when it loaded.
    bool load();
    bool isLoaded() const { return m_loaded; }
    bool dataChanged() const { return m_dataChanged; }
    bool chartChanged() const { return m_chartChanged; }

    bool Init();
    bool Save_Changes();

    // Lists, pickers and tooltips (frmOptionsPickers.cpp).
    bool Get_ChartTypes();
    bool Get_PicAlignments(int gridTab);
    bool Get_GridLineTypes(QComboBox *combo);
    bool Set_ToolTips();
    bool Show_Fonts(int index);
    bool Show_Colors(int index);
    bool Load_Wallpaper(int gridTab);

    // The font and colours a box holds (what is saved; a font box draws its font no larger than
    // the dialog can show).
    QFont boxFont(int index) const { return m_boxFont.at(std::size_t(index)); }
    quint32 boxTextColor(int index) const { return m_boxTextColor.at(std::size_t(index)); }
    quint32 boxBackColor(int index) const { return m_boxBackColor.at(std::size_t(index)); }

    // The leading number of a text, as typed into a number box: blanks, a sign, digits, a
    // decimal part and an exponent; 0 when it starts with none.
    static double leadingNumber(const QString &text);

    // The close box, Cancel and Escape come here: pending changes are asked about.
    void reject() override;

    QTabWidget *tabOptions = nullptr;
    // Results
    std::array<QRadioButton *, 3> optDblClick{};
    QCheckBox *chkAutoSQL = nullptr;
    QCheckBox *chkShowCount = nullptr;
    QCheckBox *chkColSort = nullptr;
    QCheckBox *chkColSel = nullptr;
    std::array<QCheckBox *, 3> chkToolBarText{}; // 0 main, 1 results, 2 query builder
    // Grid tabs 0 results, 1 summary, 2 cross-tab.
    std::array<QComboBox *, 3> cboGridLines{};
    std::array<QComboBox *, 3> cboAlignment{};
    std::array<QLineEdit *, 3> txtWallpaper{};
    std::array<QPushButton *, 3> cmdWallpaper{};
    std::array<QCheckBox *, 3> chkAlternateRows{};
    // Colour boxes 0, 1, 3, 4, 6, 7, 9, 10; font boxes 2, 5, 8, 12; box n's picker is cmdDialog(n).
    std::array<QLineEdit *, 11> txtColor{};
    std::array<QLineEdit *, 13> txtFont{};
    std::array<QPushButton *, 13> cmdDialog{};
    // Splits: two buttons a view (vertical, horizontal) in view order; chkLeft 1 to 4 by view.
    std::array<QRadioButton *, 8> optSplit{};
    std::array<QCheckBox *, 5> chkLeft{};
    // Chart
    QLineEdit *txtTitle = nullptr;
    QComboBox *cboType = nullptr;
    QCheckBox *chkStack = nullptr;
    QCheckBox *chkLegend = nullptr;
    QCheckBox *chkLegendValues = nullptr;
    std::array<QRadioButton *, 2> optValue{};     // by name, by value
    std::array<QRadioButton *, 2> optAscending{}; // ascending, descending
    // Summary
    QCheckBox *chkSubTotals = nullptr;
    QCheckBox *chkMergeCols = nullptr;
    // General
    QCheckBox *chkSortFields = nullptr;
    QLineEdit *txtRecentFiles = nullptr;
    RecentFilesBox *updRecentFiles = nullptr;

    QPushButton *cmdOK = nullptr;
    QPushButton *cmdApply = nullptr;
    QPushButton *cmdCancel = nullptr;

    void cmdOK_Click();
    void cmdApply_Click();

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWidget *buildResultsTab();
    QWidget *buildChartTab();
    QWidget *buildSummaryTab();
    QWidget *buildXTabTab();
    QWidget *buildGeneralTab();
    // The frames every grid tab has: grid lines and font, colours, wallpaper.
    QWidget *buildGridFrame(int gridTab, QWidget *page);
    QWidget *buildColourFrame(int gridTab, QWidget *page);
    QWidget *buildWallpaperFrame(int gridTab, QWidget *page);
    QWidget *buildSplitFrame(int view, QWidget *page);
    QLineEdit *makeColourBox(int index, QWidget *parent);
    QLineEdit *makeFontBox(int index, QWidget *parent);
    QPushButton *makePickerButton(int index, QWidget *parent);
    void connectChanges();

    void showBoxFont(int index, const QFont &font, quint32 color);
    void showBoxColor(int index, quint32 color);
    // A change of an option: pending changes, and the flag of its kind.
    void changed(bool chart);
    void alternateRowsToggled(int gridTab, bool on);
    // Writes every control into the values; throws on a value that cannot be saved.
    void readControls(analysis::Options &values) const;
    // Saved, re-applied to the opener (Apply, OK, Yes on closing).
    bool saveAndApply();

    QPointer<hlTabulon> m_calledFrom;
    qint32 m_initialTab = -1;
    bool m_loadTried = false;
    bool m_loaded = false;
    bool m_dataChanged = false;
    bool m_chartChanged = false;
    // The last save stopped at a value the user has to mend.
    bool m_inputRefused = false;
    std::array<QFont, 13> m_boxFont{};
    std::array<quint32, 13> m_boxTextColor{};
    std::array<quint32, 11> m_boxBackColor{};
};
