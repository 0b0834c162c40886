#include "backup_steps.hpp"

#include "messages.hpp"
#include "tokens.hpp"

#include <algorithm>
#include <cstdio>

namespace standin {

std::uint64_t pages(std::uint64_t bytes) {
    return (bytes + kPage - 1) / kPage;
}

std::string seconds_and_rate(std::uint64_t total_pages, double secs) {
    secs = std::max(secs, 0.001);
    const double mb = static_cast<double>(total_pages * kPage) / 1048576.0;
    char buf[96];
    std::snprintf(buf, sizeof buf, "%.3f seconds (%.3f MB/sec).", secs, mb / secs);
    return buf;
}

double seconds_since(std::chrono::steady_clock::time_point t) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

bool written_later(const BackupHeader& set, const ServerVersion& server) {
    return set.made_by->database_version > server.database_version;
}

const BackupHeader* find_set(const std::string& disk, int file, std::vector<BackupHeader>& sets,
                             const ServerVersion& server, SetUse use, Response& r) {
    switch (read_backup_device(disk, sets)) {
    case BackupRead::Missing:
        r.error(3201, msg::cannot_open_device(disk), 16, 2);
        return nullptr;
    case BackupRead::Malformed:
        r.error(3241, msg::media_malformed(disk));
        return nullptr;
    case BackupRead::Ok:
        break;
    }
    // SQL Server 2000 cannot read the media later releases write at all.
    if (&server == &sql2000() && std::any_of(sets.begin(), sets.end(), [&](const auto& s) {
            return written_later(s, server);
        })) {
        r.error(3241, msg::media_malformed(disk));
        return nullptr;
    }
    if (static_cast<std::size_t>(file) > sets.size()) {
        r.error(4038, msg::set_missing(file, disk));
        return nullptr;
    }
    const BackupHeader& set = sets[static_cast<std::size_t>(file) - 1];
    if (use == SetUse::FileList && written_later(set, server)) {
        r.error(3241, msg::media_malformed(disk));
        return nullptr;
    }
    if (use == SetUse::Restore && !can_open(server, *set.made_by)) {
        r.error(3169, msg::incompatible_backup(version_text(*set.made_by), version_text(server)));
        return nullptr;
    }
    return &set;
}

void report_upgrade(Response& r, const std::string& db, int from, int to) {
    if (from >= to)
        return;
    r.info(944, msg::converting(db, from, to));
    const std::vector<int> steps = upgrade_steps(from, to);
    for (std::size_t i = 1; i < steps.size(); ++i)
        r.info(951, msg::upgrade_step(db, steps[i - 1], steps[i]));
}

bool ready_to_roll_forward(const Database* db, Response& r) {
    if (db && db->restored && db->state == "RESTORING")
        return true;
    if (db && db->restored)
        r.error(4306, msg::preceding_recovered());
    else
        r.error(3117, msg::nothing_to_roll_forward());
    return false;
}

bool same_incarnation(const Database& db, const BackupHeader& set) {
    return db.created_ms == set.created_ms && db.family == set.family;
}

void Progress::at(std::uint64_t done) {
    if (step_ <= 0)
        return;
    const std::uint64_t pct = total_ == 0 ? 100 : std::min<std::uint64_t>(100, done * 100 / total_);
    while (next_ <= static_cast<int>(pct))
        emit(next_), next_ += step_;
}

void Progress::finish() {
    at(total_);
    if (step_ > 0 && last_ != 100)
        emit(100);
}

void Progress::emit(int p) {
    r_.info(3211, msg::percent(p, verb_));
    r_.done(done::kMore);
    r_.push();
    last_ = p;
    ++sent_;
}

} // namespace standin
