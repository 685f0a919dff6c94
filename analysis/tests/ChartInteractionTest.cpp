// The chart as a user handles it: the legend limit, a result too large to draw, Escape and a
// refused statement during a refresh; keys, clicks and sliders on the chart; copying, printing and
// mailing its picture.
#include "TabulonTestSupport.h"

#include "dialogs/frmSQLError.h"

#include "chart/ChartView.h"
#include "mail/MailSender.h"
#include "ui/KeyedToolBar.h"
#include "ui/PrinterService.h"
#include "ui/StatusPanels.h"

#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QProcess>
#include <QProgressBar>
#include <QSet>
#include <QSlider>
#include <QTimer>
#include <QtTest/QTest>

using namespace tabtest;

namespace {

// How many colours a picture has: a blank one has one.
int colours(const QImage &image)
{
    QSet<QRgb> seen;
    for (int y = 0; y < image.height(); y += 3)
        for (int x = 0; x < image.width(); x += 3)
            seen.insert(image.pixel(x, y));
    return int(seen.size());
}

// The widget under the middle of the chart that the mouse really reaches.
QWidget *surface(chart::ChartView *view)
{
    QWidget *w = view->childAt(view->rect().center());
    return w ? w : view;
}

class ChartUse : public ControlTest {
protected:
    void SetUp() override
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        chart::ChartView::setOpenGLAllowed(false);
        ASSERT_TRUE(m_dir.isValid());
        const QString cs = QStringLiteral("Provider=SQLite;Data Source=%1").arg(m_dir.filePath(QStringLiteral("k.db")));
        auto admin = db::Connection::create();
        admin->setReadOnly(false);
        admin->Open(cs);
        admin->Execute(QStringLiteral("CREATE TABLE keys (k integer, v integer)"));
        admin->Execute(QStringLiteral("WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 40000)"
                                      " INSERT INTO keys SELECT x, x % 7 FROM c"));
        m_connection = db::Connection::create();
        m_connection->Open(cs);
        mail = std::make_shared<mail::RecordingMailSender>();
        mail::MailSender::setSender(mail);
    }
    void TearDown() override
    {
        if (tab)
            tab->UnloadFlter();
        tab.reset();
        mail::MailSender::setSender(nullptr);
        chart::ChartView::setOpenGLAllowed(true);
        QLocale::setDefault(QLocale::c());
    }

    // A chart of the keys up to `upTo`, one column a key, its value the key's v.
    void chartKeys(int upTo, bool refresh = true)
    {
        if (tab)
            tab->UnloadFlter();
        tab = std::make_unique<ChartTabulon>();
        watch(*tab);
        tab->adoConnection(m_connection);
        tab->Delimiter(QStringLiteral("\""));
        tab->SQL(QStringLiteral("SELECT k AS \"Key\", v AS \"V\" FROM keys WHERE k <= %1").arg(upTo));
        tab->resize(1000, 700);
        tab->show();
        ASSERT_TRUE(tab->LoadedOK());
        ASSERT_TRUE(tab->Change_View(hlTabulon::tbViewChart));
        tab->cboChartCol[3]->setCurrentIndex(2); // Sum of
        tab->cboChartCol[4]->setCurrentIndex(tab->cboChartCol[4]->findText(QStringLiteral("V")));
        if (refresh) {
            ASSERT_TRUE(tab->Refresh());
        }
    }

    std::unique_ptr<ChartTabulon> tab;
    std::shared_ptr<db::Connection> m_connection;
    std::shared_ptr<mail::RecordingMailSender> mail;
    QTemporaryDir m_dir;
};

} // namespace

TEST_F(ChartUse, TheLegendStopsAtOneHundredColumns)
{
    analysis::options().ChartLegend = true;
    chartKeys(100);
    EXPECT_TRUE(ui::Prompter::asked().empty());
    EXPECT_TRUE(tab->chChart->ShowLegend());

    chartKeys(101);
    ASSERT_EQ(ui::Prompter::asked().size(), 1u) << "once a refresh";
    EXPECT_EQ(ui::Prompter::asked()[0].text, QStringLiteral("Cannot display Legend, too many columns"));
    EXPECT_EQ(ui::Prompter::asked()[0].title, QStringLiteral("Refresh Chart"));
    EXPECT_EQ(ui::Prompter::asked()[0].icon, ui::MsgIcon::Information);
    EXPECT_FALSE(tab->chChart->ShowLegend());

    ui::Prompter::clearAsked();
    analysis::options().ChartLegend = false;
    ASSERT_TRUE(tab->Refresh());
    EXPECT_TRUE(ui::Prompter::asked().empty());
}

