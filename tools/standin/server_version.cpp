#include "server_version.hpp"

#include <algorithm>
#include <array>
#include <cstdio>

namespace standin {

namespace {

constexpr std::array<ServerVersion, 10> kVersions = {{
    {"2000", 8, 0, 2039, "8.00.2039", 0x71000001, 539, 80, 60, 539, "restored", "backed up"},
    {"2005", 9, 0, 5000, "9.00.5000.00", 0x72090002, 611, 90, 60, 539, "processed", "processed"},
    {"2008", 10, 0, 5500, "10.0.5500.0", 0x730A0003, 655, 100, 80, 539, "processed", "processed"},
    {"2008R2", 10, 50, 6000, "10.50.6000.34", 0x730B0003, 661, 100, 80, 539, "processed",
     "processed"},
    {"2012", 11, 0, 7001, "11.0.7001.0", 0x74000004, 706, 110, 90, 611, "processed", "processed"},
    {"2014", 12, 0, 6024, "12.0.6024.0", 0x74000004, 782, 120, 100, 611, "processed", "processed"},
    {"2016", 13, 0, 6300, "13.0.6300.2", 0x74000004, 852, 130, 100, 655, "processed", "processed"},
    {"2017", 14, 0, 3456, "14.0.3456.2", 0x74000004, 869, 140, 100, 655, "processed", "processed"},
    {"2019", 15, 0, 4298, "15.0.4298.1", 0x74000004, 904, 150, 100, 655, "processed", "processed"},
    {"2022", 16, 0, 4003, "16.0.4003.1", 0x74000004, 957, 160, 100, 655, "processed", "processed"},
}};

// The file-format versions a SQL Server 2000 database passes on its way up, as the servers
// print them up to 2008's 655.
constexpr std::array<int, 37> kUpgradePath = {
    539, 551, 552, 611, 621, 622, 625, 626, 627, 628, 629, 630, 631, 632, 633, 634, 635, 636, 637,
    638, 639, 640, 641, 642, 643, 644, 645, 646, 647, 648, 649, 650, 651, 652, 653, 654, 655};

// From 2012's 706 on, each release's steps: a jump to its first version, then one at a time up
// to its own (2014 770 … 782, 2016 801 … 852, 2017 853 … 869, 2019 875 … 904, 2022 905 … 957).
constexpr std::array<std::pair<int, int>, 5> kLaterRuns = {
    {{770, 782}, {801, 852}, {853, 869}, {875, 904}, {905, 957}}};

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
    return made_by.database_version <= server.database_version &&
           made_by.database_version >= server.oldest_opened;
}

int level_on(const ServerVersion& server, int level) {
    return std::max(level, server.lowest_level);
}

std::vector<int> levels_of(const ServerVersion& server) {
    std::vector<int> levels;
    for (int level = server.lowest_level; level <= server.compatibility_level; level += 10) {
        levels.push_back(level);
        // 6.5's level lived on as long as 6.0's did.
        if (level == 60)
            levels.push_back(65);
    }
    return levels;
}

std::vector<int> upgrade_steps(int from, int to) {
    std::vector<int> path(kUpgradePath.begin(), kUpgradePath.end());
    // 2008 R2 goes on from 655 to 660 and 661; 2012 goes from any of those to 668 and on.
    if (to < 668)
        path.insert(path.end(), {660, 661});
    for (int v = 668; v <= 706; ++v)
        if (v != 678)
            path.push_back(v);
    for (const auto& [first, last] : kLaterRuns)
        for (int v = first; v <= last; ++v)
            path.push_back(v);
    std::vector<int> steps{from};
    for (int v : path)
        if (v > from && v <= to)
            steps.push_back(v);
    return steps;
}

} // namespace standin
