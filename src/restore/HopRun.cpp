#include "restore/HopRun.h"

#include "restore/AfterRestoreChecks.h"
#include "restore/ProgressPercent.h"
#include "restore/StatementTexts.h"
#include "restore/TargetPaths.h"

#include <QDateTime>
#include <QScopeGuard>

#include <exception>

namespace restore {

namespace {

const QString BackupLine = QStringLiteral("正在备份到共享文件夹...");
const QString VerifyLine = QStringLiteral("正在校验共享文件夹中的备份...");
const QString OkMark = QStringLiteral(" OK！");
constexpr int ExpressEngine = 4;
constexpr qint64 MegaByte = 1024 * 1024;
// The part of the new name kept in the scratch name, which adds "_hop_" and 14 digits.
constexpr qsizetype ScratchNamePart = 100;

// The hop's RestoreRun ends with a success notice that is not the operator's success; the
// target's is shown once the clean-up is done.
class HeldNotices : public RestoreView {
public:
    HeldNotices(RestoreView& view, QString& held) : view_(view), held_(held) {}

    void clearProgressLines() override {}
    void appendProgressLine(const QString& text) override { view_.appendProgressLine(text); }
    QString lastProgressLine() const override { return view_.lastProgressLine(); }
    void replaceLastProgressLine(const QString& text) override {
        view_.replaceLastProgressLine(text);
    }
    int progressLineCount() const override { return view_.progressLineCount(); }
    void postProgressHomeKey() override { view_.postProgressHomeKey(); }
    void repaintProgressNow() override { view_.repaintProgressNow(); }
    void setOuterWidth(int) override {}
    bool askQuestion(const QString& text) override { return view_.askQuestion(text); }
    void showNotice(const QString& text, NoticeKind kind) override {
        if (kind == NoticeKind::Information) {
            held_ = text;
        } else {
            view_.showNotice(text, kind);
        }
    }

private:
    RestoreView& view_;
    QString& held_;
};

// Connects with the connection test and gives the version the login reported.
std::optional<ServerVersion> connect(db::QueryClient& qry, const RestoreRequest& request) {
    qry.close();
    qry.setConnectionString(buildConnectionString(request));
    qry.setStatement(connectionTestStatement());
    qry.open();
    qry.close();
    return parseServerVersion(qry.serverVersion());
}

QString firstField(db::QueryClient& qry, const QString& statement, const QString& column) {
    qry.close();
    qry.setStatement(statement);
    qry.open();
    const QString value = qry.atEnd() ? QString() : qry.fieldText(column);
    qry.close();
    return value;
}

bool seesFolder(db::QueryClient& qry, const QString& folder) {
    return firstField(qry, fileExistStatement(folder), QStringLiteral("File is a Directory")) ==
           u"1";
}

bool fileExists(db::QueryClient& qry, const QString& path) {
    return firstField(qry, fileExistStatement(path), QStringLiteral("File Exists")) == u"1";
}

// The folder of the hop's master data file, where its own databases go unless told otherwise.
QString masterFolder(db::QueryClient& qry) {
    const QString file = firstField(qry, databaseFilesStatement(QStringLiteral("master")),
                                    QStringLiteral("filename"))
                             .trimmed();
    return file.left(qMax(file.lastIndexOf(u'\\'), file.lastIndexOf(u'/')) + 1);
}

// The data files of the backup's full set as its file list sizes them.
qint64 dataBytes(db::QueryClient& qry, const BackupSetHeader& full) {
    qry.close();
    qry.setStatement(fileListStatement(full.file, full.position));
    qry.open();
    qint64 bytes = 0;
    for (qry.first(); !qry.atEnd(); qry.next()) {
        if (qry.fieldText(QStringLiteral("Type")) != u"L") {
            bytes += qry.fieldText(QStringLiteral("Size")).toLongLong();
        }
    }
    qry.close();
    return bytes;
}

// Express holds 4 GB a database up to SQL Server 2008 and 10 GB from 2008 R2.
qint64 expressCapMegaBytes(const ServerVersion& server) {
    return server.major > 10 || (server.major == 10 && server.minor >= 50) ? 10240 : 4096;
}

// Backup compression came with SQL Server 2008 Enterprise and reached Standard with 2008 R2.
bool compresses(const ServerVersion& server, int engineEdition) {
    constexpr int Standard = 2;
    constexpr int Enterprise = 3;
    if (server.major == 10 && server.minor < 50) {
        return engineEdition == Enterprise;
    }
    return server.major >= 10 && (engineEdition == Standard || engineEdition == Enterprise);
}

HopRefusal refusal(HopRefusal::Reason reason, QStringList data) {
    return {reason, std::move(data)};
}

} // namespace

std::optional<HopRefusal> HopRun::check(const HopRequest& hopRequest, const RestoreRequest& request,
                                        const RestorePlan& plan) {
    using Reason = HopRefusal::Reason;
    const ServerVersion hop = connect(hop_, hopRequest.hop).value_or(ServerVersion{});
    if (hop.major < 9 || hop.major > 10) {
        return refusal(Reason::HopVersion, {hop.described()});
    }
    const ServerVersion target = connect(target_, request).value_or(ServerVersion{});
    bool targetTakesEvery = true;
    for (const BackupSetHeader& set : plan.steps) {
        if (versionRefusal(hop, set.madeBy)) {
            return refusal(Reason::HopCannotRestore, {hop.described(), set.madeBy.described()});
        }
        targetTakesEvery = targetTakesEvery && !versionRefusal(target, set.madeBy);
    }
    if (targetTakesEvery) {
        return refusal(Reason::NotNeeded,
                       {target.described(), plan.steps.value(0).madeBy.described()});
    }
    if (versionRefusal(target, hop)) {
        return refusal(Reason::TargetCannotRestore, {target.described(), hop.described()});
    }
    hop_.close();
    hop_.setStatement(serverEditionStatement());
    hop_.open();
    const QString edition = hop_.fieldText(QStringLiteral("Edition"));
    const int engineEdition = hop_.fieldText(QStringLiteral("EngineEdition")).toInt();
    hop_.close();

    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMddHHmmss"));
    plan_ = HopPlan{hop,
                    edition,
                    target,
                    request.databaseName.left(ScratchNamePart) + QStringLiteral("_hop_") + stamp,
                    hopRequest.hop.directory,
                    {},
                    compresses(hop, engineEdition)};
    plan_.backupFile = hopRequest.share + fileNamePart(plan_.scratchName) + QStringLiteral(".bak");
    if (!firstField(target_, databaseStateStatement(request.databaseName), QStringLiteral("Status"))
             .isEmpty()) {
        return refusal(Reason::NameTaken, {request.databaseName});
    }
    if (!firstField(hop_, databaseStateStatement(plan_.scratchName), QStringLiteral("Status"))
             .isEmpty()) {
        return refusal(Reason::ScratchTaken, {plan_.scratchName});
    }
    for (auto [server, name] :
         {std::pair{&hop_, hopRequest.hop.serverName}, std::pair{&target_, request.serverName}}) {
        if (!seesFolder(*server, hopRequest.share)) {
            return refusal(Reason::ShareNotSeen, {name, hopRequest.share});
        }
    }
    if (fileExists(hop_, plan_.backupFile)) {
        return refusal(Reason::ScratchTaken, {plan_.backupFile});
    }
    if (plan_.hopDirectory.isEmpty()) {
        plan_.hopDirectory = masterFolder(hop_);
    }
    if (engineEdition == ExpressEngine) {
        const qint64 cap = expressCapMegaBytes(hop);
        const qint64 data = dataBytes(hop_, plan.steps.value(0));
        if (data > cap * MegaByte) {
            return refusal(
                Reason::AboveEditionCap,
                {edition, QString::number(cap), QString::number((data + MegaByte - 1) / MegaByte)});
        }
    }
    return std::nullopt;
}

HopOutcome HopRun::run(const HopRequest& hopRequest, const RestoreRequest& request,
                       const RestorePlan& plan) {
    outcome_ = {};
    scratchMade_ = false;
    backupStarted_ = false;
    cleaned_ = false;
    hopPlan_ = plan;
    try {
        startStage(HopStage::Checks);
        if (auto refused = check(hopRequest, request, plan)) {
            outcome_.kind = HopOutcome::Kind::Refused;
            outcome_.refusal = std::move(refused);
            return outcome_;
        }
    } catch (const db::QueryError& error) {
        outcome_.kind = HopOutcome::Kind::Failed;
        outcome_.message = error.message();
        return outcome_;
    }
    hopRequest_ = hopRequest.hop;
    hopRequest_.sourceKind = SourceKind::Backup;
    hopRequest_.sourcePath = request.sourcePath;
    hopRequest_.backupSet = request.backupSet;
    hopRequest_.databaseName = plan_.scratchName;
    hopRequest_.directory = plan_.hopDirectory;
    hopRequest_.fixUsers = false;
    hopRequest_.newOwner.clear();
    if (hooks_.planned) {
        hooks_.planned(plan_);
    }
    QString successNotice;
    try {
        stages(request, successNotice);
    } catch (const db::QueryError& error) {
        outcome_.kind = HopOutcome::Kind::Failed;
        outcome_.message = error.message();
    } catch (...) {
        outcome_.kind = HopOutcome::Kind::Cancelled;
        const std::exception_ptr cancel = std::current_exception();
        cleanUp(request);
        std::rethrow_exception(cancel);
    }
    cleanUp(request);
    if (outcome_.succeeded()) {
        view_.showNotice(successNotice, NoticeKind::Information);
    }
    return outcome_;
}

void HopRun::stages(const RestoreRequest& request, QString& successNotice) {
    QString hopNotice;
    HeldNotices quiet(view_, hopNotice);
    startStage(HopStage::RestoreOnHop);
    {
        RestoreRun onHop(hop_, quiet);
        const auto kept = qScopeGuard([&] { scratchMade_ = onHop.restoredAndKept(); });
        const RunOutcome restored = onHop.run(hopRequest_, hopPlan_);
        if (!restored.succeeded()) {
            outcome_.kind = HopOutcome::Kind::Failed;
            outcome_.message = restored.message;
            if (restored.created != CreatedDatabase::Dropped &&
                restored.created != CreatedDatabase::None) {
                outcome_.remaining += plan_.scratchName;
            }
            return;
        }
    }
    startStage(HopStage::CheckOnHop);
    if (const QList<int> errors =
            AfterRestoreChecks(hop_, view_).checkConsistency(plan_.scratchName);
        !errors.isEmpty()) {
        throw db::QueryError(
            QStringLiteral("DBCC CHECKDB 在中间服务器上发现 %1 个错误。").arg(errors.size()));
    }
    startStage(HopStage::BackupToShare);
    backUpToShare();
    startStage(HopStage::VerifyOnTarget);
    verifyOnTarget();
    startStage(HopStage::RestoreOnTarget);
    HeldNotices held(view_, successNotice);
    RestoreRequest onShare = request;
    onShare.sourcePath = plan_.backupFile;
    onShare.backupSet = 1;
    RestoreRun onTarget(target_, held, hooks_.beforeTargetChange);
    try {
        outcome_.target = onTarget.run(onShare);
    } catch (...) {
        RunOutcome cut;
        cut.kind = RunOutcome::Kind::Failed;
        outcome_.targetKept = onTarget.restoredAndKept();
        cut.created = outcome_.targetKept ? CreatedDatabase::None : onTarget.createdDatabase();
        outcome_.target = cut;
        throw;
    }
    if (!outcome_.target->succeeded()) {
        outcome_.kind = HopOutcome::Kind::Failed;
        outcome_.message = outcome_.target->message;
        if (outcome_.target->created == CreatedDatabase::MayRemain ||
            outcome_.target->created == CreatedDatabase::MayExist) {
            outcome_.target->created = onTarget.removeLeftover(onShare);
        }
        return;
    }
    outcome_.compatibilityLevel = targetLevel(request.databaseName);
}

void HopRun::startStage(HopStage stage) {
    outcome_.stage = stage;
    if (hooks_.stageStarted) {
        hooks_.stageStarted(stage);
    }
}

void HopRun::backUpToShare() {
    backupStarted_ = true;
    view_.appendProgressLine(BackupLine);
    hop_.setMessageObserver([this](const db::ServerMessage& message) {
        if (const std::optional<int> percent = reportedPercent(message)) {
            view_.replaceLastProgressLine(BackupLine + QStringLiteral(" %1%").arg(*percent));
        }
    });
    bool done = false;
    const auto lastLine = qScopeGuard([this, &done] {
        hop_.setMessageObserver({});
        view_.replaceLastProgressLine(done ? BackupLine + OkMark : BackupLine);
    });
    hop_.close();
    hop_.setStatement(
        copyOnlyBackupStatement(plan_.scratchName, plan_.backupFile, plan_.compressed));
    hop_.execute();
    done = true;
}

void HopRun::verifyOnTarget() {
    view_.appendProgressLine(VerifyLine);
    target_.close();
    target_.setStatement(
        verifyStatement(plannedSet(plan_.backupFile, 1, BackupSetType::Database), {}, true));
    target_.execute();
    view_.replaceLastProgressLine(VerifyLine + OkMark);
}

int HopRun::targetLevel(const QString& databaseName) {
    return firstField(target_, databaseSettingsStatement(databaseName),
                      QStringLiteral("compatibility_level"))
        .toInt();
}

// Removes what this run made: the scratch database on the hop and the backup file on the share.
// Each that cannot be removed is named as remaining.
void HopRun::cleanUp(const RestoreRequest& request) {
    if (cleaned_) {
        return;
    }
    cleaned_ = true;
    // A run that did not succeed keeps the stage it ended in.
    if (outcome_.succeeded()) {
        outcome_.stage = HopStage::CleanUp;
    }
    if (hooks_.stageStarted) {
        hooks_.stageStarted(HopStage::CleanUp);
    }
    hop_.resumeAfterCancel();
    target_.resumeAfterCancel();
    if (scratchMade_) {
        try {
            hop_.close();
            hop_.setStatement(dropStatement(plan_.scratchName));
            hop_.execute();
            outcome_.removed += plan_.scratchName;
        } catch (const db::QueryError&) {
            outcome_.remaining += plan_.scratchName;
        }
    }
    if (backupStarted_) {
        try {
            hop_.close();
            hop_.setStatement(deleteBackupFileStatement(plan_.backupFile));
            hop_.execute();
            if (fileExists(hop_, plan_.backupFile)) {
                outcome_.remaining += plan_.backupFile;
            } else {
                outcome_.removed += plan_.backupFile;
            }
        } catch (const db::QueryError&) {
            outcome_.remaining += plan_.backupFile;
        }
    }
    if (outcome_.target && outcome_.target->created != CreatedDatabase::None &&
        outcome_.target->created != CreatedDatabase::Dropped) {
        outcome_.remaining += request.databaseName;
    }
}

} // namespace restore
