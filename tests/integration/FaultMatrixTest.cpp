// Every statement of both source kinds fails once by a server error and once by a dropped
// connection, through the window and through the command line: one notice with the client's text,
// the progress up to the failing step, and nothing sent after it but the drop of a database the
// run created. Also a server restart between two presses of one window.

#include "IntegrationSupport.h"
#include "WindowFixture.h"

#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>

using namespace integration;
using namespace Qt::Literals::StringLiterals;
using restore::SourceKind;

Q_DECLARE_METATYPE(restore::SourceKind)

namespace {

enum class FrontEnd { Window, CommandLine };

struct Statement {
    const char* kind; // the stand-in's fault kind
    QString batchStart;
    QStringList progress; // d4 once this statement has failed
};

QString sourceName(SourceKind source) {
    return source == SourceKind::Backup ? u"backup"_s : u"datafiles"_s;
}

QList<Statement> statementsOf(SourceKind source) {
    const QString connected = ConnectLine + OkMark;
    if (source == SourceKind::Backup) {
        return {{"getdate", u"SELECT GETDATE()"_s, {ConnectLine}},
                {"filelist", u"RESTORE FILELISTONLY "_s, {connected}},
                {"create", u"CREATE DATABASE "_s, {connected, CreateLine}},
                {"restore", u"RESTORE DATABASE "_s, {connected, CreateLine + OkMark, RestoreLine}}};
    }
    return {{"getdate", u"SELECT GETDATE()"_s, {ConnectLine}},
            {"attach", u"exec sp_attach_db "_s, {connected, AttachLine}}};
}

const QString RetryName = u"FaultedAgain"_s;

bool failsTheRestore(const Statement& statement) {
    return qstrcmp(statement.kind, "restore") == 0;
}

bool makesTheDatabase(const Statement& statement) {
    return qstrcmp(statement.kind, "create") == 0 || qstrcmp(statement.kind, "attach") == 0;
}

// A failed restore drops the database on its connection; a lost connection leaves it, as it says,
// and so does a create or an attach cut off with its connection, which may have made it.
QStringList progressAfter(const Statement& statement, const QString& fault, const QString& name) {
    QStringList lines = statement.progress;
    const QString mayRemain = u" 连接已断开，数据库 %1 可能仍然存在。"_s.arg(name);
    const bool cutOff = !fault.startsWith(u"error:"_s);
    if (failsTheRestore(statement)) {
        lines << DropLine + (cutOff ? mayRemain : OkMark);
    } else if (cutOff && makesTheDatabase(statement)) {
        lines.last() += mayRemain;
    }
    return lines;
}

// The names of the databases the runs made that are not among `expected`.
QStringList databasesOtherThan(const quarn_test::StandinProcess& standin,
                               const QStringList& expected) {
    static const QStringList system{u"master"_s, u"model"_s, u"msdb"_s, u"tempdb"_s};
    QStringList others;
    for (const CatalogueDatabase& database : readCatalogue(standin)) {
        if (!expected.contains(database.name) && !system.contains(database.name)) {
            others << database.name;
        }
    }
    return others;
}

} // namespace

class FaultMatrixTest : public QObject, private WindowFixture {
    Q_OBJECT

private slots:
    void initTestCase();
    void init() { QVERIFY(openWindow()); }
    void cleanup() { closeWindow(); }
    void cleanupTestCase();

    void failureEndsTheRunAtThatStatement_data();
    void failureEndsTheRunAtThatStatement();
    void serverRestartBetweenPresses();

private:
    RestoreInputs prepare(const quarn_test::StandinProcess& standin, SourceKind source) const;
    // The client's text after the notice's heading; empty when a check failed.
    QString runFailing(FrontEnd frontEnd, const QString& fault, SourceKind source,
                       int statementIndex);

    QTemporaryDir sources;
    int cases = 0;
};

void FaultMatrixTest::initTestCase() {
    QVERIFY(sources.isValid());
    quarn_test::StandinProcess maker;
    QVERIFY2(maker.start(), qPrintable(maker.errorString()));
    QVERIFY2(maker.makeBackup(sources.filePath(u"Shop.bak"_s), u"Shop"_s,
                              {u"D:Shop_Data:1M"_s, u"L:Shop_Log:1M"_s}),
             qPrintable(maker.errorString()));
    const QString problem = makeDetachedPair(maker, sources.path(), u"Pair"_s);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
}

void FaultMatrixTest::cleanupTestCase() {
    std::printf("fault matrix: %d failing cases\n", cases);
}