TEST_F(ChartUse, ManyThousandColumnsAreHeldWholeAndTheDrawingSaysWhyItRefuses)
{
    // More columns than a 16-bit count holds: none lost, none wrapped, and a plain refusal to draw.
    chartKeys(40000);
    chart::ChartData &d = tab->data();
    ASSERT_EQ(d.ColumnCount(), 40000);
    EXPECT_EQ(d.columnLabel(40000), QStringLiteral("40000"));
    EXPECT_EQ(d.value(1, 40000), 40000 % 7);
    EXPECT_FALSE(tab->chChart->DrawError().isEmpty());
    EXPECT_EQ(tab->staStatus->Panels(1).Text(), tab->chChart->DrawError());
    EXPECT_TRUE(events.empty());

    // A chart that can be drawn no longer says it cannot; without OpenGL here, the 3-D bars it
    // asks for are drawn flat, and the status bar says that instead.
    tab->txtResultsSQL->setPlainText(QStringLiteral("SELECT k AS \"Key\", v AS \"V\" FROM keys WHERE k <= 10"));
    ASSERT_TRUE(tab->Refresh());
    EXPECT_EQ(d.ColumnCount(), 10);
    EXPECT_TRUE(tab->chChart->DrawError().isEmpty());
    ASSERT_TRUE(tab->chChart->Fallback2D());
    EXPECT_EQ(tab->staStatus->Panels(1).Text(), tab->chChart->FallbackText());
    analysis::options().ChartType = chart::Chart2DBar;
    ASSERT_TRUE(tab->Refresh());
    EXPECT_EQ(tab->staStatus->Panels(1).Text(), QStringLiteral("Ready ..."));
}

TEST_F(ChartUse, EscapeLeavesTheChartHiddenAndTheControlAsItWas)
{
    chartKeys(40000, false);
    tab->staStatus->Panels(1).setText(QStringLiteral("before"));
    ui::Prompter::queueAnswer(ui::MsgResult::Yes);
    // The Escape poll's question, asked at the refresh's first turn of the event loop.
    QTimer::singleShot(0, tab.get(), [this] { tab->Check_ESC(); });
    EXPECT_FALSE(tab->Refresh());
    ASSERT_EQ(ui::Prompter::asked().size(), 1u);
    EXPECT_EQ(ui::Prompter::asked()[0].text, QStringLiteral("Cancel drawing Chart?"));
    EXPECT_FALSE(tab->chChart->isVisible());
    EXPECT_EQ(tab->staStatus->Panels(1).Text(), QStringLiteral("before"));
    EXPECT_FALSE(tab->hasBusyMark());
    EXPECT_FALSE(analysis::g_blnAbort);
    EXPECT_FALSE(tab->tlbMain->Buttons(QStringLiteral("Print")).Enabled());
    EXPECT_TRUE(events.empty());

    // Escape during the sort stops only the sort: no column is lost, and the chart, sorted as far
    // as it got, is still labelled and shown. Escape is answered as the sort's progress first moves.
    chartKeys(500, false);
    analysis::options().ChartSortCols = true;
    ui::Prompter::queueAnswer(ui::MsgResult::Yes);
    bool stopAsked = false;
    QObject::connect(tab->staStatus->progressBar(), &QProgressBar::valueChanged, tab.get(), [&] {
        if (!stopAsked && tab->staStatus->Panels(1).Text().startsWith(QStringLiteral("Sorting Data"))) {
            stopAsked = true;
            tab->Check_ESC();
        }
    });
    EXPECT_TRUE(tab->Refresh());
    ASSERT_TRUE(stopAsked);
    ASSERT_FALSE(ui::Prompter::asked().empty());
    EXPECT_EQ(ui::Prompter::asked().back().text, QStringLiteral("Cancel drawing Chart?"));
    EXPECT_TRUE(tab->chChart->isVisible());
    EXPECT_EQ(tab->chChart->TitleText(), QStringLiteral("Sum of V by Key"));
    EXPECT_EQ(tab->chChart->AxisTitle(chart::AxisValue), QStringLiteral("Sum of V"));
    EXPECT_TRUE(tab->tlbMain->Buttons(QStringLiteral("Print")).Enabled());
    EXPECT_FALSE(tab->hasBusyMark());
    EXPECT_FALSE(analysis::g_blnAbort);
    QSet<QString> labels;
    bool sorted = true;
    for (int c = 1; c <= tab->data().ColumnCount(); ++c) {
        labels.insert(tab->data().columnLabel(c));
        if (c > 1 && tab->data().value(1, c - 1) > tab->data().value(1, c))
            sorted = false;
    }
    EXPECT_EQ(labels.size(), 500);
    EXPECT_FALSE(sorted) << "the sort was stopped part-way";
    EXPECT_TRUE(events.empty());
}

