#pragma once

#include "db/OdbcApi.h"

#include <mutex>

namespace db::odbc {

// Lets another thread stop the statement in flight: SQLCancel makes the driver send an attention,
// and the executing call returns once the server has acknowledged it.
class Cancellation {
public:
    // Any thread; lasts until clear().
    void request();
    void clear();
    bool requested() const;
    // On the executing thread: the statement about to run, false (and nothing tracked) when a
    // cancel came first.
    bool track(SQLHSTMT stmt);
    // Before the tracked statement's handle is freed.
    void untrack();

private:
    mutable std::mutex mutex_;
    SQLHSTMT inFlight_ = SQL_NULL_HSTMT;
    bool requested_ = false;
};

} // namespace db::odbc
