#pragma once

#include "db/OdbcApi.h"
#include "db/OdbcCancellation.h"
#include "db/QueryClient.h"

#include <QString>

#include <optional>
#include <vector>

namespace db::odbc {

struct ResultSet {
    std::vector<QString> columns;
    std::vector<std::vector<QString>> rows; // a null reads as an empty text
};

// One executed statement and its results, walked in order. The first failure is kept and raised
// by the caller once the walk is over, so that a failing statement is still drained to its end.
class StatementRun {
public:
    // Executes `text` on the connection with no time limit and escape processing off, handing
    // each informational message to `observer` as it arrives. Nothing runs when a cancel came
    // first.
    StatementRun(const Handle& dbc, QString text, const MessageObserver& observer,
                 Cancellation& cancellation);
    ~StatementRun() { cancellation_.untrack(); }
    StatementRun(const StatementRun&) = delete;
    StatementRun& operator=(const StatementRun&) = delete;

    bool failed() const { return failure_.has_value(); }
    const Outcome& failure() const { return *failure_; }
    // The connection cannot carry on (lost, or the driver itself failed).
    bool conversationEnded() const { return ended_; }
    // False after SQL_NO_DATA from SQLExecDirectW (a successful sp_attach_db through FreeTDS) or
    // from SQLMoreResults: nothing (more) to read.
    bool onResult() const { return last_ != SQL_NO_DATA && !ended_; }

    SQLSMALLINT columnCount();
    ResultSet readResultSet(SQLSMALLINT columnCount);
    void nextResult();
    // Reads every result and message left, so the server completes the statement before the
    // statement handle is freed (freeing it early cancels, and a RESTORE cut short fails).
    void drain();
    // Frees the statement handle; it must go before its connection does.
    void closeStatement() {
        cancellation_.untrack();
        stmt_.reset();
    }

private:
    SQLRETURN record(const char* call, SQLRETURN rc);
    QString columnName(SQLUSMALLINT column);
    QString value(SQLUSMALLINT column);

    void report(const Outcome& outcome) const;

    const Handle& dbc_;
    const MessageObserver& observer_;
    Cancellation& cancellation_;
    Handle stmt_;
    bool cancelSent_ = false;
    SQLRETURN last_ = SQL_SUCCESS;
    std::optional<Outcome> failure_;
    bool ended_ = false;
};

} // namespace db::odbc
