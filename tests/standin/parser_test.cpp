// The statement parser and the stand-in's own text formats.
#include "drives.hpp"
#include "faults.hpp"
#include "file_formats.hpp"
#include "login.hpp"
#include "make_backup.hpp"
#include "sql_parser.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

using namespace standin;
using namespace standin::sql;

namespace {

// Chinese written as UTF-8 escapes so the source file's encoding cannot matter.
const std::string kChinese = "\xe4\xb8\xad\xe6\x96\x87";
const std::string kDir = "/tmp/dir with blanks " + kChinese + "/";

template <typename T> T parsed_as(const std::string& sql) {
    auto r = parse(sql);
    if (auto* e = std::get_if<SyntaxError>(&r))
        ADD_FAILURE() << "syntax error near '" << e->near << "' in: " << sql;
    else if (!std::holds_alternative<T>(std::get<Statement>(r)))
        ADD_FAILURE() << "parsed as " << kind_name(std::get<Statement>(r)) << ": " << sql;
    else
        return std::get<T>(std::get<Statement>(r));
    return T{};
}

TEST(Parser, KeywordsInAnyCaseAndAnyBlanks) {
    struct Case {
        std::string sql;
        std::string_view kind;
    };
    const std::vector<Case> cases = {
        {"SELECT GETDATE()", "getdate"},
        {"select getdate ( )\r\n", "getdate"},
        {"  SeLeCt\n\tGetDate()  ;  \r\n", "getdate"},
        {"SELECT name FROM master..sysdatabases", "select"},
        {"select NAME from MASTER . dbo . SYSDATABASES\r\n", "select"},
        {"restore filelistonly from disk=N'/a.bak' with file=1,nounload", "filelist"},
        {"restore headeronly from disk = N'/a.bak' with nounload", "headeronly"},
        {"-- a comment\r\nBACKUP DATABASE [x] TO DISK = N'/b.bak' WITH INIT", "backup"},
        {"/* block\r\n comment */ exec sp_detach_db N'x'", "detach"},
        {"EXECUTE master.dbo.sp_attach_db @dbname = N'x', @filename1 = N'/a.mdf'", "attach"},
        {"exec sp_attach_single_file_db @dbname = N'x', @physname = N'/a.mdf'", "attach"},
        {"CREATE DATABASE [x] ON (FILENAME = N'/a.mdf') FOR ATTACH_REBUILD_LOG", "attach"},
        {"drop   database\r\n[x]", "drop"},
        {"set textsize 2147483647\nset ansi_nulls on", "set"},
        {"restore verifyonly from disk = N'/a.bak' with file = 2, move N'a' to N'/b', checksum",
         "verifyonly"},
        {"dbcc checkdb ([x]) with data_purity, no_infomsgs", "dbcc"},
        {"exec master..sp_dbcmptlevel @dbname = N'x', @new_cmptlevel = 100", "alter"},
        {"alter database [x] set page_verify checksum", "alter"},
        {"select compatibility_level, page_verify_option_desc from sys.databases where name = "
         "N'x'",
         "select"},
        {"exec master.dbo.xp_delete_file 0, N'\\\\nas\\hop\\x.bak'", "deletefile"},
    };
    for (const Case& c : cases) {
        auto r = parse(c.sql);
        ASSERT_TRUE(std::holds_alternative<Statement>(r)) << c.sql;
        EXPECT_EQ(kind_name(std::get<Statement>(r)), c.kind) << c.sql;
    }
}

TEST(Parser, ClientCreateStatementWithHostileNames) {
    const auto c = parsed_as<CreateDatabase>(
        "CREATE DATABASE [O'Brien]]DB]  ON PRIMARY (NAME = N'O''Brien]DB_Data', FILENAME = N'" +
        kDir +
        "O''Brien]DB_Data.MDF' , SIZE = 1, FILEGROWTH = 10%) LOG ON (NAME = N'O''Brien]DB_Log', "
        "FILENAME = N'" +
        kDir + "O''Brien]DB_Log.LDF' , SIZE = 3, FILEGROWTH = 10%)\r\n");
    EXPECT_EQ(c.name, "O'Brien]DB");
    ASSERT_EQ(c.data.size(), 1u);
    ASSERT_EQ(c.log.size(), 1u);
    EXPECT_EQ(c.data[0].logical, "O'Brien]DB_Data");
    EXPECT_EQ(c.data[0].path, kDir + "O'Brien]DB_Data.MDF");
    EXPECT_EQ(c.data[0].size_mb, 1u);
    EXPECT_EQ(c.log[0].logical, "O'Brien]DB_Log");
    EXPECT_EQ(c.log[0].path, kDir + "O'Brien]DB_Log.LDF");
    EXPECT_EQ(c.log[0].size_mb, 3u);
}

TEST(Parser, ClientRestoreStatementAndOptionsInAnyOrder) {
    const auto r = parsed_as<RestoreDatabase>(
        "RESTORE DATABASE [" + kChinese + "]]] FROM  DISK = N'" + kDir +
        "it''s.bak' WITH  FILE = 1,  "
        "NOUNLOAD ,  STATS = 10,  RECOVERY ,  REPLACE ,  MOVE N'Shop_Data' TO N'" +
        kDir + "a.MDF',  MOVE N'Shop_Log' TO N'" + kDir + "a.LDF'\r\n");
    EXPECT_EQ(r.name, kChinese + "]");
    EXPECT_EQ(r.disk, kDir + "it's.bak");
    EXPECT_EQ(r.stats, 10);
    EXPECT_TRUE(r.replace);
    EXPECT_TRUE(r.recovery);
    ASSERT_EQ(r.moves.size(), 2u);
    EXPECT_EQ(r.moves[1].logical, "Shop_Log");
    EXPECT_EQ(r.moves[1].target, kDir + "a.LDF");

    const auto o = parsed_as<RestoreDatabase>("restore database x from disk = N'/b' with move N'a' "
                                              "to N'/c', norecovery, stats, file = 3");
    EXPECT_EQ(o.file, 3);
    EXPECT_EQ(o.stats, 10);
    EXPECT_FALSE(o.replace);
    EXPECT_FALSE(o.recovery);
    ASSERT_EQ(o.moves.size(), 1u);

    EXPECT_EQ(parsed_as<RestoreDatabase>("RESTORE DATABASE x FROM DISK = N'/b'").stats, 0);
}

TEST(Parser, AttachArgumentsAndSelectFilter) {
    const auto a = parsed_as<AttachDb>("exec sp_attach_db N'O''Brien]DB' , N'" + kDir +
                                       "d.MDF', N'" + kDir + "l.LDF'\r\n");
    EXPECT_EQ(a.name, "O'Brien]DB");
    EXPECT_EQ(a.files, (std::vector<std::string>{kDir + "d.MDF", kDir + "l.LDF"}));

    const auto s = parsed_as<SelectDatabases>(
        "SELECT name FROM master.dbo.sysdatabases WHERE name = N'O''Brien]DB'");
    EXPECT_EQ(s.name, "O'Brien]DB");
    EXPECT_FALSE(parsed_as<SelectDatabases>("SELECT name FROM master..sysdatabases").name);
    EXPECT_EQ(parsed_as<FileList>("RESTORE FILELISTONLY FROM  DISK = N'" + kDir + "x.bak'").disk,
              kDir + "x.bak");
    EXPECT_EQ(parsed_as<FileList>("RESTORE FILELISTONLY FROM DISK = N'/x' WITH  FILE = 12").file,
              12);

    // Appending is the default; INIT or FORMAT write the device afresh.
    EXPECT_FALSE(parsed_as<BackupDatabase>("BACKUP DATABASE x TO DISK = N'/b' WITH NOINIT").init);
    EXPECT_TRUE(parsed_as<BackupDatabase>("BACKUP DATABASE x TO DISK = N'/b' WITH FORMAT").init);
    EXPECT_EQ(
        parsed_as<BackupDatabase>("BACKUP DATABASE x TO DISK = N'/b' WITH NAME = N'n''1'").set_name,
        "n'1");
    const auto b = parsed_as<BackupDatabase>("BACKUP DATABASE x TO DISK = N'/b' WITH STATS = 10, "
                                             "checksum, INIT, COMPRESSION, COPY_ONLY");
    EXPECT_TRUE(b.checksum && b.compression && b.copy_only && b.init);
    EXPECT_EQ(b.later_option, "checksum");

    const auto p = parsed_as<ServerProperties>(
        "SELECT CAST(SERVERPROPERTY('Edition') AS nvarchar(128)) AS Edition, "
        "CAST(SERVERPROPERTY('EngineEdition') AS int) AS [Engine], "
        "CAST(SERVERPROPERTY(N'Nope') AS varchar(9))");
    ASSERT_EQ(p.items.size(), 3u);
    EXPECT_EQ(p.items[0].column, "Edition");
    EXPECT_FALSE(p.items[0].integer);
    EXPECT_EQ(p.items[1].property, "EngineEdition");
    EXPECT_TRUE(p.items[1].integer);
    EXPECT_EQ(p.items[1].column, "Engine");
    EXPECT_EQ(p.items[2].length, 9u);
    EXPECT_EQ(p.items[2].column, "");
}

// A share names its folder whatever the case and separators, and maps back as the server names it.
TEST(Drives, SharesMapBothWays) {
    standin::Drives d;
    ASSERT_TRUE(d.add("\\\\nas\\hop=/srv/hop/"));
    ASSERT_TRUE(d.add("d=/srv/d"));
    EXPECT_FALSE(d.add("\\\\nas=/srv/x"));
    EXPECT_EQ(d.local("//NAS/Hop/sub\\x.bak"), "/srv/hop/sub/x.bak");
    EXPECT_EQ(d.local("\\\\nas\\hop\\"), "/srv/hop");
    EXPECT_EQ(d.local("\\\\nas\\other\\x.bak"), "\\\\nas\\other\\x.bak");
    EXPECT_EQ(d.local("\\\\nasty\\hop\\x.bak"), "\\\\nasty\\hop\\x.bak");
    EXPECT_EQ(d.windows("/srv/hop/sub/x.bak"), "\\\\nas\\hop\\sub\\x.bak");
    EXPECT_EQ(d.windows("/srv/hopper/x.bak"), "/srv/hopper/x.bak");
    EXPECT_EQ(d.local("D:\\x.mdf"), "/srv/d/x.mdf");
}

TEST(Parser, SyntaxErrorsNameTheTokenAndLine) {
    struct Case {
        std::string sql;
        int line;
        std::string near;
    };
    const std::vector<Case> cases = {
        {"UPDATE t SET x = 1", 1, "UPDATE"},
        {"SELECT GETDATE(", 1, "("},
        {"SELECT name FROM master..sysdatabases WHERE", 1, "WHERE"},
        {"SELECT GETDATE()\r\nSELECT GETDATE()", 2, "SELECT"},
        {"RESTORE DATABASE [x] FROM DISK = N'/a' WITH FILE = 0", 1, "0"},
        {"RESTORE FILELISTONLY FROM DISK = N'/a' WITH FILE = 32768", 1, "32768"},
        {"RESTORE DATABASE [x] FROM DISK = N'/a' WITH STATS = 0", 1, "0"},
        {"RESTORE DATABASE [x] FROM\r\n DISK = N'/a' WITH\r\n\r\n BOGUS", 4, "BOGUS"},
        {"RESTORE FILELISTONLY FROM DISK = N'unterminated", 1, "N'unterminated"},
        {"CREATE DATABASE [x] ON PRIMARY (FILENAME = N'/a')", 1, ")"},
        {"CREATE DATABASE [unterminated", 1, "[unterminated"},
        {"exec sp_who", 1, "sp_who"},
        {"exec sp_attach_db N'only a name'", 1, "only a name"},
        {"exec sp_attach_single_file_db N'x', N'/a.mdf', N'/a.ldf'", 1, "/a.ldf"},
        {"CREATE DATABASE [x] ON (FILENAME = N'/a') FOR ATTACH", 1, "FOR"},
        {"", 1, ""},
    };
    for (const Case& c : cases) {
        auto r = parse(c.sql);
        ASSERT_TRUE(std::holds_alternative<SyntaxError>(r)) << c.sql;
        const auto& e = std::get<SyntaxError>(r);
        EXPECT_EQ(e.line, c.line) << c.sql;
        EXPECT_EQ(e.near, c.near) << c.sql;
    }
}

TEST(Faults, RulesParseOrExplain) {
    struct Case {
        std::string rule;
        bool ok;
    };
    const std::vector<Case> cases = {
        {"delay:getdate:1500", true},
        {"drop:restore", true},
        {"rate:1048576", true},
        {"error:*:3101:x", true},
        {"delay:getdate", false},
        {"delay:nosuch:10", false},
        {"delay:getdate:-5", false},
        {"error:create:0:text", false},
        {"rate:0", false},
        {"explode:restore", false},
        {"", false},
    };
    for (const Case& c : cases) {
        std::string why;
        EXPECT_EQ(parse_fault(c.rule, why).has_value(), c.ok) << c.rule << ": " << why;
        if (!c.ok) {
            EXPECT_FALSE(why.empty()) << c.rule;
        }
    }
    std::string why;
    const auto e = parse_fault("error:attach:5105:Device: busy: try later", why);
    ASSERT_TRUE(e);
    EXPECT_EQ(e->kind, "attach");
    EXPECT_EQ(e->number, 5105);
    EXPECT_EQ(e->text, "Device: busy: try later");
}

TEST(Login, TdsIsTheHighestBothSidesSpeak) {
    struct Case {
        std::uint32_t asked;
        const char* version;
        std::uint32_t agreed;
    };
    const std::vector<Case> cases = {
        {0x74000004, "2000", 0x71000001},   {0x07000000, "2000", 0x71000001},
        {0x74000004, "2005", 0x72090002},   {0x74000004, "2008", 0x730A0003},
        {0x74000004, "2008R2", 0x730B0003}, {0x74000004, "2012", 0x74000004},
        {0x71000001, "2012", 0x71000001},   {0x730A0003, "2008R2", 0x730A0003},
    };
    for (const Case& c : cases)
        EXPECT_EQ(agreed_tds(c.asked, *version_named(c.version)), c.agreed)
            << std::hex << c.asked << " on " << c.version;
}

TEST(Formats, SizesAndFieldsRoundTrip) {
    EXPECT_EQ(parse_size("64M"), 64u << 20);
    EXPECT_EQ(parse_size("1G"), 1u << 30);
    EXPECT_EQ(parse_size("300K"), 300u << 10);
    EXPECT_EQ(parse_size("4096"), 4096u);
    EXPECT_FALSE(parse_size("12X"));
    EXPECT_FALSE(parse_size("M"));

    for (const std::string& s : {std::string(), std::string("a b\nc%d\t"), kDir + "O'Brien]DB",
                                 std::string("%"), std::string("%2")}) {
        const std::string enc = encode_field(s);
        EXPECT_EQ(enc.find_first_of(" \n\t"), std::string::npos) << s;
        EXPECT_EQ(decode_field(enc), s) << enc;
    }
    EXPECT_FALSE(decode_field("%4"));
    EXPECT_FALSE(decode_field("%zz"));
}

TEST(Formats, BackupHeaderReadsBackWhatWasWritten) {
    BackupHeader h;
    h.database = "O'Brien]DB " + kChinese;
    h.name = "full " + kChinese;
    h.finished = 1796000000;
    h.files = {{'D', "Data one", kDir + "a.mdf", "PRIMARY", 5},
               {'L', "Log", "C:\\x y\\b.ldf", "", 3}};
    BackupHeader second = h;
    second.database = "Second";
    second.files = {{'D', "Only", "/o.mdf", "PRIMARY", 2}};
    const std::string path = ::testing::TempDir() + "standin_header_test.bak";
    {
        std::ofstream out(path, std::ios::binary);
        out << backup_header_text(h) << "12345"
            << "678" << backup_header_text(second) << "90";
    }
    std::vector<BackupHeader> back;
    ASSERT_EQ(read_backup_device(path, back), BackupRead::Ok);
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[0].database, h.database);
    EXPECT_EQ(back[0].name, h.name);
    EXPECT_EQ(back[0].finished, h.finished);
    ASSERT_EQ(back[0].files.size(), 2u);
    EXPECT_EQ(back[0].files[0].logical, "Data one");
    EXPECT_EQ(back[0].files[0].physical, kDir + "a.mdf");
    EXPECT_EQ(back[0].files[1].filegroup, "");
    EXPECT_EQ(back[0].files[1].size, 3u);
    EXPECT_EQ(back[0].content_offset, backup_header_text(h).size());
    EXPECT_EQ(back[1].set_offset, back[0].content_offset + 8);
    EXPECT_EQ(back[1].database, "Second");

    // A size that disagrees with the content makes the media malformed.
    { std::ofstream(path, std::ios::binary | std::ios::app) << "9"; }
    EXPECT_EQ(read_backup_device(path, back), BackupRead::Malformed);

    // Two files of 2^63 bytes: their sum wraps to 0 and must not pass for an empty content.
    h.files = {{'D', "A", "/a.mdf", "PRIMARY", 1ull << 63}, {'L', "B", "/b.ldf", "", 1ull << 63}};
    { std::ofstream(path, std::ios::binary | std::ios::trunc) << backup_header_text(h); }
    EXPECT_EQ(read_backup_device(path, back), BackupRead::Malformed);
    std::remove(path.c_str());
    EXPECT_EQ(read_backup_device(path, back), BackupRead::Missing);
}

} // namespace
