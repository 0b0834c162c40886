#include "restore/TargetPaths.h"

#include <QSet>

namespace restore {

namespace {

QString extensionOf(const QString& type) {
    if (type == u"D") {
        return QStringLiteral(".NDF");
    }
    if (type == u"L") {
        return QStringLiteral(".LDF");
    }
    return {};
}

} // namespace

QString fileNamePart(const QString& name) {
    QString part = name;
    for (QChar& c : part) {
        if (c.unicode() < 32 || QStringView(u"\\/:*?\"<>|").contains(c)) {
            c = u'_';
        }
    }
    return part;
}

QString targetDataFilePath(const RestoreRequest& request) {
    return request.directory + fileNamePart(request.databaseName) + "_Data.MDF";
}

QString targetLogFilePath(const RestoreRequest& request) {
    return request.directory + fileNamePart(request.databaseName) + "_Log.LDF";
}

QString logSourcePath(const QString& sourcePath) {
    QString path = sourcePath;
    return path.replace(QStringLiteral("_Data.mdf"), QStringLiteral("_Log.LDF"),
                        Qt::CaseInsensitive);
}

// Paths compare without letter case, as on the Windows server the names are made for.
QList<FileMove> otherFileMoves(const RestoreRequest& request, const BackupContents& contents) {
    QSet<QString> taken{targetDataFilePath(request).toCaseFolded(),
                        targetLogFilePath(request).toCaseFolded()};
    QList<FileMove> moves;
    const auto move = [&](const BackupFile& file, qsizetype step) {
        const QString stem = request.directory + fileNamePart(request.databaseName) + u'_' +
                             fileNamePart(file.logicalName);
        const QString extension = extensionOf(file.type);
        QString target = stem + extension;
        for (int n = 2; taken.contains(target.toCaseFolded()); ++n) {
            target = stem + u'_' + QString::number(n) + extension;
        }
        taken.insert(target.toCaseFolded());
        moves.append({file.logicalName, file.type, target, step});
    };
    for (const BackupFile& file : contents.otherFiles) {
        move(file, 0);
    }
    for (const AddedFile& added : contents.addedFiles) {
        move(added.file, added.step);
    }
    return moves;
}

} // namespace restore
