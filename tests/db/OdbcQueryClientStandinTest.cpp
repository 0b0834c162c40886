// The ODBC client through unixODBC + FreeTDS against the SQL Server 2000 stand-in.

#include "db/OdbcQueryClient.h"
#include "restore/StatementTexts.h"
#include "restore/TargetPaths.h"

#include "QtPrinters.h"
#include "StandinProcess.h"

#include <sql.h>
#include <sqlext.h>

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <set>

using db::OdbcOptions;
using db::OdbcQueryClient;
using db::QueryError;
using quarn_test::StandinProcess;

namespace {

constexpr qint64 FileHeaderBytes = 4096; // stand-in data and log files: header, then content

bool freeTdsInstalled() {
    SQLHENV env = SQL_NULL_HENV;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env))) {
        return false;
    }
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQLULEN{SQL_OV_ODBC3}),
                  0);
    bool found = false;
    SQLCHAR name[256];
    SQLCHAR attributes[4096];
    SQLSMALLINT nameLength = 0;
    SQLSMALLINT attributesLength = 0;
    SQLUSMALLINT direction = SQL_FETCH_FIRST;
    while (SQL_SUCCEEDED(SQLDrivers(env, direction, name, sizeof name, &nameLength, attributes,
                                    sizeof attributes, &attributesLength))) {
        direction = SQL_FETCH_NEXT;
        found = found || QString::fromUtf8(reinterpret_cast<char*>(name)) == "FreeTDS";
    }
    SQLFreeHandle(SQL_HANDLE_ENV, env);
    return found;
}

// Local ports of this machine's established TCP connections to `port`: the client's side of each
// connection to the stand-in, which tells a kept connection from a new one.
std::set<int> clientPortsTo(quint16 port) {
    std::set<int> ports;
    QFile table(QStringLiteral("/proc/net/tcp"));
    if (!table.open(QIODevice::ReadOnly)) {
        return ports;
    }
    table.readLine(); // heading
    while (!table.atEnd()) {
        const QStringList fields =
            QString::fromLatin1(table.readLine()).split(u' ', Qt::SkipEmptyParts);
        if (fields.size() < 4 || fields[3] != "01") { // 01: ESTABLISHED
            continue;
        }
        if (fields[2].section(u':', 1).toInt(nullptr, 16) == port) {
            ports.insert(fields[1].section(u':', 1).toInt(nullptr, 16));
        }
    }
    return ports;
}

// A port on 127.0.0.1 nobody listens on.
quint16 closedPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

// Accepts TCP connections (the kernel does, through the backlog) and never answers.
class SilentServer {
public:
    SilentServer() : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(fd_, 8);
        socklen_t length = sizeof address;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
    }
    ~SilentServer() { ::close(fd_); }
    SilentServer(const SilentServer&) = delete;
    SilentServer& operator=(const SilentServer&) = delete;
    quint16 port() const { return port_; }

private:
    int fd_;
    quint16 port_ = 0;
};

QString oledbFor(const QString& dataSource, const QString& user, const QString& password) {
    restore::RestoreRequest request;
    request.serverName = dataSource;
    request.authMode = restore::AuthMode::SqlLogin;
    request.userName = user;
    request.password = password;
    return restore::buildConnectionString(request);
}

class OdbcClientStandin : public testing::Test {
protected:
    void SetUp() override {
        if (StandinProcess::binary().isEmpty()) {
            GTEST_SKIP() << "the stand-in is not built (no STANDIN_BIN)";
        }
        if (!freeTdsInstalled()) {
            GTEST_SKIP() << "the FreeTDS ODBC driver is not installed";
        }
    }

    void startStandin(const StandinProcess::Options& options = {}) {
        ASSERT_TRUE(standin.start(options)) << standin.errorString().toStdString();
        qry.setConnectionString(
            oledbFor(standin.dataSource(), QStringLiteral("sa"), QStringLiteral("secret")));
    }

    // A request for a backup restore into a fresh folder under the stand-in's scratch folder.
    restore::RestoreRequest backupRequest(const QString& databaseName) {
        restore::RestoreRequest request;
        request.serverName = standin.dataSource();
        request.authMode = restore::AuthMode::SqlLogin;
        request.userName = "sa";
        request.password = "secret";
        request.sourceKind = restore::SourceKind::Backup;
        request.sourcePath = standin.scratch() + "/Shop.bak";
        request.databaseName = databaseName;
        request.directory = standin.scratch() + "/target/";
        QDir().mkpath(request.directory);
        return request;
    }

