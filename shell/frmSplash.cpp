#include "frmSplash.h"

#include "Glob.h"
#include "mdiMain.h"

#include "app/AppInfo.h"
#include "ui/MousePointer.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QStyle>

namespace {

QLabel *linkImage(QWidget *parent, const char *name, QStyle::StandardPixmap icon)
{
    auto *label = new QLabel(parent);
    label->setObjectName(QLatin1String(name));
    label->setPixmap(parent->style()->standardIcon(icon).pixmap(48, 48));
    label->setCursor(Qt::PointingHandCursor);
    return label;
}

} // namespace

frmSplash::frmSplash(QWidget *parent)
    : QWidget(parent, Qt::SplashScreen | Qt::WindowStaysOnTopHint | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("frmSplash"));
    setAttribute(Qt::WA_DeleteOnClose);
    ui::MousePointer::setHourglass();

    auto *title = new QLabel(QStringLiteral("<h1>Tabulon</h1>"), this);
    auto *slogan1 = new QLabel(QStringLiteral("Your data, in plain view."), this);
    auto *slogan2 = new QLabel(QStringLiteral("Query, summarise and chart without writing SQL."), this);
    lblVersion = new QLabel(this);
    lblVersion->setObjectName(QStringLiteral("lblVersion"));
    lblVersion->setText(QStringLiteral("Version ") + app::appInfo(QStringLiteral("Tabulon")).versionText());

    imgLogo[0] = linkImage(this, "imgLogo", QStyle::SP_ComputerIcon);
    Image1 = linkImage(this, "Image1", QStyle::SP_DriveNetIcon);
    Image2 = linkImage(this, "Image2", QStyle::SP_FileDialogInfoView);

    auto *layout = new QGridLayout(this);
    layout->addWidget(imgLogo[0], 0, 0, 3, 1);
    layout->addWidget(title, 0, 1, 1, 2);
    layout->addWidget(slogan1, 1, 1, 1, 2);
    layout->addWidget(slogan2, 2, 1, 1, 2);
    layout->addWidget(lblVersion, 3, 1);
    layout->addWidget(Image1, 3, 2, Qt::AlignRight);
    layout->addWidget(Image2, 3, 3, Qt::AlignRight);

    for (QLabel *image : {imgLogo[0], Image1, Image2})
        image->installEventFilter(this);

    // Topmost at the screen's origin; the size stays as laid out.
    move(0, 0);
}

bool frmSplash::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
        if (watched == imgLogo[0]) {
            Glob::Show_Site(0);
            return true;
        }
        if (watched == Image1 || watched == Image2) {
            Glob::Show_Site(1);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

bool frmSplash::event(QEvent *event)
{
    if (event->type() == QEvent::WindowActivate)
        ui::MousePointer::setDefault();
    return QWidget::event(event);
}

void frmSplash::closeEvent(QCloseEvent *event)
{
    if (m_blnLoading) {
        if (mdiMain *main = Glob::mainWindow()) {
            main->setEnabled(true);
            main->activateWindow();
            main->setFocus();
        }
    }
    QWidget::closeEvent(event);
}
