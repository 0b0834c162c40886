#include "restore/StatementTexts.h"
#include "db/ConnectionString.h"
#include "restore/TargetPaths.h"

#include <gtest/gtest.h>

using namespace restore;

namespace {

RestoreRequest backupRequest() {
    RestoreRequest request;
    request.serverName = "(local)";
    request.authMode = AuthMode::SqlLogin;
    request.userName = "sa";
    request.sourceKind = SourceKind::Backup;
    request.sourcePath = R"(E:\bak\Shop.bak)";
    request.databaseName = "NewDB";
    request.directory = R"(D:\SQL2000_DB\)";
    return request;
}

const BackupContents ShopContents{"Shop_Data", "Shop_Log", {}, {}};

// The one-set restore the window sends.
QString restoreOf(const RestoreRequest& request, const BackupContents& contents = ShopContents) {
    return restoreStatement(request, contents, singleSetPlan(request.sourcePath, request.backupSet),
                            0);
}

} // namespace

TEST(ConnectionStringText, SqlLoginWithEmptyPasswordEndsWithSemicolon) {
    EXPECT_EQ(buildConnectionString(backupRequest()),
              "Provider=SQLOLEDB.1;Persist Security Info=True;User ID=sa;Password=;"
              "Initial Catalog=master;Data Source=(local);");
}

TEST(ConnectionStringText, IntegratedNamesAFixedCatalogOtherThanMaster) {
    RestoreRequest request = backupRequest();
    request.authMode = AuthMode::Integrated;
    request.serverName = "DBHOST\\SQL2000";
    EXPECT_EQ(buildConnectionString(request),
              "Provider=SQLOLEDB.1;Integrated Security=SSPI;Persist Security Info=False;"
              "Initial Catalog=msdb;Data Source=DBHOST\\SQL2000");
}

// Values that would break the key=value syntax are quoted; the reader must give back exactly
// what was typed, including blanks around a server name.
TEST(ConnectionStringText, HostileValuesSurviveTheRoundTrip) {
    const QString values[] = {
        "p;w\"d",
        "\"quoted\"",
        "'single'",
        "  padded  ",
        "a=b",
        "{braced}",
        "x;;y",
        " ",
        QString::fromUtf8("\xE5\xAF\x86\xE7\xA0\x81;1"), // 密码;1
        // Blanks the reader trims besides space and tab: ideographic space, no-break space, EOLs.
        QString::fromUtf16(u"\u3000\u5BC6\u00A0"),
        "\nline\r",
    };
    for (const QString& value : values) {
        RestoreRequest request = backupRequest();
        request.password = value;
        request.userName = value;
        request.serverName = value;
        const auto parsed = db::ConnectionString::parse(buildConnectionString(request));
        EXPECT_EQ(parsed.value(u"password"), value) << value.toStdString();
        EXPECT_EQ(parsed.value(u"User ID"), value) << value.toStdString();
        EXPECT_EQ(parsed.value(u"DATA SOURCE"), value) << value.toStdString();
        EXPECT_EQ(parsed.value(u"Initial Catalog"), "master");
    }
}

TEST(ConnectionStringReader, ReadsQuotedUnquotedAndMissingKeys) {
    const auto parsed =
        db::ConnectionString::parse(u" Provider = SQLOLEDB.1 ; Password=\"a\"\"b;c\";User "
                                    u"ID='o''k';;Data Source=  host,1433  ");
    EXPECT_EQ(parsed.value(u"provider"), "SQLOLEDB.1");
    EXPECT_EQ(parsed.value(u"Password"), "a\"b;c");
    EXPECT_EQ(parsed.value(u"user id"), "o'k");
    EXPECT_EQ(parsed.value(u"Data Source"), "host,1433");
    EXPECT_FALSE(parsed.value(u"Initial Catalog").has_value());
}

TEST(ConnectionStringReader, LaterKeyOverridesEarlierAndEmptyValueIsKept) {
    const auto parsed = db::ConnectionString::parse(u"Password=one;password=;Trailing");
    EXPECT_EQ(parsed.value(u"Password"), "");
}

