// File > Printer Setup: the dialog sets the printer up and says so; it does not offer to print.
#include "ui/CommonDialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QTimer>

TEST(PrinterSetup, TheConfirmingButtonSaysOkNotPrint)
{
    ASSERT_FALSE(ui::CommonDialog::isScripted());
    QString title;
    QStringList buttons;
    bool seen = false;
    // Looked at once it is up, then cancelled: a cancel leaves the printer as it was.
    QTimer::singleShot(0, [&] {
        QWidget *dialog = QApplication::activeModalWidget();
        if (!dialog)
            return;
        seen = true;
        title = dialog->windowTitle();
        for (QDialogButtonBox *box : dialog->findChildren<QDialogButtonBox *>()) {
            for (QAbstractButton *b : box->buttons())
                buttons << b->text();
        }
        if (auto *d = qobject_cast<QDialog *>(dialog))
            d->reject();
    });
    EXPECT_FALSE(ui::CommonDialog::showPrinter());
    ASSERT_TRUE(seen);
    EXPECT_EQ(title, QStringLiteral("Printer Setup"));
    EXPECT_TRUE(buttons.contains(QStringLiteral("OK"))) << buttons.join(QLatin1Char(',')).toStdString();
    for (const QString &text : buttons)
        EXPECT_FALSE(QString(text).remove(QLatin1Char('&')).contains(QStringLiteral("Print"))) << text.toStdString();
}
