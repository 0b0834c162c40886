// quarn-sql-restore-cli: the window's checks and restore, driven from a script.

#include "cli/BackupListing.h"
#include "cli/CommandLine.h"
#include "cli/ConsoleView.h"
#include "cli/FieldDefaults.h"
#include "cli/ScriptingQueryClient.h"
#include "db/OdbcQueryClient.h"
#include "platform/InterruptWatcher.h"
#include "platform/StandardStreams.h"
#include "restore/RequestValidation.h"
#include "restore/RestoreRun.h"
#include "restore/StatementTexts.h"

#include <QCoreApplication>
#include <QTextStream>

namespace {

enum ExitStatus { Succeeded = 0, RestoreFailed = 1, Refused = 2, Cancelled = 130 };

QString cancelledNotice(const QString& databaseName) {
    return QStringLiteral("恢复已取消，新的数据库 %1 可能仍处于正在恢复状态。\n"
                          "The restore was cancelled; the new database %1 may remain in the "
                          "restoring state.")
        .arg(databaseName);
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QTextStream out(platform::standardOutput());
    QTextStream err(platform::standardError());

    const auto parsed = cli::parseCommandLine(QCoreApplication::arguments());
    if (const auto* help = std::get_if<cli::HelpRequested>(&parsed)) {
        out << help->text << Qt::flush;
        return Succeeded;
    }
    if (const auto* error = std::get_if<cli::UsageError>(&parsed)) {
        err << error->message << "\n(--help)\n" << Qt::flush;
        return Refused;
    }
    const auto& commandLine = std::get<cli::CommandLine>(parsed);

    cli::ConsoleView view;
    if (const auto problem = cli::fillFields(commandLine, view)) {
        err << *problem << '\n' << Qt::flush;
        return Refused;
    }
    const bool readsBackupSets = commandLine.list || commandLine.backupSet;
    if (readsBackupSets && view.source != restore::SourceKind::Backup) {
        err << "--list and --backup-set read a backup file (--backup)\n" << Qt::flush;
        return Refused;
    }
    // A review must leave this machine as it found it, too.
    const bool reviews = commandLine.script || commandLine.list;
    auto request = restore::validateRequest(view, reviews ? restore::MissingDirectory::Announce
                                                          : restore::MissingDirectory::Create);
    if (!request) {
        return Refused;
    }
    request->backupSet = commandLine.backupSet.value_or(1);

    db::OdbcQueryClient server;
    try {
        server.checkConnectionString(restore::buildConnectionString(*request));
    } catch (const db::QueryError& error) {
        err << error.message() << '\n' << Qt::flush;
        return Refused;
    }
    if (commandLine.script) {
        // Nothing is restored, so the steps and the success notice would claim what did not happen.
        view.setProgress(cli::ConsoleView::Progress::Hidden);
    }
    if (readsBackupSets) {
        try {
            if (commandLine.list) {
                cli::listBackupSets(server, *request, out);
                return Succeeded;
            }
            if (const int sets = cli::countBackupSets(server, *request);
                request->backupSet > sets) {
                err << QStringLiteral("备份集 %1 不存在 / there is no backup set %1: %2 holds %3\n")
                           .arg(request->backupSet)
                           .arg(request->sourcePath)
                           .arg(sets)
                    << Qt::flush;
                return Refused;
            }
        } catch (const db::QueryError& error) {
            err << QStringLiteral("读取备份出错 / reading the backup failed:\n") << error.message()
                << '\n'
                << Qt::flush;
            return RestoreFailed;
        }
    }
    cli::ScriptingQueryClient scripting(server, out);
    db::QueryClient& qry = commandLine.script ? static_cast<db::QueryClient&>(scripting) : server;
    // Ctrl-C stops the statement on the server too, instead of leaving it running there.
    const platform::InterruptWatcher interrupts([&server] { server.cancel(); });
    try {
        return restore::RestoreRun(qry, view).run(*request) ? Succeeded : RestoreFailed;
    } catch (const db::StatementCancelled&) {
        view.showNotice(cancelledNotice(request->databaseName), restore::NoticeKind::Error);
        return Cancelled;
    }
}
