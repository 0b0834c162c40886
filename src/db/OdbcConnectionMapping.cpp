#include "db/OdbcConnectionMapping.h"

#include "db/ConnectionString.h"
#include "db/QueryClient.h"

#include <initializer_list>

namespace db {

namespace {

// SQL Server's default port; given explicitly so that no freetds.conf entry can change it.
constexpr auto DefaultPort = "1433";

// What a driver is, told by its library where the driver manager lists one ("Driver=..."), since
// any name can be registered for any library; by its name otherwise (Windows lists no library).
enum class DriverIdentity {
    BuiltInSqlServer, // sqlsrv32.dll, part of Windows
    NativeClient,     // SQL Server Native Client up to 10.0
    FreeTds,
    NoSqlServer2000, // ODBC Driver 11 and later, Native Client 11.0
    Other,
};

DriverIdentity identityByLibrary(const QString& library) {
    const QString file = library.section(u'/', -1).section(u'\\', -1).toLower();
    if (file.contains(u"tdsodbc")) {
        return DriverIdentity::FreeTds;
    }
    if (file.startsWith(u"sqlsrv32")) {
        return DriverIdentity::BuiltInSqlServer;
    }
    if (file.contains(u"msodbcsql") || file.startsWith(u"sqlncli11")) {
        return DriverIdentity::NoSqlServer2000;
    }
    return file.startsWith(u"sqlncli") ? DriverIdentity::NativeClient : DriverIdentity::Other;
}

DriverIdentity identityByName(const QString& name) {
    if (name.contains(u"FreeTDS", Qt::CaseInsensitive)) {
        return DriverIdentity::FreeTds;
    }
    if (name.compare(u"SQL Server", Qt::CaseInsensitive) == 0) {
        return DriverIdentity::BuiltInSqlServer;
    }
    if (name.startsWith(u"SQL Server Native Client 11", Qt::CaseInsensitive) ||
        (name.startsWith(u"ODBC Driver", Qt::CaseInsensitive) &&
         name.endsWith(u"for SQL Server", Qt::CaseInsensitive))) {
        return DriverIdentity::NoSqlServer2000;
    }
    return name.startsWith(u"SQL Server Native Client", Qt::CaseInsensitive) ||
                   name.startsWith(u"SQL Native Client", Qt::CaseInsensitive)
               ? DriverIdentity::NativeClient
               : DriverIdentity::Other;
}

DriverIdentity identityOf(const InstalledOdbcDriver& driver) {
    for (const QString& attribute : driver.attributes) {
        if (attribute.startsWith(u"Driver=", Qt::CaseInsensitive)) {
            return identityByLibrary(attribute.sliced(7));
        }
    }
    return identityByName(driver.name);
}

bool needsBraces(const QString& value) {
    if (value.isEmpty()) {
        return false;
    }
    return value.contains(u';') || value.contains(u'{') || value.contains(u'}') ||
           value.front().isSpace() || value.back().isSpace();
}

bool isTrusted(const ConnectionString& oledb) {
    const QString value = oledb.value(u"Integrated Security").value_or(QString()).trimmed();
    return value.compare(u"SSPI", Qt::CaseInsensitive) == 0 ||
           value.compare(u"true", Qt::CaseInsensitive) == 0 ||
           value.compare(u"yes", Qt::CaseInsensitive) == 0;
}

QString firstValue(const ConnectionString& oledb, std::initializer_list<QStringView> keys) {
    for (QStringView key : keys) {
        if (auto value = oledb.value(key)) {
            return *value;
        }
    }
    return {};
}

// Where the driver does not know "(local)" (FreeTDS; Microsoft's drivers off Windows).
QString localHost(OdbcDriverFamily family, const DataSource& source) {
    if (family == OdbcDriverFamily::FreeTds) {
        return QStringLiteral("127.0.0.1");
    }
#ifdef Q_OS_WIN
    return source.host.isEmpty() ? QStringLiteral("(local)") : source.host;
#else
    Q_UNUSED(source);
    return QStringLiteral("localhost");
#endif
}

class OdbcStringBuilder {
public:
    explicit OdbcStringBuilder(BraceQuoting quoting) : quoting_(quoting) {}
    void add(const QString& key, const QString& value) {
        text_ += key + u'=' + quoteOdbcValue(key, value, quoting_) + u';';
    }
    void addRaw(const QString& key, const QString& value) { text_ += key + u'=' + value + u';'; }
    const QString& text() const { return text_; }

private:
    BraceQuoting quoting_;
    QString text_;
};

} // namespace

OdbcDriverFamily odbcDriverFamily(const InstalledOdbcDriver& driver) {
    return identityOf(driver) == DriverIdentity::FreeTds ? OdbcDriverFamily::FreeTds
                                                         : OdbcDriverFamily::Microsoft;
}

OdbcDriverChoice chooseOdbcDriver(const std::vector<InstalledOdbcDriver>& installed) {
    for (const DriverIdentity wanted : {DriverIdentity::BuiltInSqlServer,
                                        DriverIdentity::NativeClient, DriverIdentity::FreeTds}) {
        for (const InstalledOdbcDriver& driver : installed) {
            if (identityOf(driver) == wanted) {
                return {driver.name, odbcDriverFamily(driver), BraceQuoting::DoubledClosingBrace};
            }
        }
    }
    return {QStringLiteral("FreeTDS"), OdbcDriverFamily::FreeTds,
            BraceQuoting::DoubledClosingBrace};
}

DataSource parseDataSource(QStringView dataSource) {
    QStringView text = dataSource.trimmed();
    if (text.startsWith(u"tcp:", Qt::CaseInsensitive)) {
        text = text.sliced(4).trimmed();
    }
    DataSource result;
    const qsizetype comma = text.indexOf(u',');
    if (comma >= 0) {
        result.port = text.sliced(comma + 1).trimmed().toString();
        text = text.first(comma).trimmed();
    }
    const qsizetype backslash = text.indexOf(u'\\');
    if (backslash >= 0) {
        result.instance = text.sliced(backslash + 1).trimmed().toString();
        text = text.first(backslash).trimmed();
    }
    result.host = text.toString();
    result.local =
        text.isEmpty() || text == u"." || text.compare(u"(local)", Qt::CaseInsensitive) == 0;
    return result;
}

QString quoteOdbcValue(const QString& key, const QString& value, BraceQuoting quoting) {
    if (!needsBraces(value)) {
        return value;
    }
    if (quoting == BraceQuoting::FirstBraceSemicolon) {
        if (value.contains(u"};")) {
            throw QueryError(
                QStringLiteral("qry: The FreeTDS ODBC driver cannot take a %1 that contains \"};\"")
                    .arg(key));
        }
        return u'{' + value + u'}';
    }
    QString inner = value;
    return u'{' + inner.replace(u'}', QStringLiteral("}}")) + u'}';
}

QString toOdbcConnectionString(QStringView oledbConnectionString, const OdbcDriverChoice& driver) {
    const ConnectionString oledb = ConnectionString::parse(oledbConnectionString);
    const DataSource source = parseDataSource(firstValue(oledb, {u"Data Source", u"Server"}));
    const QString host = source.local ? localHost(driver.family, source) : source.host;

    OdbcStringBuilder odbc(driver.quoting);
    odbc.addRaw(QStringLiteral("DRIVER"), u'{' + driver.name + u'}');
    if (driver.family == OdbcDriverFamily::FreeTds) {
        if (!source.instance.isEmpty() && source.port.isEmpty()) {
            // The instance's port comes from the SQL Server Browser (UDP 1434).
            odbc.add(QStringLiteral("SERVER"), host + u'\\' + source.instance);
        } else {
            odbc.add(QStringLiteral("SERVER"), host);
            odbc.add(QStringLiteral("PORT"), source.port.isEmpty() ? DefaultPort : source.port);
        }
    } else {
        QString server = host;
        if (!source.instance.isEmpty()) {
            server += u'\\' + source.instance;
        }
        if (!source.port.isEmpty()) {
            server += u',' + source.port;
        }
        odbc.add(QStringLiteral("SERVER"), server);
    }

    if (isTrusted(oledb)) {
        odbc.addRaw(QStringLiteral("Trusted_Connection"), QStringLiteral("Yes"));
    } else {
        odbc.add(QStringLiteral("UID"), firstValue(oledb, {u"User ID", u"UID", u"User"}));
        odbc.add(QStringLiteral("PWD"), firstValue(oledb, {u"Password", u"PWD"}));
    }
    const QString catalog = firstValue(oledb, {u"Initial Catalog", u"Database"});
    if (!catalog.isEmpty()) {
        odbc.add(QStringLiteral("DATABASE"), catalog);
    }

    if (driver.family == OdbcDriverFamily::FreeTds) {
        // FreeTDS's default "auto" offers TDS 7.4 first. A SQL Server 2000 that refuses the login
        // or stops answering then leaves FreeTDS parsing with 7.4 rules and waiting past the login
        // time limit (without end against a silent server, seen with 1.3.17); pinned at 7.1, the
        // version SQL Server 2000 speaks, the login ends with the server's message or on time.
        odbc.addRaw(QStringLiteral("TDS_Version"), QStringLiteral("7.1"));
        // Wide calls pass through FreeTDS's client character set; in a C locale that is ASCII
        // and would turn Chinese names and paths into '?'.
        odbc.addRaw(QStringLiteral("ClientCharset"), QStringLiteral("UTF-8"));
    } else if (driver.name.startsWith(u"ODBC Driver 18", Qt::CaseInsensitive)) {
        // Driver 18 encrypts by default, which SQL Server 2000 cannot do.
        odbc.addRaw(QStringLiteral("Encrypt"), QStringLiteral("no"));
    }
    return odbc.text();
}

} // namespace db
