#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <sql.h>
#include <sqlext.h>

namespace standin_test {

struct Diag {
    std::string state;
    long native = 0;
    std::string text;
};

using Row = std::vector<std::optional<std::string>>;

struct Outcome {
    SQLRETURN first = SQL_ERROR; // what SQLExecDirect returned
    bool failed = false;         // any call returned SQL_ERROR
    std::vector<Diag> diags;     // every message, in arrival order
    std::vector<Row> rows;       // rows of all result sets
    std::vector<long> numbers() const;
    bool has(long native) const;
    std::string dump() const;
};

// A test-only FreeTDS ODBC connection that drains every result of a batch.
class OdbcConnection {
public:
    OdbcConnection();
    ~OdbcConnection();
    OdbcConnection(const OdbcConnection&) = delete;
    OdbcConnection& operator=(const OdbcConnection&) = delete;

    static std::string connection_string(int port, const std::string& extra = "",
                                         const std::string& user = "sa",
                                         const std::string& password = "secret");
    // False on failure; `diags` then holds the driver's messages.
    bool connect(const std::string& cs, std::vector<Diag>& diags);

    // SQL_DBMS_VER: the server's version as the driver read it from the login, "10.00.5500".
    std::string dbms_version();

    // `on_message` sees each message as it arrives, before the rest is read.
    Outcome exec(const std::string& sql, const std::function<void(const Diag&)>& on_message = {});
    // Asks the driver to cancel the running statement (from another thread).
    void cancel();

private:
    SQLHENV env_ = SQL_NULL_HENV;
    SQLHDBC dbc_ = SQL_NULL_HDBC;
    SQLHSTMT stmt_ = SQL_NULL_HSTMT;
};

// True when unixODBC knows the FreeTDS driver.
bool freetds_driver_available();

} // namespace standin_test
