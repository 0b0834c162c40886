#include "db/OdbcConnectionMapping.h"

#include "db/ConnectionString.h"
#include "db/QueryClient.h"
#include "restore/StatementTexts.h"

#include "QtPrinters.h"

#include <gtest/gtest.h>

using namespace db;

namespace {

const OdbcDriverChoice FreeTds{"FreeTDS", OdbcDriverFamily::FreeTds,
                               BraceQuoting::FirstBraceSemicolon};
const OdbcDriverChoice NewerFreeTds{"FreeTDS", OdbcDriverFamily::FreeTds,
                                    BraceQuoting::DoubledClosingBrace};
const OdbcDriverChoice Driver17{"ODBC Driver 17 for SQL Server", OdbcDriverFamily::Microsoft,
                                BraceQuoting::DoubledClosingBrace};
const OdbcDriverChoice Driver18{"ODBC Driver 18 for SQL Server", OdbcDriverFamily::Microsoft,
                                BraceQuoting::DoubledClosingBrace};

constexpr auto FreeTdsTail = "TDS_Version=7.1;ClientCharset=UTF-8;";

struct MappingCase {
    const char* name;
    QString oledb;
    OdbcDriverChoice driver;
    QString odbc;
};

void PrintTo(const MappingCase&, std::ostream* out) {
    *out << "case";
}

class Mapping : public testing::TestWithParam<MappingCase> {};

TEST_P(Mapping, GivesTheDsnLessOdbcString) {
    const MappingCase& c = GetParam();
    EXPECT_EQ(toOdbcConnectionString(c.oledb, c.driver), c.odbc) << c.name;
}

QString sqlLogin(const QString& dataSource, const QString& user, const QString& password) {
    return "Provider=SQLOLEDB.1;Persist Security Info=True;User ID=" + quoteConnectionValue(user) +
           ";Password=" + quoteConnectionValue(password) +
           ";Initial Catalog=master;Data Source=" + quoteConnectionValue(dataSource) + ";";
}

const QString Integrated = "Provider=SQLOLEDB.1;Integrated Security=SSPI;Persist Security "
                           "Info=False;Initial Catalog=msdb;Data Source=HOST";

INSTANTIATE_TEST_SUITE_P(
    Table, Mapping,
    testing::Values(
        MappingCase{"local, empty password", sqlLogin("(local)", "sa", ""), FreeTds,
                    QString("DRIVER={FreeTDS};SERVER=127.0.0.1;PORT=1433;UID=sa;PWD=;"
                            "DATABASE=master;") +
                        FreeTdsTail},
        MappingCase{"dot is local", sqlLogin(".", "sa", "x"), FreeTds,
                    QString("DRIVER={FreeTDS};SERVER=127.0.0.1;PORT=1433;UID=sa;PWD=x;"
                            "DATABASE=master;") +
                        FreeTdsTail},
        MappingCase{"host,port", sqlLogin("db.example.org,14330", "sa", "x"), FreeTds,
                    QString("DRIVER={FreeTDS};SERVER=db.example.org;PORT=14330;UID=sa;PWD=x;"
                            "DATABASE=master;") +
                        FreeTdsTail},
        MappingCase{"blanks around host and port", sqlLogin(" HOST , 1500 ", "sa", "x"), FreeTds,
                    QString("DRIVER={FreeTDS};SERVER=HOST;PORT=1500;UID=sa;PWD=x;"
                            "DATABASE=master;") +
                        FreeTdsTail},
        MappingCase{"instance passes through", sqlLogin(R"(HOST\SQL2000)", "sa", "x"), FreeTds,
                    QString(R"(DRIVER={FreeTDS};SERVER=HOST\SQL2000;UID=sa;PWD=x;)"
                            "DATABASE=master;") +
                        FreeTdsTail},
        MappingCase{"local instance", sqlLogin(R"((local)\INST1)", "sa", "x"), FreeTds,
                    QString(R"(DRIVER={FreeTDS};SERVER=127.0.0.1\INST1;UID=sa;PWD=x;)"
                            "DATABASE=master;") +
                        FreeTdsTail},
        MappingCase{"instance with port: the port wins", sqlLogin(R"(HOST\I,1600)", "sa", "x"),
                    FreeTds,
                    QString("DRIVER={FreeTDS};SERVER=HOST;PORT=1600;UID=sa;PWD=x;"
                            "DATABASE=master;") +
                        FreeTdsTail},
        MappingCase{"integrated security", Integrated, FreeTds,
                    QString("DRIVER={FreeTDS};SERVER=HOST;PORT=1433;Trusted_Connection=Yes;"
                            "DATABASE=msdb;") +
                        FreeTdsTail},
        MappingCase{"hostile password, FreeTDS 1.3", sqlLogin("h", "sa", "p;w\"d}{"), FreeTds,
                    QString("DRIVER={FreeTDS};SERVER=h;PORT=1433;UID=sa;PWD={p;w\"d}{};"
                            "DATABASE=master;") +
                        FreeTdsTail},
        MappingCase{"hostile password, ODBC rule", sqlLogin("h", "sa", "p;w\"d}{"), NewerFreeTds,
                    QString("DRIVER={FreeTDS};SERVER=h;PORT=1433;UID=sa;PWD={p;w\"d}}{};"
                            "DATABASE=master;") +
                        FreeTdsTail},
        MappingCase{"closing brace last, FreeTDS 1.3", sqlLogin("h", "sa", "abc}"), FreeTds,
                    QString("DRIVER={FreeTDS};SERVER=h;PORT=1433;UID=sa;PWD={abc}};"
                            "DATABASE=master;") +
                        FreeTdsTail},
        MappingCase{"blanks and braces kept", sqlLogin("h", " {sa ", " x "), NewerFreeTds,
                    QString("DRIVER={FreeTDS};SERVER=h;PORT=1433;UID={ {sa };PWD={ x };"
                            "DATABASE=master;") +
                        FreeTdsTail},
        MappingCase{"quotes, equals and Chinese need no braces",
                    sqlLogin("h", "O'Brien", QStringLiteral("\u5BC6\u7801=\"x'")), FreeTds,
                    QStringLiteral("DRIVER={FreeTDS};SERVER=h;PORT=1433;UID=O'Brien;"
                                   "PWD=\u5BC6\u7801=\"x';DATABASE=master;") +
                        FreeTdsTail},
        MappingCase{"Microsoft: host,port in SERVER", sqlLogin("HOST,1500", "sa", "p;w\"d}{"),
                    Driver17,
                    "DRIVER={ODBC Driver 17 for SQL Server};SERVER=HOST,1500;UID=sa;"
                    "PWD={p;w\"d}}{};DATABASE=master;"},
        MappingCase{"Microsoft: instance", Integrated.chopped(4) + "H\\I", Driver17,
                    "DRIVER={ODBC Driver 17 for SQL Server};SERVER=H\\I;"
                    "Trusted_Connection=Yes;DATABASE=msdb;"},
        MappingCase{"Microsoft 18 turns encryption off", sqlLogin("HOST", "sa", "x"), Driver18,
                    "DRIVER={ODBC Driver 18 for SQL Server};SERVER=HOST;UID=sa;PWD=x;"
                    "DATABASE=master;Encrypt=no;"},
        MappingCase{"keys in any case, last one wins",
                    "data source=a;DATA SOURCE=b,9;user id=u;PASSWORD=p;initial catalog=c", FreeTds,
                    QString("DRIVER={FreeTDS};SERVER=b;PORT=9;UID=u;PWD=p;DATABASE=c;") +
                        FreeTdsTail}),
    [](const testing::TestParamInfo<MappingCase>& info) {
        std::string name;
        for (char c : std::string(info.param.name)) {
            name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
        }
        return name;
    });

#ifndef Q_OS_WIN
TEST(Mapping, MicrosoftDriversOffWindowsGetLocalhost) {
    EXPECT_EQ(toOdbcConnectionString(sqlLogin("(local)", "sa", ""), Driver17),
              "DRIVER={ODBC Driver 17 for SQL Server};SERVER=localhost;UID=sa;PWD=;"
              "DATABASE=master;");
}
#endif

TEST(Mapping, TheRunsOwnConnectionStringsSurvive) {
    restore::RestoreRequest request;
    request.serverName = "127.0.0.1,14330";
    request.authMode = restore::AuthMode::SqlLogin;
    request.userName = "s;a";
    request.password = "p;w\"d}{";
    EXPECT_EQ(toOdbcConnectionString(restore::buildConnectionString(request), FreeTds),
              QString("DRIVER={FreeTDS};SERVER=127.0.0.1;PORT=14330;UID={s;a};PWD={p;w\"d}{};"
                      "DATABASE=master;") +
                  FreeTdsTail);
}

TEST(Mapping, FreeTds13CannotTakeBraceSemicolon) {
    try {
        toOdbcConnectionString(sqlLogin("h", "sa", "a};b"), FreeTds);
        FAIL() << "expected a QueryError";
    } catch (const QueryError& error) {
        EXPECT_EQ(error.message(),
                  "qry: The FreeTDS ODBC driver cannot take a PWD that contains \"};\"");
    }
    EXPECT_EQ(toOdbcConnectionString(sqlLogin("h", "sa", "a};b"), NewerFreeTds),
              QString("DRIVER={FreeTDS};SERVER=h;PORT=1433;UID=sa;PWD={a}};b};"
                      "DATABASE=master;") +
                  FreeTdsTail);
}

TEST(ParseDataSource, Forms) {
    const DataSource plain = parseDataSource(u"SRV");
    EXPECT_EQ(plain.host, "SRV");
    EXPECT_FALSE(plain.local);
    const DataSource full = parseDataSource(u"tcp:SRV\\INST,1444");
    EXPECT_EQ(full.host, "SRV");
    EXPECT_EQ(full.instance, "INST");
    EXPECT_EQ(full.port, "1444");
    EXPECT_TRUE(parseDataSource(u"(LOCAL)").local);
    EXPECT_TRUE(parseDataSource(u".").local);
    EXPECT_TRUE(parseDataSource(u"").local);
}

struct ChoiceCase {
    const char* name;
    std::vector<InstalledOdbcDriver> installed;
    QString chosen;
    OdbcDriverFamily family;
};

void PrintTo(const ChoiceCase&, std::ostream* out) {
    *out << "case";
}

class DriverChoice : public testing::TestWithParam<ChoiceCase> {};

TEST_P(DriverChoice, TakesADriverThatSpeaksToSqlServer2000) {
    const ChoiceCase& c = GetParam();
    const OdbcDriverChoice choice = chooseOdbcDriver(c.installed);
    EXPECT_EQ(choice.name, c.chosen) << c.name;
    EXPECT_EQ(choice.family, c.family) << c.name;
}

const QString FreeTdsLibrary = "Driver=/usr/lib/x86_64-linux-gnu/odbc/libtdsodbc.so";
const QString Driver18Library = "Driver=/opt/microsoft/msodbcsql18/lib64/libmsodbcsql-18.3.so.2.1";

INSTANTIATE_TEST_SUITE_P(
    Table, DriverChoice,
    testing::Values(
        ChoiceCase{"debian", {{"FreeTDS", {FreeTdsLibrary}}}, "FreeTDS", OdbcDriverFamily::FreeTds},
        ChoiceCase{"freetds under another name",
                   {{"PostgreSQL", {}}, {"TDS", {"Driver=/usr/lib/odbc/libtdsodbc.so"}}},
                   "TDS",
                   OdbcDriverFamily::FreeTds},
        ChoiceCase{"freetds registered as SQL Server",
                   {{"SQL Server", {"Setup=libtdsS.so", FreeTdsLibrary}}},
                   "SQL Server",
                   OdbcDriverFamily::FreeTds},
        ChoiceCase{"17 and 18 cannot log in to SQL Server 2000",
                   {{"ODBC Driver 18 for SQL Server", {Driver18Library}},
                    {"ODBC Driver 17 for SQL Server", {}},
                    {"FreeTDS", {FreeTdsLibrary}}},
                   "FreeTDS",
                   OdbcDriverFamily::FreeTds},
        ChoiceCase{"18 registered under the old name",
                   {{"SQL Server", {Driver18Library}}},
                   "FreeTDS",
                   OdbcDriverFamily::FreeTds},
        ChoiceCase{"windows' own driver first",
                   {{"ODBC Driver 17 for SQL Server", {}},
                    {"SQL Server Native Client 10.0", {}},
                    {"FreeTDS", {}},
                    {"SQL Server", {}}},
                   "SQL Server",
                   OdbcDriverFamily::Microsoft},
        ChoiceCase{"native client 10 but not 11",
                   {{"SQL Server Native Client 11.0", {}},
                    {"FreeTDS", {}},
                    {"SQL Server Native Client 10.0", {}}},
                   "SQL Server Native Client 10.0",
                   OdbcDriverFamily::Microsoft},
        ChoiceCase{"nothing usable", {{"SQLite3", {}}}, "FreeTDS", OdbcDriverFamily::FreeTds}),
    [](const testing::TestParamInfo<ChoiceCase>& info) {
        std::string name;
        for (char c : std::string(info.param.name)) {
            name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
        }
        return name;
    });

} // namespace
