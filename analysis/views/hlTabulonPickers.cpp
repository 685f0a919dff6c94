// The set-up bars of the chart, summary and cross-tab views: what to group by, which function of
// which column, and an optional condition on the result; and the aggregate statement built from
// them.
#include "hlTabulon/hlTabulon.h"

#include "core/ControlAccess.h"
#include "core/ControlLayout.h"
#include "core/ControlSupport.h"
#include "core/QueryRunner.h"
#include "hlTabulon/Options.h"
#include "views/Aggregates.h"
#include "views/NumberBox.h"
#include "views/SummarySql.h"

#include "db/Command.h"
#include "db/Connection.h"
#include "db/DbError.h"
#include "db/Recordset.h"
#include "db/ShapeCommand.h"
#include "db/ValueRules.h"
#include "grid/Grid.h"
#include "ui/KeyedToolBar.h"
#include "ui/Prompter.h"
#include "ui/Twips.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QFontMetrics>
#include <QLayout>
#include <QLineEdit>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QPlainTextEdit>
#include <QToolBar>

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace ssql = analysis::summarysql;

namespace {

const QString kNone = QStringLiteral("<none>");

// The ADO type codes whose fields can be summed, averaged and compared with a number.
bool isNumericType(int type)
{
    switch (type) {
    case 2: case 3: case 4: case 5: case 6: case 14: case 16: case 17: case 18: case 19: case 20: case 21: case 131:
        return true;
    default: return false;
    }
}

int right(const QWidget *w)
{
    return w->x() + w->width();
}

// The place of the bar's pickers on its toolbar; sized to what it holds when laid out.
QWidget *pickerPanel(ui::KeyedToolBar *bar)
{
    auto *panel = new QWidget(bar);
    panel->setObjectName(bar->objectName() + QStringLiteral("Pickers"));
    bar->addWidget(panel);
    return panel;
}

void fitPanel(QWidget *panel)
{
    QRect box;
    for (QObject *child : panel->children()) {
        auto *w = qobject_cast<QWidget *>(child);
        if (w && !w->isHidden())
            box = box.united(w->geometry());
    }
    panel->setFixedSize(std::max(1, box.right() + 1), std::max(1, box.bottom() + 1));
}

// The pickers that give up width on a narrow bar; the captions keep theirs.
bool shrinks(const QWidget *w)
{
    return qobject_cast<const QComboBox *>(w) || dynamic_cast<const analysis::NumberBox *>(w);
}

// The least a picker is given: a few characters of its text, and a list's arrow.
int leastWidth(const QWidget *w)
{
    const QFontMetrics metrics = w->fontMetrics();
    int least = metrics.horizontalAdvance(QStringLiteral("000000")) + 8;
    if (const auto *combo = qobject_cast<const QComboBox *>(w)) {
        QStyleOptionComboBox option;
        option.initFrom(combo);
        least = combo->style()
                    ->sizeFromContents(QStyle::CT_ComboBox, &option,
                                       QSize(metrics.averageCharWidth() * 6, metrics.height()), combo)
                    .width();
    }
    return std::min(least, w->maximumWidth());
}

// A panel's shown pickers, left to right, as slots of the fitting arithmetic.
std::vector<QWidget *> shownPickers(const QWidget *panel, std::vector<analysis::layout::PickerSlot> &pickers)
{
    std::vector<QWidget *> parts;
    for (QObject *child : panel->children()) {
        auto *w = qobject_cast<QWidget *>(child);
        if (w && !w->isHidden())
            parts.push_back(w);
    }
    std::sort(parts.begin(), parts.end(), [](const QWidget *a, const QWidget *b) { return a->x() < b->x(); });
    int right = 0;
    for (const QWidget *w : parts) {
        pickers.push_back({w->width(), shrinks(w) ? leastWidth(w) : w->width(), w->x() - right, !shrinks(w)});
        right = w->x() + w->width();
    }
    return parts;
}

// Fits a bar's picker panel, laid out at its full width, into a bar `width` wide: its pickers
// shrink, then run on in rows, as the arithmetic decides. Nothing happens where all fits. The
// pickers of `guest`, a panel with no room on its own bar, come first, in rows of their own.
// Each picker moved is recorded with where it stood; gives the rows taken.
int fitBar(const QToolBar *bar, QWidget *panel, int width, std::vector<std::tuple<QWidget *, QWidget *, QPoint>> &fitted,
           QWidget *guest = nullptr)
{
    const int others = bar->sizeHint().width() - panel->width();
    if (!guest && others + panel->width() <= width)
        return 1;
    const int room = std::max(1, width - others);
    const int pitch = std::max(panel->height(), guest ? guest->height() : 0) + ui::Twips::toPixelsY(30, panel);
    // Both panels read before any picker changes panel.
    std::vector<analysis::layout::PickerSlot> guestPickers;
    std::vector<analysis::layout::PickerSlot> ownPickers;
    const std::vector<QWidget *> guestParts = guest ? shownPickers(guest, guestPickers) : std::vector<QWidget *>();
    const std::vector<QWidget *> ownParts = shownPickers(panel, ownPickers);
    int rows = 0;
    for (QWidget *from : {guest, panel}) {
        if (!from)
            continue;
        const std::vector<QWidget *> &parts = from == panel ? ownParts : guestParts;
        const auto places = analysis::layout::fitPickers(from == panel ? ownPickers : guestPickers, room);
        int taken = 1;
        for (std::size_t i = 0; i < parts.size(); ++i) {
            QWidget *w = parts[i];
            const analysis::layout::PickerPlace &at = places[i];
            fitted.emplace_back(w, from, w->pos());
            if (from != panel) {
                w->setParent(panel);
                w->show();
            }
            // Below its full width, which stays its maximum; the list still opens as wide as that.
            if (at.width < w->width()) {
                w->setMinimumWidth(at.width);
                if (auto *combo = qobject_cast<QComboBox *>(w))
                    combo->view()->setMinimumWidth(w->maximumWidth());
            }
            w->setGeometry(at.left, w->y() + (rows + at.row) * pitch, at.width, w->height());
            taken = std::max(taken, at.row + 1);
        }
        rows += taken;
        fitPanel(from);
        if (QLayout *layout = from->parentWidget()->layout())
            layout->invalidate();
    }
    return rows;
}

// Whether a panel's pickers fit beside what stands before them on a bar `width` wide.
bool fitsBeside(const QToolBar *bar, const QWidget *panel, int width)
{
    const int room = width - (bar->sizeHint().width() - panel->width());
    if (room >= panel->width())
        return true;
    std::vector<analysis::layout::PickerSlot> pickers;
    shownPickers(panel, pickers);
    for (const analysis::layout::PickerPlace &at : analysis::layout::fitPickers(pickers, std::max(1, room)))
        if (at.left + at.width > room)
            return false;
    return true;
}

} // namespace

