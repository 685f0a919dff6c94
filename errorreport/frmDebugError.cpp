#include "frmDebugError.h"

#include "ErrorForms.h"
#include "ErrorReport.h"
#include "Faultdesk/ErrorState.h"
#include "mail/MailSender.h"
#include "ui/MousePointer.h"
#include "ui/Prompter.h"

#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <QtDebug>

frmDebugError::frmDebugError(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmDebugError"));
    setWindowTitle(QStringLiteral("Error"));

    QGridLayout *grid = nullptr;
    QGroupBox *frame = faultdesk::forms::errorFrame(
        this,
        QStringLiteral("An Error has occured in the application. Please send this report to Harlund Software."),
        grid);
    lblProcedure = faultdesk::forms::valueLabel(frame, "lblProcedure");
    lblDescription = faultdesk::forms::valueLabel(frame, "lblDescription");
    faultdesk::forms::addRow(grid, 1, QStringLiteral("Procedure:"), lblProcedure);
    faultdesk::forms::addRow(grid, 2, QStringLiteral("Description:"), lblDescription);
    auto *prompt = new QLabel(
        QStringLiteral("Please enter brief details of what you were doing when the error occured:"), frame);
    prompt->setWordWrap(true);
    grid->addWidget(prompt, 3, 0, 1, 2);
    txtDetails = new QPlainTextEdit(frame);
    txtDetails->setObjectName(QStringLiteral("txtDetails"));
    txtDetails->setTabChangesFocus(true);
    grid->addWidget(txtDetails, 4, 0, 1, 2);
    prompt->setBuddy(txtDetails);

    cmdSend = new QPushButton(QStringLiteral("&Send Report"), this);
    cmdSend->setObjectName(QStringLiteral("cmdSend"));
    cmdCancel = new QPushButton(QStringLiteral("&Cancel"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    // Enter belongs to the details box; sending takes a deliberate click.
    cmdSend->setAutoDefault(false);
    cmdCancel->setAutoDefault(false);
    connect(cmdSend, &QPushButton::clicked, this, [this] {
        Send_Report();
        accept(); // whatever the outcome: the details are not kept
    });
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdSend);
    buttons->addWidget(cmdCancel);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(frame);
    layout->addLayout(buttons);
    resize(480, sizeHint().height());

    Init_Form();
}

bool frmDebugError::Init_Form()
{
    const faultdesk::ErrorState &st = faultdesk::errorState();
    lblProcedure->setText(st.lastProcName);
    lblDescription->setText(st.lastDescription);
    txtDetails->clear();
    return true;
}

bool frmDebugError::Send_Report()
{
    ui::MousePointer::setHourglass();
    bool sent = false;
    QString why; // the mail system's own reason, told with the failure
    bool noMailProgram = false;
    try {
        const faultdesk::ErrorState &st = faultdesk::errorState();
        const std::optional<QString> report = faultdesk::reportText(txtDetails->toPlainText());
        // Without an address the mail would go nowhere; that is no success either.
        if (report && !st.emailAddress.trimmed().isEmpty()) {
            mail::MailMessage message;
            message.recipients = QStringList{st.emailAddress};
            message.subject = st.emailSubject;
            message.body = mail::MailSender::toWireLineEnds(*report);
            const mail::MailResult result = mail::MailSender::instance().send(message);
            sent = result.ok;
            if (!sent) {
                why = result.error;
                noMailProgram = result.noMailProgram;
                qWarning().noquote() << "Error report not handed to the mail client:" << result.error;
            }
        }
    } catch (const std::exception &e) {
        qWarning().noquote() << "Error report not sent:" << QString::fromLocal8Bit(e.what());
    } catch (...) {
        qWarning() << "Error report not sent";
    }
    // Before the box, so the user answers it with the ordinary pointer.
    ui::MousePointer::setDefault();

    try {
        if (sent)
            ui::Prompter::msgBox(QStringLiteral("Report successfully sent. Thank you"), ui::MsgButtons::OK,
                                 ui::MsgIcon::Information, QStringLiteral("Send Report"), this);
        else if (noMailProgram)
            ui::Prompter::msgBox(why, ui::MsgButtons::OK, ui::MsgIcon::Exclamation, QStringLiteral("Send Report"), this);
        else
            ui::Prompter::msgBox(why.isEmpty() ? QStringLiteral("Error sending report")
                                               : QStringLiteral("Error sending report\r") + why,
                                 ui::MsgButtons::OK, ui::MsgIcon::Critical, QStringLiteral("Send Report"), this);
    } catch (...) {
        // Nothing more can be told; the result still says what happened.
    }
    return sent;
}

bool frmDebugError::event(QEvent *e)
{
    // A failing procedure may have left the hourglass on; the user must be able to answer.
    if (e->type() == QEvent::WindowActivate)
        ui::MousePointer::setDefault();
    return QDialog::event(e);
}
