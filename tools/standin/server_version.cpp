#include "server_version.hpp"

#include <algorithm>
#include <array>
#include <cstdio>

namespace standin {

namespace {

constexpr std::array<ServerVersion, 5> kVersions = {{
    {"2000", 8, 0, 2039, 0x71000001, 539, 80, "restored", "backed up"},
    {"2005", 9, 0, 5000, 0x72090002, 611, 90, "processed", "processed"},
    {"2008", 10, 0, 5500, 0x730A0003, 655, 100, "processed", "processed"},
    {"2008R2", 10, 50, 6000, 0x730B0003, 661, 100, "processed", "processed"},
    {"2012", 11, 0, 7001, 0x74000004, 706, 110, "processed", "processed"},
}};

// The file-format versions a SQL Server 2000 database passes on its way up, as the servers
// print them up to 2008's 655.
constexpr std::array<int, 37> kUpgradePath = {
    539, 551, 552, 611, 621, 622, 625, 626, 627, 628, 629, 630, 631, 632, 633, 634, 635, 636, 637,
    638, 639, 640, 641, 642, 643, 644, 645, 646, 647, 648, 649, 650, 651, 652, 653, 654, 655};

} // namespace

const ServerVersion& sql2000() {
    return kVersions[0];
}

const ServerVersion* version_named(std::string_view name) {
    for (const ServerVersion& v : kVersions)
        if (v.name == name)
            return &v;
    return nullptr;
}

std::string version_text(const ServerVersion& v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%d.%02d.%d", v.major, v.minor, v.build);
    return buf;
}

bool can_open(const ServerVersion& server, const ServerVersion& made_by) {
    if (made_by.database_version > server.database_version)
        return false;
    return server.major < 11 || made_by.major > 8;
}

int level_on(const ServerVersion& server, int level) {
    return server.major >= 11 ? std::max(level, 90) : level;
}

std::vector<int> upgrade_steps(int from, int to) {
    std::vector<int> path(kUpgradePath.begin(), kUpgradePath.end());
    // 2008 R2 goes on from 655 to 660 and 661; 2012 goes from any of those to 668 and on.
    if (to < 668)
        path.insert(path.end(), {660, 661});
    for (int v = 668; v <= 706; ++v)
        if (v != 678)
            path.push_back(v);
    std::vector<int> steps{from};
    for (int v : path)
        if (v > from && v <= to)
            steps.push_back(v);
    return steps;
}

} // namespace standin
