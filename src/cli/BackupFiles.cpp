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

std::variant<QStringList, QString>
backupFiles(const QStringList& values,
            const std::function<QStringList(const QString&)>& listServerFolder) {
    QStringList files;
    for (const QString& value : values) {
        if (platform::isWindowsFormPath(value)) {
            // Only the server can list such a folder; a file is sent as typed.
            if (!isBackupFolder(value)) {
                files.append(value);
                continue;
            }
            const QStringList listed = listServerFolder(value);
            if (listed.isEmpty()) {
                return QStringLiteral("服务器在该文件夹中没有列出文件 / the server lists no files "
                                      "in the folder: ") +
                       value;
            }
            files += listed;
            continue;
        }
        const QFileInfo info(value);
        if (!info.isDir()) {
            files.append(QDir::cleanPath(info.absoluteFilePath()));
            continue;
        }
        const QFileInfoList entries =
            QDir(info.absoluteFilePath()).entryInfoList(QDir::Files, QDir::Name);
        if (entries.isEmpty()) {
            return QStringLiteral("文件夹中没有文件 / the folder holds no files: ") + value;
        }
        for (const QFileInfo& entry : entries) {
            files.append(entry.absoluteFilePath());
        }
    }
    return files;
}

} // namespace cli
