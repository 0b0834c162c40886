#pragma once

#include <QString>

namespace restore {

enum class AuthMode { Integrated, SqlLogin };
enum class SourceKind { Backup, DataFiles };

// What the operator asked for with one press of the start button, validated. Nothing writes into
// it: what the server tells the run travels beside it.
struct RestoreRequest {
    QString serverName;
    AuthMode authMode = AuthMode::Integrated;
    QString userName;
    QString password;
    SourceKind sourceKind = SourceKind::Backup;
    QString sourcePath;
    QString databaseName;
    QString directory; // always ends with the platform's separator once validated
    QString logSourcePath;
    int backupSet = 1; // the set of the backup device that is restored
    // Attach the data file alone, the server making a new log; only for a database shut down
    // cleanly, which the server itself checks.
    bool rebuildLog = false;
    // After the restore: orphaned users mapped to the logins of their names, and a new owner.
    bool fixUsers = false;
    QString newOwner; // empty: the owner is left as the restore made it
};

} // namespace restore