TEST_F(ChartUse, AStatementTheDatabaseRefusesShowsTheSqlErrorWindow)
{
    chartKeys(10, false);
    tab->txtResultsSQL->setPlainText(QStringLiteral("SELECT k AS \"Key\", v AS \"V\" FROM no_such_table"));
    EXPECT_FALSE(tab->Refresh());
    auto *sqlError = tabtest::toolWindow<frmSQLError>(*tab);
    ASSERT_TRUE(sqlError);
    EXPECT_TRUE(sqlError->isVisible());
    EXPECT_TRUE(events.empty()) << "the database's refusal is not a fault of the control";
    EXPECT_FALSE(tab->chChart->isVisible());
}

TEST_F(ChartUse, KeysAndClicksOnTheChart)
{
    analysis::options().ChartType = chart::Chart2DBar;
    chartKeys(6);
    chart::ChartView *view = tab->chChart;

    // Keys as the desktop sends them: a modifier key's event carries the state before it went
    // down (Qt reports the state after).
    auto send = [view](QEvent::Type type, Qt::Key key, Qt::KeyboardModifiers before) {
        QKeyEvent e(type, key, before);
        QApplication::sendEvent(view, &e);
    };
    // Ctrl alone shows the rotating pointer; Ctrl with Shift does not; any key up ends it.
    send(QEvent::KeyPress, Qt::Key_Control, Qt::NoModifier);
    EXPECT_EQ(view->MousePointer(), chart::PointerCross);
    send(QEvent::KeyRelease, Qt::Key_Control, Qt::ControlModifier);
    EXPECT_EQ(view->MousePointer(), chart::PointerDefault);
    send(QEvent::KeyPress, Qt::Key_Shift, Qt::ControlModifier);
    EXPECT_EQ(view->MousePointer(), chart::PointerDefault);

    // A left click on a point shows its value as the tip; the next press clears it.
    QWidget *target = surface(view);
    std::optional<chart::ChartPoint> hit;
    QPoint at;
    for (int y = 5; y < view->height() && !hit; y += 4)
        for (int x = 5; x < view->width() && !hit; x += 4)
            if ((hit = view->pointAt(QPoint(x, y))))
                at = QPoint(x, y);
    ASSERT_TRUE(hit.has_value()) << "no point found on the chart";
    QTest::mouseClick(target, Qt::LeftButton, {}, target->mapFrom(view, at));
    EXPECT_EQ(view->toolTip(), chart::ChartData::numberText(*tab->data().value(hit->row, hit->column)));
    EXPECT_EQ(tab->data().Column(), hit->column);
    QTest::mousePress(target, Qt::LeftButton, {}, QPoint(2, 2));
    EXPECT_EQ(view->toolTip(), QString());
    QTest::mouseRelease(target, Qt::LeftButton, {}, QPoint(2, 2));

    // A right click opens the options on the chart's tab, the chart shut meanwhile; the keyboard
    // stays in the control (shutting the chart must not pass it to another window) and comes back.
    view->setFocus();
    bool shutWhileOpen = false;
    QWidget *keyboardMeanwhile = nullptr;
    int opened = 0;
    analysis::setModalRunner([&](QDialog &) {
        ++opened;
        shutWhileOpen = !view->isEnabled();
        keyboardMeanwhile = QApplication::focusWidget();
    });
    QTest::mouseClick(target, Qt::RightButton, {}, target->rect().center());
    analysis::setModalRunner({});
    EXPECT_EQ(opened, 1);
    EXPECT_TRUE(shutWhileOpen);
    EXPECT_EQ(keyboardMeanwhile, tab->txtChartSQL);
    EXPECT_TRUE(view->isEnabled());
    EXPECT_EQ(QApplication::focusWidget(), view);
}