void hlTabulon::createPickers()
{
    const QWidget *self = this;
    auto twX = [self](double twips) { return ui::Twips::toPixelsX(twips, self); };
    auto twY = [self](double twips) { return ui::Twips::toPixelsY(twips, self); };
    auto caption = [&](QWidget *panel, const char *name, const QString &text, int width, int left, int top) {
        auto *box = new QLineEdit(text, panel);
        box->setObjectName(QLatin1String(name));
        box->setReadOnly(true);
        box->setFrame(false);
        box->setFocusPolicy(Qt::NoFocus);
        // The bar shows through (a palette, not a style sheet: one of those costs every caption its
        // own style).
        QPalette clear = box->palette();
        clear.setColor(QPalette::Base, Qt::transparent);
        box->setPalette(clear);
        // Never narrower than its caption in the control's font, which may be larger than designed.
        const int fits = box->fontMetrics().horizontalAdvance(text) + box->textMargins().left() +
                         box->textMargins().right() + 6;
        box->setGeometry(twX(left), twY(top), std::max(twX(width), fits), std::max(twY(285), box->sizeHint().height()));
        box->setCursorPosition(0);
        return box;
    };
    auto combos = [&](QWidget *first, QWidget *second, PickerArray &array, const char *name) {
        for (int i = 0; i < 6; ++i) {
            auto *combo = new QComboBox(i < 3 ? first : second);
            combo->setObjectName(QStringLiteral("%1%2").arg(QLatin1String(name)).arg(i));
            combo->setEditable(false);
            // Placed by hand, never by a layout, so no size policy: setting one builds the list's
            // popup at once, and most windows never open these lists.
            combo->setGeometry(0, 0, twX(1400), twY(315));
            // Its full width, which a narrow bar may take from it for a while.
            combo->setMaximumWidth(combo->width());
            array[std::size_t(i)] = combo;
        }
    };
    auto numberBox = [&](QWidget *panel, int index) {
        auto *box = new analysis::NumberBox(panel);
        box->setObjectName(QStringLiteral("txtSumValue%1").arg(index));
        box->setGeometry(0, 0, twX(1065), twY(315));
        box->setMaximumWidth(box->width());
        box->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        box->gotFocus = [this, index] { txtSumValue_GotFocus(index); };
        box->lostFocus = [this, index] { txtSumValue_LostFocus(index); };
        box->keyPress = [this, index](int &key) { txtSumValue_KeyPress(index, key); };
        box->setEnabled(false);
        txtSumValue[std::size_t(index)] = box;
    };

    QWidget *chart1 = pickerPanel(tlbChart);
    QWidget *chart2 = pickerPanel(tlbChart2);
    QWidget *sum1 = pickerPanel(tlbSummary);
    QWidget *sum2 = pickerPanel(tlbSummary2);
    QWidget *xtab1 = pickerPanel(tlbXTab);
    QWidget *xtab2 = pickerPanel(tlbXTab2);

    // The chart's buttons stand before this panel on its bar, so its first caption needs no room
    // left for them.
    txtChart[0] = caption(chart1, "txtChart0", QStringLiteral("Col 1:"), 465, 75, 60);
    txtChart[1] = caption(chart1, "txtChart1", QStringLiteral("Col 2:"), 465, 0, 75);
    txtChart[2] = caption(chart2, "txtChart2", QStringLiteral("Function:"), 690, 120, 60);
    txtSummary[0] = caption(sum1, "txtSummary0", QStringLiteral("Col 1:"), 465, 75, 60);
    txtSummary[1] = caption(sum1, "txtSummary1", QStringLiteral("Col 2:"), 465, 0, 75);
    txtSummary[2] = caption(sum1, "txtSummary2", QStringLiteral("Col 3:"), 465, 0, 60);
    txtSummary[3] = caption(sum2, "txtSummary3", QStringLiteral("Function:"), 690, 75, 60);
    txtXTab[0] = caption(xtab1, "txtXTab0", QStringLiteral("Col 1:"), 465, 75, 60);
    txtXTab[1] = caption(xtab1, "txtXTab1", QStringLiteral("Col 2:"), 465, 0, 75);
    txtXTab[2] = caption(xtab2, "txtXTab2", QStringLiteral("Function:"), 690, 75, 60);

    combos(chart1, chart2, cboChartCol, "cboChartCol");
    combos(sum1, sum2, cboSumCol, "cboSumCol");
    combos(xtab1, xtab2, cboXTabCol, "cboXTabCol");
    cboChartCol[2]->hide();
    cboXTabCol[2]->hide();
    numberBox(chart2, 0);
    numberBox(sum2, 1);
    numberBox(xtab2, 2);

    for (int i = 0; i < 6; ++i) {
        connect(cboChartCol[std::size_t(i)], &QComboBox::currentIndexChanged, this, [this, i] { cboChartCol_Click(i); });
        connect(cboSumCol[std::size_t(i)], &QComboBox::currentIndexChanged, this, [this, i] { cboSumCol_Click(i); });
        connect(cboXTabCol[std::size_t(i)], &QComboBox::currentIndexChanged, this, [this, i] { cboXTabCol_Click(i); });
    }
    for (QWidget *panel : {chart1, chart2, sum1, sum2, xtab1, xtab2})
        fitPanel(panel);
}

