#include "ui/Prompter.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFontMetrics>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <functional>

using namespace ui;
using testsupport::onNextModal;

TEST(PrompterScripted, UnqueuedQuestionsTakeTheFirstButtonsAnswer)
{
    ScriptedPrompts scripted;
    EXPECT_EQ(Prompter::msgBox(QStringLiteral("a"), MsgButtons::OK), MsgResult::OK);
    EXPECT_EQ(Prompter::msgBox(QStringLiteral("a"), MsgButtons::OKCancel), MsgResult::OK);
    EXPECT_EQ(Prompter::msgBox(QStringLiteral("a"), MsgButtons::AbortRetryIgnore), MsgResult::Abort);
    EXPECT_EQ(Prompter::msgBox(QStringLiteral("a"), MsgButtons::YesNoCancel), MsgResult::Yes);
    EXPECT_EQ(Prompter::msgBox(QStringLiteral("a"), MsgButtons::YesNo), MsgResult::Yes);
    EXPECT_EQ(Prompter::msgBox(QStringLiteral("a"), MsgButtons::RetryCancel), MsgResult::Retry);
    EXPECT_EQ(Prompter::asked().size(), 6u);
}

TEST(PrompterScripted, QueuedAnswersAreUsedInOrderThenTheDefault)
{
    ScriptedPrompts scripted;
    Prompter::queueAnswer(MsgResult::Cancel);
    Prompter::queueAnswer(MsgResult::No);
    EXPECT_EQ(Prompter::msgBox(QStringLiteral("Save changes?"), MsgButtons::YesNoCancel), MsgResult::Cancel);
    EXPECT_EQ(Prompter::msgBox(QStringLiteral("Save changes?"), MsgButtons::YesNoCancel), MsgResult::No);
    EXPECT_EQ(Prompter::msgBox(QStringLiteral("Save changes?"), MsgButtons::YesNoCancel), MsgResult::Yes);
}

TEST(PrompterScripted, RecordsWhatWasAskedWithTheApplicationNameAsDefaultTitle)
{
    ScriptedPrompts scripted;
    EXPECT_EQ(Prompter::lastAsked(), nullptr);
    Prompter::msgBox(QStringLiteral("Delete Sales?"), MsgButtons::OKCancel, MsgIcon::Question,
                     QStringLiteral("Delete Data Source"));
    Prompter::msgBox(QStringLiteral("Done"), MsgButtons::OK, MsgIcon::Information);

    ASSERT_EQ(Prompter::asked().size(), 2u);
    const PromptRecord &first = Prompter::asked().front();
    EXPECT_EQ(first.kind, PromptRecord::Kind::Message);
    EXPECT_EQ(first.text, QStringLiteral("Delete Sales?"));
    EXPECT_EQ(first.title, QStringLiteral("Delete Data Source"));
    EXPECT_EQ(first.buttons, MsgButtons::OKCancel);
    EXPECT_EQ(first.icon, MsgIcon::Question);
    EXPECT_EQ(Prompter::lastAsked()->title, QStringLiteral("Tabulon"));

    Prompter::clearAsked();
    EXPECT_TRUE(Prompter::asked().empty());
}

TEST(PrompterScripted, InputBoxTellsCancelFromEmptyText)
{
    ScriptedPrompts scripted;
    Prompter::queueInput(std::nullopt);
    Prompter::queueInput(QString());
    Prompter::queueInput(QStringLiteral("secret"));

    EXPECT_FALSE(Prompter::inputBox(QStringLiteral("Name?")).has_value());
    const auto empty = Prompter::inputBox(QStringLiteral("Name?"));
    ASSERT_TRUE(empty.has_value());
    EXPECT_TRUE(empty->isEmpty());
    EXPECT_EQ(Prompter::inputBox(QStringLiteral("Password?"), QStringLiteral("Login"), {}, nullptr, true),
              QStringLiteral("secret"));
    // Queue used up: the default text is the answer.
    EXPECT_EQ(Prompter::inputBox(QStringLiteral("Rows?"), {}, QStringLiteral("100")), QStringLiteral("100"));

    const PromptRecord &password = Prompter::asked().at(2);
    EXPECT_EQ(password.kind, PromptRecord::Kind::Input);
    EXPECT_TRUE(password.password);
    EXPECT_EQ(password.title, QStringLiteral("Login"));
    EXPECT_EQ(Prompter::lastAsked()->defaultValue, QStringLiteral("100"));
    EXPECT_FALSE(Prompter::lastAsked()->password);
}

