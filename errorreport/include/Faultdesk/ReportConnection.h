#pragma once

#include <tabulon/FaultdeskExport.h>

#include <QString>

#include <memory>

namespace db {
class Connection;
}

namespace faultdesk {

// What a report needs of the database connection that was handed to the error object. Kept
// this narrow so that a report can be tested without a database.
class FAULTDESK_EXPORT ReportConnection {
public:
    virtual ~ReportConnection();
    virtual int state() const = 0;                // db::adStateClosed, db::adStateOpen, ...
    virtual QString connectionString() const = 0; // as given, passwords included
    virtual QString version() const = 0;          // the client library and its version

    bool isClosed() const { return state() == 0; }
};

// Stands in when no connection was ever given: always closed.
std::shared_ptr<ReportConnection> closedConnection();

// A data-layer connection as a report sees it. Only a weak reference is kept: the error library
// must not keep a connection alive after its owner let go, and one that is gone counts as closed.
std::shared_ptr<ReportConnection> reportConnectionOf(const std::shared_ptr<db::Connection> &connection);

} // namespace faultdesk
