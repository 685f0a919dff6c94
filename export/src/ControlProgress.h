#pragma once

#include "ExportJob.h"

#include <QElapsedTimer>

class DataExport;

namespace hlexport {

// The control's side of a running export: "Row n" in the status bar and a turn for the event
// loop about every 30 ms (so that a million rows cost no million repaints), Escape asking
// "Cancel Export?" at that turn, and the control's cancel flag as the answer to "stop?".
class ControlProgress final : public Progress {
public:
    explicit ControlProgress(DataExport &control) : m_control(control) {}

    // At the start of an export: the clock restarts and older Escape presses are forgotten.
    void start();
    void escapePressed() { m_escape = true; }

    void status(const QString &text) override;
    bool record(std::size_t written) override;
    bool turn() override;
    void idle() override;

private:
    DataExport &m_control;
    QElapsedTimer m_clock;
    bool m_escape = false;
};

} // namespace hlexport
