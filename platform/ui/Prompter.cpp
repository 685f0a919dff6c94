#include "ui/Prompter.h"

#include <QCoreApplication>
#include <QFontMetrics>
#include <QGridLayout>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>

namespace ui {

namespace {

struct ScriptState {
    bool scripted = false;
    std::deque<MsgResult> answers;
    std::deque<std::optional<QString>> inputs;
    std::vector<PromptRecord> asked;
};

ScriptState &state()
{
    static ScriptState s;
    return s;
}

// A short text makes a narrow box, and the window manager then cuts its title short ("Dele...
// ource"): the box keeps room for its title, in a title bar's bold face, beside the bar's buttons.
void keepTitleWhole(QMessageBox &box, const QString &title)
{
    auto *grid = qobject_cast<QGridLayout *>(box.layout());
    if (!grid)
        return;
    QFont bold = box.font();
    bold.setBold(true);
    const QFontMetrics fm(bold);
    const int width = fm.horizontalAdvance(title) + 8 * fm.height();
    grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Fixed), grid->rowCount(), 0, 1,
                  grid->columnCount());
}

QString titleOrAppName(const QString &title)
{
    return title.isEmpty() ? QCoreApplication::applicationName() : title;
}

MsgResult firstButtonAnswer(MsgButtons buttons)
{
    switch (buttons) {
    case MsgButtons::OK:
    case MsgButtons::OKCancel:
        return MsgResult::OK;
    case MsgButtons::AbortRetryIgnore:
        return MsgResult::Abort;
    case MsgButtons::YesNoCancel:
    case MsgButtons::YesNo:
        return MsgResult::Yes;
    case MsgButtons::RetryCancel:
        return MsgResult::Retry;
    }
    return MsgResult::OK;
}

QMessageBox::StandardButtons standardButtons(MsgButtons buttons)
{
    switch (buttons) {
    case MsgButtons::OK:
        return QMessageBox::Ok;
    case MsgButtons::OKCancel:
        return QMessageBox::Ok | QMessageBox::Cancel;
    case MsgButtons::AbortRetryIgnore:
        return QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore;
    case MsgButtons::YesNoCancel:
        return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    case MsgButtons::YesNo:
        return QMessageBox::Yes | QMessageBox::No;
    case MsgButtons::RetryCancel:
        return QMessageBox::Retry | QMessageBox::Cancel;
    }
    return QMessageBox::Ok;
}

QMessageBox::StandardButton firstStandardButton(MsgButtons buttons)
{
    switch (firstButtonAnswer(buttons)) {
    case MsgResult::Abort:
        return QMessageBox::Abort;
    case MsgResult::Retry:
        return QMessageBox::Retry;
    case MsgResult::Yes:
        return QMessageBox::Yes;
    default:
        return QMessageBox::Ok;
    }
}

