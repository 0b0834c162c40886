#pragma once

#include "session.hpp"

namespace standin {

// Listens on 127.0.0.1:port (0 picks a free port), prints the listening line,
// and serves each connection on its own thread until SIGTERM or SIGINT.
// Returns the process exit code.
int serve(int port, ServerState& state);

} // namespace standin
