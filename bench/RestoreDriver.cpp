// restore_driver: one Backup restore through the restore run and the ODBC client, with a view that
// prints the progress lines and the notice. For bench/restore_overhead.sh.
//
//   restore_driver --server HOST,PORT --user U --password P --backup FILE --database NAME
//                  --directory DIR/ [--print-statements]
//
// Exit status 0 when the run reports success, 1 when it fails, 2 on a usage error. The peak
// resident memory goes to standard error as "peak_rss_kib N". --print-statements prints the four
// statements the run sends (for a backup holding Shop_Data and Shop_Log) and connects nowhere.

#include "db/OdbcQueryClient.h"
#include "restore/RestoreRun.h"
#include "restore/StatementTexts.h"

#include <QCoreApplication>
#include <QMap>
#include <QTextStream>

#include <sys/resource.h>

namespace {

class PrintingView final : public restore::RestoreView {
public:
    void clearProgressLines() override { lines_.clear(); }
    void appendProgressLine(const QString& text) override {
        lines_.append(text);
        out_ << text << '\n' << Qt::flush;
    }
    QString lastProgressLine() const override { return lines_.value(lines_.size() - 1); }
    void replaceLastProgressLine(const QString& text) override {
        lines_.last() = text;
        out_ << text << '\n' << Qt::flush;
    }
    int progressLineCount() const override { return int(lines_.size()); }
    void postProgressHomeKey() override {}
    void repaintProgressNow() override {}
    void setOuterWidth(int) override {}
    // The driver restores backups; it never attaches.
    bool askQuestion(const QString&) override { return false; }
    void showNotice(const QString& text, restore::NoticeKind kind) override {
        out_ << (kind == restore::NoticeKind::Error ? "[error] " : "[information] ")
             << QString(text).replace(u'\r', u'\n') << '\n'
             << Qt::flush;
    }

private:
    QStringList lines_;
    QTextStream out_{stdout};
};

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QTextStream err(stderr);

    QMap<QString, QString> options;
    bool printStatements = false;
    const QStringList arguments = QCoreApplication::arguments().mid(1);
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == "--print-statements") {
            printStatements = true;
        } else if (arguments[i].startsWith("--") && i + 1 < arguments.size()) {
            options[arguments[i].mid(2)] = arguments[i + 1];
            ++i;
        } else {
            err << "unexpected argument: " << arguments[i] << '\n';
            return 2;
        }
    }
    for (const char* required : {"server", "user", "backup", "database", "directory"}) {
        if (!options.contains(required)) {
            err << "missing --" << required << '\n';
            return 2;
        }
    }

    restore::RestoreRequest request;
    request.serverName = options["server"];
    request.authMode = restore::AuthMode::SqlLogin;
    request.userName = options["user"];
    request.password = options.value("password");
    request.sourceKind = restore::SourceKind::Backup;
    request.sourcePath = options["backup"];
    request.databaseName = options["database"];
    request.directory = options["directory"];

    if (printStatements) {
        const restore::BackupContents contents{"Shop_Data", "Shop_Log", {}, {}};
        QTextStream out(stdout);
        out << restore::connectionTestStatement() << '\n'
            << restore::fileListStatement(request.sourcePath, request.backupSet) << '\n'
            << restore::createStatement(request, contents) << '\n'
            << restore::restoreStatement(
                   request, contents, restore::singleSetPlan(request.sourcePath, request.backupSet),
                   0)
            << '\n';
        return 0;
    }

    db::OdbcQueryClient qry;
    PrintingView view;
    const bool succeeded = restore::RestoreRun(qry, view).run(request).succeeded();

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    err << "peak_rss_kib " << usage.ru_maxrss << '\n';
    return succeeded ? 0 : 1;
}
