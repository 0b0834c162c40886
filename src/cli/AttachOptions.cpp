#include "cli/AttachOptions.h"

#include "platform/FileSystem.h"
#include "platform/ServerPath.h"
#include "restore/TargetPaths.h"

#include <QFile>

#include <algorithm>
#include <iterator>

namespace cli {

std::optional<QString> refuseAttachOptions(const CommandLine& commandLine,
                                           const restore::RestoreRequest& request) {
    if (!commandLine.upgradeFiles && !commandLine.copyFirst && !commandLine.rebuildLog) {
        return std::nullopt;
    }
    if (request.sourceKind != restore::SourceKind::DataFiles) {
        return QStringLiteral("--upgrade-files, --copy-first and --rebuild-log attach data files "
                              "(--mdf)");
    }
    // Without "_Data.mdf" in its name the data file is taken for its own log.
    if (commandLine.rebuildLog && request.logSourcePath != request.sourcePath &&
        !platform::isServerOnlyPath(request.logSourcePath) &&
        platform::fileExists(request.logSourcePath)) {
        return QStringLiteral("日志文件存在，请不要使用 --rebuild-log / the log file is there: "
                              "attach the pair without --rebuild-log: ") +
               request.logSourcePath;
    }
    if (!commandLine.copyFirst) {
        return std::nullopt;
    }
    if (platform::isServerOnlyPath(request.sourcePath) ||
        platform::isServerOnlyPath(request.directory)) {
        return QStringLiteral("--copy-first 只能复制本机上的文件 / --copy-first copies files on "
                              "this machine into a folder on this machine (--mdf, --dir)");
    }
    const PairCopy copy(request);
    for (const QString& target : copy.targets()) {
        if (QFile::exists(target)) {
            return QStringLiteral("目标文件已存在 / --copy-first would overwrite an existing "
                                  "file: ") +
                   target;
        }
    }
    return std::nullopt;
}

PairCopy::PairCopy(const restore::RestoreRequest& original) : attached_(original) {
    sources_ << original.sourcePath;
    targets_ << restore::targetDataFilePath(original);
    attached_.sourcePath = targets_.first();
    if (!original.rebuildLog) {
        sources_ << original.logSourcePath;
        targets_ << restore::targetLogFilePath(original);
        attached_.logSourcePath = targets_.last();
    }
}

bool PairCopy::make(QTextStream& err) {
    for (qsizetype i = 0; i < sources_.size(); ++i) {
        QFile source(sources_.at(i));
        if (!source.copy(targets_.at(i))) {
            err << QStringLiteral("复制失败 / copying failed: %1 -> %2: %3\n")
                       .arg(sources_.at(i), targets_.at(i), source.errorString())
                << Qt::flush;
            for (const QString& made : made_) {
                QFile::remove(made);
            }
            made_.clear();
            return false;
        }
        made_ << targets_.at(i);
    }
    return true;
}

void PairCopy::settle(const restore::RunOutcome& outcome, QTextStream& err) {
    if (outcome.succeeded() || made_.isEmpty()) {
        return;
    }
    if (outcome.created == restore::CreatedDatabase::MayExist) {
        err << QStringLiteral("副本保留 / the copies are kept, the server may hold them: %1\n")
                   .arg(made_.join(QStringLiteral(", ")))
            << Qt::flush;
        return;
    }
    for (const QString& made : made_) {
        QFile::remove(made);
    }
}

QString upgradeDeclinedText() {
    return QStringLiteral(
        "The server would upgrade the data files in place: no SQL Server 2000 could open them "
        "again, and nothing downgrades them. Nothing was changed. Give --copy-first to attach "
        "copies and keep these files as they are, or --upgrade-files to attach them all the same "
        "(keep a copy first).");
}

QString rebuiltLogText() {
    return QStringLiteral("日志已重建：日志链从这里重新开始，之前的日志备份不能再接在它后面。"
                          "请立即做一次完整备份。\n"
                          "The log was rebuilt: the log chain starts again here, and no earlier "
                          "log backup follows on. Take a full backup now.");
}

bool refusedToRebuildTheLog(const restore::RunOutcome& outcome) {
    // SQL Server 2000 reports the log it cannot activate first (5105), later versions 1813.
    static constexpr int Companions[] = {1813, 5105, 5120, 5173};
    return outcome.kind == restore::RunOutcome::Kind::Failed &&
           std::find(std::begin(Companions), std::end(Companions), outcome.nativeError) !=
               std::end(Companions);
}

QString logNotRebuiltText() {
    return QStringLiteral(
        "服务器没有重建日志，未附加任何数据库。服务器只为正常关闭（分离）的数据库重建日志；"
        "不要强制重建，那会损坏数据库。请找回日志文件，或者从备份恢复。\n"
        "The server did not rebuild the log and attached nothing. A server rebuilds the log only "
        "of a database that was shut down cleanly (detached); a forced rebuild of any other can "
        "leave it damaged, and is not tried. Find the log file, or restore a backup.");
}

} // namespace cli
