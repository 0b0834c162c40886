#include "odbc_client.hpp"

#include <sstream>

namespace standin_test {

namespace {

void collect(SQLSMALLINT type, SQLHANDLE h, std::vector<Diag>& out,
             const std::function<void(const Diag&)>& on_message = {}) {
    for (SQLSMALLINT i = 1;; ++i) {
        SQLCHAR state[6] = {};
        SQLINTEGER native = 0;
        SQLCHAR text[2048] = {};
        SQLSMALLINT len = 0;
        if (!SQL_SUCCEEDED(SQLGetDiagRec(type, h, i, state, &native, text, sizeof text, &len)))
            break;
        Diag d{reinterpret_cast<char*>(state), native, reinterpret_cast<char*>(text)};
        if (on_message)
            on_message(d);
        out.push_back(std::move(d));
    }
}

} // namespace

std::vector<long> Outcome::numbers() const {
    std::vector<long> n;
    for (const Diag& d : diags)
        n.push_back(d.native);
    return n;
}

bool Outcome::has(long native) const {
    for (const Diag& d : diags)
        if (d.native == native)
            return true;
    return false;
}

std::string Outcome::dump() const {
    std::ostringstream o;
    o << "rc " << first << (failed ? " (failed)" : "") << ", " << rows.size() << " rows\n";
    for (const Diag& d : diags)
        o << "  " << d.state << " " << d.native << " " << d.text << "\n";
    return o.str();
}

OdbcConnection::OdbcConnection() {
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_);
    SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_);
}

OdbcConnection::~OdbcConnection() {
    if (stmt_ != SQL_NULL_HSTMT)
        SQLFreeHandle(SQL_HANDLE_STMT, stmt_);
    SQLDisconnect(dbc_);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
    SQLFreeHandle(SQL_HANDLE_ENV, env_);
}

std::string OdbcConnection::connection_string(int port, const std::string& extra,
                                              const std::string& user,
                                              const std::string& password) {
    return "DRIVER={FreeTDS};SERVER=127.0.0.1;PORT=" + std::to_string(port) + ";UID=" + user +
           ";PWD=" + password + ";ClientCharset=UTF-8;" + extra;
}

bool OdbcConnection::connect(const std::string& cs, std::vector<Diag>& diags) {
    SQLCHAR out[1024];
    SQLSMALLINT out_len = 0;
    const SQLRETURN rc =
        SQLDriverConnect(dbc_, nullptr, reinterpret_cast<SQLCHAR*>(const_cast<char*>(cs.c_str())),
                         SQL_NTS, out, sizeof out, &out_len, SQL_DRIVER_NOPROMPT);
    collect(SQL_HANDLE_DBC, dbc_, diags);
    if (!SQL_SUCCEEDED(rc))
        return false;
    SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt_);
    return true;
}

std::string OdbcConnection::dbms_version() {
    SQLCHAR v[64] = {};
    SQLSMALLINT len = 0;
    if (!SQL_SUCCEEDED(SQLGetInfo(dbc_, SQL_DBMS_VER, v, sizeof v, &len)))
        return {};
    return reinterpret_cast<const char*>(v);
}

Outcome OdbcConnection::exec(const std::string& sql,
                             const std::function<void(const Diag&)>& on_message) {
    Outcome o;
    SQLRETURN rc = SQLExecDirect(stmt_, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())),
                                 static_cast<SQLINTEGER>(sql.size()));
    o.first = rc;
    // Every result is read: stopping early would make the driver cancel the rest.
    for (int guard = 0; guard < 10000; ++guard) {
        if (rc != SQL_NO_DATA && rc != SQL_INVALID_HANDLE)
            collect(SQL_HANDLE_STMT, stmt_, o.diags, on_message);
        if (rc == SQL_ERROR)
            o.failed = true;
        if (rc == SQL_NO_DATA || rc == SQL_INVALID_HANDLE)
            break;
        SQLSMALLINT cols = 0;
        if (SQL_SUCCEEDED(rc) && SQL_SUCCEEDED(SQLNumResultCols(stmt_, &cols)) && cols > 0) {
            while (SQL_SUCCEEDED(SQLFetch(stmt_))) {
                Row row;
                for (SQLUSMALLINT c = 1; c <= static_cast<SQLUSMALLINT>(cols); ++c) {
                    char buf[1024];
                    SQLLEN ind = 0;
                    SQLGetData(stmt_, c, SQL_C_CHAR, buf, sizeof buf, &ind);
                    row.push_back(ind == SQL_NULL_DATA ? std::nullopt
                                                       : std::optional<std::string>(buf));
                }
                o.rows.push_back(std::move(row));
            }
        }
        rc = SQLMoreResults(stmt_);
    }
    SQLFreeStmt(stmt_, SQL_CLOSE);
    return o;
}

void OdbcConnection::cancel() {
    SQLCancel(stmt_);
}

bool freetds_driver_available() {
    SQLHENV env = SQL_NULL_HENV;
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    bool found = false;
    SQLCHAR name[256], attrs[1024];
    SQLSMALLINT nl = 0, al = 0;
    SQLUSMALLINT dir = SQL_FETCH_FIRST;
    while (SQL_SUCCEEDED(SQLDrivers(env, dir, name, sizeof name, &nl, attrs, sizeof attrs, &al))) {
        if (std::string(reinterpret_cast<char*>(name)) == "FreeTDS")
            found = true;
        dir = SQL_FETCH_NEXT;
    }
    SQLFreeHandle(SQL_HANDLE_ENV, env);
    return found;
}

} // namespace standin_test