    // A data and a log file; the run's RESTORE moves only those two.
    void makeShopBackup(const QString& path, const QString& dataSize = "1M",
                        const QString& logSize = "1M") {
        ASSERT_TRUE(
            standin.makeBackup(path, "Shop", {"D:Shop_Data:" + dataSize, "L:Shop_Log:" + logSize}))
            << standin.errorString().toStdString();
    }

    // The message of the QueryError `action` raises; fails the test when it raises none.
    template <typename Action> static QString errorOf(Action action) {
        try {
            action();
        } catch (const QueryError& error) {
            return error.message();
        }
        ADD_FAILURE() << "expected a QueryError";
        return {};
    }

    // The create and the restore of the window's run, for a backup made by makeShopBackup().
    static QString createOf(const restore::RestoreRequest& request) {
        return restore::createStatement(request, ShopContents);
    }
    static QString restoreOf(const restore::RestoreRequest& request) {
        return restore::restoreStatement(
            request, ShopContents, restore::singleSetPlan(request.sourcePath, request.backupSet),
            0);
    }

    void run(const QString& statement) {
        qry.close();
        qry.setStatement(statement);
        qry.execute();
    }

    static inline const restore::BackupContents ShopContents{"Shop_Data", "Shop_Log", {}, {}};

    StandinProcess standin;
    OdbcQueryClient qry{OdbcOptions{QStringLiteral("FreeTDS")}};
};

TEST_F(OdbcClientStandin, ConnectsAndReadsTheConnectionTest) {
    startStandin();
    qry.setStatement("SELECT GETDATE()");
    qry.open();
    ASSERT_FALSE(qry.atEnd());
    EXPECT_TRUE(qry.isConnected());
    // From the login's acknowledgement, as the driver words it.
    EXPECT_EQ(qry.serverVersion(), "08.00.2039");
    // The column has no name; its value is a date and time.
    const QString now = qry.fieldText("");
    EXPECT_TRUE(QDateTime::fromString(now.left(19), "yyyy-MM-dd hh:mm:ss").isValid())
        << now.toStdString();
    qry.next();
    EXPECT_TRUE(qry.atEnd());
    qry.first();
    EXPECT_FALSE(qry.atEnd());
    EXPECT_EQ(standin.batches(), QStringList{"SELECT GETDATE()\r\n"});
}

TEST_F(OdbcClientStandin, ReadsTheFileListWithAnyLetterCase) {
    startStandin();
    restore::RestoreRequest request = backupRequest("NewDB");
    ASSERT_TRUE(standin.makeBackup(request.sourcePath, "Shop",
                                   {"L:Shop_Log:64K", "F:Shop_Catalog:64K", "D:Shop_Data:64K"}))
        << standin.errorString().toStdString();
    qry.setStatement(restore::fileListStatement(request.sourcePath, request.backupSet));
    qry.open();
    QStringList rows;
    for (qry.first(); !qry.atEnd(); qry.next()) {
        rows << qry.fieldText("Type") + ":" + qry.fieldText("logicalname") + ":" +
                    qry.fieldText("LOGICALNAME");
    }
    EXPECT_EQ(rows, QStringList({"L:Shop_Log:Shop_Log", "F:Shop_Catalog:Shop_Catalog",
                                 "D:Shop_Data:Shop_Data"}));
    EXPECT_EQ(standin.batches().value(0),
              "RESTORE FILELISTONLY FROM  DISK = N'" + request.sourcePath + "'\r\n");
}

// PhysicalName is nvarchar(260); 260 characters take more than one read of the client's chunk.
TEST_F(OdbcClientStandin, ReadsLongValuesWhole) {
    startStandin();
    restore::RestoreRequest request = backupRequest("NewDB");
    const QString longPath = "C:\\" + QString(253, QChar(0x957F)) + ".mdf";
    ASSERT_TRUE(standin.makeBackup(request.sourcePath, "Shop",
                                   {"D:Shop_Data:64K:" + longPath, "L:Shop_Log:64K"}))
        << standin.errorString().toStdString();
    qry.setStatement(restore::fileListStatement(request.sourcePath, request.backupSet));
    qry.open();
    ASSERT_FALSE(qry.atEnd());
    const QString physical = qry.fieldText("PhysicalName");
    EXPECT_EQ(physical.size(), longPath.size());
    EXPECT_TRUE(physical == longPath)
        << physical.left(8).toStdString() << "..." << physical.right(8).toStdString();
}

