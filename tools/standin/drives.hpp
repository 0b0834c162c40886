#pragma once

#include "sql_parser.hpp"

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace standin {

// Drive letters and shares mapped onto local folders, so that a client can name files the way it
// would on a Windows server (D:\SQL2000_DB\x.mdf, \\nas\hop\x.bak). Letters, server and share
// names compare in any case and either separator is taken, as Windows does; paths on nothing
// mapped are used as they stand. Two stand-ins given one folder for a share see one shared folder.
class Drives {
public:
    // One --drive rule, "D=FOLDER" or "\\SERVER\SHARE=FOLDER"; false when it is not one.
    bool add(std::string_view rule);
    std::string local(const std::string& path) const;
    // A local path under a mapped folder as the Windows server names it (D:\x\y.mdf).
    std::string windows(const std::string& local) const;
    // Every file path of the statement made local.
    void map(sql::Statement& s) const;

private:
    struct Share {
        std::string server;
        std::string share;
        std::string folder;
    };
    bool add_share(std::string_view unc, std::string folder);
    std::string share_local(const std::string& path) const;

    std::array<std::string, 26> folders_;
    std::vector<Share> shares_;
};

} // namespace standin