void hlTabulon::releasePickers()
{
    if (!m_blnViewsMade)
        return;
    for (QLineEdit *box : txtSumValue) {
        if (auto *number = dynamic_cast<analysis::NumberBox *>(box)) {
            number->gotFocus = nullptr;
            number->lostFocus = nullptr;
            number->keyPress = nullptr;
        }
    }
    for (PickerArray *array : {&cboChartCol.made(), &cboSumCol.made(), &cboXTabCol.made()})
        for (QComboBox *combo : *array)
            if (combo)
                disconnect(combo, nullptr, this, nullptr);
    for (grid::Grid *g : {grdSummary.made(), grdXTab.made()})
        if (g)
            disconnect(g, nullptr, this, nullptr);
}

bool hlTabulon::Populate_Fields()
{
    if (m_steps) {
        const bool ok = m_steps->Populate_Fields();
        if (ok)
            m_query->setFieldsLoaded(true);
        return ok;
    }
    // Views not made yet fill their pickers from the field list when they are.
    if (!m_blnViewsMade) {
        m_query->setFieldsLoaded(true);
        return true;
    }
    const auto undo = [&] {
        for (PickerArray *array : {&cboChartCol.get(), &cboSumCol.get(), &cboXTabCol.get()})
            for (QComboBox *combo : *array)
                combo->blockSignals(false);
    };
    return trap(QStringLiteral("Populate_Fields"), [&] {
        const QFontMetrics metrics(font());
        auto measure = [&](const QString &text) {
            return std::round(ui::Twips::fromPixelsX(metrics.horizontalAdvance(text), this));
        };
        double widest = measure(kNone);

        std::vector<QComboBox *> all;
        for (PickerArray *array : {&cboChartCol.get(), &cboSumCol.get(), &cboXTabCol.get()})
            all.insert(all.end(), array->begin(), array->end());
        // Filling raises no clicks; the selections at the end do, as choosing them would.
        for (QComboBox *combo : all) {
            combo->blockSignals(true);
            combo->clear();
        }
        for (QComboBox *combo : {cboChartCol[1], cboChartCol[2], cboSumCol[1], cboSumCol[2]})
            combo->addItem(kNone, 0);
        for (QComboBox *combo : {cboChartCol[3], cboSumCol[3], cboXTabCol[3]}) {
            for (const analysis::aggregates::Aggregate &a : analysis::aggregates::all())
                if (!a.needsValueColumn)
                    combo->addItem(QLatin1String(a.entry));
        }
        for (int i = 0; i < int(m_query->fields().size()); ++i) {
            const QStringList &field = m_query->fields()[i];
            const QString name = field.value(0);
            if (name.isEmpty())
                continue;
            for (QComboBox *combo : {cboChartCol[0], cboChartCol[1], cboSumCol[0], cboSumCol[1], cboSumCol[2],
                                     cboXTabCol[0], cboXTabCol[1]})
                combo->addItem(name);
            if (isNumericType(field.value(1).toInt())) {
                for (QComboBox *combo : {cboSumCol[4], cboChartCol[4], cboXTabCol[4]})
                    combo->addItem(name, i);
            }
            widest = std::max(widest, measure(name));
        }
        const int width = ui::Twips::toPixelsX(std::round(widest * 1.5), this);
        for (QComboBox *combo : all)
            combo->setFixedWidth(width);
        cboSumCol[3]->setFixedWidth(ui::Twips::toPixelsX(1400, this));
        cboSumCol[5]->setFixedWidth(ui::Twips::toPixelsX(1400, this));
        if (cboSumCol[4]->count() > 0) {
            for (const analysis::aggregates::Aggregate &a : analysis::aggregates::all())
                if (a.needsValueColumn)
                    cboSumCol[3]->addItem(QLatin1String(a.entry));
            for (const char *entry : {"", "Equal to", "Not equal to", "Greater than", "Less than"})
                cboSumCol[5]->addItem(QLatin1String(entry));
            cboSumCol[5]->setFixedWidth(ui::Twips::toPixelsX(1300, this));
            txtSumValue[1]->clear();
        }
        cboSumCol[2]->setEnabled(false);
        auto copyLists = [&](PickerArray &bar, QLineEdit *box) {
            if (bar[4]->count() == 0)
                return;
            for (int i = bar[3]->count(); i < cboSumCol[3]->count(); ++i)
                bar[3]->addItem(cboSumCol[3]->itemText(i));
            for (int i = 0; i < cboSumCol[5]->count(); ++i)
                bar[5]->addItem(cboSumCol[5]->itemText(i));
            bar[3]->setFixedWidth(cboSumCol[3]->width());
            bar[5]->setFixedWidth(cboSumCol[5]->width());
            box->clear();
        };
        // The function and operator lists are read whole even where the font is larger than designed.
        for (QComboBox *combo : {cboSumCol[3], cboSumCol[5]}) {
            int widest = 0;
            for (int i = 0; i < combo->count(); ++i)
                widest = std::max(widest, combo->fontMetrics().horizontalAdvance(combo->itemText(i)));
            combo->setFixedWidth(std::max(combo->width(), widest + combo->style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 16));
        }
        copyLists(cboChartCol, txtSumValue[0]);
        copyLists(cboXTabCol, txtSumValue[2]);
        for (QComboBox *combo : all) {
            combo->setCurrentIndex(-1);
            combo->blockSignals(false);
        }

        for (int i = 0; i <= 3; ++i) {
            for (PickerArray *array : {&cboChartCol.get(), &cboSumCol.get(), &cboXTabCol.get()}) {
                QComboBox *combo = (*array)[std::size_t(i)];
                if (combo->count() > 0)
                    combo->setCurrentIndex(0);
            }
        }
        for (QLineEdit *box : txtSumValue)
            box->clear();
        m_query->setFieldsLoaded(true);
        return true;
    }, undo);
}