// Each stand-in gets its own copy of the source, as a server would hold its own files.
RestoreInputs FaultMatrixTest::prepare(const quarn_test::StandinProcess& standin,
                                       SourceKind source) const {
    const QDir scratch(standin.scratch());
    const QStringList files = source == SourceKind::Backup
                                  ? QStringList{u"Shop.bak"_s}
                                  : QStringList{u"Pair_Data.MDF"_s, u"Pair_Log.LDF"_s};
    for (const QString& file : files) {
        if (!QFile::copy(sources.filePath(file), scratch.filePath(file))) {
            qFatal("cannot copy %s", qPrintable(file));
        }
    }
    return {standin.dataSource(),
            u"sa"_s,
            u"secret"_s,
            source,
            scratch.filePath(files[0]),
            u"Faulted"_s,
            scratch.filePath(u"data"_s)};
}

void FaultMatrixTest::failureEndsTheRunAtThatStatement_data() {
    QTest::addColumn<SourceKind>("source");
    QTest::addColumn<int>("statementIndex");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("message"); // empty: any text the client gives
    for (SourceKind source : {SourceKind::Backup, SourceKind::DataFiles}) {
        const QList<Statement> statements = statementsOf(source);
        for (int index = 0; index < statements.size(); ++index) {
            const QString kind = QString::fromLatin1(statements[index].kind);
            // A colon and Chinese in the text: it must arrive whole.
            const QString text = u"注入的故障: "_s + kind + u" 失败"_s;
            QTest::addRow("%s/%s/error", qPrintable(sourceName(source)), statements[index].kind)
                << source << index << u"error:%1:50123:%2"_s.arg(kind, text) << text;
            QTest::addRow("%s/%s/drop", qPrintable(sourceName(source)), statements[index].kind)
                << source << index << u"drop:"_s + kind << QString();
        }
    }
}

void FaultMatrixTest::failureEndsTheRunAtThatStatement() {
    QFETCH(SourceKind, source);
    QFETCH(int, statementIndex);
    QFETCH(QString, fault);
    QFETCH(QString, message);
    const QString shownByWindow = runFailing(FrontEnd::Window, fault, source, statementIndex);
    if (QTest::currentTestFailed()) {
        return;
    }
    const QString shownByCommandLine =
        runFailing(FrontEnd::CommandLine, fault, source, statementIndex);
    if (QTest::currentTestFailed()) {
        return;
    }
    for (const QString& shown : {shownByWindow, shownByCommandLine}) {
        QVERIFY2(message.isEmpty() ? !shown.trimmed().isEmpty() : shown.contains(message),
                 qPrintable(u"client text \"%1\", expected \"%2\""_s.arg(shown, message)));
    }
    QCOMPARE(shownByCommandLine, shownByWindow);
}

