#include "dialogs/ppgChart.h"

#include "hlTabulon/Options.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

// The chart types as the options dialog lists them.
const std::pair<const char *, int> kChartTypes[] = {
    {"3D Bar", analysis::ChartType3DBar},
    {"2D Bar", analysis::ChartType2DBar},
    {"3D Area", analysis::ChartType3DArea},
    {"2D Pie", analysis::ChartType2DPie},
};

template <typename T>
T *named(QWidget *parent, const QString &name, const QString &caption)
{
    auto *w = new T(caption, parent);
    w->setObjectName(name);
    return w;
}

QGroupBox *frame(QWidget *parent, const char *caption)
{
    auto *box = new QGroupBox(QLatin1String(caption), parent);
    box->setObjectName(QStringLiteral("fra") + QLatin1String(caption));
    return box;
}

} // namespace

ppgChart::ppgChart(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("ppgChart"));
    setWindowTitle(QStringLiteral("Chart"));
    auto *page = new QGridLayout(this);

    QGroupBox *fraSplit = frame(this, "Split");
    optSplit[2] = named<QRadioButton>(fraSplit, QStringLiteral("optSplit2"), QStringLiteral("Vertical"));
    optSplit[3] = named<QRadioButton>(fraSplit, QStringLiteral("optSplit3"), QStringLiteral("Horizontal"));
    chkLeft[2] = named<QCheckBox>(fraSplit, QStringLiteral("chkLeft2"), QStringLiteral("SQL on left\\top"));
    auto *split = new QVBoxLayout(fraSplit);
    for (QWidget *w : {static_cast<QWidget *>(optSplit[2]), static_cast<QWidget *>(optSplit[3]),
                       static_cast<QWidget *>(chkLeft[2])})
        split->addWidget(w);
    optSplit[2]->setChecked(true);

    QGroupBox *fraSort = frame(this, "Sort");
    optAscending[0] = named<QRadioButton>(fraSort, QStringLiteral("optAscending0"), QStringLiteral("Ascending"));
    optAscending[1] = named<QRadioButton>(fraSort, QStringLiteral("optAscending1"), QStringLiteral("Descending"));
    optValue[0] = named<QRadioButton>(fraSort, QStringLiteral("optValue0"), QStringLiteral("By Name"));
    optValue[1] = named<QRadioButton>(fraSort, QStringLiteral("optValue1"), QStringLiteral("By Value"));
    // Two choices in one frame: each pair is a group of its own.
    auto *orderGroup = new QButtonGroup(fraSort);
    auto *byGroup = new QButtonGroup(fraSort);
    auto *sort = new QGridLayout(fraSort);
    for (int i = 0; i < 2; ++i) {
        orderGroup->addButton(optAscending[std::size_t(i)]);
        byGroup->addButton(optValue[std::size_t(i)]);
        sort->addWidget(optValue[std::size_t(i)], i, 0);
        sort->addWidget(optAscending[std::size_t(i)], i, 1);
    }
    optAscending[0]->setChecked(true);
    optValue[0]->setChecked(true);

    QGroupBox *fraLegend = frame(this, "Legend");
    chkLegend = named<QCheckBox>(fraLegend, QStringLiteral("chkLegend"), QStringLiteral("Display"));
    chkLegendValues = named<QCheckBox>(fraLegend, QStringLiteral("chkLegendValues"), QStringLiteral("Show Values"));
    auto *legend = new QVBoxLayout(fraLegend);
    legend->addWidget(chkLegend);
    legend->addWidget(chkLegendValues);

    QGroupBox *fraStyle = frame(this, "Style");
    cboType = new QComboBox(fraStyle);
    cboType->setObjectName(QStringLiteral("cboType"));
    for (const auto &[caption, code] : kChartTypes)
        cboType->addItem(QLatin1String(caption), code);
    chkStack = named<QCheckBox>(fraStyle, QStringLiteral("chkStack"), QStringLiteral("Stack Series"));
    auto *style = new QGridLayout(fraStyle);
    style->addWidget(new QLabel(QStringLiteral("Type"), fraStyle), 0, 0);
    style->addWidget(cboType, 0, 1);
    style->addWidget(chkStack, 1, 0, 1, 2);

    QGroupBox *fraDisplay = frame(this, "Display");
    txtTitle = new QLineEdit(fraDisplay);
    txtTitle->setObjectName(QStringLiteral("txtTitle"));
    auto *display = new QGridLayout(fraDisplay);
    display->addWidget(new QLabel(QStringLiteral("Title"), fraDisplay), 0, 0);
    display->addWidget(txtTitle, 0, 1);

    page->addWidget(fraSplit, 0, 0);
    page->addWidget(fraSort, 0, 1);
    page->addWidget(fraLegend, 1, 0);
    page->addWidget(fraStyle, 1, 1);
    page->addWidget(fraDisplay, 2, 0, 1, 2);
    page->setRowStretch(3, 1);

    // Any edit is something to apply; filling the page from the control is none.
    const auto edited = [this] {
        if (!m_loading)
            setChanged(true);
    };
    for (QRadioButton *r : {optSplit[2], optSplit[3], optAscending[0], optAscending[1], optValue[0], optValue[1]})
        connect(r, &QRadioButton::toggled, this, edited);
    for (QCheckBox *b : {chkLeft[2], chkLegend, chkLegendValues, chkStack})
        connect(b, &QCheckBox::toggled, this, edited);
    connect(cboType, &QComboBox::currentIndexChanged, this, edited);
    connect(txtTitle, &QLineEdit::textChanged, this, edited);
}

void ppgChart::SelectionChanged(const analysis::Options &from)
{
    m_loading = true;
    optSplit[from.ChartSplit.Orientation ? 3 : 2]->setChecked(true);
    chkLeft[2]->setChecked(from.ChartSplit.Left);
    optValue[from.ChartSortCols ? 1 : 0]->setChecked(true);
    optAscending[from.ChartSortDesc ? 1 : 0]->setChecked(true);
    chkLegend->setChecked(from.ChartLegend);
    chkLegendValues->setChecked(from.ChartLegendValues);
    // A code the list does not have leaves the list without a choice, and the code as it was.
    cboType->setCurrentIndex(cboType->findData(from.ChartType));
    chkStack->setChecked(from.ChartStack);
    txtTitle->setText(from.ChartTitle);
    m_loading = false;
    setChanged(false);
}

void ppgChart::ApplyChanges(analysis::Options &to)
{
    to.ChartSplit.Orientation = optSplit[3]->isChecked();
    to.ChartSplit.Left = chkLeft[2]->isChecked();
    to.ChartSortCols = optValue[1]->isChecked();
    to.ChartSortDesc = optAscending[1]->isChecked();
    to.ChartLegend = chkLegend->isChecked();
    to.ChartLegendValues = chkLegendValues->isChecked();
    if (cboType->currentIndex() >= 0)
        to.ChartType = cboType->currentData().toInt();
    to.ChartStack = chkStack->isChecked();
    to.ChartTitle = txtTitle->text();
    setChanged(false);
}

void ppgChart::setChanged(bool changed)
{
    if (changed == m_changed)
        return;
    m_changed = changed;
    emit ChangedChanged(changed);
}
