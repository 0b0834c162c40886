#pragma once

#include "sql_parser.hpp"

#include <array>
#include <string>
#include <string_view>

namespace standin {

// Drive letters mapped onto local folders, so that a client can name files the way it would on a
// Windows server (D:\SQL2000_DB\x.mdf). Letters compare in any case and either separator is taken,
// as Windows does; paths without a mapped drive are used as they stand.
class Drives {
public:
    // One --drive rule, "D=FOLDER"; false when it is not one.
    bool add(std::string_view rule);
    std::string local(const std::string& path) const;
    // A local path under a mapped folder as the Windows server names it (D:\x\y.mdf).
    std::string windows(const std::string& local) const;
    // Every file path of the statement made local.
    void map(sql::Statement& s) const;

private:
    std::array<std::string, 26> folders_;
};

} // namespace standin
