#pragma once

// The ODBC headers, the handle owners and the one checking helper of the ODBC client. Internal to
// src/db: the rest of the program sees only QueryClient.

#ifdef _WIN32
#include <windows.h>
#endif
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include "db/OdbcDiagnostics.h"
#include "db/QueryClient.h"

#include <QString>

#include <vector>

namespace db::odbc {

static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "wide ODBC calls must carry UTF-16");

// Owns one ODBC handle and frees it once.
class Handle {
public:
    Handle() = default;
    Handle(SQLSMALLINT type, SQLHANDLE handle) noexcept : type_(type), handle_(handle) {}
    Handle(Handle&& other) noexcept : type_(other.type_), handle_(other.release()) {}
    Handle& operator=(Handle&& other) noexcept;
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() { reset(); }

    SQLSMALLINT type() const { return type_; }
    SQLHANDLE get() const { return handle_; }
    explicit operator bool() const { return handle_ != SQL_NULL_HANDLE; }
    void reset() noexcept;

private:
    SQLHANDLE release() noexcept;

    SQLSMALLINT type_ = 0;
    SQLHANDLE handle_ = SQL_NULL_HANDLE;
};

// A connection handle that is disconnected before it is freed.
class Connection {
public:
    Connection() = default;
    explicit Connection(Handle dbc) : dbc_(std::move(dbc)) {}
    Connection(Connection&&) noexcept = default;
    Connection& operator=(Connection&& other) noexcept;
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    ~Connection() { reset(); }

    const Handle& handle() const { return dbc_; }
    bool isConnected() const { return connected_; }
    void markConnected() { connected_ = true; }
    void reset() noexcept;

private:
    Handle dbc_;
    bool connected_ = false;
};

// What one ODBC call returned, with every diagnostic record it left.
struct Outcome {
    const char* call = "";
    SQLRETURN rc = SQL_SUCCESS;
    std::vector<OdbcDiagRecord> records;
    // The call itself did not fail, but the connection died during it.
    bool connectionLost = false;

    // SQL_SUCCESS, SQL_SUCCESS_WITH_INFO and SQL_NO_DATA are the answers this client expects.
    bool failed() const {
        return connectionLost ||
               (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO && rc != SQL_NO_DATA);
    }
    // The error the call raises: its text with the SQLSTATE and native error of the record it
    // comes from.
    QueryError error() const;
};

std::vector<OdbcDiagRecord> readDiagnostics(SQLSMALLINT type, SQLHANDLE handle);

// The one helper every ODBC call goes through: collects all records of the call.
Outcome observe(const Handle& handle, const char* call, SQLRETURN rc);

[[noreturn]] void raise(const Outcome& outcome);

// Observes the call and raises its error text when it failed.
SQLRETURN check(const Handle& handle, const char* call, SQLRETURN rc);

// True when the driver says the connection is closed or dead (SQL_ATTR_CONNECTION_DEAD); false
// when it cannot tell.
bool connectionIsDead(const Handle& dbc);

// A text the driver tells of its connection (SQLGetInfo); empty when it cannot.
QString infoText(const Handle& dbc, SQLUSMALLINT item);

// A new handle of `type` under `parent` (an environment when `parent` is empty).
Handle allocate(SQLSMALLINT type, const Handle& parent);

inline SQLWCHAR* wide(QString& text) {
    return reinterpret_cast<SQLWCHAR*>(text.data());
}

inline QString fromWide(const SQLWCHAR* text, qsizetype length) {
    return QString(reinterpret_cast<const QChar*>(text), length);
}

} // namespace db::odbc