bool hlTabulon::Position_Combos()
{
    if (!m_blnViewsMade)
        return true;
    return trap(QStringLiteral("Position_Combos"), [&] {
        const int gap = ui::Twips::toPixelsX(10, this);
        const int wide = ui::Twips::toPixelsX(100, this);
        auto after = [](QWidget *w, const QWidget *left, int space) { w->move(right(left) + space, w->y()); };

        // Each picker back at its full width and place before the bars are laid out again.
        for (const auto &[picker, panel, at] : m_pickersFitted) {
            if (picker->parentWidget() != panel) {
                picker->setParent(panel);
                picker->show();
            }
            picker->move(at);
            if (shrinks(picker))
                picker->resize(picker->maximumWidth(), picker->height());
        }
        const bool restored = !m_pickersFitted.empty();
        m_pickersFitted.clear();

        const int top = cboChartCol[0]->y();
        for (int i = 1; i < 6; ++i)
            cboChartCol[std::size_t(i)]->move(cboChartCol[std::size_t(i)]->x(), top);
        txtChart[0]->move(txtChart[0]->x(), top + ui::Twips::toPixelsY(75, this));
        txtChart[1]->move(txtChart[1]->x(), txtChart[0]->y());
        txtChart[2]->move(txtChart[2]->x(), txtChart[0]->y());
        txtSumValue[0]->move(txtSumValue[0]->x(), cboChartCol[0]->y());
        txtSumValue[1]->move(txtSumValue[1]->x(), cboSumCol[0]->y());
        txtSumValue[2]->move(txtSumValue[2]->x(), cboXTabCol[0]->y());

        after(cboChartCol[0], txtChart[0], gap);
        after(txtChart[1], cboChartCol[0], wide);
        after(cboChartCol[1], txtChart[1], gap);
        txtChart[2]->move(ui::Twips::toPixelsX(120, this), txtChart[2]->y());
        after(cboChartCol[3], txtChart[2], gap);
        after(cboChartCol[4], cboChartCol[3], gap);
        after(cboChartCol[5], cboChartCol[4], gap);
        after(txtSumValue[0], cboChartCol[5], gap);

        after(cboSumCol[0], txtSummary[0], gap);
        after(txtSummary[1], cboSumCol[0], wide);
        after(cboSumCol[1], txtSummary[1], gap);
        after(txtSummary[2], cboSumCol[1], wide);
        after(cboSumCol[2], txtSummary[2], gap);
        txtSummary[3]->move(txtSummary[0]->x(), txtSummary[3]->y());
        after(cboSumCol[3], txtSummary[3], gap);
        after(cboSumCol[4], cboSumCol[3], gap);
        after(cboSumCol[5], cboSumCol[4], gap);
        after(txtSumValue[1], cboSumCol[5], gap);

        after(cboXTabCol[0], txtXTab[0], gap);
        after(txtXTab[1], cboXTabCol[0], wide);
        after(cboXTabCol[1], txtXTab[1], gap);
        txtXTab[2]->move(txtXTab[0]->x(), txtXTab[2]->y());
        after(cboXTabCol[3], txtXTab[2], gap);
        after(cboXTabCol[4], cboXTabCol[3], gap);
        after(cboXTabCol[5], cboXTabCol[4], gap);
        after(txtSumValue[2], cboXTabCol[5], gap);

        for (QWidget *anchor : {cboChartCol[0], cboChartCol[3], cboSumCol[0], cboSumCol[3], cboXTabCol[0], cboXTabCol[3]})
            fitPanel(anchor->parentWidget());
        // A panel the bar had no room for is hidden, and its new size goes unnoticed by the bar.
        if (restored)
            for (QWidget *anchor : {cboChartCol[0], cboChartCol[3], cboSumCol[0], cboSumCol[3], cboXTabCol[0], cboXTabCol[3]})
                if (QLayout *bar = anchor->parentWidget()->parentWidget()->layout())
                    bar->invalidate();

        // The shown bars in a window too narrow for them.
        m_blnPickersWrapped = false;
        if (m_intView != tbViewResults) {
            const PickerArray &shown = m_intView == tbViewChart ? cboChartCol : m_intView == tbViewSummary ? cboSumCol
                                                                                                          : cboXTabCol;
            QWidget *first = shown[0]->parentWidget();
            QWidget *second = shown[3]->parentWidget();
            const auto *firstBar = qobject_cast<const QToolBar *>(first->parentWidget());
            const auto *secondBar = qobject_cast<const QToolBar *>(second->parentWidget());
            // The chart's buttons may leave its first pickers no room: they go to the second bar.
            QWidget *guest = fitsBeside(firstBar, first, width()) ? nullptr : first;
            if (!guest && fitBar(firstBar, first, width(), m_pickersFitted) > 1)
                m_blnPickersWrapped = true;
            if (fitBar(secondBar, second, width(), m_pickersFitted, guest) > 1)
                m_blnPickersWrapped = true;
        }
        return true;
    });
}

