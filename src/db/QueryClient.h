#pragma once

#include <QString>

#include <QByteArray>

#include <exception>
#include <functional>
#include <utility>

namespace db {

// Raised by a query client; the message is shown to the operator as it stands. The SQLSTATE and
// the native error number are the driver's or the server's, empty and 0 for the client's own.
class QueryError : public std::exception {
public:
    explicit QueryError(QString message, QString sqlState = {}, int nativeError = 0)
        : message_(std::move(message)), utf8_(message_.toUtf8()), sqlState_(std::move(sqlState)),
          nativeError_(nativeError) {}
    const QString& message() const noexcept { return message_; }
    const char* what() const noexcept override { return utf8_.constData(); }
    const QString& sqlState() const noexcept { return sqlState_; }
    int nativeError() const noexcept { return nativeError_; }

private:
    QString message_;
    QByteArray utf8_;
    QString sqlState_;
    int nativeError_ = 0;
};

// Writes a value the way the OLE DB connection strings a client takes quote it, so that a password
// such as p;w"d survives; plain values are written as they are.
QString quoteConnectionValue(const QString& value);

// A message of the server as it arrives, e.g. 3211 "10 percent restored." while a RESTORE runs.
// Informational unless `error`: a statement such as DBCC CHECKDB reports each error it finds and
// goes on, and the statement's failure names only one of them.
struct ServerMessage {
    int number = 0;
    QString text;
    bool error = false;
};

using MessageObserver = std::function<void(const ServerMessage&)>;

// Raised when a connection kept from an earlier statement turned out dead (the server restarted
// or went away in between). The client has dropped it; its next call connects afresh.
class KeptConnectionLost : public QueryError {
public:
    using QueryError::QueryError;
};

// The one query object of the window: a connection string, a statement text, at most one open
// connection and, while open, one result set with a cursor. Every call blocks until the server
// answers; failures raise QueryError.
class QueryClient {
public:
    virtual ~QueryClient() = default;

    // Drops the result set; harmless when none is open.
    virtual void close() = 0;
    // "Key=Value;..." in OLE DB's form, values written with quoteConnectionValue(). An unchanged
    // string keeps the connection, a changed one drops it.
    virtual void setConnectionString(const QString& connectionString) = 0;
    // Closes any result set and replaces the whole statement.
    virtual void setStatement(const QString& statement) = 0;
    // Runs the statement and stands on the first row of the first result set with columns.
    virtual void open() = 0;
    virtual void first() = 0;
    virtual void next() = 0;
    virtual bool atEnd() const = 0;
    // The current row's value of a column named in any letter case; a null reads as empty.
    virtual QString fieldText(const QString& column) const = 0;
    // Runs the statement and returns only when the server has completed it.
    virtual void execute() = 0;
    // Later opens and executes hand each informational message of their statement to `observer`
    // as it arrives; an empty observer drops them.
    virtual void setMessageObserver(MessageObserver observer) = 0;
    // True while a connection is held, so that the next statement goes out on it.
    virtual bool isConnected() const = 0;
    // After a cancel stopped a statement, lets the next ones run: they undo what it left behind.
    virtual void resumeAfterCancel() = 0;
    // The server's version as its login reported it, e.g. "10.50.6000"; empty while no connection
    // is held.
    virtual QString serverVersion() const = 0;
};

} // namespace db