TEST_F(ChartUse, SlidersTurnTheChartAndResetPutsItBack)
{
    chartKeys(6);
    chart::ChartView *view = tab->chChart;
    EXPECT_EQ(tab->sldChart[0]->maximum(), 360);
    EXPECT_EQ(tab->sldChart[1]->maximum(), 90);

    // Shown after a turn by dragging: both sliders take the view, which stays as it was.
    view->Set3DView(100, 40);
    tab->press("Slide");
    EXPECT_TRUE(tab->sldChart[0]->isVisible());
    EXPECT_EQ(tab->sldChart[0]->value(), 100);
    EXPECT_EQ(tab->sldChart[1]->value(), 40);
    EXPECT_DOUBLE_EQ(view->Rotation(), 100);
    // The horizontal slider spans the chart as laid out, the same margin at either end: placed
    // before the chart's pane had its width, it came out short.
    const QRect across = tab->sldChart[0]->geometry();
    const QRect chartArea(view->mapTo(tab.get(), QPoint(0, 0)), view->size());
    EXPECT_GT(across.left(), chartArea.left());
    EXPECT_EQ(across.left() - chartArea.left(), chartArea.right() - across.right())
        << "slider " << across.left() << ".." << across.right() << " under a chart " << chartArea.left()
        << ".." << chartArea.right();
    // Wider and narrower, it still follows the chart.
    for (int width : {1024, 700}) {
        tab->resize(width, 700);
        ASSERT_TRUE(QTest::qWaitFor([&] { return view->width() > width - 40; })) << view->width();
        const QRect after = tab->sldChart[0]->geometry();
        const QRect under(view->mapTo(tab.get(), QPoint(0, 0)), view->size());
        EXPECT_EQ(after.left() - under.left(), under.right() - after.right()) << "at " << width;
    }

    tab->sldChart[0]->setValue(90);
    EXPECT_EQ(tab->sldChart[0]->toolTip(), QStringLiteral("90'"));
    EXPECT_DOUBLE_EQ(view->Rotation(), 90);
    EXPECT_DOUBLE_EQ(view->Elevation(), 40);

    // Reset moves the hidden sliders too.
    tab->press("Slide");
    EXPECT_FALSE(tab->sldChart[0]->isVisible());
    view->Set3DView(200, 60);
    tab->press("Reset");
    EXPECT_DOUBLE_EQ(view->Rotation(), 30);
    EXPECT_DOUBLE_EQ(view->Elevation(), 15);
    EXPECT_EQ(tab->sldChart[0]->value(), 30);
    EXPECT_EQ(tab->sldChart[1]->value(), 15);
}