QMessageBox::Icon messageIcon(MsgIcon icon)
{
    switch (icon) {
    case MsgIcon::Critical:
        return QMessageBox::Critical;
    case MsgIcon::Question:
        return QMessageBox::Question;
    case MsgIcon::Exclamation:
        return QMessageBox::Warning;
    case MsgIcon::Information:
        return QMessageBox::Information;
    case MsgIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

MsgResult resultOf(int clicked, MsgButtons buttons)
{
    switch (clicked) {
    case QMessageBox::Ok:
        return MsgResult::OK;
    case QMessageBox::Cancel:
        return MsgResult::Cancel;
    case QMessageBox::Abort:
        return MsgResult::Abort;
    case QMessageBox::Retry:
        return MsgResult::Retry;
    case QMessageBox::Ignore:
        return MsgResult::Ignore;
    case QMessageBox::Yes:
        return MsgResult::Yes;
    case QMessageBox::No:
        return MsgResult::No;
    default:
        break;
    }
    // Closed without a button (window manager close): the answer a classic box gives to Escape.
    switch (buttons) {
    case MsgButtons::OK:
        return MsgResult::OK;
    case MsgButtons::YesNo:
        return MsgResult::No;
    case MsgButtons::AbortRetryIgnore:
        return MsgResult::Abort;
    default:
        return MsgResult::Cancel;
    }
}

// The text as a label shows it: CR LF and lone CR become line feeds.
QString shownText(const QString &text)
{
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return shown;
}

} // namespace

MsgResult Prompter::msgBox(const QString &text, MsgButtons buttons, MsgIcon icon, const QString &title,
                           QWidget *parent)
{
    const QString shownTitle = titleOrAppName(title);
    ScriptState &s = state();
    if (s.scripted) {
        PromptRecord record;
        record.kind = PromptRecord::Kind::Message;
        record.text = text;
        record.title = shownTitle;
        record.buttons = buttons;
        record.icon = icon;
        s.asked.push_back(std::move(record));
        if (!s.answers.empty()) {
            const MsgResult answer = s.answers.front();
            s.answers.pop_front();
            return answer;
        }
        return firstButtonAnswer(buttons);
    }

    try {
        // Callers join lines with a lone CR, which a label would not break on.
        QMessageBox box(messageIcon(icon), shownTitle, shownText(text), standardButtons(buttons), parent);
        box.setTextFormat(Qt::PlainText);
        box.setDefaultButton(firstStandardButton(buttons));
        keepTitleWhole(box, shownTitle);
        return resultOf(box.exec(), buttons);
    } catch (...) {
        return resultOf(-1, buttons);
    }
}

std::optional<QString> Prompter::inputBox(const QString &prompt, const QString &title,
                                          const QString &defaultValue, QWidget *parent, bool password)
{
    const QString shownTitle = titleOrAppName(title);
    ScriptState &s = state();
    if (s.scripted) {
        PromptRecord record;
        record.kind = PromptRecord::Kind::Input;
        record.text = prompt;
        record.title = shownTitle;
        record.defaultValue = defaultValue;
        record.password = password;
        s.asked.push_back(std::move(record));
        if (!s.inputs.empty()) {
            const bool given = s.inputs.front().has_value();
            QString answer = given ? *s.inputs.front() : QString();
            s.inputs.pop_front();
            if (!given)
                return std::nullopt; // a scripted Cancel
            return answer;
        }
        return defaultValue;
    }

    try {
        QInputDialog dialog(parent);
        dialog.setInputMode(QInputDialog::TextInput);
        dialog.setWindowTitle(shownTitle);
        dialog.setLabelText(shownText(prompt));
        dialog.setTextValue(defaultValue);
        dialog.setTextEchoMode(password ? QLineEdit::Password : QLineEdit::Normal);
        if (dialog.exec() != QDialog::Accepted)
            return std::nullopt;
        return dialog.textValue();
    } catch (...) {
        return std::nullopt;
    }
}

void Prompter::setScripted(bool on)
{
    ScriptState &s = state();
    s.scripted = on;
    s.answers.clear();
    s.inputs.clear();
    s.asked.clear();
}

bool Prompter::isScripted()
{
    return state().scripted;
}

void Prompter::queueAnswer(MsgResult answer)
{
    state().answers.push_back(answer);
}

void Prompter::queueInput(std::optional<QString> answer)
{
    state().inputs.push_back(std::move(answer));
}

const std::vector<PromptRecord> &Prompter::asked()
{
    return state().asked;
}

void Prompter::clearAsked()
{
    state().asked.clear();
}

const PromptRecord *Prompter::lastAsked()
{
    const auto &asked = state().asked;
    return asked.empty() ? nullptr : &asked.back();
}

ScriptedPrompts::ScriptedPrompts()
    : m_previous(Prompter::isScripted())
{
    Prompter::setScripted(true);
}

ScriptedPrompts::~ScriptedPrompts()
{
    Prompter::setScripted(m_previous);
}

} // namespace ui
