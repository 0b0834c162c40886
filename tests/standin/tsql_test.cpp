// Drives the stand-in with FreeTDS's own command-line client, tsql.
#include "standin_process.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace standin_test;

namespace {

struct Case {
    const char* name;
    std::string sql;
    std::vector<std::string> expect;
    std::vector<std::string> absent = {};
};

class TsqlTest : public ::testing::Test {
protected:
    void SetUp() override {
        // A config of our own so no user or system setting changes the client.
        conf_ = dir_.path() + "/freetds.conf";
        std::ofstream(conf_) << "[global]\n\ttds version = auto\n";
        server_ = std::make_unique<Standin>(dir_.path() + "/root",
                                            std::vector<std::string>{"--login", "sa:secret"});
    }

    void TearDown() override { EXPECT_EQ(server_->stop(), 0) << server_->stderr_text(); }

    RunResult tsql(const std::string& script, const std::string& password = "secret",
                   const std::string& tds_version = "") {
        std::vector<std::string> env = {"FREETDSCONF=" + conf_, "HOME=" + dir_.path()};
        if (!tds_version.empty())
            env.push_back("TDSVER=" + tds_version);
        return run({"tsql", "-H", "127.0.0.1", "-p", std::to_string(server_->port()), "-U", "sa",
                    "-P", password},
                   script + "\ngo\nquit\n", env);
    }

    // Runs the cases in order, as later ones rely on what earlier ones made.
    void run_in_order(const std::vector<Case>& cases) {
        for (const Case& c : cases) {
            const RunResult r = tsql(c.sql);
            for (const std::string& e : c.expect)
                EXPECT_NE(r.output.find(e), std::string::npos)
                    << c.name << ": expected '" << e << "' in:\n"
                    << r.output;
            for (const std::string& a : c.absent)
                EXPECT_EQ(r.output.find(a), std::string::npos)
                    << c.name << ": did not expect '" << a << "' in:\n"
                    << r.output;
        }
    }

