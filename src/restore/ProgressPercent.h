#pragma once

#include "db/QueryClient.h"

#include <optional>

namespace restore {

// The percent of a 3211 report ("10 percent restored.", "… processed."), from a RESTORE or a
// BACKUP with STATS; the first whole number, so that a server in any language is understood.
std::optional<int> reportedPercent(const db::ServerMessage& message);

} // namespace restore
