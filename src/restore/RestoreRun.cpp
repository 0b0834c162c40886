#include "restore/RestoreRun.h"

#include "platform/FileSystem.h"
#include "platform/ServerPath.h"
#include "restore/BackupFileList.h"
#include "restore/StatementTexts.h"

#include <QRegularExpression>
#include <QScopeGuard>

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
constexpr int RestoredPercentMessage = 3211;

// The first whole number of a 3211 report, so that a server in any language is understood.
std::optional<int> restoredPercent(const db::ServerMessage& message) {
    static const QRegularExpression wholeNumber(QStringLiteral("[0-9]+"));
    if (message.number != RestoredPercentMessage) {
        return std::nullopt;
    }
    bool isNumber = false;
    const int percent = wholeNumber.match(message.text).captured().toInt(&isNumber);
    return isNumber ? std::optional(percent) : std::nullopt;
}

const QString ExistingTarget = QStringLiteral("目标文件已存在:");

QString mayRemainText(const QString& databaseName) {
    return QStringLiteral(" 连接已断开，数据库 %1 可能仍然存在。").arg(databaseName);
}

} // namespace

// The create names every data and log target, so the server refuses any that exists. A full-text
// catalog is made only by the restore, whose REPLACE would overwrite whatever lies there, so its
// target is looked for first: here, or by the server when only the server can see it.
void RestoreRun::refuseExistingCatalogTargets(const RestoreRequest& request) {
    for (const FileMove& move : otherFileMoves(request)) {
        if (move.type == u"D" || move.type == u"L") {
            continue;
        }
        bool exists = false;
        if (platform::isServerOnlyPath(move.target)) {
            openQuery(buildFileExistStatement(move.target));
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

bool RestoreRun::run(RestoreRequest& request) {
    versionRefusal_.reset();
    view_.clearProgressLines();
    AddProgressLine(ConnectLine);
    qry_.close();
    qry_.setConnectionString(buildConnectionString(request));
    qry_.setStatement(buildStatement(StatementKind::ConnectionTest, request));
    try {
        openConnectionTest();
        MarkProgressOK();
        if (request.sourceKind == SourceKind::Backup) {
            if (!restoreBackup(request)) {
                return false;
            }
        } else {
            attachDataFiles(request);
        }
        view_.showNotice(SuccessNotice, NoticeKind::Information);
        view_.setOuterWidth(WidenedWindowWidth);
        return true;
    } catch (const db::QueryError& error) {
        view_.showNotice(FailureNotice + error.message(), NoticeKind::Error);
        return false;
    }
}

// A server newer than SQL Server 2000 would refuse a backup it cannot upgrade only at the restore,
// after the create; SQL Server 2000 itself refuses a newer backup at its file list.
void RestoreRun::refuseBackupOfIncompatibleVersion(const RestoreRequest& request) {
    const std::optional<ServerVersion> server = parseServerVersion(qry_.serverVersion());
    if (!server || !server->isNewerThan2000()) {
        return;
    }
    openQuery(buildStatement(StatementKind::BackupSets, request));
    for (qry_.first(); !qry_.atEnd(); qry_.next()) {
        if (qry_.fieldText(QStringLiteral("Position")).toInt() != request.backupSet) {
            continue;
        }
        const ServerVersion backup{qry_.fieldText(QStringLiteral("SoftwareVersionMajor")).toInt(),
                                   qry_.fieldText(QStringLiteral("SoftwareVersionMinor")).toInt(),
                                   qry_.fieldText(QStringLiteral("SoftwareVersionBuild")).toInt()};
        versionRefusal_ = restore::versionRefusal(*server, backup);
        if (versionRefusal_) {
            throw db::QueryError(versionRefusal_->chineseText());
        }
    }
}

bool RestoreRun::restoreBackup(RestoreRequest& request) {
    refuseBackupOfIncompatibleVersion(request);
    openQuery(buildStatement(StatementKind::FileList, request));
    if (!takeFileList(readFileList(qry_), request)) {
        view_.showNotice(NoLogicalNamesNotice, NoticeKind::Error);
        return false;
    }
    refuseExistingCatalogTargets(request);
    AddProgressLine(CreateLine);
    executeStatement(buildStatement(StatementKind::Create, request));
    MarkProgressOK();
    try {
        if (request.laterSteps.isEmpty()) {
            AddProgressLine(RestoreLine);
            executeShowingPercent(RestoreLine, buildStatement(StatementKind::Restore, request));
            MarkProgressOK();
        } else {
            restoreSequence(request);
        }
    } catch (...) {
        dropCreatedDatabase(request);
        throw;
    }
    return true;
}

void RestoreRun::restoreSequence(const RestoreRequest& request) {
    const auto logs =
        std::count_if(request.laterSteps.begin(), request.laterSteps.end(),
                      [](const SequenceStep& step) { return step.kind == StepKind::Log; });
    qsizetype log = 0;
    for (qsizetype step = 0; step <= request.laterSteps.size(); ++step) {
        QString line = RestoreLine;
        if (step > 0) {
            line = request.laterSteps.at(step - 1).kind == StepKind::Differential
                       ? DifferentialLine
                       : LogLine.arg(++log).arg(logs);
        }
        AddProgressLine(line);
        executeShowingPercent(line, buildSequenceStatement(request, step));
        MarkProgressOK();
    }
}

// Only on the connection that created it: a fresh one could meet a database of that name that
// someone else made in between. Nothing is retried.
void RestoreRun::dropCreatedDatabase(const RestoreRequest& request) {
    created_ = CreatedDatabase::MayRemain;
    AddProgressLine(DropLine);
    if (!qry_.isConnected()) {
        view_.replaceLastProgressLine(DropLine + mayRemainText(request.databaseName));
        showProgress();
        return;
    }
    try {
        qry_.resumeAfterCancel();
        executeStatement(buildStatement(StatementKind::Drop, request));
    } catch (const db::QueryError& error) {
        view_.replaceLastProgressLine(DropLine + u' ' + error.message());
        showProgress();
        return;
    }
    created_ = CreatedDatabase::Dropped;
    MarkProgressOK();
}

void RestoreRun::attachDataFiles(const RestoreRequest& request) {
    AddProgressLine(AttachLine);
    executeStatement(buildStatement(StatementKind::Attach, request));
    MarkProgressOK();
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
        if (const std::optional<int> percent = restoredPercent(message)) {
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
