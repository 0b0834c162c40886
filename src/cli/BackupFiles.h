#pragma once

#include <QStringList>

#include <functional>
#include <variant>

namespace cli {

// A value naming a folder: one of this machine, or one in Windows form, ending with a separator.
bool isBackupFolder(const QString& value);

// The backup files the --backup values name: a file as it stands, a folder as the files in it by
// name (one in Windows form as the server lists it). Relative paths are taken from the current
// folder. The text says why when a value cannot be used.
std::variant<QStringList, QString>
backupFiles(const QStringList& values,
            const std::function<QStringList(const QString&)>& listServerFolder);

} // namespace cli
