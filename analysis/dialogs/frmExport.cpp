#include "dialogs/frmExport.h"

#include "hlExport/DataExport.h"
#include "ui/MousePointer.h"

#include <QKeyEvent>
#include <QVBoxLayout>

frmExport::frmExport(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("frmExport"));
    setWindowTitle(QStringLiteral("Export Data"));
    setModal(true);
    m_dataExport = new DataExport(this);
    m_dataExport->setObjectName(QStringLiteral("DataExport"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_dataExport);
    resize(640, 440);
    connect(m_dataExport, &DataExport::Unload, this, &QDialog::accept);
    connect(m_dataExport, &DataExport::closeRequested, this, &QDialog::accept);
}

bool frmExport::event(QEvent *event)
{
    if (event->type() == QEvent::WindowActivate)
        ui::MousePointer::setDefault();
    return QDialog::event(event);
}

void frmExport::reject()
{
    // While an export runs the control asks first; the window closes when the loop has ended.
    if (m_dataExport->requestClose())
        QDialog::reject();
}

void frmExport::keyPressEvent(QKeyEvent *event)
{
    // Escape during an export is the control's stop question, asked at its next row.
    if (event->key() == Qt::Key_Escape && m_dataExport->isExporting()) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
