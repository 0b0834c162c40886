// quarn-sql-restore-cli: the window's checks and restore, driven from a script.

#include "cli/CommandLine.h"
#include "cli/ConsoleView.h"
#include "cli/FieldDefaults.h"
#include "cli/ScriptingQueryClient.h"
#include "db/OdbcQueryClient.h"
#include "restore/RequestValidation.h"
#include "restore/RestoreRun.h"

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

    cli::ConsoleView view(commandLine.script ? cli::ConsoleView::Progress::Hidden
                                             : cli::ConsoleView::Progress::Shown);
    if (const auto problem = cli::fillFields(commandLine, view)) {
        err << *problem << '\n' << Qt::flush;
        return Refused;
    }
    auto request = restore::validateRequest(view);
    if (!request) {
        return Refused;
    }

    db::OdbcQueryClient server;
    cli::ScriptingQueryClient scripting(server, out);
    db::QueryClient& qry = commandLine.script ? static_cast<db::QueryClient&>(scripting) : server;
    return restore::RestoreRun(qry, view).run(*request) ? Succeeded : RestoreFailed;
}
