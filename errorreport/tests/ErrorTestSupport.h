#pragma once

#include "Faultdesk/ErrorState.h"
#include "Faultdesk/ModalRunner.h"
#include "Faultdesk/ReportConnection.h"
#include "mail/MailSender.h"
#include "ui/Prompter.h"

#include <gtest/gtest.h>

#include <QDialog>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

#include <memory>
#include <vector>

namespace faultdesk::test {

// What a test saw of an error window shown "modally".
struct ShownWindow {
    QString name;
    QString caption;
    QString procedure;
    QString description;
    bool hasDetails = false;
    QString details; // as the window loaded it
    int result = -1; // the dialog's result after the scripted button press
};

struct FakeConnection : ReportConnection {
    FakeConnection(int st, QString cs, QString ver) : st(st), cs(std::move(cs)), ver(std::move(ver)) {}
    int state() const override { return st; }
    QString connectionString() const override { return cs; }
    QString version() const override { return ver; }
    int st;
    QString cs, ver;
};

// Fresh library state, scripted prompts, a recording mail sender and a modal runner that
// records the window, optionally types details, and presses `button`.
class ErrorTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        resetErrorState();
        mailer = std::make_shared<mail::RecordingMailSender>();
        mail::MailSender::setSender(mailer);
        setModalRunner([this](QDialog &dialog) { onShown(dialog); });
    }

    void TearDown() override
    {
        setModalRunner({});
        mail::MailSender::setSender(nullptr);
        resetErrorState();
    }

    void onShown(QDialog &dialog)
    {
        ShownWindow w;
        w.name = dialog.objectName();
        w.caption = dialog.windowTitle();
        if (auto *l = dialog.findChild<QLabel *>(QStringLiteral("lblProcedure")))
            w.procedure = l->text();
        if (auto *l = dialog.findChild<QLabel *>(QStringLiteral("lblDescription")))
            w.description = l->text();
        if (auto *t = dialog.findChild<QPlainTextEdit *>(QStringLiteral("txtDetails"))) {
            w.hasDetails = true;
            w.details = t->toPlainText();
            t->setPlainText(typeDetails);
        }
        if (auto *b = dialog.findChild<QPushButton *>(button))
            b->click();
        w.result = dialog.result();
        shown.push_back(w);
    }

    static std::vector<ui::PromptRecord> asked() { return ui::Prompter::asked(); }

    ui::ScriptedPrompts prompts;
    std::shared_ptr<mail::RecordingMailSender> mailer;
    std::vector<ShownWindow> shown;
    QString button = QStringLiteral("cmdOK");
    QString typeDetails;
};

} // namespace faultdesk::test
