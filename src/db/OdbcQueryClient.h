#pragma once

#include "db/QueryClient.h"

#include <QString>
#include <QtGlobal>

#include <exception>
#include <memory>

namespace db {

// Raised instead of QueryError once cancel() was called: by the statement it stopped and by every
// later open or execute, which then sends nothing, until resumeAfterCancel().
class StatementCancelled : public std::exception {
public:
    const char* what() const noexcept override { return "statement cancelled"; }
};

struct OdbcOptions {
    // An installed ODBC driver by name, by default the one QUARN_SQL_DRIVER names; empty: the
    // first installed driver that speaks to SQL Server 2000 (chooseOdbcDriver).
    QString driver = qEnvironmentVariable("QUARN_SQL_DRIVER");
    int loginTimeoutSeconds = 15;
};

// The query object `qry` over ODBC 3 wide-character calls. It maps the OLE DB connection string of
// the run onto a DSN-less ODBC one, connects on the first open or execute and keeps the connection
// until the connection string changes. Statements have no time limit and are sent as built
// (escape processing off), followed by CR LF.
//
// open reads the whole first result set (the run's are a row or a few) and completes the
// statement, so the connection is free again at once; execute drains every result and message.
class OdbcQueryClient final : public QueryClient {
public:
    explicit OdbcQueryClient(OdbcOptions options = {});
    ~OdbcQueryClient() override;
    OdbcQueryClient(const OdbcQueryClient&) = delete;
    OdbcQueryClient& operator=(const OdbcQueryClient&) = delete;

    void close() override;
    void setConnectionString(const QString& connectionString) override;
    void setStatement(const QString& statement) override;
    void open() override;
    void first() override;
    void next() override;
    bool atEnd() const override;
    QString fieldText(const QString& column) const override;
    void execute() override;
    void setMessageObserver(MessageObserver observer) override;
    bool isConnected() const override;
    void resumeAfterCancel() override;
    QString serverVersion() const override;

    // From any thread, without waiting: stops the statement in flight. The executing call returns
    // once the server has acknowledged and raises StatementCancelled.
    void cancel();

    // Raises the QueryError that connecting would raise for a value the driver cannot carry,
    // without connecting.
    void checkConnectionString(const QString& connectionString);

private:
    struct State;
    std::unique_ptr<State> d_;
};

} // namespace db
