#pragma once

#include <tabulon/FaultdeskExport.h>

#include <functional>

class QDialog;

namespace faultdesk {

// How the error windows are shown modally. The default runs the dialog's own event loop; a test
// installs a runner that reads the window and presses one of its buttons, so nothing blocks.
using ModalRunner = std::function<void(QDialog &)>;

// An empty runner restores the default.
FAULTDESK_EXPORT void setModalRunner(ModalRunner runner);
FAULTDESK_EXPORT void runModal(QDialog &dialog);

} // namespace faultdesk
