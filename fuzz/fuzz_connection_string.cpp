// Server names, user names and passwords are typed by the operator or read from the defaults file.
#include "FuzzCheck.h"

#include "db/ConnectionString.h"
#include "db/OdbcConnectionMapping.h"
#include "db/QueryClient.h"
#include "restore/StatementTexts.h"

#include <QSet>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

using fuzz::require;
using namespace db;

namespace {

using Entries = std::vector<std::pair<QString, QString>>;

// Reads an ODBC connection string back the way the driver does under `quoting`.
Entries readOdbc(const QString& text, BraceQuoting quoting) {
    Entries entries;
    qsizetype pos = 0;
    while (pos < text.size()) {
        const qsizetype equals = text.indexOf(u'=', pos);
        require(equals > pos, "every ODBC entry starts with a key");
        const QString key = text.sliced(pos, equals - pos);
        pos = equals + 1;
        QString value;
        if (pos < text.size() && text[pos] == u'{') {
            ++pos;
            if (quoting == BraceQuoting::FirstBraceSemicolon) {
                const qsizetype end = text.indexOf(u"};", pos);
                require(end >= 0, "a braced value is closed");
                value = text.sliced(pos, end - pos);
                pos = end + 1;
            } else {
                for (;;) {
                    require(pos < text.size(), "a braced value is closed");
                    if (text[pos] == u'}' && !(pos + 1 < text.size() && text[pos + 1] == u'}')) {
                        ++pos;
                        break;
                    }
                    pos += text[pos] == u'}' ? 2 : 1;
                    value += text[pos - 1];
                }
            }
        } else {
            const qsizetype end = text.indexOf(u';', pos);
            value = text.sliced(pos, (end < 0 ? text.size() : end) - pos);
            pos = end < 0 ? text.size() : end;
        }
        require(pos < text.size() && text[pos] == u';', "every ODBC entry ends with ';'");
        ++pos;
        entries.emplace_back(key, value);
    }
    return entries;
}

std::optional<QString> odbcValue(const Entries& entries, QStringView key) {
    for (const auto& [name, value] : entries) {
        if (name == key) {
            return value;
        }
    }
    return std::nullopt;
}

QString firstOf(const ConnectionString& oledb, QStringView a, QStringView b) {
    return oledb.value(a).value_or(oledb.value(b).value_or(QString()));
}

// Maps `oledb` for each kind of driver; no value may add, drop or repeat an ODBC key.
void checkMapping(const QString& oledb, const QString& user, const QString& password,
                  bool trusted) {
    static const QSet<QString> Known{
        "DRIVER",      "SERVER",        "PORT",   "UID", "PWD", "DATABASE", "Trusted_Connection",
        "TDS_Version", "ClientCharset", "Encrypt"};
    const OdbcDriverChoice drivers[] = {
        {"FreeTDS", OdbcDriverFamily::FreeTds, BraceQuoting::DoubledClosingBrace},
        {"FreeTDS", OdbcDriverFamily::FreeTds, BraceQuoting::FirstBraceSemicolon},
        {"ODBC Driver 18 for SQL Server", OdbcDriverFamily::Microsoft,
         BraceQuoting::DoubledClosingBrace},
    };
    for (const OdbcDriverChoice& driver : drivers) {
        QString odbc;
        try {
            odbc = toOdbcConnectionString(oledb, driver);
        } catch (const QueryError&) {
            require(driver.quoting == BraceQuoting::FirstBraceSemicolon,
                    "only FreeTDS 1.3 refuses a value");
            continue;
        }
        const Entries entries = readOdbc(odbc, driver.quoting);
        QSet<QString> seen;
        for (const auto& entry : entries) {
            require(Known.contains(entry.first), "only the mapping's own keys are written");
            require(!seen.contains(entry.first), "no key is written twice");
            seen.insert(entry.first);
        }
        require(odbcValue(entries, u"DRIVER") == driver.name, "the driver is kept");
        if (trusted) {
            require(!seen.contains("UID") && !seen.contains("PWD"), "no password when trusted");
        } else {
            require(odbcValue(entries, u"UID") == user, "the user name reaches the driver");
            require(odbcValue(entries, u"PWD") == password, "the password reaches the driver");
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));

    // The input as a whole connection string.
    const ConnectionString oledb = ConnectionString::parse(text);
    const QString security = oledb.value(u"Integrated Security").value_or(QString()).trimmed();
    const bool trusted = security.compare(u"SSPI", Qt::CaseInsensitive) == 0 ||
                         security.compare(u"true", Qt::CaseInsensitive) == 0 ||
                         security.compare(u"yes", Qt::CaseInsensitive) == 0;
    QString user = firstOf(oledb, u"User ID", u"UID");
    if (!oledb.value(u"User ID") && !oledb.value(u"UID")) {
        user = oledb.value(u"User").value_or(QString());
    }
    checkMapping(text, user, firstOf(oledb, u"Password", u"PWD"), trusted);

    const DataSource source = parseDataSource(text);
    require(!source.host.contains(u',') && !source.host.contains(u'\\') &&
                !source.instance.contains(u','),
            "host, instance and port are split apart");

    // The input as the value of every field the program writes into its connection string.
    restore::RestoreRequest request;
    request.authMode = restore::AuthMode::SqlLogin;
    request.serverName = request.userName = request.password = text;
    const QString built = restore::buildConnectionString(request);
    const ConnectionString back = ConnectionString::parse(built);
    require(back.value(u"Data Source") == text, "the server name reads back unchanged");
    require(back.value(u"User ID") == text, "the user name reads back unchanged");
    require(back.value(u"Password") == text, "the password reads back unchanged");
    checkMapping(built, text, text, false);
    return 0;
}