bool hlTabulon::Set_ToolTips()
{
    return trap(QStringLiteral("Set_ToolTips"), [&] {
        struct Bar {
            PickerArray &combos;
            const char *verb;
            bool third;
        };
        for (const Bar &bar : {Bar{cboChartCol, "Chart", false}, Bar{cboSumCol, "Summarise", true},
                               Bar{cboXTabCol, "XTab", false}}) {
            const QString verb = QLatin1String(bar.verb);
            bar.combos[0]->setToolTip(QStringLiteral("Select 1st column to ") + verb);
            bar.combos[1]->setToolTip(QStringLiteral("Select 2nd column to ") + verb);
            if (bar.third)
                bar.combos[2]->setToolTip(QStringLiteral("Select 3rd column to ") + verb);
            bar.combos[5]->setToolTip(QStringLiteral("Select filter function"));
        }
        cboChartCol[3]->setToolTip(QStringLiteral("Select Charting function"));
        cboSumCol[3]->setToolTip(QStringLiteral("Select Summary function"));
        cboXTabCol[3]->setToolTip(QStringLiteral("Select XTab function"));
        cboChartCol[4]->setToolTip(QStringLiteral("Select Charting column"));
        cboSumCol[4]->setToolTip(QStringLiteral("Select Summary column"));
        cboXTabCol[4]->setToolTip(QStringLiteral("Select XTab column"));
        for (QLineEdit *box : txtSumValue)
            box->setToolTip(QStringLiteral("Enter value"));
        return true;
    });
}

