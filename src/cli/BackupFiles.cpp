#include "cli/BackupFiles.h"

#include "platform/WindowsFormPath.h"

#include <QDir>
#include <QFileInfo>

namespace cli {

std::variant<QStringList, QString> backupFiles(const QStringList& values) {
    QStringList files;
    for (const QString& value : values) {
        if (platform::isWindowsFormPath(value)) {
            // Only the server could list such a folder; a file is sent as typed.
            if (value.endsWith(u'\\') || value.endsWith(u'/')) {
                return QStringLiteral(
                           "服务器上的文件夹无法在这里列出，请用 --backup 逐个给出其中的备份文件 / "
                           "a folder on the server cannot be listed from here; name "
                           "its backup files one by one with --backup: ") +
                       value;
            }
            files.append(value);
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
