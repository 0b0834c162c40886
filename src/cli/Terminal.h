#pragma once

namespace cli {

// True when standard output goes to a terminal (not a file or a pipe), where a line can be
// rewritten in place.
bool standardOutputIsTerminal();

} // namespace cli
