#include "db/OdbcDriverCatalog.h"

#include <algorithm>
#include <map>
#include <mutex>

namespace db::odbc {

std::vector<db::InstalledOdbcDriver> installedOdbcDrivers(const Handle& env) {
    std::vector<InstalledOdbcDriver> drivers;
    std::vector<SQLWCHAR> name(1024);
    std::vector<SQLWCHAR> attributes(16384);
    SQLUSMALLINT direction = SQL_FETCH_FIRST;
    for (;;) {
        SQLSMALLINT nameLength = 0;
        SQLSMALLINT attributesLength = 0;
        const SQLRETURN rc = SQLDriversW(
            env.get(), direction, name.data(), static_cast<SQLSMALLINT>(name.size()), &nameLength,
            attributes.data(), static_cast<SQLSMALLINT>(attributes.size()), &attributesLength);
        if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) {
            break; // SQL_NO_DATA after the last one; a failing list reads as empty
        }
        direction = SQL_FETCH_NEXT;
        InstalledOdbcDriver driver;
        driver.name =
            fromWide(name.data(), std::min<qsizetype>(nameLength, qsizetype(name.size()) - 1));
        // "key=value\0key=value\0\0"
        const SQLWCHAR* item = attributes.data();
        const SQLWCHAR* const end = attributes.data() + attributes.size();
        while (item < end && *item != 0) {
            const SQLWCHAR* stop = item;
            while (stop < end && *stop != 0) {
                ++stop;
            }
            driver.attributes.push_back(fromWide(item, stop - item));
            item = stop + 1;
        }
        drivers.push_back(std::move(driver));
    }
    return drivers;
}

// FreeTDS 1.3 ends a braced value at the first "};" and keeps "}}" as it is; newer FreeTDS
// follows the ODBC rule. "{a}b}" tells them apart without opening a connection: the ODBC rule
// rejects it as a syntax error, FreeTDS 1.3 reads "a}b" and then refuses SERVER together with
// SERVERNAME. FreeTDS 1.3 leaks about 400 bytes on that refusal, so each driver is asked once per
// process.
BraceQuoting freeTdsBraceQuoting(const Handle& env, const QString& driverName) {
    static std::mutex mutex;
    static std::map<QString, BraceQuoting> known;
    const std::lock_guard lock(mutex);
    if (const auto found = known.find(driverName); found != known.end()) {
        return found->second;
    }
    Handle dbc = allocate(SQL_HANDLE_DBC, env);
    QString probe =
        QStringLiteral("DRIVER={%1};PWD={a}b};SERVER=127.0.0.1;SERVERNAME=probe;").arg(driverName);
    const SQLRETURN rc =
        SQLDriverConnectW(dbc.get(), nullptr, wide(probe), SQLSMALLINT(probe.size()), nullptr, 0,
                          nullptr, SQL_DRIVER_NOPROMPT);
    BraceQuoting quoting = BraceQuoting::DoubledClosingBrace;
    if (SQL_SUCCEEDED(rc)) {
        SQLDisconnect(dbc.get());
    } else {
        for (const OdbcDiagRecord& record : readDiagnostics(SQL_HANDLE_DBC, dbc.get())) {
            if (record.message.contains(u"SERVERNAME")) {
                quoting = BraceQuoting::FirstBraceSemicolon;
            }
        }
    }
    known.emplace(driverName, quoting);
    return quoting;
}

} // namespace db::odbc
