#pragma once

#include <QWidget>

#include <array>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QRadioButton;

namespace analysis {
struct Options;
}

// "Chart": the design-time property page of the analysis control's chart options, with the
// controls of the options dialog's Chart tab under the same names. A host shows the control's
// values with SelectionChanged, enables its Apply button while Changed() holds, and writes the
// page back with ApplyChanges.
class ppgChart : public QWidget {
    Q_OBJECT
public:
    explicit ppgChart(QWidget *parent = nullptr);

    void SelectionChanged(const analysis::Options &from);
    void ApplyChanges(analysis::Options &to);
    bool Changed() const { return m_changed; }

    // Indexed as in the options dialog: the chart's split is entries 2 and 3 of optSplit and
    // entry 2 of chkLeft; the others are absent.
    std::array<QRadioButton *, 4> optSplit{};
    std::array<QCheckBox *, 3> chkLeft{};
    std::array<QRadioButton *, 2> optAscending{};
    std::array<QRadioButton *, 2> optValue{};
    QCheckBox *chkLegend = nullptr;
    QCheckBox *chkLegendValues = nullptr;
    QComboBox *cboType = nullptr;
    QCheckBox *chkStack = nullptr;
    QLineEdit *txtTitle = nullptr;

signals:
    void ChangedChanged(bool changed);

private:
    void setChanged(bool changed);

    bool m_changed = false;
    bool m_loading = false;
};
