#include "ui/CommonDialog.h"
#include "ui/PrinterService.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QFontDatabase>
#include <QFontDialog>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>

using namespace ui;
using testsupport::onNextModal;

namespace {

// DejaVu Serif where its italic faces are installed, otherwise the first family that has them.
QString familyWithItalics()
{
    auto hasItalics = [](const QString &family) {
        bool italic = false;
        bool boldItalic = false;
        for (const QString &style : QFontDatabase::styles(family)) {
            if (!QFontDatabase::italic(family, style))
                continue;
            if (QFontDatabase::bold(family, style))
                boldItalic = true;
            else
                italic = true;
        }
        return italic && boldItalic;
    };
    const QString preferred = QStringLiteral("DejaVu Serif");
    if (QFontDatabase::families().contains(preferred) && hasItalics(preferred))
        return preferred;
    for (const QString &family : QFontDatabase::families()) {
        if (!QFontDatabase::isPrivateFamily(family) && hasItalics(family))
            return family;
    }
    return {};
}

const QString SqlFilter = QStringLiteral("SQL Script (*.sql)|*.sql|XML Document (*.xml)|*.xml|All Files (*.*)|*.*");

} // namespace

TEST(CommonDialogFilter, ClassicFilterTextBecomesQtNameFilters)
{
    EXPECT_EQ(CommonDialog::nameFilters(SqlFilter),
              (QStringList{QStringLiteral("SQL Script (*.sql)"), QStringLiteral("XML Document (*.xml)"),
                           QStringLiteral("All Files (*)")}));

    // Several patterns per entry; a description without its own pattern list gets one.
    EXPECT_EQ(CommonDialog::nameFilters(QStringLiteral("Pictures|*.jpg;*.bmp")),
              QStringList{QStringLiteral("Pictures (*.jpg *.bmp)")});

    // An odd filter with a trailing description of no patterns: that description is dropped.
    const auto entries = CommonDialog::parseFilter(
        QStringLiteral("JPEG Interchange Format (*.jpg)|*.jpg|Bitmap Files(*.bmp)|*.bmp;All Picture Files|Extra"));
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[1].description, QStringLiteral("Bitmap Files(*.bmp)"));
    EXPECT_EQ(entries[1].patterns, (QStringList{QStringLiteral("*.bmp"), QStringLiteral("All Picture Files")}));
    EXPECT_TRUE(CommonDialog::parseFilter(QString()).empty());
}

TEST(CommonDialogScripted, EveryDialogIsCancelledUnlessAnAnswerIsQueued)
{
    ScriptedDialogs scripted;
    EXPECT_FALSE(CommonDialog::showOpen({}).has_value());
    EXPECT_FALSE(CommonDialog::showSave({}).has_value());
    EXPECT_FALSE(CommonDialog::showFont({}).has_value());
    EXPECT_FALSE(CommonDialog::showColor(0xFF).has_value());
    EXPECT_FALSE(CommonDialog::showPrinter());
    EXPECT_FALSE(PrinterService::setup());
    ASSERT_EQ(CommonDialog::asked().size(), 6u);
    EXPECT_EQ(CommonDialog::asked()[3].kind, DialogRecord::Kind::Color);
    EXPECT_EQ(CommonDialog::asked()[3].color, 0xFFu);
    EXPECT_EQ(CommonDialog::lastAsked()->kind, DialogRecord::Kind::Printer);
}

