#pragma once

#include "hlExport/DataExport.h"

#include "Faultdesk/ModalRunner.h"
#include "FullDisk.h"
#include "TestSupport.h"
#include "db/Field.h"
#include "db/Recordset.h"
#include "db/RowStore.h"
#include "grid/Grid.h"
#include "mail/MailSender.h"
#include "ui/CommonDialog.h"
#include "ui/DesktopOpener.h"
#include "ui/Prompter.h"
#include "ui/StatusPanels.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QCoreApplication>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>

#include <zip.h>

#include <unistd.h>

#include <future>
#include <memory>
#include <vector>

namespace exporttest {

inline db::FieldInfo field(const QString &name, int type, long size = 0, int precision = 0, int scale = 0)
{
    db::FieldInfo f;
    f.Name = name;
    f.Type = type;
    f.DefinedSize = size;
    f.Precision = precision;
    f.NumericScale = scale;
    return f;
}

// An in-memory recordset; an invalid QVariant is a Null.
inline std::shared_ptr<db::Recordset> recordset(std::vector<db::FieldInfo> fields,
                                                const std::vector<std::vector<QVariant>> &rows)
{
    auto store = std::make_shared<db::RowStore>(std::move(fields));
    for (const auto &row : rows) {
        store->beginRow();
        for (int c = 0; c < int(row.size()); ++c) {
            if (row[std::size_t(c)].isValid())
                store->setValue(c, row[std::size_t(c)]);
            else
                store->setNull(c);
        }
        store->endRow();
    }
    return db::Recordset::fromStore(store);
}

using testsupport::readFile;
using testsupport::writeFile;

// One entry of a zip file (a workbook or a document), or empty.
inline QByteArray zipEntry(const QString &path, const char *name)
{
    int error = 0;
    zip_t *z = zip_open(path.toUtf8().constData(), ZIP_RDONLY, &error);
    if (!z)
        return {};
    QByteArray out;
    zip_stat_t st;
    if (zip_stat(z, name, 0, &st) == 0) {
        if (zip_file_t *f = zip_fopen(z, name, 0)) {
            out.resize(qsizetype(st.size));
            const zip_int64_t n = zip_fread(f, out.data(), st.size);
            out.resize(n < 0 ? 0 : qsizetype(n));
            zip_fclose(f);
        }
    }
    zip_close(z);
    return out;
}

// A folder nothing can be written in, even by the superuser.
inline QString unwritableFolder(const QTemporaryDir &dir)
{
    if (::geteuid() == 0)
        return QStringLiteral("/proc");
    const QString folder = dir.filePath(QStringLiteral("locked"));
    QDir().mkpath(folder);
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner);
    return folder;
}

struct ReportSeen {
    QString procedure;
    QString description;
};

// Scripted prompts and dialogs, recording mail and desktop openers, error windows recorded
// instead of shown, a temporary folder, and a control to drive.
class ExportTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        mailer = std::make_shared<mail::RecordingMailSender>();
        mail::MailSender::setSender(mailer);
        opener = std::make_shared<ui::RecordingDesktopOpener>();
        ui::DesktopOpener::setOpener(opener);
        faultdesk::setModalRunner([this](QDialog &dialog) {
            ReportSeen seen;
            if (auto *l = dialog.findChild<QLabel *>(QStringLiteral("lblProcedure")))
                seen.procedure = l->text();
            if (auto *l = dialog.findChild<QLabel *>(QStringLiteral("lblDescription")))
                seen.description = l->text();
            reports.push_back(seen);
            dialog.reject();
        });
        control = std::make_unique<DataExport>();
    }

    void TearDown() override
    {
        control.reset();
        faultdesk::setModalRunner({});
        ui::DesktopOpener::setOpener(nullptr);
        mail::MailSender::setSender(nullptr);
    }

    QString path(const QString &name) const { return dir.filePath(name); }

    // Gives the control its rows and shows it, as the host does.
    void load(const std::shared_ptr<db::Recordset> &rs, const QString &name = QStringLiteral("Export"))
    {
        control->ExportName(name);
        control->TopRow(0);
        control->Data(rs);
        control->show();
    }

    template <typename T>
    T *child(const QString &name) const
    {
        T *w = control->findChild<T *>(name);
        EXPECT_NE(w, nullptr) << qPrintable(name);
        return w;
    }

    void choose(DataExport::Destination destination)
    {
        child<QRadioButton>(QStringLiteral("optDestination%1").arg(int(destination)))->click();
    }

    grid::Grid *columns() const { return child<grid::Grid>(QStringLiteral("grdColumns")); }

    // Exports to a file through the scripted save dialog; true when Export_Data reported success.
    bool exportTo(DataExport::Destination destination, const QString &file)
    {
        choose(destination);
        ui::CommonDialog::queueFile(file);
        return control->Export_Data();
    }

    // Exports to `file` with Escape pressed, and "Cancel Export?" answered Yes, while the finished
    // file is flushed to disk: the flush goes on only once the key has been handled. True when
    // Export_Data reported success; `flushesOnInterface` counts flushes made on the interface
    // thread, where no key could be handled meanwhile.
    bool exportStoppedWhileFlushing(DataExport::Destination destination, const QString &file, int &flushesOnInterface)
    {
        std::promise<void> handled;
        std::future<void> keyHandled = handled.get_future();
        bool pressed = false;
        ui::Prompter::queueAnswer(ui::MsgResult::Yes);
        const testsupport::DiskSyncs syncs(QFileInfo(file).absolutePath(), [&](bool interfaceThread) {
            if (interfaceThread) {
                ++flushesOnInterface;
                return;
            }
            if (std::exchange(pressed, true))
                return;
            QCoreApplication::postEvent(control.get(), new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
            QMetaObject::invokeMethod(control.get(), [&] { handled.set_value(); }, Qt::QueuedConnection);
            keyHandled.wait();
        });
        return exportTo(destination, file);
    }

    QTemporaryDir dir;
    ui::ScriptedPrompts prompts;
    ui::ScriptedDialogs dialogs;
    std::shared_ptr<mail::RecordingMailSender> mailer;
    std::shared_ptr<ui::RecordingDesktopOpener> opener;
    std::vector<ReportSeen> reports;
    std::unique_ptr<DataExport> control;
};

} // namespace exporttest
