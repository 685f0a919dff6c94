#include "Faultdesk/ModalRunner.h"

#include <QDialog>

namespace faultdesk {

namespace {
ModalRunner &currentRunner()
{
    static ModalRunner runner;
    return runner;
}
} // namespace

void setModalRunner(ModalRunner runner)
{
    currentRunner() = std::move(runner);
}

void runModal(QDialog &dialog)
{
    // A copy: a runner may install another one while it runs.
    if (const ModalRunner runner = currentRunner())
        runner(dialog);
    else
        dialog.exec();
}

} // namespace faultdesk
