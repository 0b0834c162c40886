#pragma once

#include "cli/CommandLine.h"
#include "cli/ConsoleView.h"

#include <QString>

#include <optional>

namespace cli {

// Fills the fields as the window would hold them: its initial texts, then the defaults file, then
// the options given, with relative source and folder paths made absolute against the current
// folder. Without --backup or --mdf, the defaults file's backup becomes the one --backup value,
// so that it takes part in a sequence like one given. Asks for the password when a login needs
// one. Gives the reason when the fields cannot be filled.
std::optional<QString> fillFields(CommandLine& commandLine, ConsoleView& view);

} // namespace cli
