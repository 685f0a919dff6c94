#include "ui/PrinterService.h"

#include "ui/CommonDialog.h"

#include <QCoreApplication>
#include <QPrinter>

#include <memory>

namespace ui {

namespace {

std::unique_ptr<QPrinter> &printerSlot()
{
    static std::unique_ptr<QPrinter> printer;
    return printer;
}

void releasePrinter()
{
    printerSlot().reset();
}

} // namespace

QPrinter &PrinterService::printer()
{
    auto &slot = printerSlot();
    if (!slot) {
        slot = std::make_unique<QPrinter>(QPrinter::HighResolution);
        // The print system must not outlive the application object.
        if (QCoreApplication::instance())
            qAddPostRoutine(releasePrinter);
    }
    return *slot;
}

bool PrinterService::setup(QWidget *parent)
{
    return CommonDialog::showPrinter(parent);
}

} // namespace ui
