#include "drives.hpp"

#include "catalogue.hpp"

#include <algorithm>
#include <optional>

namespace standin {

namespace {

int drive_index(char letter) {
    const char upper = (letter >= 'a' && letter <= 'z') ? char(letter - 'a' + 'A') : letter;
    return (upper >= 'A' && upper <= 'Z') ? upper - 'A' : -1;
}

bool is_separator(char c) {
    return c == '\\' || c == '/';
}

// "\\server\share\rest": the server, the share and what follows the share's separator;
// false for a path that names no share.
bool split_unc(std::string_view path, std::string_view& server, std::string_view& share,
               std::string_view& rest) {
    if (path.size() < 5 || !is_separator(path[0]) || !is_separator(path[1]))
        return false;
    path.remove_prefix(2);
    const std::size_t a = path.find_first_of("\\/");
    if (a == 0 || a == std::string_view::npos)
        return false;
    server = path.substr(0, a);
    path.remove_prefix(a + 1);
    const std::size_t b = path.find_first_of("\\/");
    share = path.substr(0, b);
    rest = b == std::string_view::npos ? std::string_view() : path.substr(b + 1);
    return !share.empty();
}

// What follows `folder` in `local`, with Windows separators ("\\x\\y.mdf"); nullopt when `local`
// lies elsewhere.
std::optional<std::string> windows_rest(const std::string& local, const std::string& folder) {
    if (folder.empty() || local.compare(0, folder.size(), folder) != 0 ||
        local.size() <= folder.size() || local[folder.size()] != '/')
        return std::nullopt;
    std::string rest = local.substr(folder.size());
    std::replace(rest.begin(), rest.end(), '/', '\\');
    return rest;
}

std::string without_trailing_slashes(std::string folder) {
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    return folder;
}

} // namespace

bool Drives::add(std::string_view rule) {
    const std::size_t equals = rule.find('=');
    if (equals == std::string_view::npos || equals + 1 == rule.size())
        return false;
    std::string folder = without_trailing_slashes(std::string(rule.substr(equals + 1)));
    if (equals != 1)
        return add_share(rule.substr(0, equals), std::move(folder));
    if (drive_index(rule[0]) < 0)
        return false;
    folders_[drive_index(rule[0])] = std::move(folder);
    return true;
}

bool Drives::add_share(std::string_view unc, std::string folder) {
    std::string_view server, share, rest;
    if (!split_unc(unc, server, share, rest) || !rest.empty())
        return false;
    shares_.push_back({std::string(server), std::string(share), std::move(folder)});
    return true;
}

std::string Drives::share_local(const std::string& path) const {
    std::string_view server, share, rest;
    if (!split_unc(path, server, share, rest))
        return path;
    for (const Share& s : shares_) {
        if (!same_name(s.server, server) || !same_name(s.share, share))
            continue;
        std::string tail(rest);
        std::replace(tail.begin(), tail.end(), '\\', '/');
        return tail.empty() ? s.folder : s.folder + "/" + tail;
    }
    return path;
}

std::string Drives::local(const std::string& path) const {
    if (path.size() >= 2 && is_separator(path[0]) && is_separator(path[1]))
        return share_local(path);
    if (path.size() < 3 || path[1] != ':' || (path[2] != '\\' && path[2] != '/'))
        return path;
    const int drive = drive_index(path[0]);
    if (drive < 0 || folders_[drive].empty())
        return path;
    std::string rest = path.substr(2);
    std::replace(rest.begin(), rest.end(), '\\', '/');
    return folders_[drive] + rest;
}

std::string Drives::windows(const std::string& local) const {
    for (std::size_t drive = 0; drive < folders_.size(); ++drive)
        if (const auto rest = windows_rest(local, folders_[drive]))
            return std::string(1, char('A' + drive)) + ":" + *rest;
    for (const Share& s : shares_)
        if (const auto rest = windows_rest(local, s.folder))
            return "\\\\" + s.server + "\\" + s.share + *rest;
    return local;
}

namespace {

// Makes every file path of a statement local, also inside the maintenance statements.
struct PathMapper {
    const Drives& drives;

    template <typename T> void operator()(T& st) const {
        if constexpr (requires { st.disk; })
            st.disk = drives.local(st.disk);
        if constexpr (requires { st.folder; })
            st.folder = drives.local(st.folder);
        if constexpr (requires { st.files; })
            for (std::string& f : st.files)
                f = drives.local(f);
        if constexpr (requires { st.data; })
            for (auto* files : {&st.data, &st.log})
                for (sql::FileDef& f : *files)
                    f.path = drives.local(f.path);
        if constexpr (requires { st.moves; })
            for (auto& m : st.moves) {
                if constexpr (requires { m.target; })
                    m.target = drives.local(m.target);
                else
                    m.second = drives.local(m.second);
            }
        if constexpr (requires { st.statement; })
            std::visit(*this, st.statement);
    }
};

} // namespace

void Drives::map(sql::Statement& s) const {
    std::visit(PathMapper{*this}, s);
}

} // namespace standin
