#pragma once

#include "BrowserSettings.h"
#include "DataSourceFile.h"
#include "ErrorState.h"
#include "ModalRunner.h"
#include "settings/SettingsStore.h"
#include "ui/Prompter.h"

#include <gtest/gtest.h>

#include <QDialog>
#include <QDir>
#include <QTemporaryDir>

#include <vector>

namespace browsertest {

struct Report {
    QString procedure;
    QString description;
};

// A fresh library state for each test: empty memory settings, an empty data-source table, the
// data-source file in a temporary folder, prompts scripted and error windows recorded.
class BrowserTest : public ::testing::Test {
protected:
    BrowserTest()
    {
        browser::browserSettings() = browser::BrowserSettings{};
        browser::browserSettings().AppName = QStringLiteral("Tabulon");
        browser::browserSettings().IniFilePath = QDir(dir.path()).filePath(QStringLiteral("DataSources.ini"));
        browser::dataSources() = browser::DataSourceTable{};
        faultdesk::resetErrorState();
        faultdesk::setModalRunner([this](QDialog &dialog) {
            const faultdesk::ErrorState &st = faultdesk::errorState();
            errors.push_back({st.lastProcName, st.lastDescription});
            dialog.reject();
        });
    }
    ~BrowserTest() override
    {
        faultdesk::setModalRunner({});
        browser::setDialogRunner({});
        browser::setSaveFailureForTest({});
    }

    settings::SettingsStore &store() { return m_store.store(); }
    QString iniPath() const { return browser::browserSettings().IniFilePath; }

    QTemporaryDir dir;
    std::vector<Report> errors;

private:
    settings::ScopedSettingsStore m_store = settings::SettingsStore::useMemory();
    ui::ScriptedPrompts m_prompts;
};

} // namespace browsertest
