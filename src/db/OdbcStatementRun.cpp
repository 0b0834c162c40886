#include "db/OdbcStatementRun.h"

#include <utility>

namespace db::odbc {

namespace {

constexpr SQLSMALLINT InitialColumnNameLength = 256;
// The run reads names and paths (nvarchar(260) at most); longer values take several reads.
constexpr std::size_t ValueChunkChars = 256;

// States after which the connection cannot carry on: communication link failures (08xxx),
// time-outs and cancels, and errors of the driver or driver manager themselves (HYxxx, IMxxx),
// which also stop a drain that would otherwise repeat them.
bool endsTheConversation(const Outcome& outcome) {
    if (outcome.rc == SQL_INVALID_HANDLE || outcome.rc == SQL_NEED_DATA ||
        outcome.rc == SQL_STILL_EXECUTING) {
        return true;
    }
    for (const OdbcDiagRecord& record : outcome.records) {
        if (record.sqlState.startsWith(u"08") || record.sqlState.startsWith(u"HY") ||
            record.sqlState.startsWith(u"IM")) {
            return true;
        }
    }
    return false;
}

} // namespace

StatementRun::StatementRun(const Handle& dbc, QString text, const MessageObserver& observer,
                           Cancellation& cancellation)
    : dbc_(dbc), observer_(observer), cancellation_(cancellation),
      stmt_(allocate(SQL_HANDLE_STMT, dbc)) {
    // No time limit: a restore of a large backup may run for an hour.
    check(stmt_, "SQLSetStmtAttrW",
          SQLSetStmtAttrW(stmt_.get(), SQL_ATTR_QUERY_TIMEOUT,
                          reinterpret_cast<SQLPOINTER>(SQLULEN{0}), 0));
    // Statements reach the server as built, braces included.
    check(stmt_, "SQLSetStmtAttrW",
          SQLSetStmtAttrW(stmt_.get(), SQL_ATTR_NOSCAN,
                          reinterpret_cast<SQLPOINTER>(SQLULEN{SQL_NOSCAN_ON}), 0));
    if (!cancellation_.track(stmt_.get())) {
        last_ = SQL_NO_DATA;
        return;
    }
    last_ =
        record("SQLExecDirectW", SQLExecDirectW(stmt_.get(), wide(text), SQLINTEGER(text.size())));
}

SQLSMALLINT StatementRun::columnCount() {
    SQLSMALLINT columns = 0;
    const SQLRETURN rc = record("SQLNumResultCols", SQLNumResultCols(stmt_.get(), &columns));
    return SQL_SUCCEEDED(rc) ? columns : 0;
}

void StatementRun::nextResult() {
    // A cancel that reached the driver just before the statement started was lost there, so this
    // thread sends it once more between two results (the driver sends one attention at most).
    if (!cancelSent_ && cancellation_.requested()) {
        cancelSent_ = true;
        SQLCancel(stmt_.get());
    }
    last_ = record("SQLMoreResults", SQLMoreResults(stmt_.get()));
}

void StatementRun::drain() {
    while (onResult()) {
        nextResult();
    }
    // A statement cut short must not pass for a completed one, whatever the driver answered.
    if (!failed() && connectionIsDead(dbc_)) {
        failure_ = Outcome{"SQLMoreResults", last_, {}, true};
        ended_ = true;
    }
}

ResultSet StatementRun::readResultSet(SQLSMALLINT columnCount) {
    ResultSet result;
    for (SQLUSMALLINT column = 1; column <= columnCount && !failed(); ++column) {
        result.columns.push_back(columnName(column));
    }
    while (!failed()) {
        const SQLRETURN rc = record("SQLFetch", SQLFetch(stmt_.get()));
        if (!SQL_SUCCEEDED(rc)) {
            break; // SQL_NO_DATA past the last row, or a failure kept for the caller
        }
        std::vector<QString> row;
        row.reserve(result.columns.size());
        for (SQLUSMALLINT column = 1; column <= columnCount && !failed(); ++column) {
            row.push_back(value(column));
        }
        result.rows.push_back(std::move(row));
    }
    return result;
}

SQLRETURN StatementRun::record(const char* call, SQLRETURN rc) {
    Outcome outcome = observe(stmt_, call, rc);
    report(outcome);
    // FreeTDS answers a server that hung up with SQL_SUCCESS_WITH_INFO and an informational
    // "Unexpected EOF from the server" (then with "Unknown error" on every later call).
    if (rc == SQL_SUCCESS_WITH_INFO && connectionIsDead(dbc_)) {
        outcome.connectionLost = true;
    }
    if (outcome.failed()) {
        ended_ = ended_ || outcome.connectionLost || endsTheConversation(outcome);
        if (!failure_) {
            failure_ = std::move(outcome);
        }
    }
    return rc;
}

// The server's own messages arrive as 01000; other 01 states are the driver's warnings (a value
// read in chunks is "right truncated"). The server's errors carry their number, the driver's none.
void StatementRun::report(const Outcome& outcome) const {
    if (!observer_) {
        return;
    }
    for (const OdbcDiagRecord& diagnostic : outcome.records) {
        if (diagnostic.sqlState == u"01000") {
            observer_({diagnostic.nativeError, cleanDriverMessage(diagnostic.message)});
        } else if (!diagnostic.sqlState.startsWith(u"01") && diagnostic.nativeError > 0) {
            observer_({diagnostic.nativeError, cleanDriverMessage(diagnostic.message), true});
        }
    }
}

QString StatementRun::columnName(SQLUSMALLINT column) {
    std::vector<SQLWCHAR> name(InitialColumnNameLength);
    for (;;) {
        SQLSMALLINT length = 0;
        SQLSMALLINT dataType = 0;
        SQLULEN size = 0;
        SQLSMALLINT digits = 0;
        SQLSMALLINT nullable = 0;
        const SQLRETURN rc =
            record("SQLDescribeColW",
                   SQLDescribeColW(stmt_.get(), column, name.data(), SQLSMALLINT(name.size()),
                                   &length, &dataType, &size, &digits, &nullable));
        if (!SQL_SUCCEEDED(rc)) {
            return {};
        }
        if (length < SQLSMALLINT(name.size())) {
            return fromWide(name.data(), length);
        }
        name.resize(std::size_t(length) + 1);
    }
}

// The value as wide text, read in chunks so that long values arrive whole.
QString StatementRun::value(SQLUSMALLINT column) {
    QString text;
    std::vector<SQLWCHAR> chunk(ValueChunkChars);
    const auto chunkBytes = SQLLEN(chunk.size() * sizeof(SQLWCHAR));
    for (;;) {
        SQLLEN indicator = 0;
        const SQLRETURN rc = record("SQLGetData", SQLGetData(stmt_.get(), column, SQL_C_WCHAR,
                                                             chunk.data(), chunkBytes, &indicator));
        if (!SQL_SUCCEEDED(rc) || indicator == SQL_NULL_DATA) {
            return text; // SQL_NO_DATA: all of it read; a failure is kept for the caller
        }
        const bool truncated =
            rc == SQL_SUCCESS_WITH_INFO &&
            (indicator == SQL_NO_TOTAL || indicator >= chunkBytes - SQLLEN(sizeof(SQLWCHAR)));
        const qsizetype chars = truncated ? qsizetype(chunk.size()) - 1
                                          : qsizetype(indicator / SQLLEN(sizeof(SQLWCHAR)));
        text += fromWide(chunk.data(), chars);
        if (!truncated) {
            return text;
        }
    }
}

} // namespace db::odbc
