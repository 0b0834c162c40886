#pragma once

#include <QString>

namespace restore {

enum class AuthMode { Integrated, SqlLogin };
enum class SourceKind { Backup, DataFiles };

// The values of one press of the start button, built afresh from the window's fields.
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
    QString dataLogicalName; // read from the backup by the run
    QString logLogicalName;
};

} // namespace restore
