#include "restore/RestoreRun.h"

#include "platform/FileSystem.h"
#include "platform/ServerPath.h"
#include "restore/BackupHeaders.h"
#include "restore/ProgressPercent.h"
#include "restore/StatementTexts.h"
#include "restore/TargetPaths.h"

#include <QScopeGuard>
#include <QSet>

#include <algorithm>
#include <optional>

namespace restore {

namespace {

const QString ConnectLine = QStringLiteral("尝试连接到MSSQL数据库... ...");
const QString CreateLine = QStringLiteral("正在创建新的数据库...");
const QString RestoreLine = QStringLiteral("正在恢复数据库...");
const QString DifferentialLine = QStringLiteral("正在恢复差异备份...");
const QString LogLine = QStringLiteral("正在恢复日志备份 %1/%2...");
const QString AttachLine = QStringLiteral("正在附加数据库...");
const QString DropLine = QStringLiteral("正在删除未完成恢复的数据库...");
const QString OkMark = QStringLiteral(" OK！");
const QString SuccessNotice = QStringLiteral("恭喜您，数据库已成功恢复了！！！");
const QString NoLogicalNamesNotice = QStringLiteral("恢复过程出错,无法读到逻辑数据和日志的名称.");
const QString FailureNotice = QStringLiteral("恢复过程出错,具体错误信息是:\r\r");
constexpr int LeftLoadingMessage = 4327;
const QString UsersNotReadLine = QStringLiteral("无法读取数据库用户: ");
const QString MapUserLine = QStringLiteral("正在将用户 %1 映射到同名登录...");
const QString OwnerLine = QStringLiteral("正在将数据库所有者改为 %1...");
const QString NotOnlineText = QStringLiteral("恢复结束后数据库 %1 的状态是 %2，而不是 ONLINE。");

// A newer server upgrades the attached files in place, and nothing downgrades them again.
QString upgradeQuestion(const ServerVersion& server) {
    return QStringLiteral("服务器 %1 附加这对数据文件时会就地把它们升级到自己的格式，"
                          "此后 SQL Server 2000 再也不能打开它们，也无法降级。\r\r"
                          "若要保留能在 SQL Server 2000 上使用的文件，请先复制这对文件再附加副本，"
                          "或者改用 SQL Server 2000 的备份（.bak）恢复。\r\r"
                          "仍要附加并升级这对文件吗？")
        .arg(server.described());
}

const QString ExistingTarget = QStringLiteral("目标文件已存在:");

QString mayRemainText(const QString& databaseName) {
    return QStringLiteral(" 连接已断开，数据库 %1 可能仍然存在。").arg(databaseName);
}

QString replacedText(const QString& databaseName) {
    return QStringLiteral(" 数据库 %1 已不是本次恢复创建的数据库，未删除。").arg(databaseName);
}

// A file's name as the server may spell it: SQL Server 2000 pads it to its nchar(260), and a
// Windows server takes either separator and any letter case.
QString comparablePath(const QString& path) {
    QString comparable = path;
    while (comparable.endsWith(u' ')) {
        comparable.chop(1);
    }
    return comparable.replace(u'/', u'\\').toCaseFolded();
}

} // namespace

// The create names every data and log target of the full backup, so the server refuses any that
// exists. A full-text catalog, or a file only a later set holds, is made only by its restore, whose
// REPLACE would overwrite whatever lies there, so its target is looked for first: here, or by the
// server when only the server can see it.
void RestoreRun::refuseExistingCatalogTargets(const RestoreRequest& request,
                                              const BackupContents& contents) {
    for (const FileMove& move : otherFileMoves(request, contents)) {
        if ((move.type == u"D" || move.type == u"L") && move.step == 0) {
            continue;
        }
        bool exists = false;
        if (platform::isServerOnlyPath(move.target)) {
            openQuery(fileExistStatement(move.target));
            exists = qry_.fieldText(QStringLiteral("File Exists")) == u"1" ||
                     qry_.fieldText(QStringLiteral("File is a Directory")) == u"1";
        } else {
            exists = platform::fileExists(move.target);
        }
        if (exists) {
            throw db::QueryError(ExistingTarget + move.target);
        }
    }
}

RunOutcome RestoreRun::run(const RestoreRequest& request) {
    return run(request, singleSetPlan(request.sourcePath, request.backupSet));
}

RunOutcome RestoreRun::run(const RestoreRequest& request, const RestorePlan& plan) {
    versionRefusal_.reset();
    contents_.reset();
    refusal_.reset();
    upgradeDeclined_ = false;
    changing_ = false;
    kept_ = false;
    users_ = {};
    leftToDo_.clear();
    bool connecting = true;
    view_.clearProgressLines();
    AddProgressLine(ConnectLine);
    qry_.close();
    qry_.setConnectionString(buildConnectionString(request));
    qry_.setStatement(connectionTestStatement());
    try {
        openConnectionTest();
        connecting = false;
        MarkProgressOK();
        if (request.sourceKind == SourceKind::Backup) {
            if (!restoreBackup(request, plan)) {
                return outcome(RunOutcome::Kind::Refused);
            }
        } else if (!attachDataFiles(request)) {
            return outcome(RunOutcome::Kind::Refused);
        }
        afterRestore(request);
        view_.showNotice(SuccessNotice, NoticeKind::Information);
        view_.setOuterWidth(WidenedWindowWidth);
        return outcome(RunOutcome::Kind::Succeeded);
    } catch (const db::QueryError& error) {
        showFailure(std::current_exception());
        RunOutcome failed =
            outcome(changing_ ? RunOutcome::Kind::Failed : RunOutcome::Kind::Refused);
        failed.message = error.message();
        failed.sqlState = error.sqlState();
        failed.nativeError = error.nativeError();
        failed.whileConnecting = connecting;
        return failed;
    }
}

RunOutcome RestoreRun::outcome(RunOutcome::Kind kind) const {
    RunOutcome ended;
    ended.kind = kind;
    ended.versionRefusal = versionRefusal_;
    ended.created = created_;
    ended.refusal = refusal_;
    ended.upgradeDeclined = upgradeDeclined_;
    ended.users = users_;
    ended.leftToDo = leftToDo_;
    return ended;
}

void RestoreRun::showFailure(const std::exception_ptr& failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const db::QueryError& error) {
        view_.showNotice(FailureNotice + error.message(), NoticeKind::Error);
    } catch (...) {
        // A cancel has no notice of the run's own.
    }
}

