#pragma once

#include "app/Trap.h"

#include <QString>

#include <cstddef>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace db {
class Recordset;
}

namespace hlexport {

// A failure a user can read; the control reports it under the writer's name.
class ExportError : public std::runtime_error {
public:
    explicit ExportError(const QString &message) : std::runtime_error(message.toStdString()) {}
    QString text() const { return QString::fromStdString(what()); }
};

// The target file itself cannot be written (a read-only file or folder, a file in use).
class TargetError : public ExportError {
public:
    using ExportError::ExportError;
};

// The user stopped the export while its rows were awaited: no failure, and no file.
class ExportStopped : public std::exception {
public:
    const char *what() const noexcept override { return "export stopped"; }
};

// How a writer tells the control what it is doing, and learns that the user wants it to stop.
class Progress {
public:
    virtual ~Progress() = default;
    virtual void status(const QString &text) = 0;
    // After each record written (count so far): shows the count now and then, lets the event
    // loop run, and answers true when the user asked to stop.
    virtual bool record(std::size_t written) = 0;
    // While work goes on off this thread: lets the event loop run as record() does, the count
    // shown left as it is; true when the user asked to stop.
    virtual bool turn() { return false; }
    // While work that cannot be taken back goes on off this thread (the file's rename): lets the
    // event loop run as turn() does, but asks nothing; a stop asked for now comes too late.
    virtual void idle() {}
};

// Runs `work` on a thread of its own while this one keeps the event loop turning through the
// progress, and returns once it has: true when the user asked to stop meanwhile. Work that cannot
// be taken back is not `stoppable`: nothing is asked while it runs, and the answer is false. The
// work must touch nothing of the interface; its exception, if any, is thrown here.
bool runAside(Progress &progress, const std::function<void()> &work, bool stoppable = true);

// A Progress that never stops and shows nothing.
class SilentProgress final : public Progress {
public:
    void status(const QString &) override {}
    bool record(std::size_t) override { return false; }
};

struct ExportColumn {
    int field = 0; // index of the recordset field
    QString name;  // the name written as its header
};

// What one export works from, taken once when it starts, so that nothing the user does while it
// runs changes it half-way.
struct ExportJob {
    std::shared_ptr<db::Recordset> rs;
    std::vector<ExportColumn> columns; // the qualifying columns, in field order
    std::vector<ExportColumn> refused; // selected columns of a type no output carries
    QString delimiter;
    bool includeHeaders = true;
    bool headersAsRows = false;
    QString fileName;
    QString exportName;
    Progress *progress = nullptr;
    // Told the rows read so far (the count of a result read through a cursor of its own).
    std::size_t *rowsRead = nullptr;
};

struct WriteResult {
    enum Outcome { Done, Stopped, LimitReached };
    Outcome outcome = Done;
    std::size_t records = 0; // records written (for LimitReached: those in the saved file)
    QString message;         // LimitReached: what the user is told
};

// "#,###" (zeroEmpty: nothing for 0) or "#,##0".
QString formatCount(std::size_t n, bool zeroEmpty);

// Field types that no output can carry: binary data.
bool isRefusedType(int adoType);

// Whether the bytes are well-formed UTF-8.
bool isUtf8(std::string_view text);
// Every byte that is not part of well-formed UTF-8 becomes U+FFFD, as the grid shows it: the
// outputs are UTF-8 files (a text a database holds may be any bytes).
void makeUtf8(std::string &text);

// The text of the exception being handled; call only inside a catch block.
QString currentError();

// Whether the exception being handled is the user's stop: the export's own, or a statement they
// cancelled. Call only inside a catch block.
bool currentErrorIsStop();

// The control's one trap: a failure goes to `report` with its text, the user's stop is no failure;
// either way the answer is false. `undo` first puts back what the work left half done.
template <typename Body, typename Undo, typename Report>
bool trap(Body &&body, Undo &&undo, Report &&report)
{
    return app::trap(body, undo, [&] {
        if (!currentErrorIsStop())
            report(currentError());
        return false;
    });
}

template <typename Body, typename Report>
bool trap(Body &&body, Report &&report)
{
    return trap(body, [] {}, report);
}

} // namespace hlexport
