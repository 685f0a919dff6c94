#include "dialogs/frmSQLError.h"

#include "ui/MousePointer.h"

#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

frmSQLError::frmSQLError(QWidget *parent)
    : QDialog(parent, Qt::Tool)
{
    setObjectName(QStringLiteral("frmSQLError"));
    setWindowTitle(QStringLiteral("SQL Message"));
    setModal(false);
    txtError = new QPlainTextEdit(this);
    txtError->setObjectName(QStringLiteral("txtError"));
    txtError->setReadOnly(true);
    cmdCancel = new QPushButton(QStringLiteral("&Close"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::close);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdCancel);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(txtError);
    layout->addLayout(buttons);
    resize(420, 220);
}

void frmSQLError::setError(const QString &text)
{
    m_error = text;
    if (isVisible())
        txtError->setPlainText(m_error);
}

void frmSQLError::setParentWindow(QWidget *parent)
{
    if (parent && parentWidget() != parent)
        setParent(parent, windowFlags());
}

void frmSQLError::showEvent(QShowEvent *event)
{
    ui::MousePointer::setDefault();
    txtError->setPlainText(m_error);
    QDialog::showEvent(event);
}