// A server newer than SQL Server 2000 would refuse a backup it cannot upgrade only at the restore,
// after the create; SQL Server 2000 itself refuses a newer backup at its file list. Every set of a
// sequence is looked at, each file read once.
void RestoreRun::refuseBackupOfIncompatibleVersion(const RestorePlan& plan) {
    const std::optional<ServerVersion> server = parseServerVersion(qry_.serverVersion());
    if (!server || !server->isNewerThan2000()) {
        return;
    }
    QList<std::pair<QString, int>> sets;
    QStringList files;
    for (const BackupSetHeader& step : plan.steps) {
        sets.append({step.file, step.position});
        if (!files.contains(step.file)) {
            files.append(step.file);
        }
    }
    for (const QString& file : files) {
        for (const BackupSetHeader& set : readBackupHeaders(qry_, file)) {
            if (!sets.contains({file, set.position})) {
                continue;
            }
            versionRefusal_ = restore::versionRefusal(*server, set.madeBy);
            if (versionRefusal_) {
                throw db::QueryError(versionRefusal_->chineseText());
            }
        }
    }
}

bool RestoreRun::restoreBackup(const RestoreRequest& request, const RestorePlan& plan) {
    refuseBackupOfIncompatibleVersion(plan);
    const BackupSetHeader& full = plan.steps.first();
    openQuery(fileListStatement(full.file, full.position));
    std::optional<BackupContents> contents = contentsOf(readFileList(qry_));
    if (!contents) {
        view_.showNotice(NoLogicalNamesNotice, NoticeKind::Error);
        return false;
    }
    contents->addedFiles = readAddedFiles(plan, *contents);
    refuseExistingCatalogTargets(request, *contents);
    contents_ = contents;
    if (!readyForFirstChange()) {
        return false;
    }
    AddProgressLine(CreateLine);
    executeCreating(createStatement(request, *contents), request);
    MarkProgressOK();
    try {
        restoreSteps(request, *contents, plan);
        // A one-set restore with recovery either recovers or fails.
        if (plan.steps.size() > 1) {
            confirmOnline(request);
        }
    } catch (...) {
        const std::exception_ptr failure = std::current_exception();
        try {
            dropCreatedDatabase(request, *contents);
        } catch (...) {
            // A cancel of the clean-up: the reason the restore failed is still told.
            showFailure(failure);
            throw;
        }
        throw;
    }
    return true;
}

