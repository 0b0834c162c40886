#include "restore/RequestValidation.h"

#include "platform/FileSystem.h"
#include "platform/PlatformDefaults.h"
#include "platform/ServerPath.h"
#include "restore/TargetPaths.h"

namespace restore {

namespace {

bool isBlank(const QString& text) {
    return trimBlanksAndControls(text).isEmpty();
}

// The field shows its trimmed text from now on, whichever later check fails.
QString trimInPlace(ValidationView& view, Field field) {
    const QString text = trimBlanksAndControls(view.fieldText(field));
    view.setFieldText(field, text);
    return text;
}

// True when the directory exists, or would once a restore made it.
bool prepareDirectory(ValidationView& view, const QString& directory, MissingDirectory missing) {
    if (missing == MissingDirectory::Create) {
        platform::createDirectoryLevels(directory);
        return platform::directoryExists(directory);
    }
    if (platform::directoryExists(directory)) {
        return true;
    }
    if (!platform::directoryCanBeMade(directory)) {
        return false;
    }
    if (missing == MissingDirectory::Leave) {
        return true;
    }
    view.showNotice(QStringLiteral("恢复时将创建目录 / a restore would create the folder: ") +
                        directory,
                    NoticeKind::Information);
    return true;
}

} // namespace

void presentRefusal(ValidationView& view, const Refusal& refusal) {
    if (!refusal.notice.isEmpty()) {
        view.showNotice(refusal.notice, refusal.kind);
    }
    if (refusal.focus) {
        view.focusField(*refusal.focus);
    }
}

Refusal unusableDirectory(const QString& directory) {
    return {Refusal::Reason::UnusableDirectory, QStringLiteral("您输入的是无效目录"),
            NoticeKind::Information, Field::e2, directory};
}

QString trimBlanksAndControls(const QString& text) {
    const auto isLow = [](QChar c) { return c.unicode() <= 32; };
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isLow(text[begin])) {
        ++begin;
    }
    while (end > begin && isLow(text[end - 1])) {
        end--;
    }
    return text.mid(begin, end - begin);
}

Refusal missingLogFile(const QString& logPath) {
    return {Refusal::Reason::NoLogFile,
            QStringLiteral("在相同目录中，找不到日志文件:") + logPath,
            NoticeKind::Error,
            {},
            logPath};
}

Validated validateConnectionAndSource(ValidationView& view, LogFile log) {
    if (isBlank(view.fieldText(Field::b1))) {
        return Refusal{Refusal::Reason::NoServer,
                       QStringLiteral("请先输入\"服务器电脑名\""),
                       NoticeKind::Error,
                       Field::b1,
                       {}};
    }
    const AuthMode authMode = view.authMode();
    if (authMode == AuthMode::SqlLogin && isBlank(view.fieldText(Field::b2))) {
        return Refusal{Refusal::Reason::NoLogin,
                       QStringLiteral("请先输入\"数据库用户名\"(默认是:sa)"),
                       NoticeKind::Error,
                       Field::b2,
                       {}};
    }
    if (isBlank(view.fieldText(Field::d2))) {
        view.showNotice(QStringLiteral("请选择数据库恢复来源文件"), NoticeKind::Information);
        view.chooseSourceFile();
        if (isBlank(view.fieldText(Field::d2))) {
            return Refusal{Refusal::Reason::NoSource, {}, NoticeKind::Information, {}, {}};
        }
    }
    view.repaintWindowNow();

    RestoreRequest request;
    request.serverName = view.fieldText(Field::b1);
    request.authMode = authMode;
    request.userName = view.fieldText(Field::b2);
    request.password = view.fieldText(Field::b3);
    request.sourceKind = view.sourceKind();
    request.sourcePath = view.fieldText(Field::d2);
    if (request.sourceKind == SourceKind::DataFiles) {
        request.logSourcePath = logSourcePath(request.sourcePath);
        if (log == LogFile::Beside && !platform::isServerOnlyPath(request.logSourcePath) &&
            !platform::fileExists(request.logSourcePath)) {
            return missingLogFile(request.logSourcePath);
        }
    }
    return request;
}

Validated validateRequest(ValidationView& view, MissingDirectory missing, LogFile log) {
    Validated validated = validateConnectionAndSource(view, log);
    auto* request = std::get_if<RestoreRequest>(&validated);
    if (!request) {
        return validated;
    }
    request->databaseName = trimInPlace(view, Field::e1);
    if (request->databaseName.isEmpty()) {
        return Refusal{Refusal::Reason::NoDatabaseName,
                       QStringLiteral("请输入\"新的数据库名称\""),
                       NoticeKind::Information,
                       Field::e1,
                       {}};
    }
    QString directory = trimInPlace(view, Field::e2);
    if (directory.isEmpty()) {
        return Refusal{Refusal::Reason::NoDirectory,
                       QStringLiteral("请输入\"数据库存放目录\""),
                       NoticeKind::Information,
                       Field::e2,
                       {}};
    }
    // A folder that only the server can see is neither made nor tested here: the server's own
    // error tells what is wrong with it.
    const bool serverOnly = platform::isServerOnlyPath(directory);
    const QChar separator = serverOnly ? u'\\' : platform::DirectorySeparator;
    if (!directory.endsWith(separator) && !(serverOnly && directory.endsWith(u'/'))) {
        directory += separator;
        view.setFieldText(Field::e2, directory);
    }
    if (!serverOnly && !prepareDirectory(view, directory, missing)) {
        return unusableDirectory(directory);
    }
    request->directory = directory;
    return validated;
}

} // namespace restore
