#include "restore/StatementTexts.h"

#include "db/QueryClient.h"
#include "restore/ServerTime.h"
#include "restore/TargetPaths.h"

namespace restore {

namespace {

// Initial catalog of the trusted connection: present on every SQL Server, and not master.
constexpr auto IntegratedCatalog = "msdb";

// The create names every file the full backup's restore will make, so that the server refuses one
// that exists instead of the restore's REPLACE writing over it. A full-text catalog is no file of
// the create, nor is a file only a later set holds.
QString fileClause(const QString& logicalName, const QString& target) {
    return "(NAME = " + unicodeLiteral(logicalName) + ", FILENAME = " + unicodeLiteral(target) +
           " , SIZE = 1, FILEGROWTH = 10%)";
}

QString otherFileClauses(const QList<FileMove>& moves, const QString& type) {
    QString clauses;
    for (const FileMove& move : moves) {
        if (move.type == type && move.step == 0) {
            clauses += ", " + fileClause(move.logicalName, move.target);
        }
    }
    return clauses;
}

QString otherMoveClauses(const QList<FileMove>& moves, qsizetype step) {
    QString clauses;
    for (const FileMove& move : moves) {
        if (move.step == step) {
            clauses += ",  MOVE " + unicodeLiteral(move.logicalName) + " TO " +
                       unicodeLiteral(move.target);
        }
    }
    return clauses;
}

} // namespace

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

QString connectionTestStatement() {
    return QStringLiteral("SELECT GETDATE()");
}

QString fileListStatement(const QString& path, int backupSet) {
    return "RESTORE FILELISTONLY FROM  DISK = " + unicodeLiteral(path) +
           (backupSet == 1 ? QString() : " WITH  FILE = " + QString::number(backupSet));
}

QString backupHeadersStatement(const QString& path) {
    return "RESTORE HEADERONLY FROM  DISK = " + unicodeLiteral(path);
}

QString serverFolderStatement(const QString& folder) {
    return "EXEC master..xp_dirtree " + unicodeLiteral(folder) + ", 1, 1";
}

QString fileExistStatement(const QString& serverPath) {
    return "exec master..xp_fileexist " + unicodeLiteral(serverPath);
}

QString createStatement(const RestoreRequest& request, const BackupContents& contents) {
    const QList<FileMove> moves = otherFileMoves(request, contents);
    return "CREATE DATABASE " + bracketedName(request.databaseName) + "  ON PRIMARY " +
           fileClause(contents.dataLogicalName, targetDataFilePath(request)) +
           otherFileClauses(moves, QStringLiteral("D")) + " LOG ON " +
           fileClause(contents.logLogicalName, targetLogFilePath(request)) +
           otherFileClauses(moves, QStringLiteral("L"));
}

QString restoreStatement(const RestoreRequest& request, const BackupContents& contents,
                         const RestorePlan& plan, qsizetype step) {
    const BackupSetHeader& set = plan.steps.at(step);
    const bool last = step == plan.steps.size() - 1;
    const QString recovery = last ? QStringLiteral("RECOVERY") : QStringLiteral("NORECOVERY");
    const QString moves = otherMoveClauses(otherFileMoves(request, contents), step);
    if (step == 0) {
        return "RESTORE DATABASE " + bracketedName(request.databaseName) +
               " FROM  DISK = " + unicodeLiteral(set.file) +
               " WITH  FILE = " + QString::number(set.position) + ",  NOUNLOAD ,  STATS = 10,  " +
               recovery + " ,  REPLACE ,  MOVE " + unicodeLiteral(contents.dataLogicalName) +
               " TO " + unicodeLiteral(targetDataFilePath(request)) + ",  MOVE " +
               unicodeLiteral(contents.logLogicalName) + " TO " +
               unicodeLiteral(targetLogFilePath(request)) + moves;
    }
    const bool log = set.type == BackupSetType::Log;
    QString statement = (log ? "RESTORE LOG " : "RESTORE DATABASE ") +
                        bracketedName(request.databaseName) +
                        " FROM  DISK = " + unicodeLiteral(set.file) +
                        " WITH  FILE = " + QString::number(set.position) +
                        ",  NOUNLOAD ,  STATS = 10,  " + recovery + moves;
    if (last && log && plan.stopAt) {
        statement += ",  STOPAT = " + unicodeLiteral(serverTimeText(*plan.stopAt));
    }
    return statement;
}

QString attachStatement(const RestoreRequest& request) {
    return "exec sp_attach_db " + unicodeLiteral(request.databaseName) + " , " +
           unicodeLiteral(request.sourcePath) + ", " + unicodeLiteral(request.logSourcePath);
}

QString attachRebuildingLogStatement(const RestoreRequest& request, bool newerThan2000) {
    if (!newerThan2000) {
        return "exec sp_attach_single_file_db " + unicodeLiteral(request.databaseName) + " , " +
               unicodeLiteral(request.sourcePath);
    }
    return "CREATE DATABASE " + bracketedName(request.databaseName) +
           " ON (FILENAME = " + unicodeLiteral(request.sourcePath) + ") FOR ATTACH_REBUILD_LOG";
}

QString dropStatement(const QString& databaseName) {
    return "DROP DATABASE " + bracketedName(databaseName);
}

// As text, since not every driver reads a sql_variant; every version from 2000 on answers both.
QString databaseStateStatement(const QString& databaseName) {
    return "SELECT CAST(DATABASEPROPERTYEX(" + unicodeLiteral(databaseName) +
           ", 'Status') AS nvarchar(128)) AS Status";
}

QString databaseFilesStatement(const QString& databaseName) {
    return "SELECT filename FROM master..sysaltfiles WHERE dbid = DB_ID(" +
           unicodeLiteral(databaseName) + ")";
}

QString serverEditionStatement() {
    return QStringLiteral("SELECT CAST(SERVERPROPERTY('Edition') AS nvarchar(128)) AS Edition, "
                          "CAST(SERVERPROPERTY('EngineEdition') AS int) AS EngineEdition, "
                          "CAST(SERVERPROPERTY('ProductVersion') AS nvarchar(128)) AS "
                          "ProductVersion");
}

QString copyOnlyBackupStatement(const QString& databaseName, const QString& path, bool compressed) {
    return "BACKUP DATABASE " + bracketedName(databaseName) + " TO DISK = " + unicodeLiteral(path) +
           " WITH COPY_ONLY, CHECKSUM, INIT, STATS = 10" +
           (compressed ? QStringLiteral(", COMPRESSION") : QString());
}

QString deleteBackupFileStatement(const QString& path) {
    return "EXEC master.dbo.xp_delete_file 0, " + unicodeLiteral(path);
}

QString quoteStringLiteral(const QString& value) {
    QString quoted = value;
    return quoted.replace(u'\'', QStringLiteral("''"));
}

QString unicodeLiteral(const QString& value) {
    return "N'" + quoteStringLiteral(value) + "'";
}

QString bracketedName(const QString& name) {
    return "[" + quoteBracketName(name) + "]";
}

QString quoteBracketName(const QString& name) {
    QString quoted = name;
    return quoted.replace(u']', QStringLiteral("]]"));
}

} // namespace restore
