#include "platform/FileSystem.h"

#include "platform/PlatformDefaults.h"

#include <QDir>
#include <QFileInfo>

namespace platform {

namespace {

// What is left of a volume's root once its separator is dropped. On Windows that is a bare drive
// such as "D:", so anything shorter than three characters counts. Here the only root is "/",
// which leaves nothing; "/a" is an ordinary level that can be made.
bool isVolumeRoot(const QString& level) {
#ifdef Q_OS_WIN
    return level.size() < 3;
#else
    return level.isEmpty();
#endif
}

// Everything up to and including the last separator; empty for a one-level relative name.
QString parentPart(const QString& level) {
    return level.left(level.lastIndexOf(DirectorySeparator) + 1);
}

} // namespace

bool fileExists(const QString& path) {
    return QFileInfo(path).isFile();
}

bool directoryExists(const QString& path) {
    return QFileInfo(path).isDir();
}

std::optional<QStringList> missingDirectoryLevels(const QString& path) {
    QStringList levels;
    QString rest = path;
    while (!rest.isEmpty()) {
        if (rest.endsWith(DirectorySeparator)) {
            rest.chop(1);
        }
        const QString parent = parentPart(rest);
        // A doubled separator leaves a level equal to its parent part; it ends the walk.
        if (isVolumeRoot(rest) || directoryExists(rest) || parent == rest) {
            return levels;
        }
        levels.prepend(rest);
        rest = parent;
    }
    return std::nullopt;
}

void createDirectoryLevels(const QString& path) {
    const std::optional<QStringList> levels = missingDirectoryLevels(path);
    if (!levels) {
        return;
    }
    for (const QString& level : *levels) {
        if (!QDir().mkdir(level)) {
            return;
        }
    }
}

bool directoryCanBeMade(const QString& path) {
    const std::optional<QStringList> levels = missingDirectoryLevels(path);
    if (!levels) {
        return false;
    }
    if (levels->isEmpty()) {
        return directoryExists(path);
    }
    const QFileInfo outermost(levels->first());
    return !outermost.exists() && !outermost.isSymLink() &&
           QFileInfo(outermost.path()).isWritable();
}

} // namespace platform
