#pragma once

#include <string>
#include <vector>

namespace standin_test {

// Path of the stand-in under test, from the STANDIN_BIN environment variable.
std::string standin_binary();

// A fresh directory under the temp folder, removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// The stand-in running on 127.0.0.1 with a free port; stopped with SIGTERM
// when destroyed. Waits for its "listening on" line, never sleeps.
class Standin {
public:
    Standin(const std::string& root, std::vector<std::string> extra = {});
    ~Standin();
    Standin(const Standin&) = delete;
    Standin& operator=(const Standin&) = delete;

    int port() const { return port_; }
    // Stops it (once) and returns the exit status (-1 if it did not exit normally).
    int stop();
    std::string stderr_text() const;

private:
    int pid_ = -1;
    int status_ = -1;
    int port_ = 0;
    std::string err_path_;
};

struct RunResult {
    int status = -1;
    std::string output; // stdout and stderr together
};

// Runs a program with `input` on stdin; `env` entries are added as NAME=VALUE.
RunResult run(const std::vector<std::string>& argv, const std::string& input,
              const std::vector<std::string>& env = {});

bool on_path(const std::string& program);
std::string read_file(const std::string& path);

} // namespace standin_test
