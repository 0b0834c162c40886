#pragma once

#include <QString>

#include <optional>

namespace restore {

// A SQL Server version as a login or a backup header gives it: 10.50.6000 is SQL Server 2008 R2.
struct ServerVersion {
    int major = 0;
    int minor = 0;
    int build = 0;

    // "SQL Server 2008 R2 (10.50.6000)"; a version this program does not know shows its number.
    QString described() const;
    bool isNewerThan2000() const { return major > 8; }
};

// "10.50.6000" as ODBC's SQL_DBMS_VER gives it, also with leading zeros or a fourth part.
std::optional<ServerVersion> parseServerVersion(const QString& text);

// Why a server cannot restore a backup, naming both versions.
struct VersionRefusal {
    ServerVersion server;
    ServerVersion backup;

    QString chineseText() const;
    QString englishText() const;
    // Made by a version the server's upgrade no longer starts at, rather than by a newer server.
    bool backupTooOld() const;
};

// A server restores no backup made by a newer server, and only those of the versions its upgrade
// starts at: SQL Server 2000 backups up to SQL Server 2008 R2, 2005 ones up to 2014, 2008 ones on.
std::optional<VersionRefusal> versionRefusal(const ServerVersion& server,
                                             const ServerVersion& backup);

} // namespace restore