TEST_F(ChartUse, PictureCopiedPrintedAndMailedWithoutTouchingTheClipboard)
{
    chartKeys(12);
    const QImage shown = tab->chChart->Picture();
    ASSERT_FALSE(shown.isNull());
    EXPECT_EQ(shown.size(), tab->chChart->size());
    EXPECT_GT(colours(shown), 2) << "the chart is drawn, not blank";

    QApplication::clipboard()->setText(QStringLiteral("keep me"));
    ASSERT_TRUE(tab->EMail_Chart());
    ASSERT_EQ(mail->sent.size(), 1u);
    const mail::MailMessage &m = mail->sent[0];
    EXPECT_EQ(m.subject, QStringLiteral("Sum of V by Key"));
    EXPECT_EQ(m.body, m.subject);
    ASSERT_EQ(m.attachments.size(), 1);
    const QFileInfo file(m.attachments[0]);
    EXPECT_EQ(file.fileName(), QStringLiteral("Chart.bmp"));
    EXPECT_NE(file.absolutePath(), QDir::currentPath());
    const QImage sent(file.absoluteFilePath());
    EXPECT_EQ(sent.size(), shown.size());
    EXPECT_GT(colours(sent), 2);
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("keep me"));
    EXPECT_EQ(tab->staStatus->Panels(1).Text(), QStringLiteral("Ready ..."));

    // Each mail gets a folder of its own; a called-off send is quiet, a missing mail program not.
    mail->nextResult = {false, {}};
    EXPECT_FALSE(tab->EMail_Chart());
    EXPECT_NE(QFileInfo(mail->sent[1].attachments[0]).absolutePath(), file.absolutePath());
    EXPECT_TRUE(events.empty());
    mail->nextResult = {false, QStringLiteral("The mail client could not be started")};
    EXPECT_FALSE(tab->EMail_Chart());
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].procedure, QStringLiteral("EMail_Chart"));
    EXPECT_EQ(tab->staStatus->Panels(1).Text(), QStringLiteral("Ready ..."));
    // A desktop with no mail program at all is a matter of setting up: told plainly, not reported.
    {
        testsupport::DesktopWithoutMail bare;
        mail::MailSender::setSender(std::make_shared<mail::DesktopMailSender>());
        ui::Prompter::clearAsked();
        tab->press("EMail");
        mail::MailSender::setSender(mail);
    }
    EXPECT_EQ(events.size(), 1u);
    ASSERT_NE(ui::Prompter::lastAsked(), nullptr);
    EXPECT_TRUE(ui::Prompter::lastAsked()->text.contains(QStringLiteral("No e-mail program")))
        << ui::Prompter::lastAsked()->text.toStdString();
    EXPECT_EQ(ui::Prompter::lastAsked()->title, QStringLiteral("E-Mail Chart"));
    EXPECT_EQ(tab->staStatus->Panels(1).Text(), QStringLiteral("Ready ..."));

    // Copy puts the picture on the clipboard, whatever the focus unless it is in the SQL box.
    tab->setFocus();
    ASSERT_TRUE(tab->Copy_Sel());
    EXPECT_EQ(QApplication::clipboard()->image().size(), shown.size());

    // Printing draws it on a landscape page with no dialog.
    QTemporaryDir out;
    QPrinter &printer = ui::PrinterService::printer();
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(out.filePath(QStringLiteral("chart.pdf")));
    ASSERT_TRUE(tab->Print_Grid());
    EXPECT_GT(QFileInfo(out.filePath(QStringLiteral("chart.pdf"))).size(), 1000);

    // Shown in a window narrower than it is high, the chart is laid out afresh for the page and
    // fills it, rather than keeping the window's shape in the page's left part.
    tab->resize(420, 700);
    const QString narrow = out.filePath(QStringLiteral("narrow.pdf"));
    printer.setOutputFileName(narrow);
    ASSERT_TRUE(tab->Print_Grid());
    QProcess render;
    render.start(QStringLiteral("pdftoppm"), {QStringLiteral("-png"), QStringLiteral("-r"), QStringLiteral("30"),
                                              QStringLiteral("-singlefile"), narrow, out.filePath(QStringLiteral("page"))});
    ASSERT_TRUE(render.waitForFinished(60000)) << "pdftoppm (poppler-utils) is needed";
    const QImage page(out.filePath(QStringLiteral("page.png")));
    ASSERT_FALSE(page.isNull());
    ASSERT_GT(page.width(), page.height()) << "landscape";
    QRect inked;
    for (int y = 0; y < page.height(); ++y)
        for (int x = 0; x < page.width(); ++x)
            if (qGray(page.pixel(x, y)) < 200)
                inked |= QRect(x, y, 1, 1);
    EXPECT_GT(inked.right(), page.width() * 85 / 100) << "drawn " << inked.width() << " of " << page.width();
    EXPECT_GT(inked.bottom(), page.height() * 80 / 100) << "drawn " << inked.height() << " of " << page.height();
    printer.setPageOrientation(QPageLayout::Portrait);
}
