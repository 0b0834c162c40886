#pragma once

#include "catalogue.hpp"

#include <cstdint>

namespace standin {

// A database's log position moves on with every change and, while the database is online, with
// time, so that backups taken seconds apart never share a position. Positions look like SQL
// Server's: sixteen or more digits.
constexpr std::uint64_t kFirstLsn = 1000000001000001ull;
constexpr std::uint64_t kLsnPerSecond = 100000;

std::int64_t now_seconds();

// Where the database's log stands now.
std::uint64_t current_lsn(const Database& d, std::int64_t now);

// Records one change: the position moves past where it stands now, which it returns.
std::uint64_t log_change(Database& d, std::int64_t now);

// A database's log starts at the first position when it is created or attached; it is a new
// database then, with a creation date, family and recovery fork of its own.
void start_log(Database& d, std::int64_t now);

// A restore brought the database online where its log stands: its history goes on as a new
// recovery fork from there, and the next log backup crosses to it.
void start_fork(Database& d);

std::int64_t now_ms();

} // namespace standin
