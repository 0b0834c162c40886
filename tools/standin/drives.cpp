#include "drives.hpp"

#include <algorithm>

namespace standin {

namespace {

int drive_index(char letter) {
    const char upper = (letter >= 'a' && letter <= 'z') ? char(letter - 'a' + 'A') : letter;
    return (upper >= 'A' && upper <= 'Z') ? upper - 'A' : -1;
}

} // namespace

bool Drives::add(std::string_view rule) {
    if (rule.size() < 3 || rule[1] != '=' || drive_index(rule[0]) < 0)
        return false;
    std::string folder(rule.substr(2));
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    folders_[drive_index(rule[0])] = folder;
    return true;
}

std::string Drives::local(const std::string& path) const {
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
    for (std::size_t drive = 0; drive < folders_.size(); ++drive) {
        const std::string& folder = folders_[drive];
        if (folder.empty() || local.compare(0, folder.size(), folder) != 0 ||
            local.size() <= folder.size() || local[folder.size()] != '/')
            continue;
        std::string rest = local.substr(folder.size());
        std::replace(rest.begin(), rest.end(), '/', '\\');
        return std::string(1, char('A' + drive)) + ":" + rest;
    }
    return local;
}

void Drives::map(sql::Statement& s) const {
    std::visit(
        [this](auto& st) {
            if constexpr (requires { st.disk; })
                st.disk = local(st.disk);
            if constexpr (requires { st.folder; })
                st.folder = local(st.folder);
            if constexpr (requires { st.files; })
                for (std::string& f : st.files)
                    f = local(f);
            if constexpr (requires { st.data; })
                for (auto* files : {&st.data, &st.log})
                    for (sql::FileDef& f : *files)
                        f.path = local(f.path);
            if constexpr (requires { st.moves; })
                for (sql::Move& m : st.moves)
                    m.target = local(m.target);
        },
        s);
}

} // namespace standin