// A file added to the database after the full backup is held by a later set only; restored without
// a MOVE it would land at its original path, outside the target folder.
QList<AddedFile> RestoreRun::readAddedFiles(const RestorePlan& plan,
                                            const BackupContents& contents) {
    QSet<QString> known{contents.dataLogicalName.toCaseFolded(),
                        contents.logLogicalName.toCaseFolded()};
    for (const BackupFile& file : contents.otherFiles) {
        known.insert(file.logicalName.toCaseFolded());
    }
    QList<AddedFile> added;
    for (qsizetype step = 1; step < plan.steps.size(); ++step) {
        const BackupSetHeader& set = plan.steps.at(step);
        openQuery(fileListStatement(set.file, set.position));
        for (const BackupFile& file : readFileList(qry_)) {
            if (!known.contains(file.logicalName.toCaseFolded())) {
                known.insert(file.logicalName.toCaseFolded());
                added.append({step, file});
            }
        }
    }
    return added;
}

// RESTORE WITH RECOVERY of one file either recovers or fails; a sequence's stop point past its
// last log's end leaves the database loading with only an informational 4327. So the server is
// asked, on every version, what state the database is in.
void RestoreRun::confirmOnline(const RestoreRequest& request) {
    if (!leftLoading_.isEmpty()) {
        throw db::QueryError(leftLoading_);
    }
    openQuery(databaseStateStatement(request.databaseName));
    // A server always answers one row, NULL for no such database; a review that ran nothing
    // answers none.
    if (qry_.atEnd()) {
        return;
    }
    const QString state = qry_.fieldText(QStringLiteral("Status"));
    if (state != u"ONLINE") {
        throw db::QueryError(NotOnlineText.arg(request.databaseName, state));
    }
}

// The server makes a database whole or not at all, but of a statement cut off by a cancel or a
// lost connection nobody can say which.
void RestoreRun::executeCreating(const QString& statement, const RestoreRequest& request) {
    changing_ = true;
    try {
        executeStatement(statement);
    } catch (const db::QueryError&) {
        if (!qry_.isConnected()) {
            created_ = CreatedDatabase::MayExist;
            view_.replaceLastProgressLine(view_.lastProgressLine() +
                                          mayRemainText(request.databaseName));
            showProgress();
        }
        throw;
    } catch (...) {
        created_ = CreatedDatabase::MayExist;
        throw;
    }
}

void RestoreRun::restoreSteps(const RestoreRequest& request, const BackupContents& contents,
                              const RestorePlan& plan) {
    leftLoading_.clear();
    const auto logs =
        std::count_if(plan.steps.begin(), plan.steps.end(),
                      [](const BackupSetHeader& set) { return set.type == BackupSetType::Log; });
    qsizetype log = 0;
    for (qsizetype step = 0; step < plan.steps.size(); ++step) {
        QString line = RestoreLine;
        if (step > 0) {
            line = plan.steps.at(step).type == BackupSetType::Log ? LogLine.arg(++log).arg(logs)
                                                                  : DifferentialLine;
        }
        AddProgressLine(line);
        executeShowingPercent(line, restoreStatement(request, contents, plan, step));
        MarkProgressOK();
    }
}