TEST(StatementText, BackupStatementsForARealisticRequest) {
    const RestoreRequest request = backupRequest();
    EXPECT_EQ(connectionTestStatement(), "SELECT GETDATE()");
    EXPECT_EQ(fileListStatement(request.sourcePath, request.backupSet),
              R"(RESTORE FILELISTONLY FROM  DISK = N'E:\bak\Shop.bak')");
    EXPECT_EQ(createStatement(request, ShopContents),
              R"(CREATE DATABASE [NewDB]  ON PRIMARY (NAME = N'Shop_Data', )"
              R"(FILENAME = N'D:\SQL2000_DB\NewDB_Data.MDF' , SIZE = 1, FILEGROWTH = 10%) )"
              R"(LOG ON (NAME = N'Shop_Log', FILENAME = N'D:\SQL2000_DB\NewDB_Log.LDF' , )"
              R"(SIZE = 1, FILEGROWTH = 10%))");
    EXPECT_EQ(restoreOf(request),
              R"(RESTORE DATABASE [NewDB] FROM  DISK = N'E:\bak\Shop.bak' WITH  FILE = 1,  )"
              R"(NOUNLOAD ,  STATS = 10,  RECOVERY ,  REPLACE ,  MOVE N'Shop_Data' TO )"
              R"(N'D:\SQL2000_DB\NewDB_Data.MDF',  MOVE N'Shop_Log' TO )"
              R"(N'D:\SQL2000_DB\NewDB_Log.LDF')");
}

// Rows besides the two named ones follow today's two MOVEs in list order; the create makes every
// data and log file at its target, and a chosen backup set reaches both the file list and the
// restore.
TEST(StatementText, OtherRowsAreMovedAfterTheTwoAndTheSetIsNamedTwice) {
    RestoreRequest request = backupRequest();
    const QString restore = restoreOf(request);
    BackupContents contents = ShopContents;
    contents.otherFiles = {{"Shop_Index", "D"}, {"Shop_Log2", "L"}, {"O'Cat", "F"}};
    request.backupSet = 3;

    EXPECT_EQ(createStatement(request, contents),
              R"(CREATE DATABASE [NewDB]  ON PRIMARY (NAME = N'Shop_Data', )"
              R"(FILENAME = N'D:\SQL2000_DB\NewDB_Data.MDF' , SIZE = 1, FILEGROWTH = 10%), )"
              R"((NAME = N'Shop_Index', FILENAME = N'D:\SQL2000_DB\NewDB_Shop_Index.NDF' , )"
              R"(SIZE = 1, FILEGROWTH = 10%) )"
              R"(LOG ON (NAME = N'Shop_Log', FILENAME = N'D:\SQL2000_DB\NewDB_Log.LDF' , )"
              R"(SIZE = 1, FILEGROWTH = 10%), )"
              R"((NAME = N'Shop_Log2', FILENAME = N'D:\SQL2000_DB\NewDB_Shop_Log2.LDF' , )"
              R"(SIZE = 1, FILEGROWTH = 10%))");
    EXPECT_EQ(restoreOf(request, contents),
              QString(restore).replace("FILE = 1,", "FILE = 3,") +
                  R"(,  MOVE N'Shop_Index' TO N'D:\SQL2000_DB\NewDB_Shop_Index.NDF')"
                  R"(,  MOVE N'Shop_Log2' TO N'D:\SQL2000_DB\NewDB_Shop_Log2.LDF')"
                  R"(,  MOVE N'O''Cat' TO N'D:\SQL2000_DB\NewDB_O''Cat')");
    EXPECT_EQ(fileListStatement(request.sourcePath, request.backupSet),
              R"(RESTORE FILELISTONLY FROM  DISK = N'E:\bak\Shop.bak' WITH  FILE = 3)");
    EXPECT_EQ(backupHeadersStatement(request.sourcePath),
              R"(RESTORE HEADERONLY FROM  DISK = N'E:\bak\Shop.bak')");
}

