#include "frmError.h"

#include "ErrorForms.h"
#include "Faultdesk/ErrorState.h"
#include "ui/MousePointer.h"

#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

frmError::frmError(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmError"));
    setWindowTitle(QStringLiteral("Error"));

    QGridLayout *grid = nullptr;
    QGroupBox *frame =
        faultdesk::forms::errorFrame(this, QStringLiteral("An Error has occured in the application."), grid);
    lblProcedure = faultdesk::forms::valueLabel(frame, "lblProcedure");
    lblDescription = faultdesk::forms::valueLabel(frame, "lblDescription");
    faultdesk::forms::addRow(grid, 1, QStringLiteral("Procedure:"), lblProcedure);
    faultdesk::forms::addRow(grid, 2, QStringLiteral("Description:"), lblDescription);

    cmdOK = new QPushButton(QStringLiteral("&OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    connect(cmdOK, &QPushButton::clicked, this, &QDialog::accept);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdOK);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(frame);
    layout->addLayout(buttons);
    resize(420, sizeHint().height());

    Init_Form();
}

bool frmError::Init_Form()
{
    const faultdesk::ErrorState &st = faultdesk::errorState();
    lblProcedure->setText(st.lastProcName);
    lblDescription->setText(st.lastDescription);
    return true;
}

bool frmError::event(QEvent *e)
{
    // A failing procedure may have left the hourglass on; the user must be able to answer.
    if (e->type() == QEvent::WindowActivate)
        ui::MousePointer::setDefault();
    return QDialog::event(e);
}
