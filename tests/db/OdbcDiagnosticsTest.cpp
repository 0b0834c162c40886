#include "db/OdbcDiagnostics.h"

#include "QtPrinters.h"

#include <gtest/gtest.h>

using namespace db;

namespace {

struct CleanCase {
    const char16_t* raw;
    const char16_t* cleaned;
};

// Keeps the value out of the test's name.
void PrintTo(const CleanCase&, std::ostream* out) {
    *out << "case";
}

class CleanDriverMessage : public testing::TestWithParam<CleanCase> {};

TEST_P(CleanDriverMessage, DropsPrefixesAndTrailingJunk) {
    const CleanCase& c = GetParam();
    EXPECT_EQ(cleanDriverMessage(QStringView(c.raw)), QString::fromUtf16(c.cleaned))
        << "raw: " << QString::fromUtf16(c.raw).toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Table, CleanDriverMessage,
    testing::Values(
        CleanCase{u"[FreeTDS][SQL Server]Login failed for user 'sa'.",
                  u"Login failed for user 'sa'"},
        CleanCase{u"[FreeTDS][SQL Server]Database 'X' already exists.",
                  u"Database 'X' already exists"},
        CleanCase{u"[FreeTDS][SQL Server]Cannot open backup device '/x/y.bak'. Device error or "
                  u"device off-line. See the SQL Server error log for more details.",
                  u"Cannot open backup device '/x/y.bak'. Device error or device off-line. See "
                  u"the SQL Server error log for more details"},
        CleanCase{u"[unixODBC][Driver Manager]Can't open lib 'X' : file not found",
                  u"Can't open lib 'X' : file not found"},
        CleanCase{u"[Microsoft][ODBC Driver 17 for SQL Server][SQL Server]Database 'A' already "
                  u"exists.",
                  u"Database 'A' already exists"},
        // Only the three ODBC components are prefixes; a bracket in the text itself stays.
        CleanCase{u"[FreeTDS][SQL Server]Database 'O'Brien]DB' already exists.",
                  u"Database 'O'Brien]DB' already exists"},
        CleanCase{u"[a][b][c][not a prefix] text", u"[not a prefix] text"},
        CleanCase{u"Timeout expired. \r\n\t...  ", u"Timeout expired"},
        // Chinese text; the full-width full stop stays.
        CleanCase{
            u"[FreeTDS][SQL Server]\u6570\u636E\u5E93 '\u65B0\u5E93' \u5DF2\u5B58\u5728\u3002.",
            u"\u6570\u636E\u5E93 '\u65B0\u5E93' \u5DF2\u5B58\u5728\u3002"},
        CleanCase{u"[FreeTDS]", u""}, CleanCase{u"...", u""}, CleanCase{u"", u""},
        CleanCase{u"[unterminated prefix. ", u"[unterminated prefix"}));

TEST(FailureText, FirstErrorRecordWinsOverInformationalOnes) {
    const std::vector<OdbcDiagRecord> records{
        {"01000", 3211, "[FreeTDS][SQL Server]10 percent restored."},
        {"08S01", 20004, "[FreeTDS][SQL Server]Read from the server failed"},
        {"42000", 3013, "[FreeTDS][SQL Server]RESTORE DATABASE is terminating abnormally."}};
    EXPECT_EQ(failureText(records, u"SQLMoreResults", -1), "Read from the server failed");
}

TEST(FailureText, LoginFailureShowsTheServersMessage) {
    const std::vector<OdbcDiagRecord> records{
        {"42000", 18456, "[FreeTDS][SQL Server]Login failed for user 'sa'."},
        {"08001", 0, "[FreeTDS][SQL Server]Unable to connect to data source"}};
    EXPECT_EQ(failureText(records, u"SQLDriverConnectW", -1), "Login failed for user 'sa'");
}

TEST(FailureText, OnlyInformationalRecordsStillGiveText) {
    const std::vector<OdbcDiagRecord> records{{"01000", 20017, "[FreeTDS]Unexpected EOF."}};
    EXPECT_EQ(failureText(records, u"SQLExecDirectW", -1), "Unexpected EOF");
}

TEST(FailureText, SkipsRecordsWithoutDescription) {
    const std::vector<OdbcDiagRecord> records{{"HY000", 0, "[FreeTDS][SQL Server]"},
                                              {"42000", 3201, "Cannot open backup device"}};
    EXPECT_EQ(failureText(records, u"SQLExecDirectW", -1), "Cannot open backup device");
}

TEST(FailureText, WithoutAnyDescriptionNamesTheCall) {
    EXPECT_EQ(failureText({}, u"SQLDriverConnectW", -1),
              "SQLDriverConnectW failed (return code -1)");
    EXPECT_EQ(failureText({{"HY000", 0, " . "}}, u"SQLAllocHandle", -2),
              "SQLAllocHandle failed (return code -2)");
}

TEST(ConnectionLossText, TheDriversLastWordWins) {
    const std::vector<OdbcDiagRecord> records{
        {"01000", 3211, "[FreeTDS][SQL Server]30 percent restored."},
        {"01000", 20017, "[FreeTDS][SQL Server]Unexpected EOF from the server"},
        {"01000", 0, "[FreeTDS] "}};
    EXPECT_EQ(connectionLossText(records, u"SQLMoreResults", 1), "Unexpected EOF from the server");
    EXPECT_EQ(connectionLossText({}, u"SQLMoreResults", 100),
              "SQLMoreResults failed (return code 100)");
}

TEST(IsErrorRecord, WarningsAndInformationAreNotErrors) {
    EXPECT_FALSE(isErrorRecord({"01000", 5701, "Changed database context"}));
    EXPECT_FALSE(isErrorRecord({"01004", 0, "String data, right truncated"}));
    EXPECT_TRUE(isErrorRecord({"42000", 1801, "Database exists"}));
    EXPECT_TRUE(isErrorRecord({"08S01", 0, "Communication link failure"}));
}

} // namespace
