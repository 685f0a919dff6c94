#include "hlTabulon/frmAbout.h"

#include "hlTabulon/Glob.h"

#include "app/AppInfo.h"
#include "ui/DesktopOpener.h"
#include "ui/MousePointer.h"

#include <QEvent>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace {

QLabel *linkImage(QWidget *parent, const char *name, const QString &toolTip, QStyle::StandardPixmap icon)
{
    auto *label = new QLabel(parent);
    label->setObjectName(QLatin1String(name));
    label->setToolTip(toolTip);
    label->setPixmap(parent->style()->standardIcon(icon).pixmap(32, 32));
    label->setCursor(Qt::PointingHandCursor);
    return label;
}

} // namespace

frmAbout::frmAbout(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("frmAbout"));
    setModal(true);

    auto *logoFrame = new QFrame(this);
    logoFrame->setFrameShape(QFrame::StyledPanel);
    imgLogo = linkImage(logoFrame, "imgLogo", QStringLiteral("Visit Harlund Software website"), QStyle::SP_ComputerIcon);
    auto *logoLayout = new QHBoxLayout(logoFrame);
    logoLayout->addWidget(imgLogo);

    auto *title = new QLabel(QStringLiteral("<b>Tabulon</b>"), this);
    lblVersion = new QLabel(this);
    lblVersion->setObjectName(QStringLiteral("lblVersion"));
    lblWarning = new QLabel(this);
    lblWarning->setObjectName(QStringLiteral("lblWarning"));
    lblWarning->setWordWrap(true);

    Image1 = linkImage(this, "Image1", QStringLiteral("Visit Harlund Software web site"), QStyle::SP_DriveNetIcon);
    Image2 = linkImage(this, "Image2", QString(), QStyle::SP_DirHomeIcon);
    Image3 = linkImage(this, "Image3", QStringLiteral("Visit Harlund Software website"), QStyle::SP_FileDialogInfoView);

    cmdOK = new QPushButton(QStringLiteral("&OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    connect(cmdOK, &QPushButton::clicked, this, &QDialog::accept);

    auto *line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);

    auto *links = new QHBoxLayout;
    links->addWidget(Image1);
    links->addWidget(Image2);
    links->addWidget(Image3);
    links->addStretch();
    links->addWidget(cmdOK);

    auto *head = new QGridLayout;
    head->addWidget(logoFrame, 0, 0, 2, 1);
    head->addWidget(title, 0, 1);
    head->addWidget(lblVersion, 1, 1);
    head->setColumnStretch(1, 1);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(head);
    layout->addWidget(line);
    layout->addWidget(lblWarning);
    layout->addLayout(links);

    for (QLabel *image : {Image1, Image2, Image3, imgLogo})
        image->installEventFilter(this);

    Init();
}

bool frmAbout::Init()
{
    setWindowTitle(QStringLiteral("About Tabulon"));
    // The library's own version, as every deliverable reports it.
    const app::AppInfo info = app::appInfo(QStringLiteral("hlTabulon"));
    lblVersion->setText(QStringLiteral("Version %1.%2.%3").arg(info.Major).arg(info.Minor).arg(info.Revision));
    lblWarning->setText(QStringLiteral(
        "Warning: this computer program is protected by copyright law and international treaties. "
        "Unauthorised reproduction or distribution of this program, or any portion of it, may result in "
        "severe civil and criminal penalties, and will be prosecuted to the maximum extent possible under "
        "the law."));
    return true;
}

bool frmAbout::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
        if (watched == Image1 || watched == Image3) {
            analysis::Show_Site(1);
            return true;
        }
        if (watched == Image2) {
            analysis::Show_Site(0);
            return true;
        }
        if (watched == imgLogo) {
            // The home page straight in the desktop's browser.
            ui::DesktopOpener::open(analysis::siteAddress(0));
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

bool frmAbout::event(QEvent *event)
{
    if (event->type() == QEvent::WindowActivate)
        ui::MousePointer::setDefault();
    return QDialog::event(event);
}
