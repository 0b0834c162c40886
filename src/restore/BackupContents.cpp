#include "restore/BackupFileList.h"

#include "restore/StatementTexts.h"

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

QList<BackupFile> readFileList(db::QueryClient& qry) {
    QList<BackupFile> rows;
    for (qry.first(); !qry.atEnd(); qry.next()) {
        const QString type = qry.fieldText(QStringLiteral("Type"));
        rows.append({qry.fieldText(QStringLiteral("LogicalName")), type});
    }
    return rows;
}

// Types compare exactly; the last row of a type wins.
bool takeFileList(const QList<BackupFile>& rows, RestoreRequest& request) {
    qsizetype data = -1;
    qsizetype log = -1;
    for (qsizetype i = 0; i < rows.size(); ++i) {
        if (rows[i].type == u"D") {
            data = i;
        } else if (rows[i].type == u"L") {
            log = i;
        }
    }
    request.dataLogicalName = data < 0 ? QString() : rows[data].logicalName;
    request.logLogicalName = log < 0 ? QString() : rows[log].logicalName;
    request.otherFiles.clear();
    for (qsizetype i = 0; i < rows.size(); ++i) {
        if (i != data && i != log) {
            request.otherFiles.append(rows[i]);
        }
    }
    return !request.dataLogicalName.isEmpty() && !request.logLogicalName.isEmpty();
}

// Paths compare without letter case, as on the Windows server the names are made for.
QList<FileMove> otherFileMoves(const RestoreRequest& request) {
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
    for (const BackupFile& file : request.otherFiles) {
        move(file, 0);
    }
    for (const AddedFile& added : request.addedFiles) {
        move(added.file, added.step);
    }
    return moves;
}

} // namespace restore
