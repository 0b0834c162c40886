// A statement the server answers only after 31 seconds, past the usual 30-second command time
// limit, still completes: every statement of both source kinds, through the window and through the
// command line. The runs wait at the same time, each against its own stand-in, so the whole set
// takes little more than one delay. A window run is a child process of this binary.

#include "IntegrationSupport.h"

#include "Unit1.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <cstdio>
#include <map>

using namespace integration;
using namespace Qt::Literals::StringLiterals;
using restore::SourceKind;

namespace {

constexpr int DelayMs = 31000;
constexpr int RunTimeoutMs = 120000;
const QString WindowChildOption = u"--window-child"_s;

struct DelayedStatement {
    SourceKind source;
    const char* kind;
};

constexpr DelayedStatement DelayedStatements[] = {
    {SourceKind::Backup, "getdate"},    {SourceKind::Backup, "filelist"},
    {SourceKind::Backup, "create"},     {SourceKind::Backup, "restore"},
    {SourceKind::DataFiles, "getdate"}, {SourceKind::DataFiles, "attach"},
};

QString caseName(const DelayedStatement& statement, bool window) {
    return u"%1/%2/%3"_s.arg(statement.source == SourceKind::Backup ? u"backup"_s : u"datafiles"_s,
                             QString::fromLatin1(statement.kind),
                             window ? u"window"_s : u"command line"_s);
}

QStringList childArguments(const RestoreInputs& inputs) {
    return {WindowChildOption,
            inputs.server,
            inputs.user,
            inputs.password,
            inputs.source == SourceKind::Backup ? u"backup"_s : u"datafiles"_s,
            inputs.sourcePath,
            inputs.name,
            inputs.directory};
}

// The child: one restore through a fresh window; prints what the window showed as JSON.
int runWindowChild(const QStringList& arguments) {
    const RestoreInputs inputs{
        arguments[0], arguments[1],
        arguments[2], arguments[3] == u"backup" ? SourceKind::Backup : SourceKind::DataFiles,
        arguments[4], arguments[5],
        arguments[6]};
    FakeDesktop desktop;
    TForm1 form(desktop.seams());
    form.show();
    if (!QTest::qWaitForWindowExposed(&form)) {
        return 1;
    }
    enterRestore(form, desktop, inputs);
    QTest::mouseClick(control<QWidget>(form, "d3"), Qt::LeftButton);
    QJsonArray notices;
    for (const FakeDesktop::Notice& notice : desktop.notices) {
        notices.append(QJsonObject{
            {u"error"_s, notice.kind == restore::NoticeKind::Error},
            {u"text"_s, notice.text},
        });
    }
    const QJsonObject shown{{u"progress"_s, progressText(form)}, {u"notices"_s, notices}};
    std::fputs(QJsonDocument(shown).toJson().constData(), stdout);
    return 0;
}

struct DelayedRun {
    std::unique_ptr<quarn_test::StandinProcess> standin;
    RestoreInputs inputs;
    bool window = false;
    std::unique_ptr<QProcess> process;
    QElapsedTimer started;
    CliOutcome outcome;
};

} // namespace

class SlowStatementTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void delayedStatementCompletes_data();
    void delayedStatementCompletes();

private:
    QTemporaryDir sources;
    std::map<QString, DelayedRun> runs;
    int completed = 0;
};

