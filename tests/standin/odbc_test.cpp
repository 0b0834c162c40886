// Drives the stand-in through unixODBC and the FreeTDS ODBC driver.
#include "odbc_fixture.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sys/stat.h>

using namespace standin_test;
namespace fs = std::filesystem;

namespace {

// Each server version with each TDS request: rows, and an error after them, must parse in the
// layout the login agreed on (7.2 and later widen row counts and line numbers). Each gives its
// own databases its level and takes the levels it supports.
TEST_F(OdbcTest, LogsInToEachServerVersionWithEachTdsRequest) {
    struct Version {
        std::string name;
        std::string dbms;
        std::string level;
        std::string levels;
    };
    const std::vector<Version> versions = {
        {"2000", "08.00.2039", "80", "60, 65, 70, or 80."},
        {"2008", "10.00.5500", "100", "80, 90, or 100."},
        {"2012", "11.00.7001", "110", "90, 100, or 110."},
        {"2014", "12.00.6024", "120", "100, 110, or 120."},
        {"2016", "13.00.6300", "130", "100, 110, 120, or 130."},
        {"2017", "14.00.3456", "140", "100, 110, 120, 130, or 140."},
        {"2019", "15.00.4298", "150", "100, 110, 120, 130, 140, or 150."},
        {"2022", "16.00.4003", "160", "100, 110, 120, 130, 140, 150, or 160."}};
    for (const auto& [version, dbms, level, levels] : versions) {
        start({"--version", version});
        for (const char* extra : {"", "TDS_Version=7.1;", "TDS_Version=7.4;"}) {
            auto c = connect(extra);
            ASSERT_TRUE(c) << version << " " << extra;
            EXPECT_EQ(c->dbms_version().substr(0, 10), dbms) << version << " " << extra;
            const Outcome o = c->exec("SELECT GETDATE()\r\n");
            ASSERT_EQ(o.rows.size(), 1u) << version << " " << extra << o.dump();
            // The driver prints the datetime as "YYYY-MM-DD hh:mm:ss.fff".
            const std::string& v = o.rows[0][0].value_or("");
            EXPECT_EQ(v.size(), 23u) << v;
            EXPECT_EQ(v.substr(0, 2), "20") << v;
            EXPECT_EQ(c->exec("BOGUS\r\n").numbers(), (std::vector<long>{170}))
                << version << " " << extra;
        }
        auto c = connect();
        ASSERT_TRUE(c);
        const std::string db = "New" + version;
        const Outcome made = c->exec("CREATE DATABASE " + quote_name(db));
        const Outcome listed = c->exec("SELECT name, cmptlevel FROM master..sysdatabases WHERE "
                                       "name = " +
                                       quote_string(db));
        ASSERT_EQ(listed.rows.size(), 1u) << version << made.dump() << listed.dump();
        EXPECT_EQ(listed.rows[0][1], level) << version;
        const Outcome refused = c->exec("EXEC sp_dbcmptlevel " + quote_string(db) + ", 50");
        ASSERT_EQ(refused.numbers(), (std::vector<long>{15048})) << version << refused.dump();
        EXPECT_NE(refused.diags[0].text.find("level are " + levels), std::string::npos)
            << refused.diags[0].text;
        EXPECT_EQ(server_->stop(), 0) << server_->stderr_text();
    }
}

TEST_F(OdbcTest, RefusedLoginsReportTheServerMessage) {
    start();
    struct Case {
        const char* name;
        std::string cs;
        long native;
    };
    const int port = server_->port();
    const std::vector<Case> cases = {
        {"wrong password", OdbcConnection::connection_string(port, "", "sa", "nope"), 18456},
        {"unknown user", OdbcConnection::connection_string(port, "", "bob", "secret"), 18456},
        {"wrong password, 7.1",
         OdbcConnection::connection_string(port, "TDS_Version=7.1;", "sa", "x"), 18456},
        {"unknown database", OdbcConnection::connection_string(port, "DATABASE=NoSuchDb;"), 4060},
        {"integrated",
         "DRIVER={FreeTDS};SERVER=127.0.0.1;PORT=" + std::to_string(port) +
             ";UID=DOMAIN\\someone;PWD=pw;TDS_Version=7.1;",
         18452},
    };
    for (const Case& c : cases) {
        OdbcConnection conn;
        std::vector<Diag> diags;
        EXPECT_FALSE(conn.connect(c.cs, diags)) << c.name;
        bool seen = false;
        std::string all;
        for (const Diag& d : diags) {
            seen = seen || d.native == c.native;
            all += std::to_string(d.native) + " " + d.text + "\n";
        }
        EXPECT_TRUE(seen) << c.name << ": expected " << c.native << " in\n" << all;
    }
    // The known database logs in, into that database.
    EXPECT_TRUE(connect("DATABASE=msdb;"));
}

TEST_F(OdbcTest, CreateThenRestoreWritesTheBackupContents) {
    start();
    const std::string bak =
        make_backup("shop.bak", "Shop", {"D:Shop_Data:300K", "L:Shop_Log:100K"});
    const std::string dir = dir_.path() + "/" + kChineseDir + "/";
    fs::create_directory(dir);
    auto c = connect();
    ASSERT_TRUE(c);

    const Outcome list = c->exec("RESTORE FILELISTONLY FROM  DISK = " + quote_string(bak) + "\r\n");
    ASSERT_EQ(list.rows.size(), 2u) << list.dump();
    EXPECT_EQ(list.rows[0][0], "Shop_Data");
    EXPECT_EQ(list.rows[0][2], "D");
    EXPECT_EQ(list.rows[0][3], "PRIMARY");
    EXPECT_EQ(list.rows[0][4], "307200");
    EXPECT_EQ(list.rows[1][0], "Shop_Log");
    EXPECT_EQ(list.rows[1][2], "L");
    EXPECT_EQ(list.rows[1][3], std::nullopt);

    const Outcome created = c->exec(create_sql(kHostileDb, dir, "Shop_Data", "Shop_Log"));
    EXPECT_FALSE(created.failed) << created.dump();
    EXPECT_EQ(created.numbers(), (std::vector<long>{1805, 1805})) << created.dump();
    const std::string mdf = dir + kHostileDb + "_Data.MDF";
    const std::string ldf = dir + kHostileDb + "_Log.LDF";
    ASSERT_TRUE(fs::exists(mdf));
    ASSERT_TRUE(fs::exists(ldf));

    const Outcome restored = c->exec(restore_sql(kHostileDb, bak, dir, "Shop_Data", "Shop_Log"));
    EXPECT_FALSE(restored.failed) << restored.dump();
    std::vector<std::string> texts;
    for (const Diag& d : restored.diags)
        texts.push_back(d.text.substr(d.text.find("[SQL Server]") + 12));
    ASSERT_EQ(texts.size(), 13u) << restored.dump();
    for (int p = 1; p <= 10; ++p)
        EXPECT_EQ(texts[static_cast<std::size_t>(p - 1)],
                  std::to_string(p * 10) + " percent restored.");
    EXPECT_EQ(texts[10],
              "Processed 38 pages for database '" + kHostileDb + "', file 'Shop_Data' on file 1.");
    EXPECT_EQ(texts[11],
              "Processed 13 pages for database '" + kHostileDb + "', file 'Shop_Log' on file 1.");
    EXPECT_EQ(texts[12].rfind("RESTORE DATABASE successfully processed 51 pages in ", 0), 0u)
        << texts[12];

    // Each target holds a 4096-byte header naming its database, then the
    // file's bytes exactly as they sit in the backup.
    const std::string backup = read_file(bak);
    const std::size_t content = backup.find("\nend\n") + 5;
    const std::string data = read_file(mdf);
    const std::string log = read_file(ldf);
    ASSERT_EQ(data.size(), 4096u + 307200u);
    ASSERT_EQ(log.size(), 4096u + 102400u);
    EXPECT_NE(data.find("database O'Brien]DB\n"), std::string::npos);
    EXPECT_TRUE(data.compare(4096, 307200, backup, content, 307200) == 0);
    EXPECT_TRUE(log.compare(4096, 102400, backup, content + 307200, 102400) == 0);

    const Outcome listed = c->exec("SELECT name FROM master.dbo.sysdatabases WHERE name = " +
                                   quote_string(kHostileDb) + "\r\n");
    ASSERT_EQ(listed.rows.size(), 1u) << listed.dump();
    EXPECT_EQ(listed.rows[0][0], kHostileDb);

    // Detach and attach the files the restore wrote.
    EXPECT_FALSE(c->exec("exec sp_detach_db " + quote_string(kHostileDb) + "\r\n").failed);
    const Outcome attached = c->exec("exec sp_attach_db " + quote_string(kHostileDb) + " , " +
                                     quote_string(mdf) + ", " + quote_string(ldf) + "\r\n");
    EXPECT_EQ(attached.first, SQL_NO_DATA) << attached.dump();
    EXPECT_FALSE(attached.failed) << attached.dump();
}

// SQL Server 2005 to 2008 R2 upgrade a 2000 database on restore and attach and keep its level;
// 2012 refuses one, as 2000 and 2005 refuse sets of later servers, leaving nothing behind.
TEST_F(OdbcTest, LaterVersionsUpgradeOrRefuseDatabasesOfOtherVersions) {
    const std::string d = dir_.path() + "/";
    const std::vector<std::string> files = {"D:Shop_Data:64K", "L:Shop_Log:64K"};
    const std::string bak2000 = make_backup("s2000.bak", "Shop", files);
    const std::string bak2008 = make_backup("s2008.bak", "Shop", files, "2008");
    auto attach_sql = [&](const std::string& db) {
        return "exec sp_attach_db " + quote_string(db) + ", " + quote_string(d + db + "_Data.MDF") +
               ", " + quote_string(d + db + "_Log.LDF");
    };
    auto on = [&](const char* version) {
        if (server_) {
            EXPECT_EQ(server_->stop(), 0) << server_->stderr_text();
        }
        start({"--version", version});
        return connect();
    };
    // Two databases' files in SQL Server 2000's format.
    auto c = on("2000");
    ASSERT_TRUE(c);
    for (const char* db : {"Old", "Old2"}) {
        ASSERT_FALSE(c->exec(create_sql(db, d, std::string(db) + "_D", "L")).failed);
        ASSERT_FALSE(c->exec("exec sp_detach_db " + quote_string(db)).failed);
    }
    // A 2008 set: 2000 cannot read its media at all, 2005 lists no files and restores nothing.
    for (const auto& [version, restore] : {std::pair{"2000", 3241L}, std::pair{"2005", 3169L}}) {
        c = on(version);
        ASSERT_TRUE(c);
        EXPECT_EQ(c->exec("RESTORE FILELISTONLY FROM DISK = " + quote_string(bak2008)).numbers(),
                  (std::vector<long>{3241, 3013}))
            << version;
        EXPECT_EQ(c->exec(restore_sql("R", bak2008, d, "Shop_Data", "Shop_Log")).numbers(),
                  (std::vector<long>{restore, 3013}))
            << version;
        // Nor does either append its own set to that media.
        EXPECT_EQ(c->exec("BACKUP DATABASE [master] TO DISK = " + quote_string(bak2008)).numbers(),
                  (std::vector<long>{3241, 3013}))
            << version;
    }

    c = on("2008");
    ASSERT_TRUE(c);
    const Outcome restored = c->exec(restore_sql("New", bak2000, d, "Shop_Data", "Shop_Log"));
    EXPECT_FALSE(restored.failed) << restored.dump();
    std::vector<std::string> texts;
    for (const Diag& m : restored.diags)
        texts.push_back(m.text.substr(m.text.find("[SQL Server]") + 12));
    // 10 percent steps, 4035 per file, 944, 36 upgrade steps, 3014.
    ASSERT_EQ(texts.size(), 10u + 2u + 1u + 36u + 1u) << restored.dump();
    EXPECT_EQ(texts[0], "10 percent processed.");
    EXPECT_EQ(texts[12], "Converting database 'New' from version 539 to the current version 655.");
    EXPECT_EQ(texts[13],
              "Database 'New' running the upgrade step from version 539 to version 551.");
    EXPECT_EQ(texts[48],
              "Database 'New' running the upgrade step from version 654 to version 655.");
    EXPECT_EQ(texts[49].rfind("RESTORE DATABASE successfully processed", 0), 0u) << texts[49];
    const Outcome upgraded = c->exec(attach_sql("Old"));
    EXPECT_FALSE(upgraded.failed) << upgraded.dump();
    EXPECT_EQ(upgraded.numbers().size(), 37u) << upgraded.dump();
    ASSERT_FALSE(c->exec(create_sql("Fresh", d, "F_D", "F_L")).failed);
    std::map<std::string, std::string> level;
    for (const Row& row : c->exec("SELECT name, cmptlevel FROM master..sysdatabases").rows)
        level[row[0].value_or("")] = row[1].value_or("");
    EXPECT_EQ(level["New"], "80");
    EXPECT_EQ(level["Old"], "80");
    EXPECT_EQ(level["Fresh"], "100");

    c = on("2012");
    ASSERT_TRUE(c);
    const Outcome refused = c->exec(restore_sql("Refused", bak2000, d, "Shop_Data", "Shop_Log"));
    EXPECT_EQ(refused.numbers(), (std::vector<long>{3169, 3013})) << refused.dump();
    ASSERT_FALSE(refused.diags.empty());
    EXPECT_NE(refused.diags[0].text.find("server running version 8.00.2039. That version is "
                                         "incompatible with this server, which is running "
                                         "version 11.00.7001."),
              std::string::npos)
        << refused.diags[0].text;
    EXPECT_EQ(c->exec(attach_sql("Old2")).numbers(), (std::vector<long>{950, 1813}));
    for (const char* db : {"Refused", "Old2"})
        EXPECT_TRUE(
            c->exec("SELECT name FROM master..sysdatabases WHERE name = " + quote_string(db))
                .rows.empty())
            << db;
    EXPECT_FALSE(fs::exists(d + "Refused_Data.MDF"));
    EXPECT_FALSE(fs::exists(d + "Refused_Log.LDF"));

    // Later servers start their upgrade at 2005's databases (2012, 2014) or 2008's (2016 on), and
    // raise a level below their lowest to it.
    const std::string bak2005 = make_backup("s2005.bak", "Shop", files, "2005");
    for (const auto& [version, bak] : {std::pair{"2019", bak2000}, std::pair{"2016", bak2005}}) {
        c = on(version);
        ASSERT_TRUE(c);
        EXPECT_EQ(c->exec(restore_sql("Refused", bak, d, "Shop_Data", "Shop_Log")).numbers(),
                  (std::vector<long>{3169, 3013}))
            << version;
    }
    c = on("2014");
    ASSERT_TRUE(c);
    const Outcome raised = c->exec(restore_sql("Raised", bak2005, d, "Shop_Data", "Shop_Log"));
    ASSERT_FALSE(raised.failed) << raised.dump();
    std::vector<std::string> upgrade;
    for (const Diag& m : raised.diags)
        if (m.native == 944 || m.native == 951)
            upgrade.push_back(m.text.substr(m.text.find("[SQL Server]") + 12));
    ASSERT_FALSE(upgrade.empty()) << raised.dump();
    EXPECT_EQ(upgrade.front(),
              "Converting database 'Raised' from version 611 to the current version 782.");
    EXPECT_EQ(upgrade.back(),
              "Database 'Raised' running the upgrade step from version 781 to version 782.");
    const Outcome raised_level =
        c->exec("SELECT name, cmptlevel FROM master..sysdatabases WHERE name = N'Raised'");
    ASSERT_EQ(raised_level.rows.size(), 1u) << raised_level.dump();
    EXPECT_EQ(raised_level.rows[0][1], "100");
}

// Each edition names itself as SERVERPROPERTY does; Express holds no database past its cap and
// compresses no backup, nor does 2008 Standard. The cap's test declares sizes; nothing is written.
TEST_F(OdbcTest, EditionsNameThemselvesAndLimitWhatTheyAllow) {
    const std::string d = dir_.path() + "/";
    auto declared = [&](const std::string& name, const std::string& size) {
        const RunResult r =
            run({standin_binary(), "make-backup", d + name, "--sparse", "--db", "Big", "--version",
                 "2008", "--file", "D:Big_Data:" + size, "--file", "L:Big_Log:1M"},
                "");
        EXPECT_EQ(r.status, 0) << r.output;
        return d + name;
    };
    auto disk_used = [](const std::string& path) {
        struct stat st {};
        return ::stat(path.c_str(), &st) == 0 ? st.st_blocks * 512LL : -1LL;
    };
    const std::string big = declared("big.bak", "11G");
    const std::string five = declared("five.bak", "5G");
    EXPECT_GT(fs::file_size(big), 11ull << 30);
    EXPECT_LT(disk_used(big), 1 << 20);
    const std::string properties =
        "SELECT CAST(SERVERPROPERTY('Edition') AS nvarchar(128)) AS Edition, "
        "CAST(SERVERPROPERTY('EngineEdition') AS int) AS EngineEdition, "
        "CAST(SERVERPROPERTY('ProductVersion') AS nvarchar(128)) AS ProductVersion";
    const std::string compressed =
        "BACKUP DATABASE [master] TO DISK = N'" + d + "c.bak' WITH COMPRESSION, INIT";
    auto on = [&](std::vector<std::string> options) {
        if (server_) {
            EXPECT_EQ(server_->stop(), 0) << server_->stderr_text();
        }
        start(std::move(options));
        return connect();
    };
    auto first_text = [](const Outcome& o) { return o.diags.empty() ? "" : o.diags[0].text; };

    auto c = on({"--version", "2008", "--edition", "Express"});
    ASSERT_TRUE(c);
    const Outcome express = c->exec(properties);
    ASSERT_EQ(express.rows.size(), 1u) << express.dump();
    EXPECT_EQ(express.rows[0], (Row{"Express Edition (64-bit)", "4", "10.0.5500.0"}));
    Outcome o = c->exec(restore_sql("Big", five, d, "Big_Data", "Big_Log"));
    EXPECT_EQ(o.numbers(), (std::vector<long>{1827, 3013})) << o.dump();
    EXPECT_NE(first_text(o).find("licensed limit of 4096 MB per database."), std::string::npos);
    o = c->exec("CREATE DATABASE [B] ON (NAME = N'B', FILENAME = N'" + d + "B.mdf', SIZE = 4097)");
    EXPECT_EQ(o.numbers(), (std::vector<long>{1827})) << o.dump();
    o = c->exec(compressed);
    EXPECT_EQ(o.numbers(), (std::vector<long>{1844, 3013})) << o.dump();
    EXPECT_NE(first_text(o).find("BACKUP DATABASE WITH COMPRESSION is not supported on Express "
                                 "Edition (64-bit)."),
              std::string::npos);
    c = on({"--version", "2008", "--edition", "Standard"});
    ASSERT_TRUE(c);
    o = c->exec(compressed);
    EXPECT_EQ(o.numbers(), (std::vector<long>{1844, 3013})) << o.dump();
    EXPECT_NE(first_text(o).find("on Standard Edition (64-bit)."), std::string::npos);
    for (const char* left : {"Big_Data.MDF", "Big_Log.LDF", "B.mdf", "c.bak"})
        EXPECT_FALSE(fs::exists(d + left)) << left;

    // From 2008 R2 on Express holds 10 GB; the restore keeps the set's holes.
    c = on({"--version", "2008R2", "--edition", "Express"});
    ASSERT_TRUE(c);
    o = c->exec(restore_sql("Big", big, d, "Big_Data", "Big_Log"));
    EXPECT_EQ(o.numbers(), (std::vector<long>{1827, 3013})) << o.dump();
    EXPECT_NE(first_text(o).find("limit of 10240 MB"), std::string::npos);
    EXPECT_FALSE(fs::exists(d + "Big_Data.MDF"));
    o = c->exec(restore_sql("Big", five, d, "Big_Data", "Big_Log"));
    EXPECT_FALSE(o.failed) << o.dump();
    EXPECT_EQ(fs::file_size(d + "Big_Data.MDF"), 4096 + (5ull << 30));
    EXPECT_LT(disk_used(d + "Big_Data.MDF"), 1 << 20);

    c = on({"--version", "2019"});
    ASSERT_TRUE(c);
    o = c->exec(properties + ", CAST(SERVERPROPERTY('NoSuchProperty') AS int) AS Nothing");
    ASSERT_EQ(o.rows.size(), 1u) << o.dump();
    EXPECT_EQ(o.rows[0], (Row{"Enterprise Edition (64-bit)", "3", "15.0.4298.1", std::nullopt}));
    EXPECT_EQ(run({standin_binary(), "--port", "0", "--root", d + "x", "--login", "sa:x",
                   "--version", "2000", "--edition", "Express"},
                  "")
                  .status,
              2);
}

// Two servers that see one share, as a restore through a second server uses them: a 2008 R2
// backs a database up onto it, a 2019 verifies, restores and deletes that backup.
TEST_F(OdbcTest, TwoServersSeeOneShare) {
    const std::string d = dir_.path() + "/";
    const std::string share = d + "share";
    fs::create_directory(share);
    start({"--version", "2008R2", "--edition", "Standard", "--drive", "\\\\nas\\hop=" + share});
    Standin later(d + "root2019", {"--login", "sa:secret", "--version", "2019", "--drive",
                                   "//NAS/Hop=" + share + "/"});
    auto hop = connect();
    ASSERT_TRUE(hop);
    OdbcConnection target;
    std::vector<Diag> diags;
    ASSERT_TRUE(target.connect(OdbcConnection::connection_string(later.port()), diags));

    for (const char* path : {"\\\\nas\\hop\\", "//NAS/hop"}) {
        const Outcome o = hop->exec("exec master..xp_fileexist N'" + std::string(path) + "'");
        ASSERT_EQ(o.rows.size(), 1u) << o.dump();
        EXPECT_EQ(o.rows[0][1], "1") << path;
    }
    const Outcome elsewhere = hop->exec("exec master..xp_fileexist N'\\\\nas\\other\\'");
    ASSERT_EQ(elsewhere.rows.size(), 1u) << elsewhere.dump();
    EXPECT_EQ(elsewhere.rows[0], (Row{"0", "0", "0"}));

    const std::string bak = "N'\\\\nas\\hop\\Scratch.bak'";
    ASSERT_FALSE(hop->exec("CREATE DATABASE [Scratch]").failed);
    const Outcome backed = hop->exec("BACKUP DATABASE [Scratch] TO DISK = " + bak +
                                     " WITH COPY_ONLY, CHECKSUM, INIT, STATS = 10, COMPRESSION");
    EXPECT_FALSE(backed.failed) << backed.dump();
    EXPECT_TRUE(backed.has(3211)) << backed.dump();
    EXPECT_TRUE(fs::is_regular_file(share + "/Scratch.bak"));
    // A copy-only backup is no base for a differential.
    EXPECT_EQ(hop->exec("BACKUP DATABASE [Scratch] TO DISK = N'" + d + "d.bak' WITH DIFFERENTIAL")
                  .numbers(),
              (std::vector<long>{3035, 3013}));

    const Outcome header = target.exec("RESTORE HEADERONLY FROM DISK = " + bak);
    ASSERT_EQ(header.rows.size(), 1u) << header.dump();
    EXPECT_EQ(header.rows[0][4], "1");  // Compressed
    EXPECT_EQ(header.rows[0][38], "1"); // HasBackupChecksums
    EXPECT_EQ(header.rows[0][43], "1"); // IsCopyOnly
    const Outcome verified =
        target.exec("RESTORE VERIFYONLY FROM DISK = " + bak + " WITH CHECKSUM");
    EXPECT_FALSE(verified.failed) << verified.dump();
    const Outcome restored =
        target.exec("RESTORE DATABASE [Shop] FROM DISK = " + bak + " WITH MOVE N'Scratch' TO N'" +
                    d + "Shop.mdf', MOVE N'Scratch_log' TO N'" + d + "Shop_log.ldf'");
    EXPECT_FALSE(restored.failed) << restored.dump();
    EXPECT_TRUE(restored.has(944)) << restored.dump();

    // xp_delete_file deletes a backup and leaves anything else without a word.
    std::ofstream(share + "/note.txt") << "not a backup";
    for (const char* file : {"Scratch.bak", "note.txt", "missing.bak"}) {
        const Outcome o = target.exec("EXEC master.dbo.xp_delete_file 0, N'\\\\nas\\hop\\" +
                                      std::string(file) + "'");
        EXPECT_FALSE(o.failed) << file << o.dump();
    }
    EXPECT_FALSE(fs::exists(share + "/Scratch.bak"));
    EXPECT_TRUE(fs::exists(share + "/note.txt"));
    EXPECT_EQ(later.stop(), 0) << later.stderr_text();
}

TEST_F(OdbcTest, MappedDriveLettersNameFilesUnderTheirFolder) {
    const std::string d = dir_.path() + "/";
    start({"--drive", "d=" + d});
    make_backup("shop.bak", "Shop", {"D:Shop_Data:64K", "L:Shop_Log:64K"});
    fs::create_directory(d + "SQL2000_DB");
    auto c = connect();
    ASSERT_TRUE(c);
    const Outcome created = c->exec(create_sql("W", "D:\\SQL2000_DB\\", "Shop_Data", "Shop_Log"));
    ASSERT_FALSE(created.failed) << created.dump();
    const Outcome restored =
        c->exec(restore_sql("W", "d:/shop.bak", "D:/SQL2000_DB\\", "Shop_Data", "Shop_Log"));
    ASSERT_FALSE(restored.failed) << restored.dump();
    EXPECT_TRUE(fs::is_regular_file(d + "SQL2000_DB/W_Data.MDF"));
    EXPECT_TRUE(fs::is_regular_file(d + "SQL2000_DB/W_Log.LDF"));
    // An unmapped drive names nothing here.
    const Outcome elsewhere = c->exec(create_sql("V", "E:\\SQL2000_DB\\", "L1", "L2"));
    EXPECT_EQ(elsewhere.numbers(), (std::vector<long>{5123, 1802})) << elsewhere.dump();
}

TEST_F(OdbcTest, FailuresCarrySqlServer2000Messages) {
    start();
    const std::string d = dir_.path() + "/";
    const std::string bak = make_backup("shop.bak", "Shop", {"D:Shop_Data:64K", "L:Shop_Log:64K"});
    const std::string other =
        make_backup("other.bak", "Other", {"D:Other_Data:64K", "L:Other_Log:64K"});
    std::ofstream(d + "junk.bak") << "not a backup";
    std::ofstream(d + "junk.mdf") << "not a data file";
    auto c = connect();
    ASSERT_TRUE(c);
    // Fixtures: A made by CREATE and restored, B made by CREATE only.
    ASSERT_FALSE(c->exec(create_sql("A", d, "Shop_Data", "Shop_Log")).failed);
    ASSERT_FALSE(c->exec(restore_sql("A", bak, d, "Shop_Data", "Shop_Log")).failed);
    ASSERT_FALSE(c->exec(create_sql("B", d, "B_Data", "B_Log")).failed);

    struct Case {
        const char* name;
        std::string sql;
        std::vector<long> numbers;
    };
    const std::vector<Case> cases = {
        {"filelist, missing",
         "RESTORE FILELISTONLY FROM DISK = N'" + d + "none.bak'",
         {3201, 3013}},
        {"filelist, not a backup",
         "RESTORE FILELISTONLY FROM DISK = N'" + d + "junk.bak'",
         {3241, 3013}},
        {"create, existing name", create_sql("a", d + "x/", "L1", "L2"), {1801}},
        {"create, missing directory", create_sql("C", d + "nowhere/", "L1", "L2"), {5123, 1802}},
        {"create, file exists",
         "CREATE DATABASE [C] ON PRIMARY (NAME = N'C1', FILENAME = N'" + d +
             "A_Data.MDF') LOG ON (NAME = N'C2', FILENAME = N'" + d + "C_Log.LDF')",
         {5170, 1802}},
        {"create, two files on one path",
         "CREATE DATABASE [C] ON PRIMARY (NAME = N'C1', FILENAME = N'" + d +
             "C_Same.MDF') LOG ON (NAME = N'C2', FILENAME = N'" + d + "C_Same.MDF')",
         {5170, 1802}},
        // 3176 is documented for later versions; assumed to be 2000's number and text too.
        {"restore, two files onto one path",
         "RESTORE DATABASE [A] FROM DISK = N'" + bak + "' WITH REPLACE, MOVE N'Shop_Data' TO N'" +
             d + "A_Data.MDF', MOVE N'Shop_Log' TO N'" + d + "A_Data.MDF'",
         {3176, 3013}},
        {"name longer than 128 characters",
         create_sql(std::string(129, 'n'), d, "L1", "L2"),
         {103}},
        {"restore, unknown logical name",
         "RESTORE DATABASE [A] FROM DISK = N'" + bak + "' WITH REPLACE, MOVE N'Nope' TO N'" + d +
             "n.mdf'",
         {3234, 3013}},
        {"restore, bad target directory",
         "RESTORE DATABASE [A] FROM DISK = N'" + bak + "' WITH REPLACE, MOVE N'Shop_Data' TO N'" +
             d + "no/such/dir/a.mdf', MOVE N'Shop_Log' TO N'" + d + "A_Log.LDF'",
         {5105, 3156, 3013}},
        {"restore, no MOVE and no such original place",
         "RESTORE DATABASE [Z] FROM DISK = N'" + bak + "'",
         {5105, 3156, 5105, 3156, 3013}},
        {"restore, files of another database",
         "RESTORE DATABASE [B] FROM DISK = N'" + bak + "' WITH REPLACE, MOVE N'Shop_Data' TO N'" +
             d + "A_Data.MDF', MOVE N'Shop_Log' TO N'" + d + "B_Log.LDF'",
         {1834, 3156, 3013}},
        {"restore, other database without REPLACE",
         "RESTORE DATABASE [B] FROM DISK = N'" + other + "' WITH MOVE N'Other_Data' TO N'" + d +
             "B_Data.MDF', MOVE N'Other_Log' TO N'" + d + "B_Log.LDF'",
         {3154, 3013}},
        {"restore, missing backup",
         "RESTORE DATABASE [A] FROM DISK = N'" + d + "none.bak' WITH REPLACE",
         {3201, 3013}},
        {"attach, existing name", "exec sp_attach_db N'B', N'" + d + "A_Data.MDF'", {1801}},
        {"attach, missing file",
         "exec sp_attach_db N'N', N'" + d + "gone.mdf', N'" + d + "A_Log.LDF'",
         {5105, 1813}},
        {"attach, not a database file",
         "exec sp_attach_db N'N', N'" + d + "junk.mdf'",
         {5172, 1813}},
        {"syntax", "SELECT name FROM sysobjects", {170}},
        {"unterminated literal", "RESTORE FILELISTONLY FROM DISK = N'abc", {170}},
    };
    for (const Case& k : cases) {
        const Outcome o = c->exec(k.sql + "\r\n");
        EXPECT_TRUE(o.failed) << k.name << "\n" << o.dump();
        EXPECT_EQ(o.numbers(), k.numbers) << k.name << "\n" << o.dump();
    }

    // Files of two databases, after detaching both, cannot form one.
    ASSERT_FALSE(c->exec("exec sp_detach_db N'A'").failed);
    ASSERT_FALSE(c->exec("exec sp_detach_db N'B'").failed);
    const std::vector<Case> attach_cases = {
        {"attach, different databases",
         "exec sp_attach_db N'N', N'" + d + "A_Data.MDF', N'" + d + "B_Log.LDF'",
         {5173}},
        {"attach, same file twice",
         "exec sp_attach_db N'N', N'" + d + "A_Data.MDF', N'" + d + "A_Data.MDF'",
         {1828, 1813}},
    };
    for (const Case& k : attach_cases) {
        const Outcome o = c->exec(k.sql);
        EXPECT_TRUE(o.failed) << k.name << "\n" << o.dump();
        EXPECT_EQ(o.numbers(), k.numbers) << k.name << "\n" << o.dump();
    }
    // Nothing half-made: the failed CREATEs left no files behind.
    EXPECT_FALSE(fs::exists(d + "C_Log.LDF"));
    EXPECT_FALSE(fs::exists(d + "C_Same.MDF"));
    const Outcome names = c->exec("SELECT name FROM master..sysdatabases");
    EXPECT_EQ(names.rows.size(), 4u) << names.dump();
    // The limit counts characters, not UTF-8 bytes.
    std::string chinese128;
    for (int i = 0; i < 128; ++i)
        chinese128 += "\xe4\xb8\xad";
    const Outcome longest = c->exec(create_sql("L", d, chinese128, "L2"));
    EXPECT_FALSE(longest.failed) << longest.dump();
}

} // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (!freetds_driver_available()) {
        std::fprintf(stderr, "the FreeTDS ODBC driver is not registered; skipping\n");
        return 77;
    }
    return RUN_ALL_TESTS();
}
