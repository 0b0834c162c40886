#include "platform/WindowsFormPath.h"

namespace platform {

bool isWindowsFormPath(const QString& path) {
    if (path.startsWith(QStringLiteral("\\\\"))) {
        return true;
    }
    if (path.size() < 3) {
        return false;
    }
    const char16_t drive = path[0].unicode();
    const bool asciiLetter = (drive >= u'A' && drive <= u'Z') || (drive >= u'a' && drive <= u'z');
    return asciiLetter && path[1] == u':' && (path[2] == u'\\' || path[2] == u'/');
}

} // namespace platform
