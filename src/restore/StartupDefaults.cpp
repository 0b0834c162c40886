#include "restore/StartupDefaults.h"

#include "platform/PlatformDefaults.h"
#include "platform/ProfileReader.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>

namespace restore {

namespace {

const auto FileName = QStringLiteral(u"\u521D\u59CB\u9ED8\u8BA4\u503C.ini"); // 初始默认值.ini
const auto SectionName = QStringLiteral(u"\u521D\u59CB\u9ED8\u8BA4\u503C");  // 初始默认值
const auto SourcePathKey = QStringLiteral(u"\u6062\u590D\u6765\u6E90\u6587\u4EF6"); // 恢复来源文件

} // namespace

StartupDefaults loadStartupDefaults(const QString& executableDir, const DefaultsCaptions& captions,
                                    const QDateTime& now) {
    const QString path = QDir(executableDir).filePath(FileName);
    if (!QFileInfo(path).isFile()) {
        return {QStringLiteral("NEW_DB") + QLocale::c().toString(now, u"_yyMMdd_HH_mm_ss"),
                {},
                false,
                {}};
    }
    return readDefaultsFile(path, captions);
}

StartupDefaults readDefaultsFile(const QString& filePath, const DefaultsCaptions& captions) {
    const auto file = platform::ProfileReader::fromFile(filePath);
    QStringList cutKeys;
    const auto read = [&](const QString& key, const QString& fallback) {
        if (file.isCut(SectionName, key)) {
            cutKeys.append(key);
        }
        return file.value(SectionName, key, fallback);
    };
    PresetFields preset;
    preset.serverName = read(captions.serverLabel, QStringLiteral("(local)"));
    preset.authMode =
        read(captions.authLabel, captions.integratedCaption) == captions.integratedCaption
            ? AuthMode::Integrated
            : AuthMode::SqlLogin;
    preset.userName = read(captions.userLabel, QStringLiteral("sa"));
    preset.password = read(captions.passwordLabel, {});
    preset.sourceKind = read(captions.sourceLabel, captions.backupCaption) == captions.backupCaption
                            ? SourceKind::Backup
                            : SourceKind::DataFiles;
    preset.sourcePath = read(SourcePathKey, {});
    const QString databaseName = read(captions.databaseLabel, {});
    // Without the key the field keeps its initial text, so the file still leads to a restore.
    preset.directory = read(captions.directoryLabel, platform::defaultDatabaseDirectory());
    return {databaseName, preset, file.hasSection(SectionName), cutKeys};
}

DefaultsCaptions designCaptions() {
    return {
        .serverLabel = QStringLiteral("服务器电脑名"),
        .userLabel = QStringLiteral("数据库用户名"),
        .passwordLabel = QStringLiteral("数据库--密码"),
        .authLabel = QStringLiteral("认证方式"),
        .sourceLabel = QStringLiteral("来源类型"),
        .databaseLabel = QStringLiteral("新的数据库名称"),
        .directoryLabel = QStringLiteral("数据库存放目录"),
        .integratedCaption = QStringLiteral("Window身份认证"),
        .backupCaption = QStringLiteral("BAK备份文件"),
    };
}

QString designServerName() {
    return QStringLiteral("(local)");
}

QString designUserName() {
    return QStringLiteral("sa");
}

} // namespace restore
