#include "db/OdbcQueryClient.h"

#include "db/OdbcApi.h"
#include "db/OdbcConnectionMapping.h"
#include "db/OdbcDriverCatalog.h"
#include "db/OdbcStatementRun.h"

#include <optional>
#include <utility>

namespace db {

using odbc::check;
using odbc::Handle;
using odbc::Outcome;
using odbc::ResultSet;
using odbc::StatementRun;

struct OdbcQueryClient::State {
    OdbcOptions options;
    QString connectionString;
    QString statement;
    MessageObserver observer;
    odbc::Cancellation cancellation;

    Handle env;
    odbc::Connection connection;
    QString serverVersion; // of the connection held
    std::optional<OdbcDriverChoice> driver;
    // Whether the statement under way went out on a connection kept from an earlier one.
    bool onKeptConnection = false;

    std::optional<ResultSet> result;
    std::size_t row = 0;

    const Handle& environment() {
        if (!env) {
            env = odbc::allocate(SQL_HANDLE_ENV, Handle());
            check(env, "SQLSetEnvAttr",
                  SQLSetEnvAttr(env.get(), SQL_ATTR_ODBC_VERSION,
                                reinterpret_cast<SQLPOINTER>(SQLULEN{SQL_OV_ODBC3}), 0));
        }
        return env;
    }

    const OdbcDriverChoice& chosenDriver() {
        if (!driver) {
            const std::vector<InstalledOdbcDriver> installed =
                odbc::installedOdbcDrivers(environment());
            if (options.driver.isEmpty()) {
                driver = chooseOdbcDriver(installed);
            } else {
                InstalledOdbcDriver named{options.driver, {}};
                for (const InstalledOdbcDriver& candidate : installed) {
                    if (candidate.name.compare(options.driver, Qt::CaseInsensitive) == 0) {
                        named = candidate;
                    }
                }
                driver = OdbcDriverChoice{options.driver, odbcDriverFamily(named),
                                          BraceQuoting::DoubledClosingBrace};
            }
        }
        return *driver;
    }

    QString odbcConnectionString(const QString& oledb) {
        OdbcDriverChoice chosen = chosenDriver();
        // How braces are read matters only for values that hold a '}'.
        if (chosen.family == OdbcDriverFamily::FreeTds && oledb.contains(u'}')) {
            chosen.quoting = odbc::freeTdsBraceQuoting(environment(), chosen.name);
        }
        return toOdbcConnectionString(oledb, chosen);
    }

    void connect() {
        onKeptConnection = connection.isConnected();
        if (onKeptConnection) {
            return;
        }
        QString odbcString = odbcConnectionString(connectionString);
        odbc::Connection fresh(odbc::allocate(SQL_HANDLE_DBC, environment()));
        const Handle& dbc = fresh.handle();
        check(dbc, "SQLSetConnectAttrW",
              SQLSetConnectAttrW(dbc.get(), SQL_ATTR_LOGIN_TIMEOUT,
                                 reinterpret_cast<SQLPOINTER>(SQLULEN(options.loginTimeoutSeconds)),
                                 0));
        check(dbc, "SQLDriverConnectW",
              SQLDriverConnectW(dbc.get(), nullptr, odbc::wide(odbcString),
                                SQLSMALLINT(odbcString.size()), nullptr, 0, nullptr,
                                SQL_DRIVER_NOPROMPT));
        fresh.markConnected();
        serverVersion = odbc::infoText(dbc, SQL_DBMS_VER);
        connection = std::move(fresh);
    }

    StatementRun start() {
        throwIfCancelled();
        connect();
        return StatementRun(connection.handle(), statement + QStringLiteral("\r\n"), observer,
                            cancellation);
    }

    void throwIfCancelled() const {
        if (cancellation.requested()) {
            throw StatementCancelled();
        }
    }

    // Raises the run's first failure; a connection that cannot carry on is dropped, so that the
    // next statement connects afresh. A statement that was cancelled never passes for completed,
    // whatever the driver answered.
    void finish(StatementRun& run) {
        throwIfCancelled();
        if (!run.failed()) {
            return;
        }
        const Outcome failure = run.failure();
        run.closeStatement();
        if (run.conversationEnded() || odbc::connectionIsDead(connection.handle())) {
            connection.reset();
            if (onKeptConnection) {
                const QueryError error = failure.error();
                throw KeptConnectionLost(error.message(), error.sqlState(), error.nativeError());
            }
        }
        odbc::raise(failure);
    }
};

OdbcQueryClient::OdbcQueryClient(OdbcOptions options) : d_(std::make_unique<State>()) {
    d_->options = std::move(options);
}

OdbcQueryClient::~OdbcQueryClient() = default;

void OdbcQueryClient::close() {
    d_->result.reset();
    d_->row = 0;
}

void OdbcQueryClient::setConnectionString(const QString& connectionString) {
    close();
    if (connectionString != d_->connectionString) {
        d_->connection.reset();
        d_->connectionString = connectionString;
    }
}

void OdbcQueryClient::setStatement(const QString& statement) {
    close();
    d_->statement = statement;
}

void OdbcQueryClient::open() {
    close();
    StatementRun run = d_->start();
    std::optional<ResultSet> result;
    while (!run.failed() && run.onResult()) {
        if (const SQLSMALLINT columns = run.columnCount(); columns > 0) {
            result = run.readResultSet(columns);
            break;
        }
        run.nextResult();
    }
    run.drain();
    d_->finish(run);
    if (!result) {
        throw QueryError(QStringLiteral("qry: CommandText does not return a result set"));
    }
    d_->result = std::move(result);
}

void OdbcQueryClient::first() {
    d_->row = 0;
}

void OdbcQueryClient::next() {
    if (!atEnd()) {
        ++d_->row;
    }
}

bool OdbcQueryClient::atEnd() const {
    return !d_->result || d_->row >= d_->result->rows.size();
}

QString OdbcQueryClient::fieldText(const QString& column) const {
    if (d_->result) {
        const std::vector<QString>& columns = d_->result->columns;
        for (std::size_t index = 0; index < columns.size(); ++index) {
            if (columns[index].compare(column, Qt::CaseInsensitive) != 0) {
                continue;
            }
            if (atEnd()) {
                throw QueryError(QStringLiteral(
                    "qry: Either BOF or EOF is True, or the current record has been deleted"));
            }
            return d_->result->rows[d_->row][index];
        }
    }
    throw QueryError(QStringLiteral("qry: Field '%1' not found").arg(column));
}

void OdbcQueryClient::execute() {
    close();
    StatementRun run = d_->start();
    run.drain();
    d_->finish(run);
}

void OdbcQueryClient::setMessageObserver(MessageObserver observer) {
    d_->observer = std::move(observer);
}

void OdbcQueryClient::cancel() {
    d_->cancellation.request();
}

void OdbcQueryClient::resumeAfterCancel() {
    d_->cancellation.clear();
}

bool OdbcQueryClient::isConnected() const {
    return d_->connection.isConnected();
}

QString OdbcQueryClient::serverVersion() const {
    return isConnected() ? d_->serverVersion : QString();
}

void OdbcQueryClient::checkConnectionString(const QString& connectionString) {
    d_->odbcConnectionString(connectionString);
}

} // namespace db
