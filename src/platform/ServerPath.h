#pragma once

#include <QString>

namespace platform {

// True for a path that cannot name anything on this machine, only on the server's: one in
// Windows form when this client is not Windows. Such paths are neither tested nor created here.
bool isServerOnlyPath(const QString& path);

} // namespace platform
