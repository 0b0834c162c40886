// One window restoring 200 new databases in a row keeps its memory and its one connection, until
// the connection string changes; two copies of the program restoring different names at the same
// time both succeed.

#include "IntegrationSupport.h"
#include "WindowFixture.h"

#include <QFileInfo>
#include <QtTest>

#include <algorithm>
#include <cstdio>

using namespace integration;
using namespace Qt::Literals::StringLiterals;
using restore::SourceKind;

namespace {

constexpr int Restores = 200;
constexpr int WarmRestores = 10; // memory is measured from here on
constexpr double AllowedGrowth = 0.10;

} // namespace

class LongSessionTest : public QObject, private WindowFixture {
    Q_OBJECT

private slots:
    void init() { QVERIFY(openWindow()); }
    void cleanup() { closeWindow(); }

    void manyRestoresInOneWindow();
    void twoCopiesAtOnce();

private:
    void expectRestored(const quarn_test::StandinProcess& standin, const QString& name,
                        const QString& directory);
};

void LongSessionTest::expectRestored(const quarn_test::StandinProcess& standin, const QString& name,
                                     const QString& directory) {
    const QList<CatalogueDatabase> catalogue = readCatalogue(standin);
    const CatalogueDatabase* database = findDatabase(catalogue, name);
    QVERIFY2(database && database->state == u"ONLINE", qPrintable(standin.catalogueText()));
    for (const QString& suffix : {u"_Data.MDF"_s, u"_Log.LDF"_s}) {
        const QString file = QDir(directory).filePath(name + suffix);
        QVERIFY2(QFileInfo(file).isFile(), qPrintable(file + u" was not restored"_s));
    }
}

void LongSessionTest::manyRestoresInOneWindow() {
    quarn_test::StandinProcess standin;
    QVERIFY2(standin.start(), qPrintable(standin.errorString()));
    const QString backup = QDir(standin.scratch()).filePath(u"Tiny.bak"_s);
    QVERIFY2(standin.makeBackup(backup, u"Tiny"_s, {u"D:Tiny_Data:16K"_s, u"L:Tiny_Log:16K"_s}),
             qPrintable(standin.errorString()));
    const QString directory = QDir(standin.scratch()).filePath(u"data"_s);
    enterRestore(
        *form, desktop,
        {standin.dataSource(), u"sa"_s, u"secret"_s, SourceKind::Backup, backup, {}, directory});

    const QString expectedProgress = successLines(SourceKind::Backup).join(u'\n');
    std::set<int> clientPorts;
    qint64 warmKiB = 0;
    for (int restore = 1; restore <= Restores; ++restore) {
        const QString name = u"Session%1"_s.arg(restore);
        find<QLineEdit>("e1")->setText(name);
        desktop.notices.clear();
        click("d3");
        QVERIFY2(desktop.notices.size() == 1 && desktop.notices[0].text == SuccessNotice,
                 qPrintable(u"restore %1: %2\n%3"_s.arg(restore).arg(describe(desktop.notices),
                                                                     standin.stderrText())));
        QCOMPARE(progressText(*form), expectedProgress);
        const std::set<int> ports = clientPortsTo(standin.port());
        QVERIFY2(ports.size() == 1,
                 qPrintable(u"restore %1: %2 connections"_s.arg(restore).arg(ports.size())));
        clientPorts.insert(ports.begin(), ports.end());
        if (restore == WarmRestores) {
            warmKiB = residentKiB();
        }
    }
    const qint64 finalKiB = residentKiB();
    std::printf(
        "resident memory after restore %d: %lld KiB, after restore %d: %lld KiB (%+.1f%%)\n",
        WarmRestores, static_cast<long long>(warmKiB), Restores, static_cast<long long>(finalKiB),
        100.0 * double(finalKiB - warmKiB) / warmKiB);
    QVERIFY2(warmKiB > 0, "no VmRSS in /proc/self/status");
    QVERIFY2(double(finalKiB) <= double(warmKiB) * (1 + AllowedGrowth),
             qPrintable(u"grew from %1 KiB to %2 KiB"_s.arg(warmKiB).arg(finalKiB)));
    QVERIFY2(clientPorts.size() == 1,
             qPrintable(u"%1 connections over the session"_s.arg(clientPorts.size())));
    // Connection test, file list, create, restore and the users read after it.
    QCOMPARE(standin.batches().size(), 5 * Restores);
    expectRestored(standin, u"Session1"_s, directory);
    expectRestored(standin, u"Session%1"_s.arg(Restores), directory);

    // Another connection string (the same server, written with blanks) replaces the connection.
    find<QComboBox>("b1")->setEditText(u" "_s + standin.dataSource() + u" "_s);
    find<QLineEdit>("e1")->setText(u"NewConnection"_s);
    desktop.notices.clear();
    click("d3");
    QVERIFY2(desktop.notices.size() == 1 && desktop.notices[0].text == SuccessNotice,
             qPrintable(describe(desktop.notices)));
    const std::set<int> after = clientPortsTo(standin.port());
    QVERIFY2(after.size() == 1 && *after.begin() != *clientPorts.begin(),
             qPrintable(u"%1 connections, the first on the old port: %2"_s.arg(after.size())
                            .arg(after.count(*clientPorts.begin()))));
}

