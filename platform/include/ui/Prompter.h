#pragma once

#include <tabulon/PlatformExport.h>

#include <QString>

#include <deque>
#include <optional>
#include <vector>

class QWidget;

namespace ui {

// Message-box flavours the program uses. Values follow the classic message-box constants so that
// code written against them reads the same.
enum class MsgButtons { OK = 0, OKCancel = 1, AbortRetryIgnore = 2, YesNoCancel = 3, YesNo = 4, RetryCancel = 5 };
enum class MsgIcon { None = 0, Critical = 16, Question = 32, Exclamation = 48, Information = 64 };
enum class MsgResult { OK = 1, Cancel = 2, Abort = 3, Retry = 4, Ignore = 5, Yes = 6, No = 7 };

// What was put to the user, as recorded while scripted.
struct PromptRecord {
    enum class Kind { Message, Input };
    Kind kind = Kind::Message;
    QString text;
    QString title;
    MsgButtons buttons = MsgButtons::OK;
    MsgIcon icon = MsgIcon::None;
    QString defaultValue; // input boxes only
    bool password = false; // input boxes only: typing is masked
};

// Every message box, question and input box of the program goes through here. In a test the
// prompter is scripted: nothing is shown, each question takes the next queued answer (or the
// first button's answer / the default text when the queue is empty) and is recorded.
class PLATFORM_EXPORT Prompter {
public:
    // A message box. An empty title means the application's name.
    static MsgResult msgBox(const QString &text, MsgButtons buttons = MsgButtons::OK,
                            MsgIcon icon = MsgIcon::None, const QString &title = {},
                            QWidget *parent = nullptr);

    // An input box. Cancel gives an empty optional; OK gives the text (possibly empty).
    static std::optional<QString> inputBox(const QString &prompt, const QString &title = {},
                                           const QString &defaultValue = {}, QWidget *parent = nullptr,
                                           bool password = false);

    // --- scripting, for tests ---
    static void setScripted(bool on); // on: nothing is ever shown; also clears queues and records
    static bool isScripted();
    static void queueAnswer(MsgResult answer);
    static void queueInput(std::optional<QString> answer);
    static const std::vector<PromptRecord> &asked();
    static void clearAsked();
    // The last thing asked; nullptr when nothing was.
    static const PromptRecord *lastAsked();
};

// Sets the prompter to scripted for one scope (a test), restoring the previous mode after.
class PLATFORM_EXPORT ScriptedPrompts {
public:
    ScriptedPrompts();
    ~ScriptedPrompts();
    ScriptedPrompts(const ScriptedPrompts &) = delete;
    ScriptedPrompts &operator=(const ScriptedPrompts &) = delete;

private:
    bool m_previous;
};

} // namespace ui
