#include "ui/StatusPanels.h"

#include "ui/Twips.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>

#include <algorithm>
#include <stdexcept>

namespace ui {

namespace {

std::string barName(const StatusPanels &bar)
{
    return bar.objectName().isEmpty() ? std::string("status bar") : "status bar " + bar.objectName().toStdString();
}

} // namespace

StatusPanel::StatusPanel(StatusPanels *bar, QLabel *label, QString key, int index)
    : m_bar(bar)
    , m_label(label)
    , m_key(std::move(key))
    , m_index(index)
{
}

StatusPanel::~StatusPanel() = default;

void StatusPanel::setText(const QString &text)
{
    ++m_textWrites;
    m_text = text;
    m_label->setText(text);
}

void StatusPanel::setToolTipText(const QString &text)
{
    m_toolTip = text;
    m_label->setToolTip(text);
}

void StatusPanel::setWidth(int twips)
{
    if (twips < 0)
        throw std::out_of_range("status panel " + std::to_string(m_index) + ": width " + std::to_string(twips)
                                + " is negative");
    m_width = twips;
    applySize();
}

void StatusPanel::setVisible(bool visible)
{
    m_visible = visible;
    m_label->setVisible(visible);
}

void StatusPanel::applySize()
{
    const int pixels = Twips::toPixelsX(m_width, m_label);
    auto *layout = static_cast<QHBoxLayout *>(m_label->parentWidget()->layout());
    switch (m_autoSize) {
    case sbrSpring:
        m_label->setMinimumWidth(pixels);
        m_label->setMaximumWidth(QWIDGETSIZE_MAX);
        m_label->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
        layout->setStretchFactor(m_label, 1);
        break;
    case sbrContents:
        m_label->setMinimumWidth(pixels);
        m_label->setMaximumWidth(QWIDGETSIZE_MAX);
        m_label->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
        layout->setStretchFactor(m_label, 0);
        break;
    default:
        m_label->setFixedWidth(pixels);
        layout->setStretchFactor(m_label, 0);
        break;
    }
}

StatusPanels::StatusPanels(QWidget *parent)
    : QStatusBar(parent)
    , m_panelArea(new QWidget(this))
    , m_layout(new QHBoxLayout(m_panelArea))
    , m_progress(new QProgressBar(this))
{
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_layout->setSpacing(2);
    // One permanent area, so that a temporary message never hides the panels.
    addPermanentWidget(m_panelArea, 1);
    m_progress->setTextVisible(false);
    m_progress->setMaximumWidth(Twips::toPixelsX(2400, this));
    addPermanentWidget(m_progress);
    m_progress->hide();
}

StatusPanels::StatusPanels(int count, QWidget *parent)
    : StatusPanels(parent)
{
    for (int i = 1; i <= count; ++i)
        addPanel(i == 1 ? sbrSpring : sbrContents, i == 1 ? 1440 : 960);
}

StatusPanels::~StatusPanels() = default;

StatusPanel &StatusPanels::addPanel(PanelAutoSize autoSize, int widthTwips, const QString &key)
{
    auto *label = new QLabel(m_panelArea);
    label->setTextFormat(Qt::PlainText);
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label->setIndent(2);
    m_layout->addWidget(label);
    auto panel = std::unique_ptr<StatusPanel>(new StatusPanel(this, label, key, PanelCount() + 1));
    panel->m_autoSize = autoSize;
    panel->setWidth(std::max(0, widthTwips));
    m_panels.push_back(std::move(panel));
    return *m_panels.back();
}

StatusPanel &StatusPanels::Panels(int index) const
{
    if (index < 1 || index > PanelCount())
        throw std::out_of_range(barName(*this) + ": no panel " + std::to_string(index) + " (it has "
                                + std::to_string(PanelCount()) + ")");
    return *m_panels[std::size_t(index - 1)];
}

StatusPanel &StatusPanels::Panels(const QString &key) const
{
    for (const auto &panel : m_panels) {
        if (!key.isEmpty() && panel->Key().compare(key, Qt::CaseInsensitive) == 0)
            return *panel;
    }
    throw std::out_of_range(barName(*this) + ": no panel with key \"" + key.toStdString() + "\"");
}

void StatusPanels::showProgress(int maximum)
{
    m_progress->setRange(0, std::max(0, maximum));
    m_progress->setValue(0);
    m_progress->show();
}

void StatusPanels::setProgressValue(int value)
{
    m_progress->setValue(std::clamp(value, m_progress->minimum(), m_progress->maximum()));
}

int StatusPanels::progressValue() const
{
    return std::max(m_progress->value(), m_progress->minimum());
}

void StatusPanels::advanceProgress(int step)
{
    setProgressValue(progressValue() + step);
}

void StatusPanels::hideProgress()
{
    m_progress->hide();
}

bool StatusPanels::progressVisible() const
{
    return !m_progress->isHidden();
}

} // namespace ui