TEST(PrompterScripted, ScopeRestoresThePreviousModeAndForgetsTheScript)
{
    ASSERT_FALSE(Prompter::isScripted());
    {
        ScriptedPrompts outer;
        Prompter::queueAnswer(MsgResult::No);
        {
            ScriptedPrompts inner;
            // A new scope starts with an empty script.
            EXPECT_EQ(Prompter::msgBox(QStringLiteral("q"), MsgButtons::YesNo), MsgResult::Yes);
        }
        EXPECT_TRUE(Prompter::isScripted());
        EXPECT_TRUE(Prompter::asked().empty());
    }
    EXPECT_FALSE(Prompter::isScripted());
}

TEST(PrompterReal, MessageBoxShowsTitleIconButtonsAndReturnsTheClickedOne)
{
    ASSERT_FALSE(Prompter::isScripted());
    QString title;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QAbstractButton *defaultButton = nullptr;
    QAbstractButton *yesButton = nullptr;
    onNextModal([&](QWidget *modal) {
        auto *box = qobject_cast<QMessageBox *>(modal);
        ASSERT_NE(box, nullptr);
        title = box->windowTitle();
        icon = box->icon();
        buttons = box->standardButtons();
        defaultButton = box->defaultButton();
        yesButton = box->button(QMessageBox::Yes);
        box->button(QMessageBox::No)->click();
    });
    const MsgResult answer = Prompter::msgBox(QStringLiteral("Save changes?"), MsgButtons::YesNoCancel,
                                              MsgIcon::Exclamation);
    EXPECT_EQ(answer, MsgResult::No);
    EXPECT_EQ(title, QStringLiteral("Tabulon"));
    EXPECT_EQ(icon, QMessageBox::Warning);
    EXPECT_EQ(buttons, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    EXPECT_EQ(defaultButton, yesButton);
}

TEST(PrompterReal, AShortQuestionLeavesRoomForItsWholeTitle)
{
    const QString title = QStringLiteral("Delete Data Source");
    int width = 0;
    QFont titleFont;
    onNextModal([&](QWidget *modal) {
        auto *box = qobject_cast<QMessageBox *>(modal);
        ASSERT_NE(box, nullptr);
        width = box->width();
        titleFont = box->font();
        box->button(QMessageBox::Cancel)->click();
    });
    EXPECT_EQ(Prompter::msgBox(QStringLiteral("Delete B?"), MsgButtons::OKCancel, MsgIcon::Question, title),
              MsgResult::Cancel);
    titleFont.setBold(true);
    const QFontMetrics fm(titleFont);
    // The title in bold with room for a title bar's icon and three buttons.
    EXPECT_GE(width, fm.horizontalAdvance(title) + 6 * fm.height());
}

TEST(PrompterReal, PasswordInputIsMaskedAndCancelGivesNothing)
{
    QLineEdit::EchoMode echo = QLineEdit::Normal;
    QString label;
    onNextModal([&](QWidget *modal) {
        auto *dialog = qobject_cast<QInputDialog *>(modal);
        ASSERT_NE(dialog, nullptr);
        echo = dialog->textEchoMode();
        label = dialog->labelText();
        dialog->setTextValue(QStringLiteral("s3cret"));
        dialog->accept();
    });
    const auto typed = Prompter::inputBox(QStringLiteral("Password:"), QStringLiteral("Admin"), {}, nullptr, true);
    EXPECT_EQ(typed, QStringLiteral("s3cret"));
    EXPECT_EQ(echo, QLineEdit::Password);
    EXPECT_EQ(label, QStringLiteral("Password:"));

    QString shownDefault;
    onNextModal([&](QWidget *modal) {
        auto *dialog = qobject_cast<QInputDialog *>(modal);
        ASSERT_NE(dialog, nullptr);
        shownDefault = dialog->textValue();
        echo = dialog->textEchoMode();
        dialog->reject();
    });
    EXPECT_FALSE(Prompter::inputBox(QStringLiteral("Rows:"), {}, QStringLiteral("100")).has_value());
    EXPECT_EQ(shownDefault, QStringLiteral("100"));
    EXPECT_EQ(echo, QLineEdit::Normal);
}
