#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace platform {

// True for an existing file; a directory of that name does not count.
bool fileExists(const QString& path);
bool directoryExists(const QString& path);

// The levels of a directory path that are still missing, outermost first; empty when nothing is
// missing, nullopt when the path cannot be made (a relative name whose first level is missing).
std::optional<QStringList> missingDirectoryLevels(const QString& path);

// Makes the missing levels one at a time and stops at the first that cannot be made. Failures
// are not reported: the caller tests the directory afterwards.
void createDirectoryLevels(const QString& path);

// Whether createDirectoryLevels would leave an existing directory at the path, found without
// making anything: the outermost missing level must be free and its parent writable.
bool directoryCanBeMade(const QString& path);

} // namespace platform
