#include "dialogs/frmNotes.h"

#include "ui/MousePointer.h"

#include <QPlainTextEdit>
#include <QPushButton>

namespace {
// Margins of the original layout, in pixels (100 and 400 twips at 15 twips a pixel).
constexpr int kRightGap = 7;
constexpr int kBottomGap = 27;
constexpr int kButtonGap = 3;
constexpr int kMargin = 8;
} // namespace

frmNotes::frmNotes(QWidget *parent)
    : QDialog(parent, Qt::Tool)
{
    setObjectName(QStringLiteral("frmNotes"));
    setWindowTitle(QStringLiteral("Notes"));
    setModal(false);
    txtNotes = new QPlainTextEdit(this);
    txtNotes->setObjectName(QStringLiteral("txtNotes"));
    txtNotes->move(kMargin, kMargin);
    cmdOK = new QPushButton(QStringLiteral("&OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->resize(80, 26);
    connect(cmdOK, &QPushButton::clicked, this, &QDialog::close);
    resize(400, 260);
}

void frmNotes::setParentWindow(QWidget *parent)
{
    if (parent && parentWidget() != parent)
        setParent(parent, windowFlags());
}

bool frmNotes::Refresh_Notes()
{
    txtNotes->setPlainText(m_notes);
    return true;
}

void frmNotes::showEvent(QShowEvent *event)
{
    ui::MousePointer::setDefault();
    Refresh_Notes();
    QDialog::showEvent(event);
}

void frmNotes::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    const int l = txtNotes->x();
    const int t = txtNotes->y();
    const int w = width() - 2 * l - kRightGap;
    const int h = height() - 2 * t - cmdOK->height() - kBottomGap;
    // A minimised or tiny window leaves the controls where they were.
    if (w < 0 || h < 0)
        return;
    txtNotes->resize(w, h);
    cmdOK->move(l + w - cmdOK->width(), t + h + kButtonGap);
}