namespace {

// The function and operator rules every bar shares.
void cascade(std::array<QComboBox *, 6> &bar, QLineEdit *box, int index)
{
    if (index == 3) {
        const analysis::aggregates::Aggregate *chosen = analysis::aggregates::find(bar[3]->currentIndex());
        const bool needsColumn = chosen && chosen->needsValueColumn;
        bar[4]->setEnabled(needsColumn);
        if (needsColumn)
            bar[4]->setFocus();
        else
            bar[4]->setCurrentIndex(-1);
        box->setEnabled(!bar[5]->isHidden() && bar[5]->currentIndex() > 0);
    } else if (index == 5) {
        if (bar[5]->currentIndex() > 0) {
            box->setEnabled(true);
            box->setVisible(true);
            box->selectAll();
            box->setFocus();
        } else {
            box->setEnabled(false);
        }
    }
}

} // namespace

void hlTabulon::cboChartCol_Click(int index)
{
    if (m_blnRefreshing)
        return;
    trap(QStringLiteral("cboChartCol_Click"), [&] {
        cascade(cboChartCol, txtSumValue[0], index);
    });
}

void hlTabulon::cboSumCol_Click(int index)
{
    if (m_blnRefreshing)
        return;
    trap(QStringLiteral("cboSumCol_Click"), [&] {
        cboSumCol[2]->setEnabled(cboSumCol[1]->currentIndex() > 0);
        if (index == 1 && cboSumCol[1]->currentIndex() == 0)
            cboSumCol[2]->setCurrentIndex(0);
        cascade(cboSumCol, txtSumValue[1], index);
    });
}

void hlTabulon::cboXTabCol_Click(int index)
{
    if (m_blnRefreshing)
        return;
    trap(QStringLiteral("cboXTabCol_Click"), [&] {
        cascade(cboXTabCol, txtSumValue[2], index);
    });
}

void hlTabulon::txtSumValue_GotFocus(int index)
{
    QLineEdit *box = txtSumValue[std::size_t(index)];
    if (const auto number = ssql::canonicalNumber(box->text()))
        box->setText(*number == QLatin1String("0") ? QString() : ssql::localNumber(*number, QLocale(), false));
    box->selectAll();
}

