#include "db/OdbcApi.h"

#include "db/QueryClient.h"

#include <algorithm>
#include <utility>

namespace db::odbc {

namespace {

constexpr SQLSMALLINT InitialMessageLength = 1024;

} // namespace

Handle& Handle::operator=(Handle&& other) noexcept {
    if (this != &other) {
        reset();
        type_ = other.type_;
        handle_ = other.release();
    }
    return *this;
}

void Handle::reset() noexcept {
    if (handle_ != SQL_NULL_HANDLE) {
        SQLFreeHandle(type_, handle_);
        handle_ = SQL_NULL_HANDLE;
    }
}

SQLHANDLE Handle::release() noexcept {
    return std::exchange(handle_, SQLHANDLE{});
}

Connection& Connection::operator=(Connection&& other) noexcept {
    if (this != &other) {
        reset();
        dbc_ = std::move(other.dbc_);
        connected_ = std::exchange(other.connected_, false);
    }
    return *this;
}

void Connection::reset() noexcept {
    if (connected_) {
        SQLDisconnect(dbc_.get());
        connected_ = false;
    }
    dbc_.reset();
}

QueryError Outcome::error() const {
    const QString callName = QString::fromLatin1(call);
    const OdbcDiagRecord* record =
        connectionLost ? connectionLossRecord(records) : failureRecord(records);
    return QueryError(connectionLost ? connectionLossText(records, callName, rc)
                                     : failureText(records, callName, rc),
                      record ? record->sqlState : QString(), record ? record->nativeError : 0);
}

std::vector<OdbcDiagRecord> readDiagnostics(SQLSMALLINT type, SQLHANDLE handle) {
    std::vector<OdbcDiagRecord> records;
    if (handle == SQL_NULL_HANDLE) {
        return records;
    }
    for (SQLSMALLINT number = 1;; ++number) {
        SQLWCHAR state[6] = {};
        SQLINTEGER nativeError = 0;
        std::vector<SQLWCHAR> message(InitialMessageLength);
        SQLSMALLINT length = 0;
        SQLRETURN rc = SQLGetDiagRecW(type, handle, number, state, &nativeError, message.data(),
                                      static_cast<SQLSMALLINT>(message.size()), &length);
        if (rc == SQL_SUCCESS_WITH_INFO && length >= static_cast<SQLSMALLINT>(message.size())) {
            message.resize(static_cast<std::size_t>(length) + 1);
            rc = SQLGetDiagRecW(type, handle, number, state, &nativeError, message.data(),
                                static_cast<SQLSMALLINT>(message.size()), &length);
        }
        if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) {
            break;
        }
        const qsizetype stored =
            std::min<qsizetype>(length, static_cast<qsizetype>(message.size()) - 1);
        records.push_back({fromWide(state, 5), static_cast<int>(nativeError),
                           fromWide(message.data(), std::max<qsizetype>(stored, 0))});
    }
    return records;
}

Outcome observe(const Handle& handle, const char* call, SQLRETURN rc) {
    Outcome outcome{call, rc, {}};
    if (rc != SQL_SUCCESS && rc != SQL_INVALID_HANDLE) {
        outcome.records = readDiagnostics(handle.type(), handle.get());
    }
    return outcome;
}

void raise(const Outcome& outcome) {
    throw outcome.error();
}

SQLRETURN check(const Handle& handle, const char* call, SQLRETURN rc) {
    const Outcome outcome = observe(handle, call, rc);
    if (outcome.failed()) {
        raise(outcome);
    }
    return rc;
}

bool connectionIsDead(const Handle& dbc) {
    SQLUINTEGER dead = SQL_CD_FALSE;
    const SQLRETURN rc = SQLGetConnectAttrW(dbc.get(), SQL_ATTR_CONNECTION_DEAD, &dead, 0, nullptr);
    return SQL_SUCCEEDED(rc) && dead == SQL_CD_TRUE;
}

QString infoText(const Handle& dbc, SQLUSMALLINT item) {
    SQLWCHAR text[64] = {};
    SQLSMALLINT bytes = 0;
    const SQLRETURN rc = SQLGetInfoW(dbc.get(), item, text, SQLSMALLINT(sizeof text), &bytes);
    if (!SQL_SUCCEEDED(rc)) {
        return {};
    }
    const qsizetype length = std::min<qsizetype>(bytes / qsizetype(sizeof(SQLWCHAR)), 63);
    return fromWide(text, length);
}

Handle allocate(SQLSMALLINT type, const Handle& parent) {
    SQLHANDLE handle = SQL_NULL_HANDLE;
    const SQLRETURN rc = SQLAllocHandle(type, parent ? parent.get() : SQL_NULL_HANDLE, &handle);
    if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) {
        Outcome outcome{"SQLAllocHandle", rc, {}};
        if (parent) { // a failed allocation leaves its records on the parent
            outcome.records = readDiagnostics(parent.type(), parent.get());
        }
        raise(outcome);
    }
    return Handle(type, handle);
}

} // namespace db::odbc
