#pragma once

#include <QString>

namespace platform {

// True for a path written the Windows way: a drive letter, ':' and a separator ("D:\x", "D:/x"),
// or a UNC path ("\\host\share"). Looks at the text only, whatever the platform.
bool isWindowsFormPath(const QString& path);

} // namespace platform