TEST_F(OdbcClientStandin, CreateAndRestoreDrainEveryProgressMessage) {
    // 8 MiB at 8 MiB/s: the restore is still copying when the first progress message arrives.
    startStandin({.faults = {"rate:8388608"}});
    restore::RestoreRequest request = backupRequest("NewDB");
    makeShopBackup(request.sourcePath, "6M", "2M");

    run(createOf(request));
    QStringList messages;
    QElapsedTimer clock;
    qint64 firstReportMs = -1;
    qry.setMessageObserver([&](const db::ServerMessage& message) {
        messages << QString::number(message.number) + " " + message.text;
        if (firstReportMs < 0) {
            firstReportMs = clock.elapsed();
        }
    });
    clock.start();
    run(restoreOf(request));
    const qint64 restoreMs = clock.elapsed();

    // Each report is handed on as it arrives, not when the statement has completed.
    EXPECT_LT(firstReportMs, restoreMs / 2) << firstReportMs << " of " << restoreMs << " ms";
    ASSERT_EQ(messages.size(), 13) << messages.join("\n").toStdString();
    for (int tenth = 1; tenth <= 10; ++tenth) {
        EXPECT_EQ(messages[tenth - 1], QString("3211 %1 percent restored").arg(tenth * 10));
    }
    EXPECT_TRUE(messages[12].startsWith("3014 RESTORE DATABASE successfully processed"))
        << messages[12].toStdString();

    // A client that stopped reading early would have cancelled the restore (3204) and left the
    // database RESTORING with short files.
    EXPECT_TRUE(standin.catalogueText().contains("db NewDB ONLINE"))
        << standin.catalogueText().toStdString();
    EXPECT_EQ(QFileInfo(restore::targetDataFilePath(request)).size(),
              FileHeaderBytes + 6 * 1024 * 1024);
    EXPECT_EQ(QFileInfo(restore::targetLogFilePath(request)).size(),
              FileHeaderBytes + 2 * 1024 * 1024);
    const QStringList batches = standin.batches();
    ASSERT_EQ(batches.size(), 2);
    EXPECT_EQ(batches[0], createOf(request) + "\r\n");
    EXPECT_EQ(batches[1], restoreOf(request) + "\r\n");
    EXPECT_FALSE(standin.stderrText().contains("closing in the middle"))
        << standin.stderrText().toStdString();
}

TEST_F(OdbcClientStandin, ChineseNamesAndPathsArriveIntact) {
    startStandin();
    restore::RestoreRequest request = backupRequest(QStringLiteral("\u65B0\u5E93 O'Brien]DB"));
    request.directory = standin.scratch() + QStringLiteral("/\u6570\u636E \u76EE\u5F55/");
    QDir().mkpath(request.directory);
    request.sourcePath = standin.scratch() + QStringLiteral("/\u5907\u4EFD.bak");
    makeShopBackup(request.sourcePath, "1M", "1M");

    run(createOf(request));
    run(restoreOf(request));

    EXPECT_TRUE(QFileInfo::exists(restore::targetDataFilePath(request)));
    EXPECT_TRUE(QFileInfo::exists(restore::targetLogFilePath(request)));
    EXPECT_EQ(standin.batches().value(1), restoreOf(request) + "\r\n");
}

TEST_F(OdbcClientStandin, AttachSucceedsWhenTheDriverAnswersNoData) {
    startStandin();
    restore::RestoreRequest request = backupRequest("Detached");
    makeShopBackup(request.sourcePath, "1M", "1M");
    run(createOf(request));
    run(restoreOf(request));
    qry.setStatement("exec sp_detach_db N'Detached'");
    qry.execute();

    restore::RestoreRequest attach = request;
    attach.sourceKind = restore::SourceKind::DataFiles;
    attach.databaseName = "Attached";
    attach.sourcePath = restore::targetDataFilePath(request);
    attach.logSourcePath = restore::targetLogFilePath(request);
    run(restore::attachStatement(attach));

    EXPECT_TRUE(standin.catalogueText().contains("db Attached ONLINE"))
        << standin.catalogueText().toStdString();
}

