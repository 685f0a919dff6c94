#pragma once

#include <QDialog>
#include <QString>

#include <array>

class QLabel;
class QLineEdit;
class QPushButton;

namespace browser {

// Passwords are compared without regard to case or surrounding blanks.
QString normalisePassword(const QString &text);
// The stored form: a salted libsodium hash of the normalised text; empty on failure.
QString hashPassword(const QString &text);
// True when text matches the stored hash. With no password stored only an empty text matches.
bool verifyPassword(const QString &text, const QString &stored);

// The gate before the data-source list is edited or the "Data Sources" tab opened: asks for the
// password when one is stored and "Data Password" is on. True when the caller may go on.
bool Check_AdminPassword();
// The same gate for a protection with its own flag (the "Admin" tab passes "Admin Password").
bool checkPasswordFor(bool guardOn);

// Checks the administrator password, or (change mode) sets a new one, which is saved at once.
class frmPassword : public QDialog {
    Q_OBJECT

public:
    explicit frmPassword(bool changeMode, QWidget *parent = nullptr);

    bool Cancelled() const { return m_cancelled; }

    std::array<QLabel *, 3> lblLabel{};
    std::array<QLineEdit *, 3> txtPassword{}; // current, new, confirm
    QPushButton *cmdOK = nullptr;
    QPushButton *cmdCancel = nullptr;

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void updateOK();
    void onOK();
    void selectAll(QLineEdit *box);

    bool m_changeMode;
    bool m_cancelled = true;
};

} // namespace browser