void SlowStatementTest::initTestCase() {
    QVERIFY(sources.isValid());
    {
        quarn_test::StandinProcess maker;
        QVERIFY2(maker.start(), qPrintable(maker.errorString()));
        QVERIFY2(maker.makeBackup(sources.filePath(u"Shop.bak"_s), u"Shop"_s,
                                  {u"D:Shop_Data:1M"_s, u"L:Shop_Log:1M"_s}),
                 qPrintable(maker.errorString()));
        const QString problem = makeDetachedPair(maker, sources.path(), u"Pair"_s);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
    }
    for (const DelayedStatement& statement : DelayedStatements) {
        for (bool window : {true, false}) {
            DelayedRun& run = runs[caseName(statement, window)];
            run.window = window;
            run.standin = std::make_unique<quarn_test::StandinProcess>();
            const QString fault =
                u"delay:%1:%2"_s.arg(QString::fromLatin1(statement.kind)).arg(DelayMs);
            QVERIFY2(run.standin->start({{u"sa:secret"_s}, {fault}}),
                     qPrintable(run.standin->errorString()));
            const QDir scratch(run.standin->scratch());
            const QStringList files = statement.source == SourceKind::Backup
                                          ? QStringList{u"Shop.bak"_s}
                                          : QStringList{u"Pair_Data.MDF"_s, u"Pair_Log.LDF"_s};
            for (const QString& file : files) {
                QVERIFY(QFile::copy(sources.filePath(file), scratch.filePath(file)));
            }
            run.inputs = {run.standin->dataSource(),
                          u"sa"_s,
                          u"secret"_s,
                          statement.source,
                          scratch.filePath(files[0]),
                          u"Patient"_s,
                          scratch.filePath(u"data"_s)};
        }
    }
    for (auto& [name, run] : runs) {
        run.started.start();
        if (run.window) {
            run.process = std::make_unique<QProcess>();
            run.process->start(QCoreApplication::applicationFilePath(), childArguments(run.inputs));
        } else {
            run.process = startCli(run.inputs);
        }
    }
    for (auto& [name, run] : runs) {
        run.outcome = finishCli(*run.process, run.started,
                                std::max(1000, RunTimeoutMs - int(run.started.elapsed())));
    }
}

void SlowStatementTest::cleanupTestCase() {
    std::printf("statements answered after %d ms that completed: %d of %zu\n", DelayMs, completed,
                runs.size());
}

void SlowStatementTest::delayedStatementCompletes_data() {
    QTest::addColumn<QString>("name");
    for (const auto& [name, run] : runs) {
        QTest::newRow(qPrintable(name)) << name;
    }
}

void SlowStatementTest::delayedStatementCompletes() {
    QFETCH(QString, name);
    const DelayedRun& run = runs.at(name);
    const CliOutcome& outcome = run.outcome;
    const QString seen = outcome.describe() + u"\nstand-in said: "_s + run.standin->stderrText();
    QVERIFY2(outcome.exitCode == 0, qPrintable(seen));
    // Shorter would mean the delay never happened and proved nothing.
    QVERIFY2(outcome.elapsedMs >= DelayMs, qPrintable(seen));

    const QStringList lines = successLines(run.inputs.source);
    if (run.window) {
        const QJsonObject shown = QJsonDocument::fromJson(outcome.out.toUtf8()).object();
        const QJsonArray notices = shown[u"notices"_s].toArray();
        QVERIFY2(notices.size() == 1 && !notices[0][u"error"_s].toBool() &&
                     notices[0][u"text"_s].toString() == SuccessNotice,
                 qPrintable(seen));
        QCOMPARE(shown[u"progress"_s].toString(), lines.join(u'\n'));
    } else {
        QCOMPARE(withoutPercentLines(outcome.out), lines.join(u'\n') + u'\n');
        QVERIFY2(outcome.err == SuccessNotice + u'\n', qPrintable(seen));
    }
    const QList<CatalogueDatabase> catalogue = readCatalogue(*run.standin);
    const CatalogueDatabase* database = findDatabase(catalogue, run.inputs.name);
    QVERIFY2(database && database->state == u"ONLINE", qPrintable(run.standin->catalogueText()));
    // Each with the users read after it.
    QCOMPARE(run.standin->batches().size(), run.inputs.source == SourceKind::Backup ? 5 : 3);
    ++completed;
}

// Exits 77, which CTest counts as skipped, when this build has no stand-in.
int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() == 9 && arguments[1] == WindowChildOption) {
        return runWindowChild(arguments.mid(2));
    }
    if (quarn_test::StandinProcess::binary().isEmpty()) {
        std::puts("skipped: this build has no SQL Server stand-in");
        return 77;
    }
    SlowStatementTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "SlowStatementTest.moc"
