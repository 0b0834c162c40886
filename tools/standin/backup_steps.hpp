#pragma once

#include "catalogue.hpp"
#include "file_formats.hpp"
#include "response.hpp"
#include "server_version.hpp"

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

// Pieces every backup and restore statement shares.
namespace standin {

constexpr std::uint64_t kPage = 8192;

std::uint64_t pages(std::uint64_t bytes);
// "S.SSS seconds (R.RRR MB/sec)." for the closing 3014.
std::string seconds_and_rate(std::uint64_t total_pages, double secs);
double seconds_since(std::chrono::steady_clock::time_point t);

// Whether a later release than `server` wrote the set.
bool written_later(const BackupHeader& set, const ServerVersion& server);

enum class SetUse { Header, FileList, Restore };

// The set at position `file` of the device, or nullptr once the error saying why is written:
// also when `server` cannot read the set for that use.
const BackupHeader* find_set(const std::string& disk, int file, std::vector<BackupHeader>& sets,
                             const ServerVersion& server, SetUse use, Response& r);

// The messages of files in an older format being upgraded to the server's: 944, then 951 for
// each step.
void report_upgrade(Response& r, const std::string& db, int from, int to);

// True when the database is left loading by a restore, so that a differential or log backup may
// roll it forward; otherwise writes why not (4306 once recovered, 3117 else).
bool ready_to_roll_forward(const Database* db, Response& r);

// Whether the set was made by the database being restored rather than by another one made under
// its name: the same creation and family.
bool same_incarnation(const Database& db, const BackupHeader& set);

// STATS progress: "N percent <verb>." at every multiple of `step`, pushed
// out at once, each ending a result with DONE_MORE.
class Progress {
public:
    Progress(Response& r, int step, std::string verb, std::uint64_t total)
        : r_(r), step_(step), verb_(std::move(verb)), total_(total) {}
    void at(std::uint64_t done);
    void finish();
    int messages() const { return sent_; }

private:
    void emit(int p);
    Response& r_;
    int step_;
    std::string verb_;
    std::uint64_t total_;
    int next_ = step_;
    int last_ = 0;
    int sent_ = 0;
};

} // namespace standin
