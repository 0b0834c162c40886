#include "cli/FieldDefaults.h"

#include "cli/PasswordPrompt.h"
#include "platform/PlatformDefaults.h"
#include "platform/ProfileReader.h"
#include "platform/WindowsFormPath.h"
#include "restore/RequestValidation.h"
#include "restore/StartupDefaults.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace cli {

namespace {

using restore::Field;

// A relative path means what it means in the shell: below the current folder. One in Windows form
// names a place on the server and stays as typed.
QString absoluteInShell(const QString& path) {
    if (restore::trimBlanksAndControls(path).isEmpty() || platform::isWindowsFormPath(path) ||
        !QFileInfo(path).isRelative()) {
        return path;
    }
    return QDir::cleanPath(QDir::current().absoluteFilePath(path));
}

} // namespace

std::optional<QString> fillFields(CommandLine& commandLine, ConsoleView& view) {
    view.setFieldText(Field::b1, restore::designServerName());
    view.setFieldText(Field::b2, restore::designUserName());
    view.setFieldText(Field::e2, platform::defaultDatabaseDirectory());

    bool passwordFromFile = false;
    if (commandLine.defaultsFile) {
        const QString& path = *commandLine.defaultsFile;
        if (!QFileInfo(path).isFile()) {
            return QStringLiteral("找不到默认值文件 / no defaults file at: ") + path;
        }
        if (QFile file(path); !file.open(QIODevice::ReadOnly)) {
            return QStringLiteral("无法读取默认值文件 / cannot read the defaults file: ") + path;
        }
        const restore::StartupDefaults defaults =
            restore::readDefaultsFile(path, restore::designCaptions());
        // The window ignores such a file quietly; here the operator named it.
        if (!defaults.sectionFound) {
            return QStringLiteral(
                       "默认值文件中没有 [初始默认值] 节 / no [初始默认值] section in the "
                       "defaults file: %1\n"
                       "请以 GBK（代码页 936）或带 BOM 的 UTF-8 保存 / save it in GBK "
                       "(code page 936) or in UTF-8 with a byte-order mark")
                .arg(path);
        }
        for (const QString& key : defaults.cutKeys) {
            view.showNotice(
                QStringLiteral("默认值文件中 %1 的值超过 %2 字节，已截断 / the value of "
                               "%1 in the defaults file is longer than %2 bytes and "
                               "was cut")
                    .arg(key, QString::number(platform::ProfileReader::MaxValueBytes)),
                restore::NoticeKind::Information);
        }
        const restore::PresetFields& preset = *defaults.preset;
        view.setFieldText(Field::b1, preset.serverName);
        view.auth = preset.authMode;
        view.setFieldText(Field::b2, preset.userName);
        view.setFieldText(Field::b3, preset.password);
        view.source = preset.sourceKind;
        view.setFieldText(Field::d2, preset.sourcePath);
        view.setFieldText(Field::e1, defaults.databaseName);
        view.setFieldText(Field::e2, preset.directory);
        passwordFromFile = true;
    }

    if (commandLine.server) {
        view.setFieldText(Field::b1, *commandLine.server);
    }
    if (commandLine.windowsAuth) {
        view.auth = restore::AuthMode::Integrated;
    }
    if (commandLine.user) {
        view.auth = restore::AuthMode::SqlLogin;
        view.setFieldText(Field::b2, *commandLine.user);
        passwordFromFile = false;
    }
    if (!commandLine.backups.isEmpty()) {
        view.source = restore::SourceKind::Backup;
        view.setFieldText(Field::d2, commandLine.backups.first());
    }
    if (commandLine.mdf) {
        view.source = restore::SourceKind::DataFiles;
        view.setFieldText(Field::d2, *commandLine.mdf);
    }
    if (commandLine.name) {
        view.setFieldText(Field::e1, *commandLine.name);
    }
    if (commandLine.dir) {
        view.setFieldText(Field::e2, *commandLine.dir);
    }
    for (const Field path : {Field::d2, Field::e2}) {
        view.setFieldText(path, absoluteInShell(view.fieldText(path)));
    }
    if (commandLine.backups.isEmpty() && !commandLine.mdf &&
        view.source == restore::SourceKind::Backup &&
        !restore::trimBlanksAndControls(view.fieldText(Field::d2)).isEmpty()) {
        commandLine.backups = {view.fieldText(Field::d2)};
    }

    if (view.auth != restore::AuthMode::SqlLogin) {
        return std::nullopt;
    }
    // The password never travels as an option value, which other users of the machine can see.
    if (qEnvironmentVariableIsSet("QUARN_SQL_PASSWORD")) {
        view.setFieldText(Field::b3, qEnvironmentVariable("QUARN_SQL_PASSWORD"));
    } else if (!passwordFromFile) {
        const auto password = cli::promptPassword(QStringLiteral("数据库--密码 / password: "));
        if (!password) {
            return QStringLiteral("没有输入密码 / no password was given");
        }
        view.setFieldText(Field::b3, *password);
    }
    return std::nullopt;
}

} // namespace cli
