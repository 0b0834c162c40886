// quarn-sql-restore-cli: the window's checks and restore, driven from a script.

#include "cli/AfterRestore.h"
#include "cli/AttachOptions.h"
#include "cli/BackupFiles.h"
#include "cli/BackupListing.h"
#include "cli/CommandLine.h"
#include "cli/ConsoleView.h"
#include "cli/FieldDefaults.h"
#include "cli/HopReport.h"
#include "cli/InterruptWatcher.h"
#include "cli/ScriptingQueryClient.h"
#include "cli/StandardStreams.h"
#include "db/OdbcQueryClient.h"
#include "platform/FileSystem.h"
#include "platform/PlatformDefaults.h"
#include "platform/ServerPath.h"
#include "restore/AfterRestoreChecks.h"
#include "restore/BackupHeaders.h"
#include "restore/HopRun.h"
#include "restore/RequestValidation.h"
#include "restore/RestoreRun.h"
#include "restore/StatementTexts.h"

#include <QCoreApplication>
#include <QTextStream>

#include <csignal>
#include <optional>
#include <utility>
#include <variant>

namespace {

// A cancel by a signal exits with 128 + its number, as the shell reports a program it ended.
enum ExitStatus {
    Succeeded = 0,
    RestoreFailed = 1,
    Refused = 2,
    LeftToDo = 3,
    CancelledBySignal = 128
};

// SQL Server's longest identifier.
constexpr qsizetype LongestName = 128;

const QString ReadFailed = QStringLiteral("读取备份出错 / reading the backup failed:\n");

QString cancelledNotice(restore::CreatedDatabase created, const QString& databaseName) {
    switch (created) {
    case restore::CreatedDatabase::None:
        return QStringLiteral("恢复已取消，没有创建数据库 %1。\n"
                              "The restore was cancelled; no database %1 was created.")
            .arg(databaseName);
    case restore::CreatedDatabase::Dropped:
        return QStringLiteral("恢复已取消，未完成恢复的数据库 %1 已删除。\n"
                              "The restore was cancelled; the unfinished database %1 was removed.")
            .arg(databaseName);
    case restore::CreatedDatabase::MayExist:
        return QStringLiteral("恢复已取消，数据库 %1 可能已经创建。\n"
                              "The restore was cancelled; the database %1 may have been created.")
            .arg(databaseName);
    case restore::CreatedDatabase::Replaced:
        return QStringLiteral("恢复已取消。服务器上的数据库 %1 已不是本次恢复创建的，未删除。\n"
                              "The restore was cancelled. The database %1 on the server is no "
                              "longer the one this run created; it was left alone.")
            .arg(databaseName);
    case restore::CreatedDatabase::MayRemain:
        break;
    }
    return QStringLiteral("恢复已取消，新的数据库 %1 可能仍处于正在恢复状态。\n"
                          "The restore was cancelled; the new database %1 may remain in the "
                          "restoring state.")
        .arg(databaseName);
}

QString keptNotice(const QString& databaseName) {
    return QStringLiteral("数据库 %1 已恢复并保留；恢复之后的步骤已取消。\n"
                          "The database %1 was restored and kept; the steps after the restore "
                          "were cancelled.")
        .arg(databaseName);
}

// FreeTDS gives up on a Windows-authentication login without a ticket before the server hears a
// word, and says only that it could not connect.
void hintAtKerberos(const restore::RestoreRequest& request, QTextStream& err) {
    if (platform::WindowsLoginNeedsKerberosTicket &&
        request.authMode == restore::AuthMode::Integrated) {
        err << QStringLiteral("Windows 身份认证在此需要 Kerberos 票据（kinit），或使用 --user / "
                              "Windows authentication needs a Kerberos ticket here (kinit), or "
                              "use --user\n")
            << Qt::flush;
    }
}

// Reads the headers of every backup given and chooses the sets to restore. Prints the plan, or
// with --list every set; gives the exit status when the run goes no further.
std::variant<int, restore::RestorePlan> planSequence(const cli::CommandLine& commandLine,
                                                     db::OdbcQueryClient& server,
                                                     const restore::RestoreRequest& request,
                                                     QTextStream& out, QTextStream& err) {
    QList<restore::BackupSetHeader> sets;
    try {
        const auto files = cli::backupFiles(commandLine.backups, [&](const QString& folder) {
            return restore::readServerFolder(server, folder);
        });
        if (const auto* problem = std::get_if<QString>(&files)) {
            err << *problem << '\n' << Qt::flush;
            return Refused;
        }
        for (const cli::BackupPath& file : std::get<QList<cli::BackupPath>>(files)) {
            try {
                sets += restore::readBackupHeaders(server, file.path);
            } catch (const db::QueryError& error) {
                // A report or a backup still being written beside the backups: the server said
                // why it is none, and the others count all the same.
                if (!file.inFolder || !server.isConnected()) {
                    throw;
                }
                err << QStringLiteral("已跳过，不是可以读取的备份 / skipped, not a backup that can "
                                      "be read: %1\n%2\n")
                           .arg(file.path, error.message())
                    << Qt::flush;
            }
        }
    } catch (const db::QueryError& error) {
        err << ReadFailed << error.message() << '\n' << Qt::flush;
        if (!server.isConnected()) {
            hintAtKerberos(request, err);
        }
        return RestoreFailed;
    }
    const auto planned =
        restore::planRestore(sets, commandLine.database.value_or(QString()), commandLine.until);
    const auto* plan = std::get_if<restore::RestorePlan>(&planned);
    if (commandLine.list) {
        cli::listSequenceSets(sets, plan, out);
    }
    if (!plan) {
        err << cli::planRefusalText(std::get<restore::PlanRefusal>(planned)) << '\n' << Qt::flush;
        return commandLine.list ? Succeeded : Refused;
    }
    if (commandLine.list) {
        return Succeeded;
    }
    // A reviewed script stays something the server can run.
    cli::printPlan(*plan, commandLine.script ? QStringLiteral("-- ") : QString(), out);
    return *plan;
}

QString mayRemainNotice(const QString& databaseName) {
    return QStringLiteral("未完成恢复的数据库 %1 可能仍然存在。\n"
                          "The unfinished database %1 may remain on the server.\n")
        .arg(databaseName);
}

QString replacedNotice(const QString& databaseName) {
    return QStringLiteral("服务器上的数据库 %1 已不是本次恢复创建的，未删除。\n"
                          "The database %1 on the server is no longer the one this run created; "
                          "it was left alone.\n")
        .arg(databaseName);
}

// What the server would refuse only after the connection, or could not find, is refused here
// with the rest of the input. A sequence's backups are looked at by its planning.
std::optional<QString> refuseUnusableRequest(const restore::RestoreRequest& request,
                                             bool sequence) {
    if (request.databaseName.size() > LongestName) {
        return QStringLiteral(
                   "新的数据库名称超过 %1 个字符 / the name of the new database (--name) "
                   "is longer than %1 characters")
            .arg(LongestName);
    }
    if (!sequence && !platform::isServerOnlyPath(request.sourcePath) &&
        !platform::fileExists(request.sourcePath)) {
        return QStringLiteral("找不到文件 / no such file: ") + request.sourcePath;
    }
    return std::nullopt;
}

// What every mode works with once the input has passed its checks.
struct Session {
    const cli::CommandLine& commandLine;
    cli::ConsoleView& view;
    restore::RestoreRequest request;
    db::OdbcQueryClient& server;
    QTextStream& out;
    QTextStream& err;
};

// Fills the fields as the window holds them and checks them as the window does, then what only the
// command line refuses: the request, or the exit status of a refusal. Nothing is made here.
std::variant<restore::RestoreRequest, int> validatedRequest(cli::CommandLine& commandLine,
                                                            cli::ConsoleView& view,
                                                            db::OdbcQueryClient& server,
                                                            QTextStream& err) {
    if (const auto problem = cli::fillFields(commandLine, view)) {
        err << *problem << '\n' << Qt::flush;
        return Refused;
    }
    const bool sequence = commandLine.asksForSequence();
    if (commandLine.verify && view.source != restore::SourceKind::Backup) {
        err << "--verify reads backup files (--backup)\n" << Qt::flush;
        return Refused;
    }
    if ((commandLine.list || commandLine.backupSet || sequence) &&
        view.source != restore::SourceKind::Backup) {
        err << "--list, --backup-set, --until and --database read backup files (--backup)\n"
            << Qt::flush;
        return Refused;
    }
    // A review must leave this machine as it found it, too.
    const bool reviews = commandLine.script || commandLine.list;
    // A listing needs only the backup; a new name adds the targets, which the full checks vet.
    const bool listsNamesOnly =
        commandLine.list &&
        restore::trimBlanksAndControls(view.fieldText(restore::Field::e1)).isEmpty();
    // The target folder is made only once nothing can refuse the request any more.
    auto validated =
        listsNamesOnly
            ? restore::validateConnectionAndSource(view)
            : restore::validateRequest(
                  view,
                  reviews ? restore::MissingDirectory::Announce : restore::MissingDirectory::Leave,
                  commandLine.rebuildLog ? restore::LogFile::Rebuilt : restore::LogFile::Beside);
    if (const auto* refusal = std::get_if<restore::Refusal>(&validated)) {
        view.refuse(*refusal);
        return Refused;
    }
    auto* request = &std::get<restore::RestoreRequest>(validated);
    if (const auto problem = refuseUnusableRequest(*request, sequence)) {
        err << *problem << '\n' << Qt::flush;
        return Refused;
    }
    request->backupSet = commandLine.backupSet.value_or(1);
    request->rebuildLog = commandLine.rebuildLog;
    if (const auto problem = cli::refuseAttachOptions(commandLine, *request)) {
        err << *problem << '\n' << Qt::flush;
        return Refused;
    }
    view.setUpgradeConsent(commandLine.upgradeFiles || commandLine.copyFirst);
    request->fixUsers = commandLine.fixUsers;
    request->newOwner = commandLine.owner.value_or(QString());
    try {
        server.checkConnectionString(restore::buildConnectionString(*request));
    } catch (const db::QueryError& error) {
        err << error.message() << '\n' << Qt::flush;
        return Refused;
    }
    server.setConnectionString(restore::buildConnectionString(*request));
    if (commandLine.script) {
        // Nothing is restored, so the steps and the success notice would claim what did not happen.
        view.setProgress(cli::ConsoleView::Progress::Hidden);
    }
    return *request;
}

int readFailed(const Session& session, const db::QueryError& error) {
    session.err << ReadFailed << error.message() << '\n' << Qt::flush;
    if (!session.server.isConnected()) {
        hintAtKerberos(session.request, session.err);
    }
    return RestoreFailed;
}

// What a run that neither succeeded nor was cancelled adds to its notice.
int failedRun(const Session& session, const restore::RunOutcome& outcome) {
    if (outcome.versionRefusal) {
        session.err << outcome.versionRefusal->englishText()
                    << (outcome.versionRefusal->backupTooOld() ? u' ' + cli::viaHint() : QString())
                    << '\n'
                    << Qt::flush;
    }
    switch (outcome.created) {
    case restore::CreatedDatabase::MayRemain:
    case restore::CreatedDatabase::MayExist:
        session.err << mayRemainNotice(session.request.databaseName) << Qt::flush;
        break;
    case restore::CreatedDatabase::Replaced:
        session.err << replacedNotice(session.request.databaseName) << Qt::flush;
        break;
    case restore::CreatedDatabase::None:
    case restore::CreatedDatabase::Dropped:
        break;
    }
    return RestoreFailed;
}

// Makes the target folder on this machine just before the first change on the server; none for a
// folder only the server sees.
restore::RestoreRun::BeforeFirstChange targetFolderMaker(cli::ConsoleView& view,
                                                         const QString& directory, bool& refused) {
    if (directory.isEmpty() || platform::isServerOnlyPath(directory)) {
        return {};
    }
    return [&view, &refused, directory] {
        platform::createDirectoryLevels(directory);
        refused = !platform::directoryExists(directory);
        if (refused) {
            view.refuse(restore::unusableDirectory(directory));
        }
        return !refused;
    };
}

// Restores, or with --script prints what a restore would send. `plan` is a sequence's; without it
// the request's one set, or the attach.
int restore(const Session& session, const std::optional<restore::RestorePlan>& plan) {
    std::optional<cli::PairCopy> copy;
    if (session.commandLine.copyFirst) {
        copy.emplace(session.request);
    }
    const restore::RestoreRequest request = copy ? copy->attachedRequest() : session.request;
    bool folderRefused = false;
    bool copyFailed = false;
    restore::RestoreRun::BeforeFirstChange makeFolder;
    if (!session.commandLine.script && !session.commandLine.list) {
        if (auto makeTarget = targetFolderMaker(session.view, request.directory, folderRefused)) {
            makeFolder = [makeTarget, &copy, &copyFailed, &err = session.err] {
                if (!makeTarget()) {
                    return false;
                }
                copyFailed = copy && !copy->make(err);
                return !copyFailed;
            };
        }
    }
    cli::ScriptingQueryClient scripting(session.server, session.out);
    db::QueryClient& qry =
        session.commandLine.script ? static_cast<db::QueryClient&>(scripting) : session.server;
    // Ctrl-C, SIGTERM or a hang-up stops the statement on the server too, instead of leaving it
    // running there.
    db::OdbcQueryClient& server = session.server;
    const cli::InterruptWatcher interrupts([&server] { server.cancel(); });
    // The backup is verified once the run has read its file list, before anything is made here
    // or on the server.
    bool verifyFailed = false;
    const restore::RestoreRun* running = nullptr;
    restore::RestoreRun::BeforeFirstChange beforeFirstChange = makeFolder;
    if (session.commandLine.verify) {
        beforeFirstChange = [&, makeFolder] {
            verifyFailed = true;
            restore::AfterRestoreChecks(qry, session.view)
                .verifySets(request, *running->backupContents(),
                            plan ? *plan
                                 : restore::singleSetPlan(request.sourcePath, request.backupSet));
            verifyFailed = false;
            return !makeFolder || makeFolder();
        };
    }
    restore::RestoreRun run(qry, session.view, beforeFirstChange);
    running = &run;
    try {
        const restore::RunOutcome outcome = plan ? run.run(request, *plan) : run.run(request);
        if (copy) {
            copy->settle(outcome, session.err);
        }
        if (outcome.succeeded()) {
            if (request.rebuildLog && !session.commandLine.script) {
                session.view.showNotice(cli::rebuiltLogText(), restore::NoticeKind::Information);
            }
            // A review's read of the users went unanswered: there is nothing to report.
            const bool usersDone = session.commandLine.script ||
                                   cli::reportAfterRestore(outcome, request, server.serverVersion(),
                                                           session.out, session.err);
            const bool checked = cli::checkAfterRestore(session.commandLine, qry, session.view,
                                                        request.databaseName, true, session.err);
            return usersDone && checked ? Succeeded : LeftToDo;
        }
        if (outcome.upgradeDeclined) {
            session.err << cli::upgradeDeclinedText() << '\n' << Qt::flush;
            return Refused;
        }
        if (folderRefused || outcome.refusal) {
            return Refused;
        }
        if (verifyFailed) {
            session.err << QStringLiteral("备份未通过校验，没有创建任何内容。\nThe backup failed "
                                          "verification; nothing was created.\n")
                        << Qt::flush;
            return RestoreFailed;
        }
        if (request.rebuildLog && server.isConnected() && cli::refusedToRebuildTheLog(outcome)) {
            session.err << cli::logNotRebuiltText() << '\n' << Qt::flush;
        }
        if (copyFailed) {
            return RestoreFailed;
        }
        if (outcome.whileConnecting && !server.isConnected()) {
            hintAtKerberos(request, session.err);
        }
        return failedRun(session, outcome);
    } catch (const db::StatementCancelled&) {
        // Copies a kept database was attached from are its files now.
        if (copy && !run.restoredAndKept()) {
            restore::RunOutcome cancelled;
            cancelled.kind = restore::RunOutcome::Kind::Failed;
            cancelled.created = run.createdDatabase();
            copy->settle(cancelled, session.err);
        }
        session.view.showNotice(run.restoredAndKept()
                                    ? keptNotice(request.databaseName)
                                    : cancelledNotice(run.createdDatabase(), request.databaseName),
                                restore::NoticeKind::Error);
        const int signal = interrupts.signalNumber();
        return CancelledBySignal + (signal != 0 ? signal : SIGINT);
    }
}

// Several backups, a folder, a time or a database: planned from the headers, listed or restored.
int restoreSequence(const Session& session) {
    auto planned = planSequence(session.commandLine, session.server, session.request, session.out,
                                session.err);
    if (const int* status = std::get_if<int>(&planned)) {
        return *status;
    }
    return restore(session, std::get<restore::RestorePlan>(std::move(planned)));
}

// --list of one backup file: its sets and, with a new name, where each would be restored.
int listSets(const Session& session) {
    try {
        cli::listBackupSets(session.server, session.request, session.out);
        return Succeeded;
    } catch (const db::QueryError& error) {
        return readFailed(session, error);
    }
}

// --backup-set: the set must be one the file holds.
int restoreChosenSet(const Session& session) {
    try {
        if (const int sets = cli::countBackupSets(session.server, session.request);
            session.request.backupSet > sets) {
            session.err << QStringLiteral(
                               "备份集 %1 不存在 / there is no backup set %1: %2 holds %3\n")
                               .arg(session.request.backupSet)
                               .arg(session.request.sourcePath)
                               .arg(sets)
                        << Qt::flush;
            return Refused;
        }
    } catch (const db::QueryError& error) {
        return readFailed(session, error);
    }
    return restore(session, std::nullopt);
}

// --check or --finish with no --backup, --mdf or --defaults: on the database --name as it stands,
// so that a second --finish can find its work done.
bool checksExistingDatabase(const cli::CommandLine& commandLine) {
    return (commandLine.check || commandLine.finish) && commandLine.backups.isEmpty() &&
           !commandLine.mdf && !commandLine.defaultsFile;
}

int checkExistingDatabase(cli::CommandLine& commandLine, cli::ConsoleView& view,
                          db::OdbcQueryClient& server, QTextStream& out, QTextStream& err) {
    const QString name = restore::trimBlanksAndControls(commandLine.name.value_or(QString()));
    if (name.isEmpty() || commandLine.verify || commandLine.list) {
        err << "--check and --finish without --backup or --mdf work on the database --name as it "
               "stands, with neither --verify nor --list\n"
            << Qt::flush;
        return Refused;
    }
    if (const auto problem = cli::fillFields(commandLine, view)) {
        err << *problem << '\n' << Qt::flush;
        return Refused;
    }
    // Only the connection's fields count: nothing is read from a source.
    restore::RestoreRequest request;
    request.serverName = view.fieldText(restore::Field::b1);
    request.authMode = view.authMode();
    request.userName = view.fieldText(restore::Field::b2);
    request.password = view.fieldText(restore::Field::b3);
    request.databaseName = name;
    try {
        server.checkConnectionString(restore::buildConnectionString(request));
    } catch (const db::QueryError& error) {
        err << error.message() << '\n' << Qt::flush;
        return Refused;
    }
    server.setConnectionString(restore::buildConnectionString(request));
    if (commandLine.script) {
        view.setProgress(cli::ConsoleView::Progress::Hidden);
    }
    const Session session{commandLine, view, request, server, out, err};
    cli::ScriptingQueryClient scripting(server, out);
    db::QueryClient& qry = commandLine.script ? static_cast<db::QueryClient&>(scripting) : server;
    const cli::InterruptWatcher interrupts([&server] { server.cancel(); });
    try {
        // Which server it is, and that the database is there, decide every later statement.
        qry.close();
        qry.setStatement(restore::databaseStateStatement(name));
        qry.open();
        const QString state = qry.fieldText(QStringLiteral("Status"));
        qry.close();
        if (state.isEmpty()) {
            err << QStringLiteral("服务器上没有数据库 %1 / there is no database %1 on the server\n")
                       .arg(name)
                << Qt::flush;
            return RestoreFailed;
        }
        return cli::checkAfterRestore(commandLine, qry, view, name, false, err) ? Succeeded
                                                                                : LeftToDo;
    } catch (const db::StatementCancelled&) {
        const int signal = interrupts.signalNumber();
        return CancelledBySignal + (signal != 0 ? signal : SIGINT);
    } catch (const db::QueryError& error) {
        return readFailed(session, error);
    }
}

// --via: the sets as the hop reads them, which a newer target may not even list.
std::variant<int, restore::RestorePlan> planOnHop(const Session& session, db::OdbcQueryClient& hop,
                                                  const restore::RestoreRequest& hopRequest) {
    if (session.commandLine.asksForSequence()) {
        return planSequence(session.commandLine, hop, hopRequest, session.out, session.err);
    }
    try {
        for (const restore::BackupSetHeader& set :
             restore::readBackupHeaders(hop, session.request.sourcePath)) {
            if (set.position == session.request.backupSet) {
                return restore::RestorePlan{{set}, std::nullopt};
            }
        }
    } catch (const db::QueryError& error) {
        session.err << ReadFailed << error.message() << '\n' << Qt::flush;
        return RestoreFailed;
    }
    session.err << QStringLiteral("备份集 %1 不存在 / there is no backup set %1 in %2\n")
                       .arg(session.request.backupSet)
                       .arg(session.request.sourcePath)
                << Qt::flush;
    return Refused;
}

int endOfHop(const Session& session, const restore::HopOutcome& outcome, bool folderRefused) {
    switch (outcome.kind) {
    case restore::HopOutcome::Kind::Refused:
        session.err << cli::hopRefusalText(*outcome.refusal) << '\n' << Qt::flush;
        return Refused;
    case restore::HopOutcome::Kind::Failed:
    case restore::HopOutcome::Kind::Cancelled:
        session.err << cli::hopEndText(outcome, false) << Qt::flush;
        // A login or a read that failed before any change refuses the run.
        return folderRefused || outcome.stage == restore::HopStage::Checks ? Refused
                                                                           : RestoreFailed;
    case restore::HopOutcome::Kind::Succeeded:
        break;
    }
    session.out
        << QStringLiteral("兼容级别 / compatibility level: %1\n").arg(outcome.compatibilityLevel)
        << Qt::flush;
    // The database is restored; a scratch database or backup file left behind is work left to do.
    (outcome.remaining.isEmpty() ? session.out : session.err)
        << cli::hopCleanUpText(outcome) << Qt::flush;
    const bool usersDone = cli::reportAfterRestore(
        *outcome.target, session.request, session.server.serverVersion(), session.out, session.err);
    const bool checked = cli::checkAfterRestore(session.commandLine, session.server, session.view,
                                                session.request.databaseName, true, session.err);
    return usersDone && checked && outcome.remaining.isEmpty() ? Succeeded : LeftToDo;
}

// --via: restored on the hop, backed up to the share, and restored from there on the target.
int restoreThroughHop(const Session& session) {
    const auto asked = cli::hopRequest(session.commandLine);
    if (const auto* problem = std::get_if<QString>(&asked)) {
        session.err << *problem << '\n' << Qt::flush;
        return Refused;
    }
    const auto& hopRequest = std::get<restore::HopRequest>(asked);
    db::OdbcQueryClient hop;
    try {
        hop.checkConnectionString(restore::buildConnectionString(hopRequest.hop));
    } catch (const db::QueryError& error) {
        session.err << error.message() << '\n' << Qt::flush;
        return Refused;
    }
    hop.setConnectionString(restore::buildConnectionString(hopRequest.hop));
    auto planned = planOnHop(session, hop, hopRequest.hop);
    if (const int* status = std::get_if<int>(&planned)) {
        // Nothing has changed on either server yet.
        return *status == RestoreFailed ? Refused : *status;
    }
    bool folderRefused = false;
    restore::HopRun::Hooks hooks;
    hooks.planned = [&session](const restore::HopPlan& plan) {
        cli::printHopPlan(plan, session.commandLine, session.request.databaseName, session.out);
    };
    // The plan printed after the checks stands for their line.
    hooks.stageStarted = [&view = session.view](restore::HopStage stage) {
        if (stage != restore::HopStage::Checks) {
            view.appendProgressLine(cli::hopStageLine(stage));
        }
    };
    hooks.beforeTargetChange =
        targetFolderMaker(session.view, session.request.directory, folderRefused);
    db::OdbcQueryClient& target = session.server;
    const cli::InterruptWatcher interrupts([&hop, &target] {
        hop.cancel();
        target.cancel();
    });
    restore::HopRun run(hop, target, session.view, hooks);
    try {
        return endOfHop(session,
                        run.run(hopRequest, session.request,
                                std::get<restore::RestorePlan>(std::move(planned))),
                        folderRefused);
    } catch (const db::StatementCancelled&) {
        const restore::HopOutcome& outcome = run.outcome();
        if (outcome.succeeded() || outcome.targetKept) {
            session.view.showNotice(keptNotice(session.request.databaseName),
                                    restore::NoticeKind::Error);
        }
        session.err << cli::hopEndText(outcome, true) << Qt::flush;
        const int signal = interrupts.signalNumber();
        return CancelledBySignal + (signal != 0 ? signal : SIGINT);
    }
}

int runMode(const Session& session) {
    const cli::CommandLine& commandLine = session.commandLine;
    if (commandLine.via) {
        return restoreThroughHop(session);
    }
    if (commandLine.asksForSequence()) {
        return restoreSequence(session);
    }
    if (commandLine.list) {
        return listSets(session);
    }
    if (commandLine.backupSet) {
        return restoreChosenSet(session);
    }
    return restore(session, std::nullopt);
}

} // namespace

int main(int argc, char* argv[]) {
    cli::keepRunningWithoutReader();
    QCoreApplication app(argc, argv);
    QTextStream out(cli::standardOutput());
    QTextStream err(cli::standardError());
    const auto parsed = cli::parseCommandLine(QCoreApplication::arguments());
    if (const auto* help = std::get_if<cli::HelpRequested>(&parsed)) {
        out << help->text << Qt::flush;
        return Succeeded;
    }
    if (const auto* error = std::get_if<cli::UsageError>(&parsed)) {
        err << error->message << "\n(--help)\n" << Qt::flush;
        return Refused;
    }
    auto commandLine = std::get<cli::CommandLine>(parsed);
    cli::ConsoleView view;
    db::OdbcQueryClient server;
    if (checksExistingDatabase(commandLine)) {
        return checkExistingDatabase(commandLine, view, server, out, err);
    }
    auto request = validatedRequest(commandLine, view, server, err);
    if (const int* status = std::get_if<int>(&request)) {
        return *status;
    }
    return runMode(
        {commandLine, view, std::get<restore::RestoreRequest>(request), server, out, err});
}
