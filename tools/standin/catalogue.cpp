#include "catalogue.hpp"

#include "file_formats.hpp"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace standin {

namespace {

constexpr std::string_view kSystem[] = {"master", "tempdb", "model", "msdb"};

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

} // namespace

bool same_name(std::string_view a, std::string_view b) {
    return lower(a) == lower(b);
}

std::string normal_path(const std::string& path) {
    std::error_code ec;
    fs::path p = fs::path(path).lexically_normal();
    const fs::path canon = fs::weakly_canonical(p, ec);
    return (ec ? p : canon).string();
}

Catalogue::Catalogue(std::string root, int system_level) : root_(std::move(root)) {
    for (std::string_view s : kSystem) {
        dbs_.push_back(Database{std::string(s), "ONLINE", {}});
        dbs_.back().level = system_level;
    }
    load();
}

bool Catalogue::is_system(std::string_view name) {
    return std::any_of(std::begin(kSystem), std::end(kSystem),
                       [&](std::string_view s) { return same_name(s, name); });
}

Database* Catalogue::find(std::string_view name) {
    for (Database& d : dbs_)
        if (same_name(d.name, name))
            return &d;
    return nullptr;
}

const Database* Catalogue::owner_of(const std::string& path) const {
    const std::string want = normal_path(path);
    for (const Database& d : dbs_)
        for (const DbFile& f : d.files)
            if (normal_path(f.path) == want)
                return &d;
    return nullptr;
}

void Catalogue::put(Database d) {
    if (Database* have = find(d.name))
        *have = std::move(d);
    else
        dbs_.push_back(std::move(d));
}

void Catalogue::erase(std::string_view name) {
    dbs_.erase(std::remove_if(dbs_.begin(), dbs_.end(),
                              [&](const Database& d) { return same_name(d.name, name); }),
               dbs_.end());
}

bool Catalogue::busy(std::string_view name) const {
    return busy_.count(lower(name)) != 0;
}

void Catalogue::set_busy(const std::string& name, bool on) {
    if (on)
        busy_.insert(lower(name));
    else
        busy_.erase(lower(name));
}

void Catalogue::save() const {
    const fs::path file = fs::path(root_) / "catalogue.txt";
    const fs::path tmp = fs::path(root_) / "catalogue.txt.new";
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        out << "STANDIN-CATALOGUE 1\n";
        for (const Database& d : dbs_) {
            if (is_system(d.name))
                continue;
            out << "db " << encode_field(d.name) << ' ' << d.state << "\nlevel " << d.level
                << "\nlog " << d.lsn << ' ' << d.lsn_time << ' ' << d.log_start << ' '
                << d.full_checkpoint << ' ' << d.restored << "\nidentity " << d.created_ms << ' '
                << d.family << ' ' << d.fork << ' ' << d.log_fork << ' ' << d.fork_point << "\n";
            out << "upkeep " << d.page_verify << ' ' << d.usage_stale << "\n";
            for (const DbFile& f : d.files)
                out << "file " << f.type << ' ' << encode_field(f.logical) << ' '
                    << encode_field(f.path) << "\n";
            for (const DbUser& u : d.users)
                out << user_line(u);
            if (!d.owner_sid.empty())
                out << "owner " << sid_hex(d.owner_sid) << "\n";
        }
        for (const Login& l : logins_)
            out << "login " << sid_hex(l.sid) << ' ' << encode_field(l.name) << ' '
                << encode_field(l.password) << "\n";
        for (const RestoreHistory& h : history_)
            out << "history " << h.date << ' ' << encode_field(h.database) << ' ' << h.type << ' '
                << h.recovery << ' ' << h.stop_at << "\n";
        out.flush();
        if (!out)
            throw std::runtime_error("cannot write " + tmp.string());
    }
    std::error_code ec;
    fs::rename(tmp, file, ec);
    if (ec)
        throw std::runtime_error("cannot replace " + file.string() + ": " + ec.message());
}

void Catalogue::load() {
    const fs::path file = fs::path(root_) / "catalogue.txt";
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return;
    std::string line;
    int n = 0;
    auto bad = [&]() {
        return std::runtime_error(file.string() + " line " + std::to_string(n) + " is malformed");
    };
    std::getline(in, line);
    ++n;
    if (line != "STANDIN-CATALOGUE 1")
        throw bad();
    while (std::getline(in, line)) {
        ++n;
        std::istringstream ls(line);
        std::string word, a, b, c;
        ls >> word;
        if (word == "db" && (ls >> a >> b)) {
            auto name = decode_field(a);
            if (!name || (b != "ONLINE" && b != "RESTORING"))
                throw bad();
            dbs_.push_back(Database{*name, b, {}});
        } else if (word == "level" && !dbs_.empty()) {
            // Catalogues written before levels were kept have no such line: level 80 databases.
            if (!(ls >> dbs_.back().level))
                throw bad();
        } else if (word == "upkeep" && !dbs_.empty()) {
            // Catalogues written before the upgrade's leftovers were kept have no such line.
            if (!(ls >> dbs_.back().page_verify >> dbs_.back().usage_stale))
                throw bad();
        } else if (word == "log" && !dbs_.empty()) {
            // Catalogues written before log positions were kept have no such line.
            Database& d = dbs_.back();
            if (!(ls >> d.lsn >> d.lsn_time >> d.log_start >> d.full_checkpoint >> d.restored))
                throw bad();
        } else if (word == "identity" && !dbs_.empty()) {
            // Catalogues written before identities were kept have no such line.
            Database& d = dbs_.back();
            if (!(ls >> d.created_ms >> d.family >> d.fork >> d.log_fork >> d.fork_point))
                throw bad();
        } else if (word == "file" && (ls >> a >> b >> c) && !dbs_.empty() && a.size() == 1) {
            auto logical = decode_field(b);
            auto path = decode_field(c);
            if (!logical || !path)
                throw bad();
            dbs_.back().files.push_back(DbFile{a[0], *logical, *path});
        } else if (word == "user" && !dbs_.empty()) {
            auto u = parse_user_fields(line.substr(5));
            if (!u)
                throw bad();
            dbs_.back().users.push_back(*u);
        } else if (word == "owner" && (ls >> a) && !dbs_.empty()) {
            auto sid = sid_from_hex(a);
            if (!sid)
                throw bad();
            dbs_.back().owner_sid = *sid;
        } else if (word == "login" && (ls >> a >> b >> c)) {
            auto sid = sid_from_hex(a);
            auto name = decode_field(b);
            auto password = decode_field(c);
            if (!sid || !name || !password)
                throw bad();
            logins_.push_back({*name, *sid, *password});
        } else if (word == "history" && (ls >> a >> b >> c)) {
            RestoreHistory h;
            auto name = decode_field(b);
            std::int64_t date = 0;
            if (!name || c.size() != 1 || !(std::istringstream(a) >> date) ||
                !(ls >> h.recovery >> h.stop_at))
                throw bad();
            h.date = date;
            h.database = *name;
            h.type = c[0];
            history_.push_back(std::move(h));
        } else if (!line.empty()) {
            throw bad();
        }
    }
}

} // namespace standin