// A sequence leaves the database loading until its last step, which alone recovers and stops.
TEST(StatementText, SequenceRecoversOnlyAtItsLastStep) {
    const RestoreRequest request = backupRequest();
    const QString single = restoreOf(request);
    const RestorePlan plan{{plannedSet(request.sourcePath, 2, BackupSetType::Database),
                            plannedSet(R"(E:\bak\Shop_diff.bak)", 1, BackupSetType::Differential),
                            plannedSet(R"(E:\bak\it's.trn)", 4, BackupSetType::Log)},
                           QDateTime(QDate(2026, 12, 8), QTime(10, 41), Qt::UTC)};
    EXPECT_EQ(
        restoreStatement(request, ShopContents, plan, 0),
        QString(single).replace("FILE = 1,", "FILE = 2,").replace(" RECOVERY ,", " NORECOVERY ,"));
    EXPECT_EQ(restoreStatement(request, ShopContents, plan, 1),
              R"(RESTORE DATABASE [NewDB] FROM  DISK = N'E:\bak\Shop_diff.bak' WITH  FILE = 1,  )"
              R"(NOUNLOAD ,  STATS = 10,  NORECOVERY)");
    EXPECT_EQ(
        restoreStatement(request, ShopContents, plan, 2),
        R"(RESTORE LOG [NewDB] FROM  DISK = N'E:\bak\it''s.trn' WITH  FILE = 4,  NOUNLOAD ,  )"
        R"(STATS = 10,  RECOVERY,  STOPAT = N'2026-12-08 10:41:00')");
}

TEST(StatementText, AttachNamesTheDataFileAndTheDerivedLogFile) {
    RestoreRequest request = backupRequest();
    request.sourceKind = SourceKind::DataFiles;
    request.sourcePath = R"(E:\old\Shop_DATA.MDF)";
    request.logSourcePath = logSourcePath(request.sourcePath);
    EXPECT_EQ(attachStatement(request),
              R"(exec sp_attach_db N'NewDB' , N'E:\old\Shop_DATA.MDF', N'E:\old\Shop_Log.LDF')");
}

// A database named O'Brien]DB must reach the server under exactly that name.
TEST(StatementText, QuotesApostrophesAndClosingBrackets) {
    RestoreRequest request = backupRequest();
    request.databaseName = "O'Brien]DB";
    request.directory = "/srv/it's/";
    request.sourcePath = "/bak/a'b.bak";
    request.logSourcePath = "/x/o'k_Log.LDF";
    const BackupContents contents{"d'1", "l]2", {}, {}};

    const QString create = createStatement(request, contents);
    EXPECT_TRUE(create.startsWith("CREATE DATABASE [O'Brien]]DB]  ON PRIMARY (NAME = N'd''1'"))
        << create.toStdString();
    EXPECT_TRUE(create.contains("FILENAME = N'/srv/it''s/O''Brien]DB_Data.MDF'"));
    EXPECT_TRUE(create.contains("(NAME = N'l]2'"));

    const QString restore = restoreOf(request, contents);
    EXPECT_TRUE(restore.startsWith("RESTORE DATABASE [O'Brien]]DB] FROM  DISK = N'/bak/a''b.bak'"))
        << restore.toStdString();
    EXPECT_TRUE(restore.endsWith("TO N'/srv/it''s/O''Brien]DB_Log.LDF'"));

    EXPECT_EQ(fileListStatement(request.sourcePath, request.backupSet),
              "RESTORE FILELISTONLY FROM  DISK = N'/bak/a''b.bak'");
    EXPECT_EQ(attachStatement(request),
              "exec sp_attach_db N'O''Brien]DB' , N'/bak/a''b.bak', N'/x/o''k_Log.LDF'");
    EXPECT_EQ(attachRebuildingLogStatement(request, false),
              "exec sp_attach_single_file_db N'O''Brien]DB' , N'/bak/a''b.bak'");
    EXPECT_EQ(attachRebuildingLogStatement(request, true),
              "CREATE DATABASE [O'Brien]]DB] ON (FILENAME = N'/bak/a''b.bak') FOR "
              "ATTACH_REBUILD_LOG");
}

