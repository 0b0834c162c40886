#include "db/OdbcCancellation.h"

namespace db::odbc {

void Cancellation::request() {
    const std::lock_guard lock(mutex_);
    requested_ = true;
    if (inFlight_ != SQL_NULL_HSTMT) {
        SQLCancel(inFlight_);
    }
}

void Cancellation::clear() {
    const std::lock_guard lock(mutex_);
    requested_ = false;
}

bool Cancellation::requested() const {
    const std::lock_guard lock(mutex_);
    return requested_;
}

bool Cancellation::track(SQLHSTMT stmt) {
    const std::lock_guard lock(mutex_);
    if (requested_) {
        return false;
    }
    inFlight_ = stmt;
    return true;
}

void Cancellation::untrack() {
    const std::lock_guard lock(mutex_);
    inFlight_ = SQL_NULL_HSTMT;
}

} // namespace db::odbc