    TempDir dir_;
    std::string conf_;
    std::unique_ptr<Standin> server_;
};

TEST_F(TsqlTest, LoginSucceedsWithEitherTdsVersionOnEachServerVersion) {
    for (const char* server : {"2000", "2008", "2012"}) {
        EXPECT_EQ(server_->stop(), 0) << server_->stderr_text();
        server_ = std::make_unique<Standin>(
            dir_.path() + "/root" + server,
            std::vector<std::string>{"--login", "sa:secret", "--version", server});
        for (const char* version : {"", "7.1"}) {
            const RunResult r = tsql("SELECT GETDATE()\ngo\nBOGUS", "secret", version);
            EXPECT_EQ(r.status, 0) << server << " TDSVER=" << version << "\n" << r.output;
            EXPECT_NE(r.output.find("(1 row affected)"), std::string::npos) << r.output;
            EXPECT_NE(r.output.find("Msg 170"), std::string::npos) << r.output;
        }
    }
}

// Each version's RESTORE HEADERONLY and FILELISTONLY columns in its documented order, and the
// version a set was made by in the set's row rather than the server's.
TEST_F(TsqlTest, BackupListsHaveEachVersionsColumns) {
    const std::string bak2000 = dir_.path() + "/shop2000.bak";
    const std::string bak2008 = dir_.path() + "/shop2008.bak";
    for (const auto& [bak, version] : {std::pair{bak2000, "2000"}, std::pair{bak2008, "2008"}}) {
        const RunResult made =
            run({standin_binary(), "make-backup", bak, "--db", "Shop", "--file", "D:Shop_Data:64K",
                 "--file", "L:Shop_Log:64K", "--version", version},
                "");
        ASSERT_EQ(made.status, 0) << made.output;
    }
    const std::string up_to_flags =
        "BackupName\tBackupDescription\tBackupType\tExpirationDate\tCompressed\tPosition\t"
        "DeviceType\tUserName\tServerName\tDatabaseName\tDatabaseVersion\tDatabaseCreationDate\t"
        "BackupSize\tFirstLSN\tLastLSN\tCheckpointLSN\tDatabaseBackupLSN\tBackupStartDate\t"
        "BackupFinishDate\tSortOrder\tCodePage\tUnicodeLocaleId\tUnicodeComparisonStyle\t"
        "CompatibilityLevel\tSoftwareVendorId\tSoftwareVersionMajor\tSoftwareVersionMinor\t"
        "SoftwareVersionBuild\tMachineName\tFlags";
    const std::string header2005 =
        up_to_flags +
        "\tBindingID\tRecoveryForkID\tCollation\tFamilyGUID\tHasBulkLoggedData\tIsSnapshot\t"
        "IsReadOnly\tIsSingleUser\tHasBackupChecksums\tIsDamaged\tBeginsLogChain\t"
        "HasIncompleteMetaData\tIsForceOffline\tIsCopyOnly\tFirstRecoveryForkID\tForkPointLSN\t"
        "RecoveryModel\tDifferentialBaseLSN\tDifferentialBaseGUID\tBackupTypeDescription\t"
        "BackupSetGUID";
    const std::string files2000 = "LogicalName\tPhysicalName\tType\tFileGroupName\tSize\tMaxSize";
    const std::string files2005 =
        files2000 +
        "\tFileId\tCreateLSN\tDropLSN\tUniqueId\tReadOnlyLSN\tReadWriteLSN\tBackupSizeInBytes\t"
        "SourceBlockSize\tFileGroupId\tLogGroupGUID\tDifferentialBaseLSN\tDifferentialBaseGUID\t"
        "IsReadOnly\tIsPresent";
    struct Version {
        const char* name;
        std::string header;
        std::string files;
    };
    const std::vector<Version> versions = {
        {"2005", header2005, files2005},
        {"2008", header2005 + "\tCompressedBackupSize", files2005 + "\tTDEThumbprint"},
        {"2008R2", header2005 + "\tCompressedBackupSize", files2005 + "\tTDEThumbprint"},
        {"2012", header2005 + "\tCompressedBackupSize\tContainment", files2005 + "\tTDEThumbprint"},
        {"2019", header2005 + "\tCompressedBackupSize\tContainment", files2005 + "\tTDEThumbprint"},
    };
    auto has_line = [](const std::string& out, const std::string& line) {
        const std::size_t at = out.find(line + "\n");
        return at != std::string::npos && (at == 0 || out[at - 1] == ' ' || out[at - 1] == '\n');
    };
    for (const Version& v : versions) {
        EXPECT_EQ(server_->stop(), 0) << server_->stderr_text();
        server_ = std::make_unique<Standin>(
            dir_.path() + "/root" + v.name,
            std::vector<std::string>{"--login", "sa:secret", "--version", v.name});
        const RunResult r = tsql("RESTORE HEADERONLY FROM DISK = N'" + bak2008 +
                                 "'\ngo\nRESTORE FILELISTONLY FROM DISK = N'" + bak2000 + "'");
        EXPECT_TRUE(has_line(r.output, v.header)) << v.name << "\n" << r.output;
        EXPECT_TRUE(has_line(r.output, v.files)) << v.name << "\n" << r.output;
        // DatabaseVersion, then CompatibilityLevel, vendor and version of the 2008 that made it.
        EXPECT_NE(r.output.find("\tShop\t655\t"), std::string::npos) << r.output;
        EXPECT_NE(r.output.find("\t100\t4608\t10\t0\t5500\t"), std::string::npos) << r.output;
    }
}

TEST_F(TsqlTest, WrongPasswordFailsWith18456) {
    const RunResult r = tsql("SELECT GETDATE()", "not-the-password");
    EXPECT_NE(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("Msg 18456"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("Login failed for user 'sa'."), std::string::npos) << r.output;
}

TEST_F(TsqlTest, EachStatementGivesItsRowsOrError) {
    const std::string d = dir_.path();
    const std::string bak = d + "/shop.bak";
    const RunResult made = run({standin_binary(), "make-backup", bak, "--db", "Shop", "--file",
                                "D:Shop_Data:256K", "--file", "L:Shop_Log:64K"},
                               "");
    ASSERT_EQ(made.status, 0) << made.output;
    const std::string mdf = d + "/NewDB_Data.MDF";
    const std::string ldf = d + "/NewDB_Log.LDF";

    // Run in order: later statements rely on what earlier ones made.
    const std::vector<Case> cases = {
        {"sysdatabases",
         "SELECT name FROM master..sysdatabases",
         {"master", "model", "msdb", "tempdb"}},
        {"filelist",
         "RESTORE FILELISTONLY FROM  DISK = N'" + bak + "'",
         {"Shop_Data", "Shop_Log", "262144", "(2 rows affected)"}},
        {"filelist of a missing file",
         "RESTORE FILELISTONLY FROM DISK = N'" + d + "/none.bak'",
         {"Msg 3201", "Msg 3013"}},
        {"create",
         "CREATE DATABASE [NewDB]  ON PRIMARY (NAME = N'Shop_Data', FILENAME = N'" + mdf +
             "' , SIZE = 1, FILEGROWTH = 10%) LOG ON (NAME = N'Shop_Log', FILENAME = N'" + ldf +
             "' , SIZE = 1, FILEGROWTH = 10%)",
         {"Msg 1805", "on disk 'Shop_Data'", "on disk 'Shop_Log'"},
         {"Msg 1802"}},
        {"create again",
         "CREATE DATABASE [NewDB]",
         {"Msg 1801", "Database 'NewDB' already exists."}},
        {"restore",
         "RESTORE DATABASE [NewDB] FROM  DISK = N'" + bak +
             "' WITH  FILE = 1,  NOUNLOAD ,  STATS = 10,  RECOVERY ,  REPLACE ,  MOVE N'Shop_Data' "
             "TO N'" +
             mdf + "',  MOVE N'Shop_Log' TO N'" + ldf + "'",
         {"10 percent restored.", "100 percent restored.", "Msg 4035", "Msg 3014"}},
        {"restore with an unknown logical name",
         "RESTORE DATABASE [NewDB] FROM DISK = N'" + bak + "' WITH REPLACE, MOVE N'Nope' TO N'" +
             mdf + "'",
         {"Msg 3234", "Msg 3013"}},
        {"detach", "exec sp_detach_db N'NewDB'", {"return status = 0"}},
        {"attach",
         "exec sp_attach_db N'NewDB' , N'" + mdf + "', N'" + ldf + "'",
         {"return status = 0"}},
        {"attach again",
         "exec sp_attach_db N'NewDB' , N'" + mdf + "', N'" + ldf + "'",
         {"Msg 1801", "return status = 1"}},
        {"backup",
         "BACKUP DATABASE [NewDB] TO DISK = N'" + d + "/new.bak' WITH INIT",
         {"Msg 3014"}},
        {"backup appended without INIT",
         "BACKUP DATABASE [NewDB] TO DISK = N'" + d + "/new.bak' WITH NAME = N'second'",
         {"on file 2.", "Msg 3014"}},
        {"headeronly",
         "RESTORE HEADERONLY FROM DISK = N'" + d + "/new.bak'",
         {"BackupFinishDate", "NULL", "second", "STANDIN", "(2 rows affected)"}},
        {"filelist of the second set",
         "RESTORE FILELISTONLY FROM  DISK = N'" + d + "/new.bak' WITH  FILE = 2",
         {"Shop_Data", "(2 rows affected)"}},
        // 4038 and its text are assumed: the SQL Server 2000 documentation at hand lacks them.
        {"filelist of a set the device lacks",
         "RESTORE FILELISTONLY FROM DISK = N'" + d + "/new.bak' WITH FILE = 3",
         {"Msg 4038", "Cannot find file ID 3 on device", "Msg 3013"}},
        {"backup with a later server's options",
         "BACKUP DATABASE [NewDB] TO DISK = N'" + d + "/later.bak' WITH INIT, CHECKSUM, COPY_ONLY",
         {"Msg 170", "Incorrect syntax near 'CHECKSUM'."}},
        {"no xp_delete_file on 2000",
         "EXEC master.dbo.xp_delete_file 0, N'" + d + "/new.bak'",
         {"Msg 2812", "Could not find stored procedure 'master.dbo.xp_delete_file'."}},
        {"backup with FORMAT starts the device afresh",
         "BACKUP DATABASE [NewDB] TO DISK = N'" + d + "/new.bak' WITH FORMAT",
         {"on file 1.", "Msg 3014"}},
        {"where name",
         "SELECT name FROM master.dbo.sysdatabases WHERE name = N'newdb'",
         {"NewDB", "(1 row affected)"}},
        // SQL Server 2000 reads the whole set and takes none of 2005's options; its CHECKDB
        // checks no column values nor the catalog.
        {"verifyonly",
         "RESTORE VERIFYONLY FROM DISK = N'" + bak + "' WITH FILE = 1",
         {"The backup set is valid."}},
        {"verifyonly with a later server's option",
         "RESTORE VERIFYONLY FROM DISK = N'" + bak + "' WITH FILE = 1, CHECKSUM",
         {"Msg 170", "Incorrect syntax near 'CHECKSUM'."}},
        {"checkdb",
         "DBCC CHECKDB (N'NewDB')",
         {"CHECKDB found 0 allocation errors and 0 consistency errors in database 'NewDB'.",
          "DBCC execution completed."}},
        {"checkdb with data purity", "DBCC CHECKDB (N'NewDB') WITH DATA_PURITY", {"Msg 2526"}},
        {"checkcatalog",
         "DBCC CHECKCATALOG (N'NewDB')",
         {"DBCC execution completed."},
         {"Msg 2513"}},
        {"a level SQL Server 2000 lacks",
         "EXEC sp_dbcmptlevel N'NewDB', 90",
         {"Msg 15048", "are 60, 65, 70, or 80."}},
        {"sys.databases",
         "SELECT compatibility_level, page_verify_option_desc FROM sys.databases WHERE name = "
         "N'NewDB'",
         {"Msg 208"}},
        {"drop", "DROP DATABASE [NewDB]", {}, {"Msg "}},
        {"drop again", "DROP DATABASE [NewDB]", {"Msg 3701"}},
        {"anything else",
         "UPDATE t SET x = 1",
         {"Msg 170", "Line 1: Incorrect syntax near 'UPDATE'."}},
    };
    run_in_order(cases);
    EXPECT_TRUE(std::filesystem::exists(d + "/new.bak"));
    EXPECT_FALSE(std::filesystem::exists(d + "/later.bak"));
    EXPECT_FALSE(std::filesystem::exists(mdf)) << "DROP DATABASE leaves its files";
}

// Numbers and texts of 4305 and 3117 are SQL Server's; those of 4326, 4306, 3136 and 4330 are
// assumed (later versions' wording), as SQL Server 2000's documentation at hand lacks them.
TEST_F(TsqlTest, RestoreSequenceFollowsTheLogChain) {
    const std::string d = dir_.path();
    const std::string to_dst =
        " MOVE N'Src' TO N'" + d + "/Dst.mdf', MOVE N'Src_log' TO N'" + d + "/Dst_log.LDF'";
    const std::vector<Case> cases = {
        {"create", "CREATE DATABASE [Src]", {"Msg 1805"}},
        {"log backup before any full backup",
         "BACKUP LOG [Src] TO DISK = N'" + d + "/log.bak'",
         {"Msg 4214", "no current database backup", "BACKUP LOG is terminating abnormally."}},
        {"full", "BACKUP DATABASE [Src] TO DISK = N'" + d + "/full.bak'", {"Msg 3014"}},
        {"log 1", "BACKUP LOG [Src] TO DISK = N'" + d + "/log.bak'", {"BACKUP LOG successfully"}},
        {"differential",
         "BACKUP DATABASE [Src] TO DISK = N'" + d + "/diff.bak' WITH DIFFERENTIAL",
         {"Msg 3014"}},
        {"log 2 appended", "BACKUP LOG [Src] TO DISK = N'" + d + "/log.bak'", {"on file 2."}},
        {"headers",
         "RESTORE HEADERONLY FROM DISK = N'" + d + "/log.bak'",
         {"FirstLSN", "DatabaseBackupLSN", "(2 rows affected)"}},
        {"log into a database nobody restores",
         "RESTORE LOG [Dst] FROM DISK = N'" + d + "/log.bak'",
         {"Msg 3117", "no files are ready to rollforward", "RESTORE LOG is terminating"}},
        {"full left loading",
         "RESTORE DATABASE [Dst] FROM DISK = N'" + d + "/full.bak' WITH NORECOVERY," + to_dst,
         {"Msg 3014"}},
        {"log 2 first",
         "RESTORE LOG [Dst] FROM DISK = N'" + d + "/log.bak' WITH FILE = 2, NORECOVERY",
         {"Msg 4305", "which is too late to apply to the database", "Msg 3013"}},
        {"log 1",
         "RESTORE LOG [Dst] FROM DISK = N'" + d + "/log.bak' WITH FILE = 1, NORECOVERY",
         {"RESTORE LOG successfully"},
         {"Msg 4305"}},
        {"log 1 again",
         "RESTORE LOG [Dst] FROM DISK = N'" + d + "/log.bak' WITH FILE = 1",
         {"Msg 4326", "which is too early to apply to the database"}},
        {"log 2 recovers",
         "RESTORE LOG [Dst] FROM DISK = N'" + d + "/log.bak' WITH FILE = 2, RECOVERY",
         {"RESTORE LOG successfully"},
         {"Msg 4326"}},
        {"a log after recovery",
         "RESTORE LOG [Dst] FROM DISK = N'" + d + "/log.bak' WITH FILE = 2",
         {"Msg 4306", "did not specify WITH NORECOVERY"}},
        {"differential after recovery",
         "RESTORE DATABASE [Dst] FROM DISK = N'" + d + "/diff.bak' WITH NORECOVERY," + to_dst,
         {"Msg 4306"}},
        {"history",
         "SELECT * FROM msdb..restorehistory WHERE destination_database_name = N'dst'",
         {"restore_type", "Dst", "(3 rows affected)"}},
        // Another database under the same name: the old one's backups are not its own.
        {"dropped", "DROP DATABASE [Src]", {}, {"Msg "}},
        {"made anew", "CREATE DATABASE [Src]", {"Msg 1805"}},
        {"its full", "BACKUP DATABASE [Src] TO DISK = N'" + d + "/anew.bak'", {"Msg 3014"}},
        {"its log", "BACKUP LOG [Src] TO DISK = N'" + d + "/anew_log.bak'", {"Msg 3014"}},
        {"its full left loading",
         "RESTORE DATABASE [Anew] FROM DISK = N'" + d +
             "/anew.bak' WITH NORECOVERY, MOVE N'Src' "
             "TO N'" +
             d + "/Anew.mdf', MOVE N'Src_log' TO N'" + d + "/Anew_log.LDF'",
         {"Msg 3014"}},
        {"a log of the database dropped",
         "RESTORE LOG [Anew] FROM DISK = N'" + d + "/log.bak' WITH FILE = 2, NORECOVERY",
         {"Msg 4330", "on a recovery path that is inconsistent with the database", "Msg 3013"}},
        {"a differential of the database dropped",
         "RESTORE DATABASE [Anew] FROM DISK = N'" + d + "/diff.bak' WITH NORECOVERY",
         {"Msg 3136", "has not been restored to the correct earlier state", "Msg 3013"}},
        {"its own log",
         "RESTORE LOG [Anew] FROM DISK = N'" + d + "/anew_log.bak' WITH NORECOVERY",
         {"RESTORE LOG successfully"},
         {"Msg 4330"}},
        // Restored in place: a new history begins where its full backup ended.
        {"restored in place",
         "RESTORE DATABASE [Src] FROM DISK = N'" + d + "/anew.bak' WITH REPLACE",
         {"Msg 3014"}},
        {"a log of the new history",
         "BACKUP LOG [Src] TO DISK = N'" + d + "/forked_log.bak'",
         {"Msg 3014"}},
        {"the new history after the old one's log",
         "RESTORE LOG [Anew] FROM DISK = N'" + d + "/forked_log.bak'",
         {"Msg 4330", "Msg 3013"}},
    };
    run_in_order(cases);
}

// A SQL Server 2000 database restored on SQL Server 2008 keeps level 80 and torn-page detection
// until raised; the faults make its checks find errors and its backup unreadable.
TEST_F(TsqlTest, LaterServerVerifiesChecksAndRaisesARestoredDatabase) {
    ASSERT_EQ(server_->stop(), 0);
    server_ = std::make_unique<Standin>(
        dir_.path() + "/root2",
        std::vector<std::string>{"--login", "sa:secret", "--version", "2008", "--fault",
                                 "inconsistent", "--fault", "unreadable"});
    const std::string d = dir_.path();
    const std::string bak = d + "/old.bak";
    ASSERT_EQ(run({standin_binary(), "make-backup", bak, "--db", "Old", "--file", "D:Old_Data:64K",
                   "--file", "L:Old_Log:64K"},
                  "")
                  .status,
              0);
    const std::string settings = "SELECT compatibility_level, page_verify_option_desc FROM "
                                 "sys.databases WHERE name = N'Up'";
    const std::string verify = "RESTORE VERIFYONLY FROM DISK = N'" + bak + "' WITH FILE = 1";
    const std::vector<Case> cases = {
        {"restore",
         "RESTORE DATABASE [Up] FROM DISK = N'" + bak + "' WITH MOVE N'Old_Data' TO N'" + d +
             "/Up.mdf', MOVE N'Old_Log' TO N'" + d + "/Up.ldf'",
         {"Msg 3014"}},
        {"settings as restored", settings, {"80", "TORN_PAGE_DETECTION"}},
        {"checkdb of a 2000 database checks no column values",
         "DBCC CHECKDB (N'Up')",
         {"Msg 8992", "1 consistency errors"},
         {"Msg 2570"}},
        {"checkdb with data purity",
         "DBCC CHECKDB (N'Up') WITH DATA_PURITY",
         {"Msg 2570", "Msg 8992", "2 consistency errors in database 'Up'."}},
        {"checksum of a set without checksums",
         verify + ", CHECKSUM",
         {"Msg 3187", "Msg 3013", "VERIFY DATABASE is terminating abnormally."}},
        {"move of a file the set lacks", verify + ", MOVE N'Nope' TO N'" + d + "/x'", {"Msg 3234"}},
        {"unreadable backup", verify + ", MOVE N'Old_Data' TO N'" + d + "/x'", {"Msg 3203"}},
        {"a level 2008 lacks",
         "ALTER DATABASE [Up] SET COMPATIBILITY_LEVEL = 110",
         {"Msg 15048", "are 80, 90, or 100."}},
        {"level", "ALTER DATABASE [Up] SET COMPATIBILITY_LEVEL = 100", {}, {"Msg "}},
        {"page verify", "ALTER DATABASE [Up] SET PAGE_VERIFY CHECKSUM", {}, {"Msg "}},
        {"settings raised", settings, {"100", "CHECKSUM"}, {"TORN"}},
        {"usage", "DBCC UPDATEUSAGE (N'Up')", {"Usage counts updated"}},
        {"usage again", "DBCC UPDATEUSAGE (N'Up')", {"DBCC execution completed."}, {"Usage"}},
        {"the procedure of 2005", "EXEC sp_dbcmptlevel N'Up', 90", {"return status = 0"}},
        {"unknown database", "ALTER DATABASE [Nope] SET PAGE_VERIFY CHECKSUM", {"Msg 5011"}},
    };
    run_in_order(cases);
}

} // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (!on_path("tsql")) {
        std::fprintf(stderr, "tsql (freetds-bin) is not installed; skipping\n");
        return 77;
    }
    return RUN_ALL_TESTS();
}