// Only on the connection that created it, and only while the database of that name is still the
// one this run made: another session may have dropped ours and made its own meanwhile. Nothing is
// retried.
void RestoreRun::dropCreatedDatabase(const RestoreRequest& request,
                                     const BackupContents& contents) {
    created_ = CreatedDatabase::MayRemain;
    AddProgressLine(DropLine);
    if (!qry_.isConnected()) {
        view_.replaceLastProgressLine(DropLine + mayRemainText(request.databaseName));
        showProgress();
        return;
    }
    try {
        qry_.resumeAfterCancel();
        if (!isStillOurs(request, contents)) {
            created_ = CreatedDatabase::Replaced;
            view_.replaceLastProgressLine(DropLine + replacedText(request.databaseName));
            showProgress();
            return;
        }
        executeStatement(dropStatement(request.databaseName));
    } catch (const db::QueryError& error) {
        view_.replaceLastProgressLine(DropLine + u' ' + error.message());
        showProgress();
        return;
    }
    created_ = CreatedDatabase::Dropped;
    MarkProgressOK();
}

CreatedDatabase RestoreRun::removeLeftover(const RestoreRequest& request) {
    if ((created_ != CreatedDatabase::MayRemain && created_ != CreatedDatabase::MayExist) ||
        !contents_) {
        return created_;
    }
    try {
        qry_.resumeAfterCancel();
        openQuery(connectionTestStatement());
        qry_.close();
    } catch (const db::QueryError&) {
        return created_;
    }
    dropCreatedDatabase(request, *contents_);
    return created_;
}

// Ours is a database whose every file lies where this run's statements put it.
bool RestoreRun::isStillOurs(const RestoreRequest& request, const BackupContents& contents) {
    QSet<QString> targets{comparablePath(targetDataFilePath(request)),
                          comparablePath(targetLogFilePath(request))};
    for (const FileMove& move : otherFileMoves(request, contents)) {
        targets.insert(comparablePath(move.target));
    }
    openQuery(databaseFilesStatement(request.databaseName));
    bool any = false;
    for (qry_.first(); !qry_.atEnd(); qry_.next()) {
        if (!targets.contains(comparablePath(qry_.fieldText(QStringLiteral("filename"))))) {
            return false;
        }
        any = true;
    }
    return any;
}

bool RestoreRun::readyForFirstChange() const {
    return !beforeFirstChange_ || beforeFirstChange_();
}

// False when the run ends before the attach: the server lacks the log, the operator keeps the
// files from an upgrade, or the step before the first change said no.
bool RestoreRun::attachDataFiles(const RestoreRequest& request) {
    const std::optional<ServerVersion> server = parseServerVersion(qry_.serverVersion());
    const bool newer = server && server->isNewerThan2000();
    if (!request.rebuildLog && !serverHasLogFile(request)) {
        return false;
    }
    if (newer && !view_.askQuestion(upgradeQuestion(*server))) {
        upgradeDeclined_ = true;
        return false;
    }
    if (!readyForFirstChange()) {
        return false;
    }
    AddProgressLine(AttachLine);
    executeCreating(request.rebuildLog ? attachRebuildingLogStatement(request, newer)
                                       : attachStatement(request),
                    request);
    MarkProgressOK();
    return true;
}

// A log only the server can see is looked for by the server before the attach, so that it is
// refused as a missing log here is, instead of by the server's error after the attach was sent.
bool RestoreRun::serverHasLogFile(const RestoreRequest& request) {
    if (!platform::isServerOnlyPath(request.logSourcePath)) {
        return true;
    }
    openQuery(fileExistStatement(request.logSourcePath));
    if (!qry_.atEnd() && qry_.fieldText(QStringLiteral("File Exists")) == u"1") {
        return true;
    }
    refusal_ = missingLogFile(request.logSourcePath);
    view_.showNotice(refusal_->notice, refusal_->kind);
    return false;
}

// The database is there to stay: what follows reads its users and, when asked, mends them. A
// step the server refuses is told and left to do; it never undoes the restore.
void RestoreRun::afterRestore(const RestoreRequest& request) {
    kept_ = true;
    try {
        openQuery(databaseUsersStatement(request.databaseName));
        users_ = readDatabaseUsers(qry_);
    } catch (const db::QueryError& error) {
        AddProgressLine(UsersNotReadLine + error.message());
        leaveUndone(LeftToDo::Kind::UsersNotRead, request.databaseName, error.message());
        return;
    }
    if (users_.anythingFound()) {
        AddProgressLine(users_.chineseLine());
    }
    const ServerVersion server =
        parseServerVersion(qry_.serverVersion()).value_or(ServerVersion{8});
    if (request.fixUsers) {
        mapOrphanedUsers(request, server);
    }
    if (!request.newOwner.isEmpty()) {
        changeOwner(request, server);
    }
}

