#pragma once

#include <QString>
#include <QStringView>

#include <vector>

namespace db {

enum class OdbcDriverFamily { Microsoft, FreeTds };

// How a driver reads a {braced} value that holds a '}'.
enum class BraceQuoting {
    // The ODBC rule: "}}" inside the braces stands for one '}' (Microsoft, newer FreeTDS).
    DoubledClosingBrace,
    // FreeTDS 1.3 (Debian 12): the value ends at the first "};" and nothing is unescaped.
    FirstBraceSemicolon,
};

// A driver as the driver manager lists it (SQLDriversW): its name and "key=value" attributes.
struct InstalledOdbcDriver {
    QString name;
    std::vector<QString> attributes;
};

struct OdbcDriverChoice {
    QString name;
    OdbcDriverFamily family = OdbcDriverFamily::FreeTds;
    BraceQuoting quoting = BraceQuoting::DoubledClosingBrace;
};

// A driver that speaks to SQL Server 2000: Windows' own "SQL Server" driver first, then Native
// Client up to 10.0, then FreeTDS, each known by its library. Newer Microsoft drivers cannot log in
// to SQL Server 2000 and are used only when named. With nothing usable installed, "FreeTDS", so
// that the driver manager's own message explains what is missing.
OdbcDriverChoice chooseOdbcDriver(const std::vector<InstalledOdbcDriver>& installed);

// The family of a driver named in the options, from its library, else its name.
OdbcDriverFamily odbcDriverFamily(const InstalledOdbcDriver& driver);

// The server part of an OLE DB "Data Source": host, optional instance after '\', optional port
// after ','. "(local)", "." and an empty host mean this machine.
struct DataSource {
    QString host;
    QString instance;
    QString port;
    bool local = false;
};
DataSource parseDataSource(QStringView dataSource);

// One ODBC "value" as the driver reads it back: plain when it can be, else in braces.
// Raises QueryError for a value the driver cannot take (a "};" with FreeTDS 1.3).
QString quoteOdbcValue(const QString& key, const QString& value, BraceQuoting quoting);

// Maps the OLE DB connection string of the run (Provider=SQLOLEDB.1;...) onto a DSN-less ODBC
// connection string for the chosen driver.
QString toOdbcConnectionString(QStringView oledbConnectionString, const OdbcDriverChoice& driver);

} // namespace db