void hlTabulon::txtSumValue_KeyPress(int, int &keyAscii)
{
    // The locale's decimal point and thousands separator belong to the number as typed.
    const QLocale locale;
    if (keyAscii > 0 && keyAscii < 0x10000) {
        const QString typed{QChar(char16_t(keyAscii))};
        if (typed == locale.decimalPoint() || typed == locale.groupSeparator())
            return;
    }
    const int key = analysis::Check_NumberKey(keyAscii, false);
    keyAscii = key < 0 ? 0 : key;
}

void hlTabulon::txtSumValue_LostFocus(int index)
{
    QLineEdit *box = txtSumValue[std::size_t(index)];
    if (const auto number = ssql::canonicalNumber(box->text()))
        box->setText(ssql::localNumber(*number));
}

QLineEdit *hlTabulon::pickerValueBox(const PickerArray &picker) const
{
    return &picker == &cboChartCol.made() ? txtSumValue[0] : &picker == &cboXTabCol.made() ? txtSumValue[2] : txtSumValue[1];
}

namespace {

// What a picker bar asks for; the cross-tab's second column has no "<none>" and is always chosen.
ssql::Choice pickerChoice(const std::array<QComboBox *, 6> &picker, bool xtab, const QLineEdit &box)
{
    auto chosen = [&](int i) {
        const int at = picker[std::size_t(i)]->currentIndex();
        return (xtab && i == 1 ? at >= 0 : at > 0) ? picker[std::size_t(i)]->currentText() : QString();
    };
    ssql::Choice choice;
    choice.c0 = picker[0]->currentText();
    choice.c1 = chosen(1);
    choice.c2 = xtab ? QString() : chosen(2);
    choice.function = picker[3]->currentIndex();
    if (const analysis::aggregates::Aggregate *a = analysis::aggregates::find(choice.function); a && a->needsValueColumn)
        choice.valueColumn = picker[4]->currentText();
    choice.op = std::max(0, picker[5]->currentIndex());
    choice.value = box.text();
    return choice;
}

// The routine call a shaped command begins with: each input value shown as text, apostrophes
// doubled (the values themselves are bound when it runs).
QString shapeHead(const db::Command &routine)
{
    QString head = QStringLiteral("SHAPE {EXEC ") + routine.CommandText + u' ';
    for (const db::Parameter &p : routine.Parameters) {
        if (!db::isInputDirection(p.Direction))
            continue;
        if (!p.Value.isValid() || p.Value.isNull())
            head += QStringLiteral("NULL");
        else if (db::isTextType(p.Type))
            head += db::quoteText(p.Value.toString());
        else if (p.Type == db::adBoolean)
            head += p.Value.toBool() ? u'1' : u'0';
        else
            head += p.Value.toString();
        head += u',';
    }
    head.chop(1);
    return head + u'}';
}

// "<head> AS rs COMPUTE rs, FN(rs.col)  BY c0[,c1[,c2]]"; a count counts the group's rows, so
// that a group of Nulls counts as many as it has. An average comes with the group's sum and count,
// as the statement for a table gives them.
QString shapeText(const QString &head, const ssql::Choice &choice, const QString &delimiter, bool averageParts)
{
    auto q = [&](const QString &name) { return db::quoteIdentifier(name, delimiter); };
    QString compute;
    const QString column = QStringLiteral("rs.") + q(choice.valueColumn);
    if (averageParts) {
        compute = QStringLiteral("AVG(") + column + QStringLiteral("), SUM(") + column + QStringLiteral("), COUNT(") + column
            + u')';
    } else {
        const analysis::aggregates::Aggregate *a = analysis::aggregates::find(choice.function);
        if (!a)
            throw std::runtime_error("Choose a function to summarise with");
        // The sum's leading blank is how the shaped command has always read.
        compute = a->needsValueColumn ? QLatin1String(a->function == analysis::aggregates::fnSum ? " " : "") +
                                            QLatin1String(a->sql) + u'(' + column + u')'
                                      : QStringLiteral("COUNT(rs)");
    }
    QString text = head + QStringLiteral(" AS rs COMPUTE rs, ") + compute + QStringLiteral("  BY ") + q(choice.c0);
    if (!choice.c1.isEmpty())
        text += u',' + q(choice.c1);
    if (!choice.c2.isEmpty())
        text += u',' + q(choice.c2);
    return text;
}

} // namespace