// Only to a login of the user's own name; a user without one keeps its SID until the operator
// makes that login.
void RestoreRun::mapOrphanedUsers(const RestoreRequest& request, const ServerVersion& server) {
    for (const OrphanedUser& user : users_.orphaned) {
        if (!user.sameNameLogin) {
            leaveUndone(LeftToDo::Kind::NoLogin, user.name, user.sid);
            continue;
        }
        AddProgressLine(MapUserLine.arg(user.name));
        try {
            executeStatement(mapUserStatement(server, request.databaseName, user.name));
            MarkProgressOK();
        } catch (const db::QueryError& error) {
            view_.replaceLastProgressLine(view_.lastProgressLine() + u' ' + error.message());
            showProgress();
            leaveUndone(LeftToDo::Kind::UserNotMapped, user.name, error.message());
        }
    }
}

void RestoreRun::changeOwner(const RestoreRequest& request, const ServerVersion& server) {
    AddProgressLine(OwnerLine.arg(request.newOwner));
    try {
        executeStatement(ownerStatement(server, request.databaseName, request.newOwner));
        MarkProgressOK();
        return;
    } catch (const db::QueryError& error) {
        view_.replaceLastProgressLine(view_.lastProgressLine() + u' ' + error.message());
        showProgress();
        if (!isOwnerAlreadyUser(error.nativeError())) {
            leaveUndone(LeftToDo::Kind::OwnerNotSet, request.newOwner, error.message());
            return;
        }
    }
    // Which user it is, so that the operator knows what to drop.
    QString user = request.newOwner;
    try {
        openQuery(loginsUserStatement(request.databaseName, request.newOwner));
        if (!qry_.atEnd()) {
            user = qry_.fieldText(QStringLiteral("name"));
        }
    } catch (const db::QueryError&) {
        // The refusal is told all the same, naming the login.
    }
    leaveUndone(LeftToDo::Kind::OwnerIsUser, request.newOwner, user);
}

void RestoreRun::leaveUndone(LeftToDo::Kind kind, const QString& name, const QString& detail) {
    leftToDo_.append({kind, name, detail});
}

// A connection kept from an earlier run dies with a server restart. Only the connection test,
// which changes nothing, is sent once more, on a fresh connection; nothing else is ever repeated.
void RestoreRun::openConnectionTest() {
    try {
        qry_.open();
    } catch (const db::KeptConnectionLost&) {
        qry_.open();
    }
}

void RestoreRun::openQuery(const QString& statement) {
    qry_.close();
    qry_.setStatement(statement);
    qry_.open();
}

void RestoreRun::executeStatement(const QString& statement) {
    qry_.close();
    qry_.setStatement(statement);
    qry_.execute();
}

// The restore's line shows its latest percent while it runs; done or failed, it reads as before.
void RestoreRun::executeShowingPercent(const QString& line, const QString& statement) {
    qry_.setMessageObserver([this, line](const db::ServerMessage& message) {
        if (message.number == LeftLoadingMessage) {
            leftLoading_ = message.text;
        }
        if (const std::optional<int> percent = reportedPercent(message)) {
            view_.replaceLastProgressLine(line + QStringLiteral(" %1%").arg(*percent));
            showProgress();
        }
    });
    const auto plainLine = qScopeGuard([this, line] {
        qry_.setMessageObserver({});
        view_.replaceLastProgressLine(line);
    });
    executeStatement(statement);
}

void RestoreRun::AddProgressLine(const QString& text) {
    view_.appendProgressLine(text);
    showProgress();
}

void RestoreRun::MarkProgressOK() {
    view_.replaceLastProgressLine(view_.lastProgressLine() + OkMark);
    showProgress();
}

void RestoreRun::showProgress() {
    view_.postProgressHomeKey();
    view_.repaintProgressNow();
}

} // namespace restore