TEST_F(OdbcClientStandin, WrongPasswordShowsTheServersText) {
    startStandin();
    qry.setConnectionString(oledbFor(standin.dataSource(), "sa", "wrong"));
    qry.setStatement("SELECT GETDATE()");
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(errorOf([&] { qry.open(); }), "Login failed for user 'sa'");
    EXPECT_LT(timer.elapsed(), 5000);
    EXPECT_FALSE(qry.isConnected());
}

// Braces, semicolon and quote in the password, Chinese in both: the ODBC string must carry them.
TEST_F(OdbcClientStandin, HostileAndChineseLoginWorks) {
    const QString user = QStringLiteral("\u7528\u6237 O'B");
    const QString password = QStringLiteral("p;w\"d}{\u5BC6\u7801}");
    startStandin({.logins = {user + ":" + password}, .faults = {}});
    qry.setConnectionString(oledbFor(standin.dataSource(), user, password));
    qry.setStatement("SELECT GETDATE()");
    qry.open();
    EXPECT_FALSE(qry.atEnd());
}

TEST_F(OdbcClientStandin, UnreachableServerFailsAtOnce) {
    qry.setConnectionString(oledbFor(QStringLiteral("127.0.0.1,%1").arg(closedPort()), "sa", "x"));
    qry.setStatement("SELECT GETDATE()");
    QElapsedTimer timer;
    timer.start();
    const QString text = errorOf([&] { qry.open(); });
    EXPECT_LT(timer.elapsed(), 15000);
    EXPECT_FALSE(text.isEmpty());
    EXPECT_FALSE(text.startsWith(u'[')) << text.toStdString();
}

// CTest runs this once more with FreeTDS registered first as [SQL Server], a common set-up: known
// by its library, the chosen driver gets the FreeTDS settings without which a silent server keeps
// the login waiting without end.
TEST_F(OdbcClientStandin, SilentServerEndsWithinTheLoginLimit) {
    for (const QString& named : {QStringLiteral("FreeTDS"), QString()}) {
        SCOPED_TRACE(named.isEmpty() ? "chosen" : "named FreeTDS");
        SilentServer silent;
        OdbcQueryClient client(OdbcOptions{named, 2});
        client.setConnectionString(
            oledbFor(QStringLiteral("127.0.0.1,%1").arg(silent.port()), "sa", "x"));
        client.setStatement("SELECT GETDATE()");
        QElapsedTimer timer;
        timer.start();
        const QString text = errorOf([&] { client.open(); });
        EXPECT_LT(timer.elapsed(), 2000 + 3000);
        EXPECT_GE(timer.elapsed(), 1500);
        EXPECT_EQ(text, "Timeout expired");
    }
}

TEST_F(OdbcClientStandin, IntegratedSecurityEndsQuicklyWithAText) {
    startStandin();
    qry.setConnectionString("Provider=SQLOLEDB.1;Integrated Security=SSPI;Persist Security "
                            "Info=False;Initial Catalog=msdb;Data Source=" +
                            standin.dataSource());
    qry.setStatement("SELECT GETDATE()");
    QElapsedTimer timer;
    timer.start();
    const QString text = errorOf([&] { qry.open(); });
    EXPECT_LT(timer.elapsed(), 15000);
    EXPECT_FALSE(text.isEmpty());
    EXPECT_FALSE(text.startsWith(u'[')) << text.toStdString();
}

TEST_F(OdbcClientStandin, ServerErrorsComeWithoutPrefixes) {
    startStandin();
    restore::RestoreRequest request = backupRequest("NewDB");
    request.sourcePath = standin.scratch() + "/missing.bak";

    qry.setStatement(restore::fileListStatement(request.sourcePath, request.backupSet));
    EXPECT_EQ(errorOf([&] { qry.open(); }),
              "Cannot open backup device '" + request.sourcePath +
                  "'. Device error or device off-line. See the SQL Server error log for more "
                  "details");
    EXPECT_TRUE(qry.atEnd());

    run(createOf(request));
    EXPECT_EQ(errorOf([&] { run(createOf(request)); }), "Database 'NewDB' already exists");
    // The server's number and the driver's SQLSTATE come with the text.
    try {
        run(createOf(request));
        ADD_FAILURE() << "expected a QueryError";
    } catch (const QueryError& error) {
        EXPECT_EQ(error.nativeError(), 1801);
        EXPECT_EQ(error.sqlState().size(), 5) << error.sqlState().toStdString();
    }
    EXPECT_EQ(errorOf([&] { run(restoreOf(request)); }),
              "Cannot open backup device '" + request.sourcePath +
                  "'. Device error or device off-line. See the SQL Server error log for more "
                  "details");
    // The connection survives server errors.
    EXPECT_TRUE(qry.isConnected());
    qry.setStatement("SELECT GETDATE()");
    qry.open();
    EXPECT_FALSE(qry.atEnd());
}