TEST(CommonDialogScripted, QueuedAnswersAndRecordedRequests)
{
    ScriptedDialogs scripted;
    FileDialogRequest request;
    request.title = QStringLiteral("Save Summary SQL");
    request.filter = SqlFilter;
    request.filterIndex = 2;
    request.fileName = QStringLiteral("/q/Sales_Summary.sql");
    request.overwritePrompt = true;

    CommonDialog::queueFile(QStringLiteral("/q/out.sql"));
    CommonDialog::queueFile(QStringLiteral("relative.xml"), 3);
    CommonDialog::queueFile(std::nullopt);

    const auto first = CommonDialog::showSave(request);
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(first->fileName, QStringLiteral("/q/out.sql"));
    EXPECT_EQ(first->filterIndex, 2);

    const auto second = CommonDialog::showOpen(request);
    ASSERT_TRUE(second.has_value());
    EXPECT_EQ(second->fileName, QDir::current().absoluteFilePath(QStringLiteral("relative.xml")));
    EXPECT_EQ(second->filterIndex, 3);

    EXPECT_FALSE(CommonDialog::showSave(request).has_value());

    const DialogRecord &record = CommonDialog::asked().front();
    EXPECT_EQ(record.kind, DialogRecord::Kind::Save);
    EXPECT_EQ(record.file.title, QStringLiteral("Save Summary SQL"));
    EXPECT_EQ(record.file.fileName, QStringLiteral("/q/Sales_Summary.sql"));
    EXPECT_TRUE(record.file.overwritePrompt);
    EXPECT_EQ(CommonDialog::asked()[1].kind, DialogRecord::Kind::Open);

    FontChoice font{QStringLiteral("DejaVu Serif"), 12.5, true, false, true, false, 0x0000FF};
    CommonDialog::queueFont(font);
    CommonDialog::queueColor(0x00C0FFEEu);
    CommonDialog::queuePrinter(true);
    EXPECT_EQ(CommonDialog::showFont({}), font);
    EXPECT_EQ(CommonDialog::showColor(0), 0x00C0FFEEu);
    EXPECT_TRUE(PrinterService::setup());
}

TEST(CommonDialogReal, SaveDialogGetsFiltersIndexNameAndOverwriteFlag)
{
    QTemporaryDir dir;
    FileDialogRequest request;
    request.title = QStringLiteral("Save Results SQL");
    request.filter = SqlFilter;
    request.filterIndex = 2;
    request.initialDir = dir.path();
    request.fileName = QStringLiteral("query.sql");

    QStringList filters;
    QString selectedFilter;
    QString title;
    bool confirmsOverwrite = true;
    onNextModal([&](QWidget *modal) {
        auto *dialog = qobject_cast<QFileDialog *>(modal);
        ASSERT_NE(dialog, nullptr);
        filters = dialog->nameFilters();
        selectedFilter = dialog->selectedNameFilter();
        title = dialog->windowTitle();
        confirmsOverwrite = !dialog->testOption(QFileDialog::DontConfirmOverwrite);
        dialog->selectNameFilter(filters.at(2));
        dialog->selectFile(dir.filePath(QStringLiteral("chosen.sql")));
        static_cast<QDialog *>(dialog)->accept();
    });
    const auto choice = CommonDialog::showSave(request);
    ASSERT_TRUE(choice.has_value());
    EXPECT_EQ(choice->fileName, dir.filePath(QStringLiteral("chosen.sql")));
    EXPECT_EQ(choice->filterIndex, 3);
    EXPECT_EQ(filters.size(), 3);
    EXPECT_EQ(selectedFilter, QStringLiteral("XML Document (*.xml)"));
    EXPECT_EQ(title, QStringLiteral("Save Results SQL"));
    EXPECT_FALSE(confirmsOverwrite);

    onNextModal([](QWidget *modal) { static_cast<QDialog *>(modal)->reject(); });
    EXPECT_FALSE(CommonDialog::showOpen(request).has_value());
}

TEST(CommonDialogReal, FontDialogStartsFromTheInitialChoiceAndKeepsItsColour)
{
    // A real family with italic and bold italic faces: an alias such as "Sans Serif" has no styles
    // to pick, and a family without an italic face cannot keep italic.
    const QString family = familyWithItalics();
    TABULON_REQUIRE_INSTALLED(!family.isEmpty(), "a font family with italic and bold italic faces");
    const FontChoice initial{family, 10, false, true, false, false, 0x000080};
    QFont shown;
    onNextModal([&](QWidget *modal) {
        auto *fonts = modal->findChild<QFontDialog *>();
        ASSERT_NE(fonts, nullptr);
        shown = fonts->currentFont();
        QFont bold(family, 10);
        bold.setBold(true);
        bold.setItalic(true);
        fonts->setCurrentFont(bold);
        static_cast<QDialog *>(modal)->accept();
    });
    const auto chosen = CommonDialog::showFont(initial);
    ASSERT_TRUE(chosen.has_value());
    EXPECT_TRUE(shown.italic());
    EXPECT_TRUE(chosen->bold);
    EXPECT_TRUE(chosen->italic);
    EXPECT_EQ(chosen->family, family);
    EXPECT_EQ(chosen->size, 10.0);
    EXPECT_EQ(chosen->color, 0x000080u);
}
