#include "restore/BackupContents.h"

namespace restore {

QList<BackupFile> readFileList(db::QueryClient& qry) {
    QList<BackupFile> rows;
    for (qry.first(); !qry.atEnd(); qry.next()) {
        const QString type = qry.fieldText(QStringLiteral("Type"));
        rows.append({qry.fieldText(QStringLiteral("LogicalName")), type});
    }
    return rows;
}

// Types compare exactly; the last row of a type wins.
std::optional<BackupContents> contentsOf(const QList<BackupFile>& rows) {
    qsizetype data = -1;
    qsizetype log = -1;
    for (qsizetype i = 0; i < rows.size(); ++i) {
        if (rows[i].type == u"D") {
            data = i;
        } else if (rows[i].type == u"L") {
            log = i;
        }
    }
    if (data < 0 || log < 0 || rows[data].logicalName.isEmpty() ||
        rows[log].logicalName.isEmpty()) {
        return std::nullopt;
    }
    BackupContents contents{rows[data].logicalName, rows[log].logicalName, {}, {}};
    for (qsizetype i = 0; i < rows.size(); ++i) {
        if (i != data && i != log) {
            contents.otherFiles.append(rows[i]);
        }
    }
    return contents;
}

} // namespace restore
