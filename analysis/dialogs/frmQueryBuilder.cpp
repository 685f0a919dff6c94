#include "dialogs/frmQueryBuilder.h"

#include "automation/Automation.h"
#include "hlTabulon/LibraryState.h"
#include "hlTabulon/Options.h"
#include "settings/SettingsStore.h"
#include "ui/Twips.h"

#include <hlQueryBuilder/QueryBuilder.h>

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>

#include <cmath>

namespace {

const QString kSection = QStringLiteral("QueryBuilder");
constexpr int kEdgePixels = 5;
// What the window keeps around the hosted control: the frame at the sides, the caption and
// the frame at the bottom.
constexpr int kSpareWidthTwips = 120;
constexpr int kSpareHeightTwips = 400;

} // namespace

frmQueryBuilder::frmQueryBuilder(QWidget *parent)
    : QFrame(parent)
{
    setObjectName(QStringLiteral("frmQueryBuilder"));
    setWindowTitle(QStringLiteral("Query Builder:"));
    setFrameStyle(QFrame::StyledPanel | QFrame::Raised);
    setAutoFillBackground(true);

    auto *caption = new QWidget(this);
    caption->setObjectName(QStringLiteral("caption"));
    auto *row = new QHBoxLayout(caption);
    row->setContentsMargins(4, 1, 1, 1);
    lblCaption = new QLabel(windowTitle(), caption);
    lblCaption->setObjectName(QStringLiteral("lblCaption"));
    QFont bold = lblCaption->font();
    bold.setBold(true);
    lblCaption->setFont(bold);
    cmdClose = new QToolButton(caption);
    cmdClose->setObjectName(QStringLiteral("cmdClose"));
    cmdClose->setIcon(style()->standardIcon(QStyle::SP_TitleBarCloseButton));
    cmdClose->setAutoRaise(true);
    cmdClose->setToolTip(QStringLiteral("Close"));
    row->addWidget(lblCaption, 1);
    row->addWidget(cmdClose);
    caption->setGeometry(0, 0, 10, caption->sizeHint().height());
    connect(cmdClose, &QToolButton::clicked, this, &frmQueryBuilder::closeByUser);

    m_builder = new QueryBuilder(this);
    m_builder->setObjectName(QStringLiteral("hlQueryBuilder"));
    connect(m_builder, &QueryBuilder::Apply, this, &frmQueryBuilder::hlQueryBuilder_Apply);
    connect(m_builder, &QueryBuilder::ReSize, this, &frmQueryBuilder::Form_Resize);

    cmdCancel = new QPushButton(QStringLiteral("Cancel"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    cmdCancel->setShortcut(QKeySequence(Qt::Key_Escape));
    connect(cmdCancel, &QPushButton::clicked, this, &frmQueryBuilder::closeByUser);

    // Edges the user drags to size the window.
    for (QWidget **edge : {&m_rightEdge, &m_bottomEdge}) {
        *edge = new QWidget(this);
        (*edge)->setCursor(edge == &m_rightEdge ? Qt::SizeHorCursor : Qt::SizeVerCursor);
        (*edge)->installEventFilter(this);
    }
    m_rightEdge->setObjectName(QStringLiteral("rightEdge"));
    m_bottomEdge->setObjectName(QStringLiteral("bottomEdge"));

    resize(ui::Twips::toPixelsX(7400, this), ui::Twips::toPixelsY(3000, this));
    hide();
}

frmQueryBuilder::~frmQueryBuilder() = default;

void frmQueryBuilder::setParentWindow(QWidget *parent)
{
    if (parent && parentWidget() != parent)
        setParent(parent);
    if (!m_loaded) {
        loadGeometry();
        cmdCancel->move(ui::Twips::toPixelsX(30000, this), 0);
        m_loaded = true;
    }
}

// Each stored value is read with the window's present one as its default.
void frmQueryBuilder::loadGeometry()
{
    settings::SettingsStore &store = settings::SettingsStore::instance();
    const QString app = analysis::settingsApplication();
    auto read = [&](const char *key, double current, double low) {
        const auto stored = settings::SettingsStore::toDouble(
            store.GetSetting(app, kSection, QLatin1String(key), settings::SettingsStore::doubleText(current)));
        // A stored value no window could have leaves the present one.
        if (!stored || !std::isfinite(*stored) || *stored < low || *stored > 200000)
            return current;
        return double(float(*stored));
    };
    const double w = read("Width", ui::Twips::fromPixelsX(width(), this), 0);
    const double h = read("Height", ui::Twips::fromPixelsY(height(), this), 0);
    const double t = read("Top", ui::Twips::fromPixelsY(y(), this), -200000);
    const double l = read("Left", ui::Twips::fromPixelsX(x(), this), -200000);
    setGeometry(ui::Twips::toPixelsX(l, this), ui::Twips::toPixelsY(t, this), ui::Twips::toPixelsX(w, this),
                ui::Twips::toPixelsY(h, this));
}

void frmQueryBuilder::saveGeometry() const
{
    settings::SettingsStore &store = settings::SettingsStore::instance();
    const QString app = analysis::settingsApplication();
    auto write = [&](const char *key, double twips) {
        store.SaveSetting(app, kSection, QLatin1String(key), settings::SettingsStore::doubleText(double(float(twips))));
    };
    write("Width", ui::Twips::fromPixelsX(width(), this));
    write("Height", ui::Twips::fromPixelsY(height(), this));
    write("Top", ui::Twips::fromPixelsY(y(), this));
    write("Left", ui::Twips::fromPixelsX(x(), this));
}

void frmQueryBuilder::closeByUser()
{
    try {
        saveGeometry();
    } catch (...) {
        // A settings store that cannot be written does not keep the window open.
    }
    hide();
    emit QueryUnload();
}

// Closing by the program (the control unloading) unloads; the user's close only hides.
void frmQueryBuilder::closeEvent(QCloseEvent *event)
{
    if (event->spontaneous()) {
        event->ignore();
        closeByUser();
        return;
    }
    try {
        saveGeometry();
    } catch (...) {
    }
    event->accept();
}

void frmQueryBuilder::Form_Resize()
{
    const int caption = lblCaption->parentWidget()->sizeHint().height();
    lblCaption->parentWidget()->setGeometry(frameWidth(), frameWidth(), std::max(0, width() - 2 * frameWidth()), caption);
    m_rightEdge->setGeometry(width() - kEdgePixels, 0, kEdgePixels, height());
    m_bottomEdge->setGeometry(0, height() - kEdgePixels, width(), kEdgePixels);
    m_rightEdge->raise();
    m_bottomEdge->raise();
    const int w = width() - ui::Twips::toPixelsX(kSpareWidthTwips, this);
    const int h = height() - ui::Twips::toPixelsY(kSpareHeightTwips, this);
    // Too small a window for the control leaves the control as it was.
    if (w <= 0 || h <= 0)
        return;
    m_builder->setGeometry(frameWidth(), frameWidth() + caption, w, h);
}

void frmQueryBuilder::resizeEvent(QResizeEvent *event)
{
    QFrame::resizeEvent(event);
    Form_Resize();
    emit Resize();
}

// A size given while the window was being shown reaches no resize event: fit once it is shown.
void frmQueryBuilder::showEvent(QShowEvent *event)
{
    QFrame::showEvent(event);
    Form_Resize();
}

bool frmQueryBuilder::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_rightEdge && watched != m_bottomEdge)
        return QFrame::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        auto *mouse = static_cast<QMouseEvent *>(event);
        m_dragStart = mouse->globalPosition().toPoint();
        m_dragSize = size();
        return true;
    }
    case QEvent::MouseMove: {
        auto *mouse = static_cast<QMouseEvent *>(event);
        if (!(mouse->buttons() & Qt::LeftButton))
            return false;
        const QPoint delta = mouse->globalPosition().toPoint() - m_dragStart;
        QSize wanted = m_dragSize;
        if (watched == m_rightEdge)
            wanted.setWidth(std::max(ui::Twips::toPixelsX(kSpareWidthTwips, this) + 20, m_dragSize.width() + delta.x()));
        else
            wanted.setHeight(std::max(ui::Twips::toPixelsY(kSpareHeightTwips, this) + 20, m_dragSize.height() + delta.y()));
        resize(wanted);
        return true;
    }
    default:
        return false;
    }
}

// The builder's filter goes into the control's query, then the current view is refreshed.
void frmQueryBuilder::hlQueryBuilder_Apply()
{
    if (!m_calledFrom)
        return;
    QVariant done;
    if (automation::callByName(m_calledFrom, QStringLiteral("Set_Query"), {}, &done) && done.toBool())
        automation::callByName(m_calledFrom, QStringLiteral("Refresh"), {}, &done);
}
