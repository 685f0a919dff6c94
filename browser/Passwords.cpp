#include "Passwords.h"

#include "hlSourceBrowser/BrowserSettings.h"
#include "BrowserTrap.h"
#include "settings/SettingsStore.h"
#include "ui/MousePointer.h"
#include "ui/Prompter.h"

#include <QEvent>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include <sodium.h>

#include <stdexcept>

namespace browser {

namespace {

void ensureSodium()
{
    static const bool ready = sodium_init() >= 0;
    if (!ready)
        throw std::runtime_error("The password library could not start.");
}

} // namespace

QString normalisePassword(const QString &text)
{
    return text.trimmed().toUpper();
}

QString hashPassword(const QString &text)
{
    QString hash;
    trap(QStringLiteral("Scramble_Password"), [&] {
        ensureSodium();
        const QByteArray plain = normalisePassword(text).toUtf8();
        char out[crypto_pwhash_STRBYTES];
        if (crypto_pwhash_str(out, plain.constData(), quint64(plain.size()), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                              crypto_pwhash_MEMLIMIT_INTERACTIVE)
            != 0)
            throw std::runtime_error("Out of memory while hashing the password.");
        hash = QString::fromLatin1(out);
    });
    return hash;
}

bool verifyPassword(const QString &text, const QString &stored)
{
    const QString plainText = normalisePassword(text);
    if (stored.isEmpty())
        return plainText.isEmpty();
    return trap(QStringLiteral("Scramble_Password"), [&] {
        ensureSodium();
        const QByteArray plain = plainText.toUtf8();
        const QByteArray hash = stored.toLatin1();
        return crypto_pwhash_str_verify(hash.constData(), plain.constData(), quint64(plain.size())) == 0;
    });
}

bool checkPasswordFor(bool guardOn)
{
    return trap(QStringLiteral("Check_AdminPassword"), [&] {
        if (browserSettings().Password.isEmpty() || !guardOn)
            return true;
        frmPassword dlg(false);
        runDialog(dlg);
        return !dlg.Cancelled();
    });
}

bool Check_AdminPassword()
{
    return checkPasswordFor(browserSettings().DataPassword);
}

frmPassword::frmPassword(bool changeMode, QWidget *parent) : QDialog(parent), m_changeMode(changeMode)
{
    setWindowTitle(changeMode ? tr("Set Password") : tr("Admin Password"));
    const QString captions[] = {tr("Current"), tr("New"), tr("Confirm")};
    const QString tips[] = {tr("The current password"), tr("The new password"),
                            tr("Retype new password for confirmation")};
    const bool stored = !browserSettings().Password.isEmpty();
    auto *grid = new QGridLayout;
    for (int i = 0; i < 3; ++i) {
        lblLabel[size_t(i)] = new QLabel(captions[i], this);
        auto *box = new QLineEdit(this);
        box->setObjectName(QStringLiteral("txtPassword%1").arg(i));
        box->setEchoMode(QLineEdit::Password);
        box->setToolTip(tips[i]);
        box->installEventFilter(this);
        const bool enabled = i == 0 ? stored : changeMode;
        box->setEnabled(enabled);
        lblLabel[size_t(i)]->setEnabled(enabled);
        lblLabel[size_t(i)]->setBuddy(box);
        txtPassword[size_t(i)] = box;
        grid->addWidget(lblLabel[size_t(i)], i, 0);
        grid->addWidget(box, i, 1);
        connect(box, &QLineEdit::textChanged, this, &frmPassword::updateOK);
    }
    cmdOK = new QPushButton(tr("&OK"), this);
    cmdOK->setToolTip(tr("Save changes and exit"));
    cmdOK->setDefault(true);
    cmdOK->setEnabled(false);
    cmdCancel = new QPushButton(tr("&Cancel"), this);
    cmdCancel->setToolTip(tr("Exit without saving changes"));
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdCancel);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);
    connect(cmdOK, &QPushButton::clicked, this, &frmPassword::onOK);
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);

    // The boxes alone make a window too narrow for its title, which the title bar then cuts; the
    // bar also holds the window's icon and three buttons.
    QFont titleFont = font();
    titleFont.setBold(true);
    const int bar = style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, this);
    setMinimumWidth(QFontMetrics(titleFont).horizontalAdvance(windowTitle()) + 6 * bar);
}

void frmPassword::showEvent(QShowEvent *event)
{
    ui::MousePointer::setDefault();
    QDialog::showEvent(event);
}

bool frmPassword::eventFilter(QObject *watched, QEvent *event)
{
    // Letters and digits only, as the password rules say; editing keys pass.
    if (event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        const QString text = key->text();
        if (text.size() == 1 && text.at(0).unicode() >= 32 && text.at(0).unicode() != 127
            && Check_AlphaKey(text.at(0).unicode()) == 0)
            return true;
        if (text.size() == 1 && text.at(0).unicode() > 127)
            return true;
    }
    return QDialog::eventFilter(watched, event);
}

void frmPassword::updateOK()
{
    cmdOK->setEnabled(txtPassword[1]->text().trimmed().size() == txtPassword[2]->text().trimmed().size());
}

void frmPassword::selectAll(QLineEdit *box)
{
    box->setFocus();
    box->selectAll();
}

void frmPassword::onOK()
{
    const QString title = windowTitle();
    if (!verifyPassword(txtPassword[0]->text(), browserSettings().Password)) {
        ui::Prompter::msgBox(tr("Invalid Password"), ui::MsgButtons::OK, ui::MsgIcon::Critical, title, this);
        selectAll(txtPassword[0]);
        return;
    }
    if (!m_changeMode) {
        m_cancelled = false;
        accept();
        return;
    }
    const QString next = normalisePassword(txtPassword[1]->text());
    if (next != normalisePassword(txtPassword[2]->text())) {
        ui::Prompter::msgBox(tr("Confirm does not match Password, try again!"), ui::MsgButtons::OKCancel,
                             ui::MsgIcon::Critical, title, this);
        selectAll(txtPassword[1]);
        return;
    }
    const QString hash = next.isEmpty() ? QString() : hashPassword(next);
    if (!next.isEmpty() && hash.isEmpty())
        return; // already reported; the old password stays
    // Saved at once, so that a password the user was told is changed survives a crash or a
    // cancelled options dialog.
    const QString app = browserSettings().AppName.isEmpty() ? QStringLiteral("Tabulon") : browserSettings().AppName;
    auto &store = settings::SettingsStore::instance();
    if (!store.SaveSetting(app, QStringLiteral("Admin"), QStringLiteral("Password"), hash)) {
        logError(QStringLiteral("frmPassword"), tr("The new password was not saved: %1").arg(store.lastError()));
        return;
    }
    browserSettings().Password = hash;
    ui::Prompter::msgBox(tr("Password changed"), ui::MsgButtons::OK, ui::MsgIcon::Information, title, this);
    m_cancelled = false;
    accept();
}

} // namespace browser
