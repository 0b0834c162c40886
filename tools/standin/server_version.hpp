#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace standin {

// One SQL Server release the stand-in can play, at a late service-pack build.
struct ServerVersion {
    std::string_view name; // as given to --version
    std::uint8_t major;
    std::uint8_t minor;
    std::uint16_t build;
    std::string_view product;   // SERVERPROPERTY('ProductVersion'), "10.50.6000.34"
    std::uint32_t tds;          // the highest TDS version it speaks, as LOGINACK carries it
    int database_version;       // of the files it writes
    int compatibility_level;    // of the databases it creates
    int lowest_level;           // the lowest compatibility level it supports
    int oldest_opened;          // the oldest database version its upgrade starts from
    std::string_view restored;  // the word ending 3211 in a restore
    std::string_view backed_up; // and in a backup
};

const ServerVersion& sql2000();
// nullptr for a name that is none of 2000, 2005, 2008, 2008R2, 2012, 2014, 2016, 2017, 2019, 2022.
const ServerVersion* version_named(std::string_view name);

// "8.00.2039", "10.50.6000": the form error messages print.
std::string version_text(const ServerVersion& v);

// Whether `server` can restore or attach what `made_by` wrote: never a newer release's files,
// nor those older than its upgrade starts from (2012 on no SQL Server 2000 files, 2016 on no
// SQL Server 2005 files).
bool can_open(const ServerVersion& server, const ServerVersion& made_by);

// The compatibility level a database of `level` has on `server`: its own, raised to the lowest
// the server supports.
int level_on(const ServerVersion& server, int level);

// The compatibility levels `server` accepts, lowest first.
std::vector<int> levels_of(const ServerVersion& server);

// The database versions an upgrade from `from` to `to` passes, both ends included.
std::vector<int> upgrade_steps(int from, int to);

} // namespace standin
