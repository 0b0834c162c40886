#pragma once

#include "odbc_client.hpp"
#include "standin_process.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace standin_test {

// Blanks and Chinese (written as UTF-8 escapes) in every path, and a name
// that needs both kinds of quoting.
inline const std::string kChineseDir = "dir with blanks \xe4\xb8\xad\xe6\x96\x87";
inline const std::string kHostileDb = "O'Brien]DB";

inline std::string quote_string(const std::string& s) {
    std::string out = "N'";
    for (char c : s)
        out += c == '\'' ? std::string("''") : std::string(1, c);
    return out + "'";
}

inline std::string quote_name(const std::string& s) {
    std::string out = "[";
    for (char c : s)
        out += c == ']' ? std::string("]]") : std::string(1, c);
    return out + "]";
}

class OdbcTest : public ::testing::Test {
protected:
    // A sanitizer report or an unclean stop shows up as a non-zero exit.
    void TearDown() override {
        if (server_) {
            EXPECT_EQ(server_->stop(), 0) << server_->stderr_text();
        }
    }
    void start(std::vector<std::string> extra = {}) {
        extra.insert(extra.end(), {"--login", "sa:secret"});
        server_ = std::make_unique<Standin>(dir_.path() + "/root", extra);
    }
    std::unique_ptr<OdbcConnection> connect(const std::string& extra = "") {
        auto c = std::make_unique<OdbcConnection>();
        std::vector<Diag> diags;
        const bool ok =
            c->connect(OdbcConnection::connection_string(server_->port(), extra), diags);
        EXPECT_TRUE(ok) << (diags.empty() ? std::string("no diagnostics") : diags[0].text);
        return ok ? std::move(c) : nullptr;
    }
    std::string make_backup(const std::string& name, const std::string& db,
                            const std::vector<std::string>& files,
                            const std::string& version = "2000") {
        const std::string path = dir_.path() + "/" + name;
        std::vector<std::string> args = {standin_binary(), "make-backup", path, "--db", db,
                                         "--version",      version};
        for (const std::string& f : files)
            args.insert(args.end(), {"--file", f});
        const RunResult r = run(args, "");
        EXPECT_EQ(r.status, 0) << r.output;
        return path;
    }
    static std::string create_sql(const std::string& db, const std::string& dir,
                                  const std::string& data_logical, const std::string& log_logical) {
        return "CREATE DATABASE " + quote_name(db) +
               "  ON PRIMARY (NAME = " + quote_string(data_logical) +
               ", FILENAME = " + quote_string(dir + db + "_Data.MDF") +
               " , SIZE = 1, FILEGROWTH = 10%) LOG ON (NAME = " + quote_string(log_logical) +
               ", FILENAME = " + quote_string(dir + db + "_Log.LDF") +
               " , SIZE = 1, FILEGROWTH = 10%)\r\n";
    }
    static std::string restore_sql(const std::string& db, const std::string& bak,
                                   const std::string& dir, const std::string& data_logical,
                                   const std::string& log_logical) {
        return "RESTORE DATABASE " + quote_name(db) + " FROM  DISK = " + quote_string(bak) +
               " WITH  FILE = 1,  NOUNLOAD ,  STATS = 10,  RECOVERY ,  REPLACE ,  MOVE " +
               quote_string(data_logical) + " TO " + quote_string(dir + db + "_Data.MDF") +
               ",  MOVE " + quote_string(log_logical) + " TO " +
               quote_string(dir + db + "_Log.LDF") + "\r\n";
    }

    TempDir dir_;
    std::unique_ptr<Standin> server_;
};

} // namespace standin_test
