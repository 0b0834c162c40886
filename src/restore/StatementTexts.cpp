#include "restore/StatementTexts.h"

#include "db/ConnectionString.h"
#include "restore/BackupFileList.h"

namespace restore {

namespace {

// Initial catalog of the trusted connection: present on every SQL Server, and not master.
constexpr auto IntegratedCatalog = "msdb";

QString literal(const QString& value) {
    return "N'" + quoteStringLiteral(value) + "'";
}

QString bracketed(const QString& name) {
    return "[" + quoteBracketName(name) + "]";
}

// Set 1 is what the file list has always read, so its statement stays as it was.
QString backupSetClause(const RestoreRequest& request) {
    return request.backupSet == 1 ? QString()
                                  : " WITH  FILE = " + QString::number(request.backupSet);
}

// The create names every file the full backup's restore will make, so that the server refuses one
// that exists instead of the restore's REPLACE writing over it. A full-text catalog is no file of
// the create, nor is a file only a later set holds.
QString fileClause(const QString& logicalName, const QString& target) {
    return "(NAME = " + literal(logicalName) + ", FILENAME = " + literal(target) +
           " , SIZE = 1, FILEGROWTH = 10%)";
}

QString otherFileClauses(const RestoreRequest& request, const QString& type) {
    QString clauses;
    for (const FileMove& move : otherFileMoves(request)) {
        if (move.type == type && move.step == 0) {
            clauses += ", " + fileClause(move.logicalName, move.target);
        }
    }
    return clauses;
}

QString otherMoveClauses(const RestoreRequest& request, qsizetype step) {
    QString clauses;
    for (const FileMove& move : otherFileMoves(request)) {
        if (move.step == step) {
            clauses += ",  MOVE " + literal(move.logicalName) + " TO " + literal(move.target);
        }
    }
    return clauses;
}

QString fullRestore(const RestoreRequest& request, const QString& recovery) {
    return "RESTORE DATABASE " + bracketed(request.databaseName) +
           " FROM  DISK = " + literal(request.sourcePath) +
           " WITH  FILE = " + QString::number(request.backupSet) + ",  NOUNLOAD ,  STATS = 10,  " +
           recovery + " ,  REPLACE ,  MOVE " + literal(request.dataLogicalName) + " TO " +
           literal(targetDataFilePath(request)) + ",  MOVE " + literal(request.logLogicalName) +
           " TO " + literal(targetLogFilePath(request)) + otherMoveClauses(request, 0);
}

} // namespace

QString buildSequenceStatement(const RestoreRequest& request, qsizetype step) {
    const bool last = step == request.laterSteps.size();
    const QString recovery = last ? QStringLiteral("RECOVERY") : QStringLiteral("NORECOVERY");
    if (step == 0) {
        return fullRestore(request, recovery);
    }
    const SequenceStep& later = request.laterSteps.at(step - 1);
    const bool log = later.kind == StepKind::Log;
    QString statement = (log ? "RESTORE LOG " : "RESTORE DATABASE ") +
                        bracketed(request.databaseName) + " FROM  DISK = " + literal(later.file) +
                        " WITH  FILE = " + QString::number(later.backupSet) +
                        ",  NOUNLOAD ,  STATS = 10,  " + recovery + otherMoveClauses(request, step);
    if (last && log && !request.stopAt.isEmpty()) {
        statement += ",  STOPAT = " + literal(request.stopAt);
    }
    return statement;
}

QString quoteStringLiteral(const QString& value) {
    QString quoted = value;
    return quoted.replace(u'\'', QStringLiteral("''"));
}

QString quoteBracketName(const QString& name) {
    QString quoted = name;
    return quoted.replace(u']', QStringLiteral("]]"));
}

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

QString buildConnectionString(const RestoreRequest& request) {
    using db::quoteConnectionValue;
    if (request.authMode == AuthMode::Integrated) {
        return QStringLiteral("Provider=SQLOLEDB.1;Integrated Security=SSPI;Persist Security "
                              "Info=False;Initial Catalog=") +
               IntegratedCatalog + ";Data Source=" + quoteConnectionValue(request.serverName);
    }
    return "Provider=SQLOLEDB.1;Persist Security Info=True;User ID=" +
           quoteConnectionValue(request.userName) + ";" +
           "Password=" + quoteConnectionValue(request.password) + ";" + "Initial Catalog=master;" +
           "Data Source=" + quoteConnectionValue(request.serverName) + ";";
}

QString buildFileExistStatement(const QString& serverPath) {
    return "exec master..xp_fileexist " + literal(serverPath);
}

QString backupHeadersStatement(const QString& path) {
    return "RESTORE HEADERONLY FROM  DISK = " + literal(path);
}

QString serverFolderStatement(const QString& folder) {
    return "EXEC master..xp_dirtree " + literal(folder) + ", 1, 1";
}

QString buildStatement(StatementKind kind, const RestoreRequest& request) {
    switch (kind) {
    case StatementKind::ConnectionTest:
        return QStringLiteral("SELECT GETDATE()");
    case StatementKind::FileList:
        return "RESTORE FILELISTONLY FROM  DISK = " + literal(request.sourcePath) +
               backupSetClause(request);
    case StatementKind::Create:
        return "CREATE DATABASE " + bracketed(request.databaseName) + "  ON PRIMARY " +
               fileClause(request.dataLogicalName, targetDataFilePath(request)) +
               otherFileClauses(request, QStringLiteral("D")) + " LOG ON " +
               fileClause(request.logLogicalName, targetLogFilePath(request)) +
               otherFileClauses(request, QStringLiteral("L"));
    case StatementKind::Restore:
        return fullRestore(request, QStringLiteral("RECOVERY"));
    case StatementKind::Attach:
        return "exec sp_attach_db " + literal(request.databaseName) + " , " +
               literal(request.sourcePath) + ", " + literal(request.logSourcePath);
    case StatementKind::Drop:
        return "DROP DATABASE " + bracketed(request.databaseName);
    // As text, since not every driver reads a sql_variant; every version from 2000 on answers both.
    case StatementKind::DatabaseState:
        return "SELECT CAST(DATABASEPROPERTYEX(" + literal(request.databaseName) +
               ", 'Status') AS nvarchar(128)) AS Status";
    case StatementKind::DatabaseFiles:
        return "SELECT filename FROM master..sysaltfiles WHERE dbid = DB_ID(" +
               literal(request.databaseName) + ")";
    }
    Q_UNREACHABLE();
    return {};
}

} // namespace restore
