// Drives the stand-in with FreeTDS's own command-line client, tsql.
#include "standin_process.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace standin_test;

namespace {

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

    TempDir dir_;
    std::string conf_;
    std::unique_ptr<Standin> server_;
};

struct Case {
    const char* name;
    std::string sql;
    std::vector<std::string> expect;
    std::vector<std::string> absent = {};
};

TEST_F(TsqlTest, LoginSucceedsWithEitherTdsVersion) {
    for (const char* version : {"", "7.1"}) {
        const RunResult r = tsql("SELECT GETDATE()", "secret", version);
        EXPECT_EQ(r.status, 0) << "TDSVER=" << version << "\n" << r.output;
        EXPECT_NE(r.output.find("(1 row affected)"), std::string::npos) << r.output;
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
        {"backup with FORMAT starts the device afresh",
         "BACKUP DATABASE [NewDB] TO DISK = N'" + d + "/new.bak' WITH FORMAT",
         {"on file 1.", "Msg 3014"}},
        {"where name",
         "SELECT name FROM master.dbo.sysdatabases WHERE name = N'newdb'",
         {"NewDB", "(1 row affected)"}},
        {"drop", "DROP DATABASE [NewDB]", {}, {"Msg "}},
        {"drop again", "DROP DATABASE [NewDB]", {"Msg 3701"}},
        {"anything else",
         "UPDATE t SET x = 1",
         {"Msg 170", "Line 1: Incorrect syntax near 'UPDATE'."}},
    };
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
    EXPECT_TRUE(std::filesystem::exists(d + "/new.bak"));
    EXPECT_FALSE(std::filesystem::exists(mdf)) << "DROP DATABASE leaves its files";
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