// Logins keep their SIDs and databases their users through BACKUP, RESTORE, detach and attach,
// so a database brought to a server whose logins have other SIDs has orphaned users; each
// version maps and re-owns them with its own statements and refuses what a real server refuses.
// The refusals' texts are assumed (see tools/standin/README.md).
TEST_F(TsqlTest, UsersKeepTheirSidsAndEachVersionMapsThemItsWay) {
    const std::string d = dir_.path();
    const std::string bak = d + "/src.bak";
    const std::string sid_a = "0x0A0A0A0A0A0A0A0A0A0A0A0A0A0A0A0A";
    const std::string sid_r = "0x0B0B0B0B0B0B0B0B0B0B0B0B0B0B0B0B";
    const std::string sid_o = "0x0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C0C";
    const std::string read = "SELECT u.uid, u.name, u.sid, l.name AS samename FROM [Dst]..sysusers "
                             "u LEFT JOIN master..syslogins l ON l.name = u.name COLLATE "
                             "DATABASE_DEFAULT WHERE (u.uid = 1 OR u.issqluser = 1 AND "
                             "DATALENGTH(u.sid) <= 16) AND u.sid <> 0x00 AND NOT EXISTS (SELECT "
                             "* FROM master..syslogins s WHERE s.sid = u.sid)";
    run_in_order({
        {"add a login with a SID",
         "EXEC master..sp_addlogin @loginame = N'appuser', @passwd = N'pw', @sid = " + sid_a,
         {"return status = 0"}},
        {"a login twice", "EXEC sp_addlogin N'appuser', N'pw'", {"Msg 15025"}},
        {"a SID twice",
         "EXEC sp_addlogin N'other', N'pw', NULL, NULL, " + sid_a,
         {"Msg 15433", "Supplied parameter sid is in use."}},
        {"report", "EXEC sp_addlogin N'report', N'pw', @sid = " + sid_r, {"return status = 0"}},
        {"owner", "EXEC sp_addlogin N'appowner', N'pw', @sid = " + sid_o, {"return status = 0"}},
        {"create", "CREATE DATABASE [Src]", {"Msg 1805"}, {"Msg 1802"}},
        {"grant", "EXEC [Src]..sp_grantdbaccess N'appuser'", {"return status = 0"}},
        {"a login's second user",
         "EXEC [Src]..sp_grantdbaccess N'appuser', N'second'",
         {"Msg 15063"}},
        {"adduser", "EXEC [Src].dbo.sp_adduser N'report'", {"return status = 0"}},
        {"a user as owner",
         "EXEC [Src]..sp_changedbowner N'appuser'",
         {"Msg 15110", "already a user in the database", "return status = 1"}},
        {"owner", "EXEC [Src]..sp_changedbowner N'appowner'", {"return status = 0"}},
        {"backup", "BACKUP DATABASE [Src] TO DISK = N'" + bak + "'", {"Msg 3014"}},
        {"drop an owner", "EXEC sp_droplogin N'appowner'", {"Msg 15174"}},
        {"drop", "DROP DATABASE [Src]", {}, {"Msg "}},
        {"drop logins",
         "EXEC sp_droplogin N'appuser'\ngo\nEXEC sp_droplogin N'report'\ngo\nEXEC sp_droplogin "
         "N'appowner'",
         {"return status = 0"},
         {"Msg "}},
        {"drop a login there is not", "EXEC sp_droplogin N'nobody'", {"Msg 15007"}},
        {"the login anew", "EXEC sp_addlogin N'appuser', N'pw'", {"return status = 0"}},
        {"restore", "RESTORE DATABASE [Dst] FROM DISK = N'" + bak + "'", {"Msg 3014"}},
        {"orphans and the owner", read, {"appuser", "report", "dbo", "(3 rows affected)"}},
        {"map",
         "EXEC [Dst]..sp_change_users_login 'Update_One', N'appuser', N'appuser'",
         {"return status = 0"}},
        {"map a user there is not",
         "EXEC [Dst]..sp_change_users_login 'Update_One', N'nobody', N'appuser'",
         {"Msg 15291"}},
        {"one orphan and the owner left", read, {"(2 rows affected)"}, {"appuser"}},
        {"no sys schema on 2000",
         "EXEC [Dst].sys.sp_executesql N'ALTER USER [report] WITH LOGIN = [report]'",
         {"Msg 2812"}},
        {"no CREATE LOGIN on 2000", "CREATE LOGIN [x] WITH PASSWORD = N'pw'", {"Msg 170"}},
        {"detach", "exec sp_detach_db N'Dst'", {"return status = 0"}},
    });
    const std::string mdf = d + "/root/data/Src.mdf";

    // SQL Server 2008, on its own root: the same backup, ALTER USER and ALTER AUTHORIZATION.
    EXPECT_EQ(server_->stop(), 0) << server_->stderr_text();
    server_ = std::make_unique<Standin>(
        d + "/root2008", std::vector<std::string>{"--login", "sa:secret", "--version", "2008"});
    run_in_order({
        {"create login",
         "CREATE LOGIN [appuser] WITH PASSWORD = N'pw', CHECK_POLICY = OFF",
         {},
         {"Msg "}},
        {"create login with a SID in use",
         "CREATE LOGIN [other] WITH PASSWORD = N'pw', SID = 0x01000000000000000000000000000000"
         "\ngo\nCREATE LOGIN [again] WITH PASSWORD = N'pw', SID = "
         "0x01000000000000000000000000000000",
         {"Msg 15433"}},
        // Over the files the other server detached.
        {"restore", "RESTORE DATABASE [Dst] FROM DISK = N'" + bak + "' WITH REPLACE", {"Msg 3014"}},
        {"orphans and the owner", read, {"appuser", "report", "dbo", "(3 rows affected)"}},
        {"alter user",
         "EXEC [Dst].sys.sp_executesql N'ALTER USER [appuser] WITH LOGIN = [appuser]'",
         {"return status = 0"}},
        {"a user as owner",
         "ALTER AUTHORIZATION ON DATABASE::[Dst] TO [appuser]",
         {"Msg 15110", "already a user or aliased in the database"}},
        {"owner",
         "CREATE LOGIN [boss] WITH PASSWORD = N'pw'\ngo\nALTER AUTHORIZATION ON "
         "DATABASE::[Dst] TO [boss]",
         {},
         {"Msg "}},
        {"only the orphan without a login left", read, {"report", "(1 row affected)"}},
        {"the owner's login gets no second user",
         "EXEC [Dst].sys.sp_executesql N'CREATE USER [late] FOR LOGIN [boss]'",
         {"Msg 15063"}},
        {"detach", "exec sp_detach_db N'Dst'", {"return status = 0"}},
    });
    // The users travel in the data files.
    run_in_order({
        {"attach", "exec sp_attach_db N'Kept', N'" + mdf + "'", {"return status = 0"}},
        {"users", "SELECT name, sid FROM [Kept]..sysusers", {"appuser", "report", "dbo"}},
    });
}
