#pragma once

#include <QString>

#include <optional>

namespace cli {

// Asks for a password on the terminal without echoing it. Gives nullopt when standard input is
// closed before a line was read.
std::optional<QString> promptPassword(const QString& prompt);

} // namespace cli