std::shared_ptr<db::Recordset> hlTabulon::openAggregate(const QString &sql)
{
    if (!m_query->inMemory()) {
        if (!m_query->connection())
            throw db::UsageError(QStringLiteral("There is no connection"));
        auto rs = db::Recordset::create();
        rs->Open(sql, m_query->connection());
        return rs;
    }
    if (!m_shape) {
        m_shape = std::make_shared<db::ShapeConnection>();
        if (m_query->source() == analysis::QueryRunner::StoredProc) {
            if (!m_query->connection())
                throw db::UsageError(QStringLiteral("There is no connection"));
            m_shape->Open(QStringLiteral("Provider = MSDataShape; Data ") + m_query->connection()->ConnectionString());
        }
    }
    // Held here: the run waits with the event loop turning, and the refresh may end meanwhile.
    const std::shared_ptr<db::ShapeConnection> shape = m_shape;
    if (m_query->source() == analysis::QueryRunner::StoredProc) {
        if (!m_query->routine())
            throw db::UsageError(QStringLiteral("The stored procedure has not been set up"));
        // The rows the results show: the routine's, narrowed by the query's filters.
        const analysis::QueryRunner &query = *m_query;
        return db::groupsFirst(
            *shape->Execute(sql, *m_query->routine(), [&query](db::Recordset &rows) { query.filterRows(rows); }));
    }
    // The rows shown (filters and all); before the first run, the document's own.
    std::shared_ptr<db::Recordset> rows = m_query->results();
    if (!m_query->resultsOpen()) {
        rows = db::Recordset::create();
        rows->OpenXml(m_query->fileName());
    }
    return db::groupsFirst(*shape->Execute(sql, *rows));
}

const std::vector<db::ProviderError> *hlTabulon::aggregateErrors() const
{
    if (m_query->inMemory())
        return m_shape ? &m_shape->Errors() : nullptr;
    return m_query->connection() ? &m_query->connection()->Errors() : nullptr;
}

QString hlTabulon::Get_AveragePartsSQL(const PickerArray &picker)
{
    if (m_query->inMemory()) {
        if (m_strShapeHead.isEmpty())
            throw db::UsageError(QStringLiteral("The averages' parts have no command to shape"));
        const ssql::Choice choice = pickerChoice(picker, &picker == &cboXTabCol.made(), *pickerValueBox(picker));
        return shapeText(m_strShapeHead, choice, identifierDelimiter(), true);
    }
    QString inner = txtResultsSQL->toPlainText();
    if (!Get_Query(inner))
        throw db::DbError(QStringLiteral("The statement's filters could not be applied"));
    const ssql::Choice choice = pickerChoice(picker, &picker == &cboXTabCol.made(), *pickerValueBox(picker));
    return ssql::averagePartsSql(choice, inner, identifierDelimiter());
}

QString hlTabulon::Get_SummarySQL(const PickerArray &picker)
{
    QString sql;
    trap(QStringLiteral("Get_SummarySQL"), [&] {
        QLineEdit *box = pickerValueBox(picker);
        const ssql::Choice choice = pickerChoice(picker, &picker == &cboXTabCol.made(), *box);
        if (m_query->inMemory()) {
            // Each refresh shapes on a connection of its own, released when it ends.
            m_shape.reset();
            m_strShapeHead.clear();
            if (m_query->source() == analysis::QueryRunner::StoredProc) {
                if (!m_query->routine())
                    throw std::runtime_error("The stored procedure has not been set up");
                const bool asked = askParameters();
                grdResults->setRedraw(1);
                if (!asked)
                    return;
                m_strShapeHead = shapeHead(*m_query->routine());
            } else {
                m_strShapeHead = QStringLiteral("SHAPE {") + m_query->fileName() + u'}';
            }
            sql = shapeText(m_strShapeHead, choice, identifierDelimiter(), false);
            return;
        }

        QString inner = txtResultsSQL->toPlainText();
        if (!Get_Query(inner))
            return;
        try {
            sql = ssql::summarySql(choice, inner, identifierDelimiter());
        } catch (const std::invalid_argument &refused) {
            ui::Prompter::msgBox(QString::fromUtf8(refused.what()), ui::MsgButtons::OK, ui::MsgIcon::Exclamation,
                                 analysis::kMessageTitle, this);
            if (choice.op > 0 && box->isEnabled())
                box->setFocus();
        }
    });
    return sql;
}
