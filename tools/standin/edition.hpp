#pragma once

#include "server_version.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace standin {

// The edition a server plays (--edition): what SERVERPROPERTY names and what it allows.
enum class Edition { Express, Standard, Enterprise };

// "Express", "Standard" or "Enterprise"; nullopt for anything else.
std::optional<Edition> edition_named(std::string_view name);

// SERVERPROPERTY('Edition'): "Standard Edition (64-bit)"; SQL Server 2000's names no bitness.
std::string edition_text(Edition e, const ServerVersion& v);

// SERVERPROPERTY('EngineEdition'): 2 Standard, 3 Enterprise, 4 Express.
int engine_edition(Edition e);

// The most the data files of one database may hold, in MB; 0 when the edition sets no limit.
std::uint64_t size_cap_mb(Edition e, const ServerVersion& v);

// Whether BACKUP … WITH COMPRESSION runs: 2008 Enterprise, from 2008 R2 Standard too.
bool compresses_backups(Edition e, const ServerVersion& v);

} // namespace standin