TEST_F(OdbcClientStandin, InjectedErrorIsRaised) {
    startStandin({.faults = {"error:restore:3204:Operator aborted backup or restore. See the "
                             "error messages returned to the console for more details."}});
    restore::RestoreRequest request = backupRequest("NewDB");
    makeShopBackup(request.sourcePath, "1M", "1M");
    run(createOf(request));
    EXPECT_EQ(errorOf([&] { run(restoreOf(request)); }),
              "Operator aborted backup or restore. See the error messages returned to the "
              "console for more details");
}

TEST_F(OdbcClientStandin, ClientErrorsUseTheirExactTexts) {
    startStandin();
    qry.setStatement("SELECT name FROM master..sysdatabases");
    qry.open();
    EXPECT_EQ(errorOf([&] { (void)qry.fieldText("LogicalName"); }),
              "qry: Field 'LogicalName' not found");
    QStringList names;
    for (; !qry.atEnd(); qry.next()) {
        names << qry.fieldText("NAME");
    }
    names.sort();
    EXPECT_EQ(names, QStringList({"master", "model", "msdb", "tempdb"}));

    restore::RestoreRequest request = backupRequest("Opened");
    qry.setStatement(createOf(request));
    EXPECT_EQ(errorOf([&] { qry.open(); }), "qry: CommandText does not return a result set");
    EXPECT_TRUE(qry.atEnd());
    EXPECT_EQ(errorOf([&] { (void)qry.fieldText("Type"); }), "qry: Field 'Type' not found");
}

TEST_F(OdbcClientStandin, KeepsTheConnectionUntilTheStringChanges) {
    startStandin({.logins = {"sa:secret", "other:pw"}, .faults = {}});
    const QString sa = oledbFor(standin.dataSource(), "sa", "secret");
    qry.setConnectionString(sa);
    qry.setStatement("SELECT GETDATE()");
    qry.open();
    const std::set<int> first = clientPortsTo(standin.port());
    ASSERT_EQ(first.size(), 1u);

    qry.close();
    qry.setConnectionString(sa);
    qry.setStatement("SELECT GETDATE()");
    qry.open();
    EXPECT_EQ(clientPortsTo(standin.port()), first) << "an unchanged string keeps the connection";

    qry.close();
    qry.setConnectionString(oledbFor(standin.dataSource(), "other", "pw"));
    EXPECT_FALSE(qry.isConnected());
    EXPECT_EQ(qry.serverVersion(), "");
    EXPECT_TRUE(clientPortsTo(standin.port()).empty()) << "a changed string drops it at once";
    qry.setStatement("SELECT GETDATE()");
    qry.open();
    const std::set<int> second = clientPortsTo(standin.port());
    ASSERT_EQ(second.size(), 1u);
    EXPECT_NE(second, first);
}

TEST_F(OdbcClientStandin, ConnectionDroppedMidRestoreRaises) {
    startStandin({.faults = {"drop:restore"}});
    restore::RestoreRequest request = backupRequest("NewDB");
    makeShopBackup(request.sourcePath, "4M", "1M");
    run(createOf(request));

    // FreeTDS reports the hang-up as an informational message with SQL_SUCCESS_WITH_INFO.
    EXPECT_EQ(errorOf([&] { run(restoreOf(request)); }), "Unexpected EOF from the server");
    EXPECT_FALSE(qry.isConnected());
    EXPECT_TRUE(standin.catalogueText().contains("db NewDB RESTORING"))
        << standin.catalogueText().toStdString();

    // The next statement connects afresh.
    qry.setStatement("SELECT GETDATE()");
    qry.open();
    EXPECT_FALSE(qry.atEnd());
}

TEST_F(OdbcClientStandin, ServerGoneBetweenStatementsRaisesAndDropsTheConnection) {
    startStandin();
    qry.setStatement("SELECT GETDATE()");
    qry.open();
    ASSERT_TRUE(standin.stop());

    // FreeTDS 1.3 has no better word for a server that went away between statements.
    EXPECT_EQ(errorOf([&] { qry.open(); }), "Unknown error");
    EXPECT_FALSE(qry.isConnected());
}

} // namespace
