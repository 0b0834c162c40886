// Faults chosen on the command line, hostile input, the batch log and restarts.
#include "odbc_fixture.hpp"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <chrono>
#include <future>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace standin_test;
namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point t) {
    return std::chrono::duration<double>(Clock::now() - t).count();
}

// Sends raw bytes and reports whether the server then hung up (rather than
// waiting for more). Send errors are expected once the server has closed.
bool server_hangs_up_after(int port, const std::vector<std::uint8_t>& bytes,
                           bool half_close = false) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return false;
    }
    timeval tv{10, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    std::size_t at = 0;
    while (at < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + at, bytes.size() - at, MSG_NOSIGNAL);
        if (n <= 0)
            break;
        at += static_cast<std::size_t>(n);
    }
    if (half_close)
        ::shutdown(fd, SHUT_WR);
    char buf[4096];
    ssize_t n = 0;
    while ((n = ::recv(fd, buf, sizeof buf, 0)) > 0) {
    }
    const bool closed = n == 0 || (n < 0 && errno == ECONNRESET);
    ::close(fd);
    return closed;
}

std::vector<std::uint8_t> packet(std::uint8_t type, std::vector<std::uint8_t> payload,
                                 std::uint8_t status = 1) {
    const std::size_t len = payload.size() + 8;
    std::vector<std::uint8_t> p = {type,
                                   status,
                                   static_cast<std::uint8_t>(len >> 8),
                                   static_cast<std::uint8_t>(len & 0xFF),
                                   0,
                                   0,
                                   0,
                                   0};
    p.insert(p.end(), payload.begin(), payload.end());
    return p;
}

const std::vector<std::uint8_t> kPrelogin = {0x00, 0x00, 0x06, 0x00, 0x06, 0xFF,
                                             0x08, 0x00, 0x01, 0x55, 0x00, 0x00};

// A LOGIN7 fixed part whose user name field points far outside the message.
std::vector<std::uint8_t> lying_login7() {
    std::vector<std::uint8_t> l(86, 0);
    l[0] = 86;
    l[40] = 0xF0;
    l[41] = 0xFF;
    l[42] = 0x10;
    return l;
}

TEST_F(OdbcTest, HostileInputEndsOnlyThatConnection) {
    start();
    auto survivor = connect();
    ASSERT_TRUE(survivor);
    const int port = server_->port();

    std::vector<std::uint8_t> header_only_garbage = {0x12, 0x01, 0x00, 0x04, 0, 0, 0, 0};
    std::vector<std::uint8_t> after_prelogin = packet(0x12, kPrelogin);
    auto with_prelogin = [&](std::vector<std::uint8_t> more) {
        std::vector<std::uint8_t> all = after_prelogin;
        all.insert(all.end(), more.begin(), more.end());
        return all;
    };
    std::vector<std::uint8_t> giant;
    const std::vector<std::uint8_t> chunk(32000, 'A');
    while (giant.size() < (17u << 20))
        for (std::uint8_t b : packet(0x01, chunk, 0))
            giant.push_back(b);

    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
        bool half_close;
        const char* logged;
    };
    const std::vector<Case> cases = {
        {"length below the header size", header_only_garbage, false, "shorter than its header"},
        {"legacy TDS 5.0 login", packet(0x02, {1, 2, 3}), false, "unsupported packet type 2"},
        {"malformed PRELOGIN", packet(0x12, {0x00, 0x00, 0x50, 0x00, 0x06, 0xFF}), false,
         "malformed PRELOGIN"},
        {"truncated LOGIN7", with_prelogin(packet(0x10, std::vector<std::uint8_t>(40, 0))), false,
         "shorter than its fixed part"},
        {"LOGIN7 field outside the message", with_prelogin(packet(0x10, lying_login7())), false,
         "points outside the message"},
        {"batch before login", packet(0x01, {'S', 0}), false, "SQL batch before login"},
        {"packet cut short",
         {0x12, 0x01, 0x00, 0x64, 0, 0, 0, 0, 1, 2, 3},
         true,
         "closed inside a packet"},
        {"giant message", giant, false, "message larger than"},
    };
    for (const Case& c : cases)
        EXPECT_TRUE(server_hangs_up_after(port, c.bytes, c.half_close)) << c.name;

    // The logged reasons name each fault, and everyone else is still served.
    const std::string err = server_->stderr_text();
    for (const Case& c : cases)
        EXPECT_NE(err.find(c.logged), std::string::npos) << c.name << "\n" << err;
    EXPECT_EQ(survivor->exec("SELECT GETDATE()").rows.size(), 1u);
    EXPECT_TRUE(connect());
}

TEST_F(OdbcTest, ErrorFaultAnswersWithTheGivenErrorAndChangesNothing) {
    start(
        {"--fault", "error:create:5123:Disk says no: really", "--fault", "error:attach:5105:Nope"});
    auto c = connect();
    ASSERT_TRUE(c);
    const Outcome created = c->exec(create_sql("X", dir_.path() + "/", "X1", "X2"));
    EXPECT_TRUE(created.failed);
    ASSERT_EQ(created.numbers(), (std::vector<long>{5123})) << created.dump();
    EXPECT_NE(created.diags[0].text.find("Disk says no: really"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir_.path() + "/X_Data.MDF"));
    const Outcome attached = c->exec("exec sp_attach_db N'X', N'/a.mdf'");
    EXPECT_TRUE(attached.failed);
    EXPECT_EQ(attached.numbers(), (std::vector<long>{5105})) << attached.dump();
    // Other kinds are untouched.
    EXPECT_EQ(c->exec("SELECT GETDATE()").rows.size(), 1u);
}

