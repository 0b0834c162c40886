#include "restore/ServerVersion.h"

#include <QVersionNumber>

#include <tuple>

namespace restore {

namespace {

QString productName(const ServerVersion& version) {
    struct Release {
        int major;
        int minor;
        const char* name;
    };
    static constexpr Release releases[] = {
        {8, 0, "SQL Server 2000"},      {9, 0, "SQL Server 2005"},  {10, 0, "SQL Server 2008"},
        {10, 50, "SQL Server 2008 R2"}, {11, 0, "SQL Server 2012"}, {12, 0, "SQL Server 2014"},
        {13, 0, "SQL Server 2016"},     {14, 0, "SQL Server 2017"}, {15, 0, "SQL Server 2019"},
        {16, 0, "SQL Server 2022"},
    };
    for (const Release& release : releases) {
        if (release.major == version.major && release.minor == version.minor) {
            return QString::fromLatin1(release.name);
        }
    }
    return QStringLiteral("SQL Server");
}

// The oldest major version whose backups a server of this major version still upgrades.
int oldestRestorableMajor(int serverMajor) {
    if (serverMajor <= 10) {
        return 8;
    }
    return serverMajor <= 12 ? 9 : 10;
}

} // namespace

QString ServerVersion::described() const {
    return QStringLiteral("%1 (%2.%3.%4)").arg(productName(*this)).arg(major).arg(minor).arg(build);
}

std::optional<ServerVersion> parseServerVersion(const QString& text) {
    const QVersionNumber number = QVersionNumber::fromString(text.trimmed());
    if (number.segmentCount() < 3) {
        return std::nullopt;
    }
    return ServerVersion{number.majorVersion(), number.minorVersion(), number.microVersion()};
}

bool VersionRefusal::backupTooOld() const {
    return backup.major < oldestRestorableMajor(server.major);
}

QString VersionRefusal::chineseText() const {
    QString text = QStringLiteral("服务器 %1 不能恢复 %2 的备份，未做任何更改。")
                       .arg(server.described(), backup.described());
    if (backupTooOld()) {
        text += QStringLiteral("请先将它恢复到能升级它的版本（SQL Server 2000 的备份：SQL Server "
                               "2005、2008 或 2008 R2），再从那里备份。");
    }
    return text;
}

QString VersionRefusal::englishText() const {
    QString text = QStringLiteral("The server, %1, cannot restore a backup made by %2; nothing was "
                                  "changed.")
                       .arg(server.described(), backup.described());
    if (backupTooOld()) {
        text += QStringLiteral(" Restore it first on a version that upgrades it (a SQL Server 2000 "
                               "backup: SQL Server 2005, 2008 or 2008 R2) and back it up there.");
    }
    return text;
}

std::optional<VersionRefusal> versionRefusal(const ServerVersion& server,
                                             const ServerVersion& backup) {
    const VersionRefusal refusal{server, backup};
    const bool newerBackup =
        std::tie(backup.major, backup.minor) > std::tie(server.major, server.minor);
    if (newerBackup || refusal.backupTooOld()) {
        return refusal;
    }
    return std::nullopt;
}

} // namespace restore
