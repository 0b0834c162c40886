#include "cli/HopReport.h"

#include "cli/PasswordPrompt.h"

#include <QStringList>

namespace cli {

namespace {

using restore::HopStage;

constexpr int StageCount = 6;

int stageNumber(HopStage stage) {
    return static_cast<int>(stage) - static_cast<int>(HopStage::RestoreOnHop) + 1;
}

QString stageName(HopStage stage) {
    switch (stage) {
    case HopStage::Checks:
        return QStringLiteral("检查两台服务器 / checking both servers");
    case HopStage::RestoreOnHop:
        return QStringLiteral("在中间服务器上以临时名称恢复 / restore on the hop under a scratch "
                              "name");
    case HopStage::CheckOnHop:
        return QStringLiteral("在中间服务器上检查一致性 / consistency check on the hop");
    case HopStage::BackupToShare:
        return QStringLiteral("备份到共享文件夹 / copy-only backup to the share");
    case HopStage::VerifyOnTarget:
        return QStringLiteral("在目标服务器上校验该备份 / verify it on the target");
    case HopStage::RestoreOnTarget:
        return QStringLiteral("在目标服务器上恢复 / restore on the target");
    case HopStage::CleanUp:
        break;
    }
    return QStringLiteral("删除临时数据库和备份文件 / remove the scratch database and the backup "
                          "file");
}

} // namespace

std::variant<restore::HopRequest, QString> hopRequest(const CommandLine& commandLine) {
    restore::HopRequest request;
    request.hop.serverName = commandLine.via.value_or(QString());
    request.share = commandLine.share.value_or(QString());
    // The servers name the share; a folder needs its separator before a file name is added.
    if (!request.share.endsWith(u'\\') && !request.share.endsWith(u'/')) {
        request.share +=
            request.share.contains(u'/') && !request.share.contains(u'\\') ? u'/' : u'\\';
    }
    request.hop.directory = commandLine.viaDir.value_or(QString());
    if (!request.hop.directory.isEmpty() && !request.hop.directory.endsWith(u'\\') &&
        !request.hop.directory.endsWith(u'/')) {
        request.hop.directory += request.hop.directory.contains(u'/') ? u'/' : u'\\';
    }
    if (!commandLine.viaUser) {
        request.hop.authMode = restore::AuthMode::Integrated;
        return request;
    }
    request.hop.authMode = restore::AuthMode::SqlLogin;
    request.hop.userName = *commandLine.viaUser;
    if (qEnvironmentVariableIsSet("QUARN_SQL_VIA_PASSWORD")) {
        request.hop.password = qEnvironmentVariable("QUARN_SQL_VIA_PASSWORD");
        return request;
    }
    const auto password = promptPassword(QStringLiteral("中间服务器密码 / the hop's password: "));
    if (!password) {
        return QStringLiteral("没有输入中间服务器的密码 / no password was given for the hop");
    }
    request.hop.password = *password;
    return request;
}

void printHopPlan(const restore::HopPlan& plan, const CommandLine& commandLine,
                  const QString& databaseName, QTextStream& out) {
    const QString hop = commandLine.via.value_or(QString());
    const QString target = commandLine.server.value_or(QString());
    out << QStringLiteral("经由中间服务器 %1（%2，%3）恢复到 %4（%5）/ through the hop %1 (%2, "
                          "%3) to %4 (%5):\n")
               .arg(hop, plan.hop.described(), plan.hopEdition, target, plan.target.described());
    const QStringList steps{
        QStringLiteral("%1 上恢复为 %2，文件在 %3 / restore on %1 as %2, files in %3")
            .arg(hop, plan.scratchName, plan.hopDirectory),
        QStringLiteral("DBCC CHECKDB (%1) WITH DATA_PURITY").arg(plan.scratchName),
        QStringLiteral("BACKUP DATABASE … WITH COPY_ONLY, CHECKSUM, INIT%1 → %2")
            .arg(plan.compressed ? QStringLiteral(", COMPRESSION") : QString(), plan.backupFile),
        QStringLiteral("%1 上 RESTORE VERIFYONLY … WITH CHECKSUM / on %1").arg(target),
        QStringLiteral("%1 上恢复为 %2 / restore on %1 as %2").arg(target, databaseName),
        QStringLiteral("删除 %1 上的 %2 和 %3 / drop %2 on %1, delete %3")
            .arg(hop, plan.scratchName, plan.backupFile)};
    for (qsizetype i = 0; i < steps.size(); ++i) {
        out << QStringLiteral("  %1. %2\n").arg(i + 1).arg(steps[i]);
    }
    out << Qt::flush;
}

QString hopStageLine(HopStage stage) {
    if (stage == HopStage::Checks) {
        return stageName(stage);
    }
    return QStringLiteral("第 %1/%2 步 / stage %1 of %2: %3")
        .arg(stageNumber(stage))
        .arg(StageCount)
        .arg(stageName(stage));
}

QString hopRefusalText(const restore::HopRefusal& refusal) {
    using Reason = restore::HopRefusal::Reason;
    const QStringList& d = refusal.data;
    switch (refusal.reason) {
    case Reason::HopVersion:
        return QStringLiteral("中间服务器必须是 SQL Server 2005、2008 或 2008 R2，而不是 %1 / the "
                              "hop (--via) must be SQL Server 2005, 2008 or 2008 R2, not %1")
            .arg(d.value(0));
    case Reason::HopCannotRestore:
        return QStringLiteral("中间服务器 %1 不能恢复 %2 的备份 / the hop, %1, cannot restore a "
                              "backup made by %2")
            .arg(d.value(0), d.value(1));
    case Reason::TargetCannotRestore:
        return QStringLiteral("目标服务器 %1 不能恢复中间服务器 %2 的备份 / the target, %1, cannot "
                              "restore a backup made by the hop, %2")
            .arg(d.value(0), d.value(1));
    case Reason::NotNeeded:
        return QStringLiteral("目标服务器 %1 可以直接恢复 %2 的备份，不需要 --via / the target, "
                              "%1, restores a backup made by %2 itself; --via is not needed")
            .arg(d.value(0), d.value(1));
    case Reason::NameTaken:
        return QStringLiteral("目标服务器上已有数据库 %1 / the target already has a database %1")
            .arg(d.value(0));
    case Reason::ScratchTaken:
        return QStringLiteral("中间服务器上已有 %1 / the hop already has %1").arg(d.value(0));
    case Reason::ShareNotSeen:
        return QStringLiteral("服务器 %1 看不到文件夹 %2；两台服务器的服务帐户都必须能访问它 / the "
                              "server %1 does not see the folder %2 (--share); both servers' "
                              "service accounts must reach it")
            .arg(d.value(0), d.value(1));
    case Reason::AboveEditionCap:
        break;
    }
    return QStringLiteral("中间服务器是 %1，每个数据库最多 %2 MB，而备份的数据文件有 %3 MB / the "
                          "hop is %1, which holds at most %2 MB a database; the backup's data "
                          "files take %3 MB")
        .arg(d.value(0), d.value(1), d.value(2));
}

QString hopEndText(const restore::HopOutcome& outcome, bool cancelled) {
    QString text =
        cancelled ? QStringLiteral("已取消 / cancelled") : QStringLiteral("失败 / failed");
    text = QStringLiteral("%1：%2\n").arg(hopStageLine(outcome.stage), text);
    if (!outcome.message.isEmpty()) {
        text += outcome.message + u'\n';
    }
    return text + hopCleanUpText(outcome);
}

QString hopCleanUpText(const restore::HopOutcome& outcome) {
    QString text;
    if (!outcome.removed.isEmpty()) {
        text += QStringLiteral("已删除 / removed: %1\n")
                    .arg(outcome.removed.join(QStringLiteral(", ")));
    }
    if (outcome.remaining.isEmpty()) {
        text += QStringLiteral("本次运行没有留下任何内容 / nothing this run made remains\n");
    } else {
        text += QStringLiteral("可能仍然存在 / may remain: %1\n")
                    .arg(outcome.remaining.join(QStringLiteral(", ")));
    }
    return text;
}

QString viaHint() {
    return QStringLiteral("--via SERVER --share FOLDER does that in one run, through a SQL Server "
                          "2005, 2008 or 2008 R2 server.");
}

} // namespace cli