TEST_F(OdbcTest, DelayFaultHoldsTheAnswerOnALiveConnection) {
    start({"--fault", "delay:getdate:700"});
    auto c = connect();
    ASSERT_TRUE(c);
    const auto t = Clock::now();
    EXPECT_EQ(c->exec("SELECT GETDATE()").rows.size(), 1u);
    EXPECT_GE(seconds_since(t), 0.7);
    EXPECT_EQ(c->exec("SELECT name FROM master..sysdatabases").rows.size(), 4u);
}

TEST_F(OdbcTest, DropFaultClosesMidRestoreAfterProgress) {
    start({"--fault", "drop:restore", "--fault", "drop:getdate"});
    const std::string bak = make_backup("s.bak", "S", {"D:S_Data:4M", "L:S_Log:1M"});
    auto c = connect();
    ASSERT_TRUE(c);
    const Outcome o = c->exec(restore_sql("S", bak, dir_.path() + "/", "S_Data", "S_Log"));
    EXPECT_TRUE(o.failed) << o.dump();
    ASSERT_FALSE(o.diags.empty());
    EXPECT_EQ(o.diags.front().native, 3211) << o.dump();
    EXPECT_FALSE(o.has(3014)) << o.dump();

    auto d = connect();
    ASSERT_TRUE(d);
    const Outcome g = d->exec("SELECT GETDATE()");
    EXPECT_TRUE(g.failed) << g.dump();
    EXPECT_TRUE(g.rows.empty());
    // The half-restored database stays, as RESTORING, and the server runs on.
    EXPECT_NE(read_file(dir_.path() + "/root/catalogue.txt").find("db S RESTORING"),
              std::string::npos);
    auto e = connect();
    ASSERT_TRUE(e);
    EXPECT_EQ(e->exec("SELECT name FROM master..sysdatabases WHERE name = N'S'").rows.size(), 1u);
}

TEST_F(OdbcTest, RateFaultSlowsRestoreWhileOthersAreServedAndCancelStopsIt) {
    // 640 KiB at 256 KiB/s: about 2.5 s for a whole restore.
    start({"--fault", "rate:262144"});
    const std::string bak = make_backup("s.bak", "S", {"D:S_Data:512K", "L:S_Log:128K"});
    const std::string dir = dir_.path() + "/";
    auto c = connect();
    ASSERT_TRUE(c);
    auto t = Clock::now();
    auto running = std::async(
        std::launch::async, [&] { return c->exec(restore_sql("S", bak, dir, "S_Data", "S_Log")); });
    // A second connection gets its answer while the restore copies.
    auto other = connect();
    ASSERT_TRUE(other);
    EXPECT_EQ(other->exec("SELECT GETDATE()").rows.size(), 1u);
    EXPECT_EQ(running.wait_for(std::chrono::seconds(0)), std::future_status::timeout);
    const Outcome whole = running.get();
    EXPECT_FALSE(whole.failed) << whole.dump();
    EXPECT_GE(seconds_since(t), 2.3);

    // Cancel after the first progress message: the restore stops early and
    // the connection stays usable.
    std::promise<void> first_progress;
    bool signalled = false;
    t = Clock::now();
    auto cancelled = std::async(std::launch::async, [&] {
        return c->exec(restore_sql("S", bak, dir, "S_Data", "S_Log"), [&](const Diag& d) {
            if (d.native == 3211 && !signalled) {
                signalled = true;
                first_progress.set_value();
            }
        });
    });
    ASSERT_EQ(first_progress.get_future().wait_for(std::chrono::seconds(10)),
              std::future_status::ready);
    c->cancel();
    const Outcome o = cancelled.get();
    EXPECT_LT(seconds_since(t), 2.0) << o.dump();
    EXPECT_FALSE(o.has(3014)) << o.dump();
    EXPECT_EQ(c->exec("SELECT GETDATE()").rows.size(), 1u);
}

TEST_F(OdbcTest, BatchLogKeepsEachBatchExactly) {
    const std::string log = dir_.path() + "/batches.log";
    start({"--log", log});
    auto c = connect();
    ASSERT_TRUE(c);
    const std::string chinese =
        "SELECT name FROM master..sysdatabases WHERE name = N'\xe4\xb8\xad'\r\n";
    c->exec("SELECT GETDATE()\r\n");
    c->exec(chinese);
    c->exec("bad\nbatch");
    EXPECT_EQ(read_file(log), "batch 18\nSELECT GETDATE()\r\n\n"
                              "batch " +
                                  std::to_string(chinese.size()) + "\n" + chinese +
                                  "\n"
                                  "batch 9\nbad\nbatch\n");
}

TEST_F(OdbcTest, CatalogueSurvivesARestart) {
    start();
    {
        auto c = connect();
        ASSERT_TRUE(c);
        ASSERT_FALSE(c->exec(create_sql("Kept", dir_.path() + "/", "K1", "K2")).failed);
    }
    EXPECT_EQ(server_->stop(), 0) << "SIGTERM should stop it cleanly";
    start();
    auto c = connect();
    ASSERT_TRUE(c);
    const Outcome o = c->exec("SELECT name FROM master..sysdatabases WHERE name = N'Kept'");
    EXPECT_EQ(o.rows.size(), 1u) << o.dump();
}

} // namespace