// The client's text as the command line prints it (line feeds for the carriage returns).
QString FaultMatrixTest::runFailing(FrontEnd frontEnd, const QString& fault, SourceKind source,
                                    int statementIndex) {
    const QList<Statement> statements = statementsOf(source);
    const Statement& statement = statements[statementIndex];
    quarn_test::StandinProcess standin;
    if (!standin.start({{u"sa:secret"_s}, {fault}})) {
        QTest::qFail(qPrintable(standin.errorString()), __FILE__, __LINE__);
        return {};
    }
    const RestoreInputs inputs = prepare(standin, source);
    const QString where = frontEnd == FrontEnd::Window ? u"window: "_s : u"command line: "_s;
    auto fail = [&](const QString& what) {
        QTest::qFail(qPrintable(where + what + u"\nstand-in said: "_s + standin.stderrText()),
                     __FILE__, __LINE__);
        return QString();
    };

    QString shown;
    int presses = 1;
    if (frontEnd == FrontEnd::Window) {
        const int outerWidth = form->frameGeometry().width();
        enterRestore(*form, desktop, inputs);
        // A second press under another name fails at the same statement again: a connection
        // the first failure broke is not used for it.
        presses = 2;
        for (int press = 1; press <= presses; ++press) {
            const QString name = press == 1 ? inputs.name : RetryName;
            find<QLineEdit>("e1")->setText(name);
            desktop.notices.clear();
            click("d3");
            const QList<FakeDesktop::Notice>& notices = desktop.notices;
            const QString progress = progressText(*form);
            const QString which = u"press %1: "_s.arg(press);
            if (notices.size() != 1 || notices[0].kind != restore::NoticeKind::Error ||
                !notices[0].text.startsWith(FailureHeading)) {
                return fail(which + u"notices: "_s + describe(notices));
            }
            const QString expected = progressAfter(statement, fault, name).join(u'\n');
            if (progress != expected) {
                return fail(which + u"progress area:\n%1\nexpected:\n%2"_s.arg(progress, expected));
            }
            if (const int width = form->frameGeometry().width(); width != outerWidth) {
                return fail(which + u"the window widened to %1 after a failure"_s.arg(width));
            }
            shown = notices[0].text.mid(FailureHeading.size()).replace(u'\r', u'\n');
        }
        closeWindow(); // nothing may be sent while the window goes either
    } else {
        CliOutcome outcome = runCli(inputs);
        QString heading = FailureHeading;
        heading.replace(u'\r', u'\n');
        const QString mayRemain =
            u"未完成恢复的数据库 %1 可能仍然存在。\nThe unfinished database %1 may remain on the server.\n"_s
                .arg(inputs.name);
        const QStringList progress = progressAfter(statement, fault, inputs.name);
        if (progress.last().endsWith(u"可能仍然存在。"_s)) {
            if (!outcome.err.endsWith(mayRemain)) {
                return fail(u"no word of the database left: "_s + outcome.describe());
            }
            outcome.err.chop(mayRemain.size());
        }
        // One notice: the heading once, then the client's text, nothing after it.
        if (outcome.exitCode != 1 || !outcome.err.startsWith(heading) ||
            outcome.err.count(heading) != 1 || !outcome.err.endsWith(u'\n')) {
            return fail(outcome.describe());
        }
        if (withoutPercentLines(outcome.out) != progress.join(u'\n') + u'\n') {
            return fail(u"progress lines: "_s + outcome.describe());
        }
        shown = outcome.err.mid(heading.size()).chopped(1);
    }

    const QStringList batches = standin.batches();
    QStringList expected;
    const bool dropped = failsTheRestore(statement) && fault.startsWith(u"error:"_s);
    for (int press = 1; press <= presses; ++press) {
        for (int i = 0; i <= statementIndex; ++i) {
            expected << statements[i].batchStart;
        }
        if (dropped) {
            expected << u"SELECT filename FROM master..sysaltfiles "_s
                     << u"DROP DATABASE [%1]\r\n"_s.arg(press == 1 ? inputs.name : RetryName);
        }
    }
    bool asExpected = batches.size() == expected.size();
    for (qsizetype i = 0; asExpected && i < batches.size(); ++i) {
        asExpected = batches[i].startsWith(expected[i]);
    }
    if (!asExpected) {
        return fail(u"batches sent:\n%1\nexpected them to start with:\n%2"_s.arg(
            batches.join(u"\n--\n"), expected.join(u'\n')));
    }
    if (const QStringList others = databasesOtherThan(standin, {inputs.name, RetryName});
        !others.isEmpty()) {
        return fail(u"databases of other names: "_s + others.join(u", "));
    }
    // Only a restore cut off with its connection leaves what it made.
    const bool leftBehind = failsTheRestore(statement) && !dropped;
    const QStringList files = QDir(inputs.directory).entryList(QDir::Files);
    if (!leftBehind && (!databasesOtherThan(standin, {}).isEmpty() || !files.isEmpty())) {
        return fail(u"left behind: "_s + standin.catalogueText() + files.join(u", "));
    }
    ++cases;
    return shown;
}

// The connection the window keeps between presses dies with the server. The next press tries its
// connection test once more on a fresh connection and restores.
void FaultMatrixTest::serverRestartBetweenPresses() {
    quarn_test::StandinProcess standin;
    QVERIFY2(standin.start(), qPrintable(standin.errorString()));
    enterRestore(*form, desktop, prepare(standin, SourceKind::Backup));
    click("d3");
    QVERIFY2(desktop.notices.size() == 1 && desktop.notices[0].text == SuccessNotice,
             qPrintable(describe(desktop.notices)));

    const quint16 port = standin.port();
    QVERIFY(standin.stop());
    QProcess restarted;
    restarted.start(quarn_test::StandinProcess::binary(),
                    {u"--port"_s, QString::number(port), u"--root"_s, standin.root(), u"--log"_s,
                     standin.batchLogPath(), u"--login"_s, u"sa:secret"_s});
    QByteArray listening;
    while (!listening.contains('\n') && restarted.waitForReadyRead(10000)) {
        listening += restarted.readAllStandardOutput();
    }
    QVERIFY2(listening.startsWith("listening on"),
             qPrintable(listening + restarted.readAllStandardError()));

    find<QLineEdit>("e1")->setText(u"AfterRestart"_s);
    desktop.notices.clear();
    click("d3");
    QVERIFY2(desktop.notices.size() == 1 && desktop.notices[0].text == SuccessNotice,
             qPrintable(describe(desktop.notices)));
    QCOMPARE(progressText(*form), successLines(SourceKind::Backup).join(u'\n'));
    const QList<CatalogueDatabase> catalogue = readCatalogue(standin);
    const CatalogueDatabase* database = findDatabase(catalogue, u"AfterRestart"_s);
    QVERIFY2(database && database->state == u"ONLINE", qPrintable(standin.catalogueText()));
    restarted.terminate();
    QVERIFY(restarted.waitForFinished(10000));
}

// Exits 77, which CTest counts as skipped, when this build has no stand-in.
int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    if (quarn_test::StandinProcess::binary().isEmpty()) {
        std::puts("skipped: this build has no SQL Server stand-in");
        return 77;
    }
    FaultMatrixTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "FaultMatrixTest.moc"
