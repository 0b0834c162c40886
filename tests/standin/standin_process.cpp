#include "standin_process.hpp"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace standin_test {

namespace {

std::vector<char*> c_args(std::vector<std::string>& v) {
    std::vector<char*> out;
    for (std::string& s : v)
        out.push_back(s.data());
    out.push_back(nullptr);
    return out;
}

int wait_status(int pid) {
    int st = 0;
    while (::waitpid(pid, &st, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

} // namespace

std::string standin_binary() {
    const char* p = std::getenv("STANDIN_BIN");
    if (!p || !*p)
        throw std::runtime_error("STANDIN_BIN is not set");
    return p;
}

TempDir::TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string tmpl = std::string(base && *base ? base : "/tmp") + "/standin-test-XXXXXX";
    if (!::mkdtemp(tmpl.data()))
        throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

Standin::Standin(const std::string& root, std::vector<std::string> extra) {
    err_path_ = root + ".stderr";
    std::vector<std::string> args = {standin_binary(), "--port", "0", "--root", root};
    args.insert(args.end(), extra.begin(), extra.end());
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    pid_ = ::fork();
    if (pid_ == 0) {
        ::dup2(out[1], 1);
        const int err = ::open(err_path_.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        ::dup2(err, 2);
        auto argv = c_args(args);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(out[1]);
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (line.find('\n') == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        pollfd p{out[0], POLLIN, 0};
        if (left <= 0 || ::poll(&p, 1, static_cast<int>(left)) <= 0)
            break;
        char buf[256];
        const ssize_t n = ::read(out[0], buf, sizeof buf);
        if (n <= 0)
            break;
        line.append(buf, static_cast<std::size_t>(n));
    }
    ::close(out[0]);
    const std::string prefix = "listening on 127.0.0.1:";
    if (line.rfind(prefix, 0) != 0) {
        stop();
        throw std::runtime_error("stand-in did not start; stdout '" + line + "', stderr '" +
                                 stderr_text() + "'");
    }
    port_ = std::stoi(line.substr(prefix.size()));
}

Standin::~Standin() {
    stop();
}

int Standin::stop() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        status_ = wait_status(pid_);
        pid_ = -1;
    }
    return status_;
}

std::string Standin::stderr_text() const {
    return read_file(err_path_);
}

RunResult run(const std::vector<std::string>& argv_in, const std::string& input,
              const std::vector<std::string>& env) {
    std::vector<std::string> args = argv_in;
    int in[2], out[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    const int pid = ::fork();
    if (pid == 0) {
        ::dup2(in[0], 0);
        ::dup2(out[1], 1);
        ::dup2(out[1], 2);
        for (const std::string& e : env)
            ::putenv(const_cast<char*>(e.c_str()));
        auto argv = c_args(args);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    // Input is small; write it all, then read until the child closes its output.
    std::size_t at = 0;
    while (at < input.size()) {
        const ssize_t n = ::write(in[1], input.data() + at, input.size() - at);
        if (n <= 0)
            break;
        at += static_cast<std::size_t>(n);
    }
    ::close(in[1]);
    RunResult r;
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(out[0], buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        r.output.append(buf, static_cast<std::size_t>(n));
    }
    ::close(out[0]);
    r.status = wait_status(pid);
    return r;
}

bool on_path(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::stringstream dirs(path ? path : "");
    std::string dir;
    while (std::getline(dirs, dir, ':'))
        if (!dir.empty() && ::access((dir + "/" + program).c_str(), X_OK) == 0)
            return true;
    return false;
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

} // namespace standin_test
