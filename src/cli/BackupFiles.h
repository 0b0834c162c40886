#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <variant>

namespace cli {

// A value naming a folder: one of this machine, or one in Windows form, ending with a separator.
bool isBackupFolder(const QString& value);

// One file to read the backup sets of.
struct BackupPath {
    QString path;
    bool inFolder = false; // found in a folder given, rather than named itself
};

// The backup files the --backup values name: a file as it stands, a folder as every file in it,
// hidden ones too, by name (one in Windows form as the server lists it). Relative paths are taken
// from the current folder. The text says why when a value cannot be used.
std::variant<QList<BackupPath>, QString>
backupFiles(const QStringList& values,
            const std::function<QStringList(const QString&)>& listServerFolder);

} // namespace cli
