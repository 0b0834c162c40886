#include "cli/BackupFiles.h"

#include "platform/WindowsFormPath.h"

#include <QDir>
#include <QFileInfo>

namespace cli {

bool isBackupFolder(const QString& value) {
    if (platform::isWindowsFormPath(value)) {
        return value.endsWith(u'\\') || value.endsWith(u'/');
    }
    return QFileInfo(value).isDir();
}

std::variant<QList<BackupPath>, QString>
backupFiles(const QStringList& values,
            const std::function<QStringList(const QString&)>& listServerFolder) {
    QList<BackupPath> files;
    for (const QString& value : values) {
        if (platform::isWindowsFormPath(value)) {
            // Only the server can list such a folder; a file is sent as typed.
            if (!isBackupFolder(value)) {
                files.append(BackupPath{value});
                continue;
            }
            const QStringList listed = listServerFolder(value);
            if (listed.isEmpty()) {
                return QStringLiteral("服务器在该文件夹中没有列出文件 / the server lists no files "
                                      "in the folder: ") +
                       value;
            }
            for (const QString& file : listed) {
                files.append(BackupPath{file, true});
            }
            continue;
        }
        const QFileInfo info(value);
        if (!info.isDir()) {
            files.append(BackupPath{QDir::cleanPath(info.absoluteFilePath())});
            continue;
        }
        // A maintenance plan's folder may hold a hidden backup as well as reports.
        const QFileInfoList entries =
            QDir(info.absoluteFilePath()).entryInfoList(QDir::Files | QDir::Hidden, QDir::Name);
        if (entries.isEmpty()) {
            return QStringLiteral("文件夹中没有文件 / the folder holds no files: ") + value;
        }
        for (const QFileInfo& entry : entries) {
            files.append(BackupPath{entry.absoluteFilePath(), true});
        }
    }
    return files;
}

} // namespace cli