void LongSessionTest::twoCopiesAtOnce() {
    closeWindow();
    quarn_test::StandinProcess standin;
    // Each restore takes about a second, so the two overlap.
    QVERIFY2(standin.start({{u"sa:secret"_s}, {u"rate:2097152"_s}}),
             qPrintable(standin.errorString()));
    const QString backup = QDir(standin.scratch()).filePath(u"Shop.bak"_s);
    QVERIFY2(standin.makeBackup(backup, u"Shop"_s, {u"D:Shop_Data:1M"_s, u"L:Shop_Log:1M"_s}),
             qPrintable(standin.errorString()));
    const QString directory = QDir(standin.scratch()).filePath(u"data"_s);
    const QStringList names{u"FirstCopy"_s, u"SecondCopy"_s};

    QElapsedTimer started;
    started.start();
    std::vector<std::unique_ptr<QProcess>> copies;
    for (const QString& name : names) {
        copies.push_back(startCli({standin.dataSource(), u"sa"_s, u"secret"_s, SourceKind::Backup,
                                   backup, name, directory}));
    }
    // Both restoring at the same moment shows the two really ran at once.
    bool bothRestoring = false;
    const auto running = [&copies] {
        return std::any_of(copies.begin(), copies.end(),
                           [](const auto& copy) { return copy->state() != QProcess::NotRunning; });
    };
    while (running() && started.elapsed() < 60000) {
        const QList<CatalogueDatabase> catalogue = readCatalogue(standin);
        const CatalogueDatabase* first = findDatabase(catalogue, names[0]);
        const CatalogueDatabase* second = findDatabase(catalogue, names[1]);
        bothRestoring = bothRestoring || (first && second && first->state == u"RESTORING" &&
                                          second->state == u"RESTORING");
        QTest::qWait(20);
    }
    for (qsizetype i = 0; i < names.size(); ++i) {
        const CliOutcome outcome = finishCli(*copies[std::size_t(i)], started, 1000);
        QVERIFY2(outcome.exitCode == 0, qPrintable(outcome.describe()));
        QCOMPARE(withoutPercentLines(outcome.out),
                 successLines(SourceKind::Backup).join(u'\n') + u'\n');
        expectRestored(standin, names[i], directory);
    }
    QVERIFY2(bothRestoring, "the two restores never ran at the same time");
    std::printf("two copies restored at once in %lld ms\n",
                static_cast<long long>(started.elapsed()));
}

// Exits 77, which CTest counts as skipped, when this build has no stand-in.
int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    if (quarn_test::StandinProcess::binary().isEmpty()) {
        std::puts("skipped: this build has no SQL Server stand-in");
        return 77;
    }
    LongSessionTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "LongSessionTest.moc"