// A name that would climb out of the folder or that Windows cannot hold as a file name still
// makes files in the target folder; the statements name the database as typed.
TEST(DerivedPaths, TargetFilesLieInTheDirectoryUnderTheDatabaseName) {
    const struct {
        const char* name;
        const char* stem;
    } rows[] = {{"NewDB", "NewDB"},
                {"../x", ".._x"},
                {R"(..\..\Esc)", ".._.._Esc"},
                {"a:b*c?\"d<e>f|g\th", "a_b_c__d_e_f_g_h"}};
    for (const auto& row : rows) {
        RestoreRequest request = backupRequest();
        request.databaseName = row.name;
        BackupContents contents = ShopContents;
        contents.otherFiles = {{"Shop_FT", "F"}};
        const QString stem = QString(R"(D:\SQL2000_DB\)") + row.stem;
        EXPECT_EQ(targetDataFilePath(request), stem + "_Data.MDF");
        EXPECT_EQ(targetLogFilePath(request), stem + "_Log.LDF");
        EXPECT_EQ(otherFileMoves(request, contents).value(0).target, stem + "_Shop_FT");
        EXPECT_TRUE(restoreOf(request, contents)
                        .startsWith(QString("RESTORE DATABASE [") + row.name + "]"));
    }
}

// Names come from the backup, not the operator: whatever they hold, each target is one file name
// in the target folder, and no two files, the main two included, share one.
TEST(DerivedPaths, OtherTargetsAreSafeAndDistinctFileNames) {
    const QString long128 = QString(128, u'x');
    const QString chinese = QString::fromUtf8("\xE7\xB4\xA2\xE5\xBC\x95"); // 索引
    const QList<BackupFile> rows = {
        {"it's", "D"},  {"a]b", "D"},   {"a/b", "D"}, {"a:b", "D"}, {"A/B", "D"},
        {chinese, "D"}, {long128, "F"}, {"Log", "L"}, {"Log", "F"}, {"t\t*?\"<>|\x01", "L"},
        {"Data", "D"},  {"lower", "d"},
    };
    const QStringList expected = {
        "NewDB_it's.NDF",      "NewDB_a]b.NDF",   "NewDB_a_b.NDF",
        "NewDB_a_b_2.NDF",     "NewDB_A_B_3.NDF", "NewDB_" + chinese + ".NDF",
        "NewDB_" + long128,    "NewDB_Log_2.LDF", "NewDB_Log",
        "NewDB_t________.LDF", "NewDB_Data.NDF",  "NewDB_lower",
    };
    RestoreRequest request = backupRequest();
    request.directory = "/srv/db/";
    BackupContents contents = ShopContents;
    contents.otherFiles = rows;
    const QList<FileMove> moves = otherFileMoves(request, contents);
    ASSERT_EQ(moves.size(), expected.size());
    for (qsizetype i = 0; i < moves.size(); ++i) {
        EXPECT_EQ(moves[i].logicalName, rows[i].logicalName);
        EXPECT_EQ(moves[i].target, "/srv/db/" + expected[i]) << moves[i].target.toStdString();
    }
}

TEST(DerivedPaths, LogSourceReplacesEveryDataSuffixInAnyCase) {
    const struct {
        const char* source;
        const char* expected;
    } rows[] = {
        {R"(E:\old\Shop_DATA.MDF)", R"(E:\old\Shop_Log.LDF)"},
        {R"(C:\a_data.mdf\x_Data.mdf)", R"(C:\a_Log.LDF\x_Log.LDF)"},
        {R"(C:\db\Shop.mdf)", R"(C:\db\Shop.mdf)"},
        {"/data/_dAtA.MdF_Data.mdf", "/data/_Log.LDF_Log.LDF"},
        {"", ""},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(logSourcePath(row.source), row.expected) << row.source;
    }
    // Non-ASCII folders are kept as they are.
    const QString chinese = QString::fromUtf8("/\xE6\x95\xB0\xE6\x8D\xAE/");
    EXPECT_EQ(logSourcePath(chinese + "Shop_Data.mdf"), chinese + "Shop_Log.LDF");
}
