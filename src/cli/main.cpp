// quarn-sql-restore-cli: the window's checks and restore, driven from a script.

#include "cli/CommandLine.h"
#include "cli/ConsoleView.h"
#include "cli/FieldDefaults.h"
#include "cli/ScriptingQueryClient.h"
#include "db/OdbcQueryClient.h"
#include "restore/RequestValidation.h"
#include "restore/RestoreRun.h"
#include "restore/StatementTexts.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

namespace {

enum ExitStatus { Succeeded = 0, RestoreFailed = 1, Refused = 2 };

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);

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
    // A review must leave this machine as it found it, too.
    auto request =
        restore::validateRequest(view, commandLine.script ? restore::MissingDirectory::Announce
                                                          : restore::MissingDirectory::Create);
    if (!request) {
        return Refused;
    }

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
    cli::ScriptingQueryClient scripting(server, out);
    db::QueryClient& qry = commandLine.script ? static_cast<db::QueryClient&>(scripting) : server;
    return restore::RestoreRun(qry, view).run(*request) ? Succeeded : RestoreFailed;
}
