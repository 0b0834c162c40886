#include "platform/ServerPath.h"

#include "platform/WindowsFormPath.h"

namespace platform {

bool isServerOnlyPath(const QString& path) {
#ifdef Q_OS_WIN
    Q_UNUSED(path);
    return false;
#else
    return isWindowsFormPath(path);
#endif
}

} // namespace platform
