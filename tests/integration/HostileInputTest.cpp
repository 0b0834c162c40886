// Hostile text in every field the operator types, through the window against the stand-in. Each
// input ends in a restore under exactly the name and paths entered (after the window's trimming),
// or in a clear refusal or server error; never in a database of another name or a crash.

#include "IntegrationSupport.h"
#include "WindowFixture.h"

#include <QFileInfo>
#include <QtTest>

#include <cstdio>

using namespace integration;
using namespace Qt::Literals::StringLiterals;
using restore::SourceKind;

namespace {

enum class Outcome {
    Restored,
    Refused,       // a check of the fields: its notice, nothing sent
    ClientRefused, // the client refuses before sending: the error notice, nothing sent
    ServerError,   // the error notice with the server's text
};

// Logins of the stand-in, password hostile (NAME:PASSWORD; a name holds no colon).
const QList<std::pair<QString, QString>> Logins{
    {u"sa"_s, u"secret"_s},
    {u"pw_semicolon"_s, u"semi;colon"_s},
    {u"pw_equals"_s, u"a=b==c"_s},
    {u"pw_double_quote"_s, u"say \"hi\""_s},
    {u"pw_single_quote"_s, u"it's"_s},
    {u"pw_open_brace"_s, u"{open"_s},
    {u"pw_close_brace"_s, u"close}"_s},
    {u"pw_braced"_s, u"{all}"_s},
    {u"pw_blanks"_s, u"  lead inner trail  "_s},
    {u"pw_everything"_s, u" ;=\"'{}} x{ "_s},
    {u"pw_brace_semicolon"_s, u"a};b"_s},
    {u"o'ne;{u}=\"x\" "_s, u"user is hostile"_s},
};

QString repeated(const QString& piece, int times) {
    QString text;
    for (int i = 0; i < times; ++i) {
        text += piece;
    }
    return text;
}

} // namespace

Q_DECLARE_METATYPE(Outcome)
Q_DECLARE_METATYPE(restore::SourceKind)

class HostileInputTest : public QObject, private WindowFixture {
    Q_OBJECT

private slots:
    void initTestCase();
    void init() { QVERIFY(openWindow()); }
    void cleanup() { closeWindow(); }
    void cleanupTestCase();

    void hostileInput_data();
    void hostileInput();

private:
    // A folder of the server's scratch area, made for the row.
    QString place(const QString& relative) const;

    quarn_test::StandinProcess standin;
    QString backup;
    int tried = 0;
    int restored = 0;
};

void HostileInputTest::initTestCase() {
    QStringList logins;
    for (const auto& [user, password] : Logins) {
        logins << user + u':' + password;
    }
    QVERIFY2(standin.start({logins, {}}), qPrintable(standin.errorString()));
    backup = QDir(standin.scratch()).filePath(u"Shop.bak"_s);
    QVERIFY2(standin.makeBackup(backup, u"Shop"_s, {u"D:Shop_Data:64K"_s, u"L:Shop_Log:64K"_s}),
             qPrintable(standin.errorString()));
}

void HostileInputTest::cleanupTestCase() {
    std::printf("hostile inputs tried: %d, restored: %d\n", tried, restored);
}

QString HostileInputTest::place(const QString& relative) const {
    return QDir(standin.scratch()).filePath(relative);
}

void HostileInputTest::hostileInput_data() {
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<SourceKind>("source");
    QTest::addColumn<QString>("sourceFile");  // made for the row; empty: the shared backup
    QTest::addColumn<QString>("sourceField"); // what d2 holds; empty: sourceFile
    QTest::addColumn<QString>("decoy"); // another backup made there, which must not be restored
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("directory");
    QTest::addColumn<Outcome>("outcome");
    QTest::addColumn<QString>("storedName");      // e1 after the press, the database's name
    QTest::addColumn<QString>("storedDirectory"); // e2 after the press
    QTest::addColumn<QString>("notice");          // refusal notice, or part of the client's text

    const QString server = standin.dataSource();
    const QString data = place(u"data"_s) + u'/';
    // The password of every login, by user name.
    const auto passwordOf = [](const QString& user) {
        for (const auto& [name, password] : Logins) {
            if (name == user) {
                return password;
            }
        }
        return QString();
    };
    const auto row = [&](const char* tag, const QString& user, const QString& name,
                         const QString& directory, Outcome outcome, const QString& storedName,
                         const QString& storedDirectory, const QString& notice = {}) {
        QTest::newRow(tag) << server << user << passwordOf(user) << SourceKind::Backup << QString()
                           << QString() << QString() << name << directory << outcome << storedName
                           << storedDirectory << notice;
    };
    const auto named = [&](const char* tag, const QString& name, Outcome outcome,
                           const QString& storedName, const QString& notice = {}) {
        row(tag, u"sa"_s, name, data, outcome, storedName, data, notice);
    };
    const QString tooLong = u"File name too long"_s;
    named("name with '", u"O'Brien"_s, Outcome::Restored, u"O'Brien"_s);
    named("name with ]", u"a]b[c]]"_s, Outcome::Restored, u"a]b[c]]"_s);
    named("name with ;", u"x; DROP DATABASE master; --"_s, Outcome::Restored,
          u"x; DROP DATABASE master; --"_s);
    named("name with \"", u"say \"hi\""_s, Outcome::Restored, u"say \"hi\""_s);
    // The files stay in the target folder under names Windows can hold.
    named("name climbing out with /", u"../up"_s, Outcome::Restored, u"../up"_s);
    named("name climbing out with \\", u"..\\..\\up"_s, Outcome::Restored, u"..\\..\\up"_s);
    named("name Chinese", u"新的数据库"_s, Outcome::Restored, u"新的数据库"_s);
    named("name beyond the basic plane", u"库😀𠀀"_s, Outcome::Restored, u"库😀𠀀"_s);
    named("name of a system database in other case", u"MASTER"_s, Outcome::ServerError, u"MASTER"_s,
          u"already exists"_s);
    // Parameter markers, named parameters and ODBC escapes must reach the server as typed.
    named("name with ? : @ % `", u"what? :p @v 100% `tick`"_s, Outcome::Restored,
          u"what? :p @v 100% `tick`"_s);
    named("name with an ODBC escape", u"{fn NOW()} {d '2026-12-06'}"_s, Outcome::Restored,
          u"{fn NOW()} {d '2026-12-06'}"_s);
    named("name closing literal and bracket", u"x'] ; DROP DATABASE [master] --"_s,
          Outcome::Restored, u"x'] ; DROP DATABASE [master] --"_s);
    named("name blanks around", u"  padded name  "_s, Outcome::Restored, u"padded name"_s);
    named("name control characters around",
          u"\t\x01\x1f"
          u"ctl ends\x7f\x1b "_s,
          Outcome::Restored, u"ctl ends\x7f"_s);
    named("name control character inside", u"tab\there\x01"_s, Outcome::Restored, u"tab\there"_s);
    named("name 128 characters", repeated(u"n"_s, 128), Outcome::Restored, repeated(u"n"_s, 128));
    named("name 80 Chinese characters", repeated(u"库"_s, 80), Outcome::Restored,
          repeated(u"库"_s, 80));
    // The server's file system takes 255 bytes a name: the create fails there.
    named("name 128 Chinese characters", repeated(u"新"_s, 128), Outcome::ServerError,
          repeated(u"新"_s, 128), tooLong);
    // Longer than 128 characters, the server refuses the name before anything runs.
    named("name 260 characters", repeated(u"L"_s, 260), Outcome::ServerError, repeated(u"L"_s, 260),
          u"is too long. Maximum length is 128"_s);
    named("name only blanks and controls", u" \t\x01\n "_s, Outcome::Refused, QString(),
          u"请输入\"新的数据库名称\""_s);

    const auto inFolder = [&](const char* tag, const QString& folder, const QString& name) {
        const QString directory = place(folder);
        row(tag, u"sa"_s, name, directory, Outcome::Restored, name, directory + u'/');
    };
    inFolder("folder with '", u"it's"_s, u"InQuoteFolder"_s);
    inFolder("folder with ]", u"a]b"_s, u"InBracketFolder"_s);
    inFolder("folder with ;", u"a;b"_s, u"InSemicolonFolder"_s);
    inFolder("folder with \"", u"a\"b"_s, u"InDoubleQuoteFolder"_s);
    inFolder("folder Chinese with blank", u"数据 目录"_s, u"InChineseFolder"_s);
    inFolder("folder with ? and an ODBC escape", u"q? {fn NOW()}"_s, u"InEscapeFolder"_s);
    inFolder("folder control character inside",
             u"a\x01"
             u"b"_s,
             u"InControlFolder"_s);
    // 260 characters in all, in levels the tool creates one by one.
    const QString deepBase = place(u"deep"_s);
    QString deep = deepBase;
    while (deep.size() + 51 < 260) {
        deep += u'/' + repeated(u"d"_s, 50);
    }
    deep += u'/' + repeated(u"e"_s, 259 - deep.size());
    inFolder("folder 260 characters", deep.mid(standin.scratch().size() + 1), u"InDeepFolder"_s);
    row("folder blanks around", u"sa"_s, u"InPaddedFolder"_s,
        u"  "_s + place(u"padded"_s) + u"  "_s, Outcome::Restored, u"InPaddedFolder"_s,
        place(u"padded"_s) + u'/');
    row("folder control characters around", u"sa"_s, u"InTrimmedFolder"_s,
        u"\t\x02"_s + place(u"trimmed"_s) + u"/\x1f\r"_s, Outcome::Restored, u"InTrimmedFolder"_s,
        place(u"trimmed"_s) + u'/');
    // One level longer than a file name may be cannot be made: the check refuses it.
    row("folder level of 260 characters", u"sa"_s, u"InLongLevel"_s, place(repeated(u"f"_s, 260)),
        Outcome::Refused, u"InLongLevel"_s, place(repeated(u"f"_s, 260)) + u'/',
        u"您输入的是无效目录"_s);

    const auto fromSource = [&](const char* tag, SourceKind source, const QString& file,
                                const QString& field, const QString& name, Outcome outcome,
                                const QString& notice = {}, const QString& decoy = {}) {
        QTest::newRow(tag) << server << u"sa"_s << u"secret"_s << source << file << field << decoy
                           << name << data << outcome << name << data << notice;
    };
    fromSource("backup path with ' ] ; \" Chinese blanks", SourceKind::Backup,
               place(u"src 1/O'Brien's ]; \"新\" backup.bak"_s), QString(), u"FromHostilePath"_s,
               Outcome::Restored);
    fromSource("backup path with a control character", SourceKind::Backup,
               place(u"src 2/a\x01"
                     u"b.bak"_s),
               QString(), u"FromControlPath"_s, Outcome::Restored);
    QString longBackup = place(u"src 3/"_s);
    longBackup += repeated(u"b"_s, 260 - longBackup.size() - 4) + u".bak"_s;
    fromSource("backup path 260 characters", SourceKind::Backup, longBackup, QString(),
               u"FromLongPath"_s, Outcome::Restored);
    // The source field is sent as it stands, untrimmed.
    fromSource("backup path with a leading blank", SourceKind::Backup, place(u"src 4/x.bak"_s),
               u" "_s + place(u"src 4/x.bak"_s), u"FromBlankPath"_s, Outcome::ServerError,
               u"Cannot open backup device ' "_s);
    // A no-break space or a line separator is a different file name than a blank or a line feed.
    fromSource("backup path with a no-break space", SourceKind::Backup,
               place(u"src 7/no\u00a0break.bak"_s), QString(), u"FromNoBreakPath"_s,
               Outcome::Restored, QString(), place(u"src 7/no break.bak"_s));
    fromSource("backup path with a line separator", SourceKind::Backup,
               place(u"src 8/line\u2028separator.bak"_s), QString(), u"FromSeparatorPath"_s,
               Outcome::Restored, QString(), place(u"src 8/line\nseparator.bak"_s));
    fromSource("backup path with a paragraph separator and a carriage return", SourceKind::Backup,
               place(u"src 10/para\u2029graph\rreturn.bak"_s), QString(), u"FromParagraphPath"_s,
               Outcome::Restored, QString(), place(u"src 10/para\ngraph\nreturn.bak"_s));
    fromSource("data files in a folder with a no-break space", SourceKind::DataFiles,
               place(u"src 9/no\u00a0break/Pair_Data.MDF"_s), QString(), u"AttachedNoBreak"_s,
               Outcome::Restored);
    fromSource("data files in a folder with ' ] ; Chinese", SourceKind::DataFiles,
               place(u"src 5/it's ]; 新/Pair_Data.MDF"_s), QString(), u"AttachedHostilePath"_s,
               Outcome::Restored);
    fromSource("data files attached under a hostile name", SourceKind::DataFiles,
               place(u"src 6/Pair_Data.MDF"_s), QString(), u"O'Brien]; 附加\"库\""_s,
               Outcome::Restored);

    const auto withLogin = [&](const char* tag, const QString& user, const QString& name) {
        row(tag, user, name, data, Outcome::Restored, name, data);
    };
    withLogin("password with ;", u"pw_semicolon"_s, u"LoginSemicolon"_s);
    withLogin("password with =", u"pw_equals"_s, u"LoginEquals"_s);
    withLogin("password with \"", u"pw_double_quote"_s, u"LoginDoubleQuote"_s);
    withLogin("password with '", u"pw_single_quote"_s, u"LoginSingleQuote"_s);
    withLogin("password with {", u"pw_open_brace"_s, u"LoginOpenBrace"_s);
    withLogin("password with }", u"pw_close_brace"_s, u"LoginCloseBrace"_s);
    withLogin("password in braces", u"pw_braced"_s, u"LoginBraced"_s);
    withLogin("password with blanks around and inside", u"pw_blanks"_s, u"LoginBlanks"_s);
    withLogin("password with all of them", u"pw_everything"_s, u"LoginEverything"_s);
    withLogin("user name with ' ; { } = \" and a blank", u"o'ne;{u}=\"x\" "_s,
              u"LoginHostileUser"_s);
    // FreeTDS ends a braced value at the first "};", so the client refuses such a password.
    row("password with };", u"pw_brace_semicolon"_s, u"LoginBraceSemicolon"_s, data,
        Outcome::ClientRefused, u"LoginBraceSemicolon"_s, data, u"contains \"};\""_s);

    const auto injected = [&](const char* tag, const QString& server, const QString& user,
                              const QString& password, const QString& name, Outcome outcome,
                              const QString& notice) {
        QTest::newRow(tag) << server << user << password << SourceKind::Backup << QString()
                           << QString() << QString() << name << data << outcome << name << data
                           << notice;
    };
    // Text that would log in as sa if it reached the driver as keys of its own.
    injected("password carrying another password", server, u"sa"_s, u"wrong;PWD=secret"_s,
             u"InjectedPassword"_s, Outcome::ServerError, u"Login failed for user 'sa'"_s);
    injected("password carrying a closing quote", server, u"sa"_s, u"wrong\";PWD=\"secret"_s,
             u"InjectedQuote"_s, Outcome::ServerError, u"Login failed for user 'sa'"_s);
    injected("user name carrying a password", server, u"sa;PWD=secret"_s, u"wrong"_s,
             u"InjectedUser"_s, Outcome::ServerError, u"Login failed for user 'sa;PWD=secret'"_s);
    injected("server name carrying a login", server + u";UID=sa;PWD=secret"_s, u"sa"_s, u"wrong"_s,
             u"InjectedServer"_s, Outcome::ServerError, u"Login failed for user 'sa'"_s);

    const auto atServer = [&](const char* tag, const QString& server, const QString& name) {
        QTest::newRow(tag) << server << u"sa"_s << u"secret"_s << SourceKind::Backup << QString()
                           << QString() << QString() << name << data << Outcome::Restored << name
                           << data << QString();
    };
    atServer("server name with blanks around", u" "_s + server + u" "_s, u"ServerBlanks"_s);
    atServer("server name with tabs and blanks inside",
             u"\t"_s + QString(server).replace(u',', u" , "_s) + u"\t"_s, u"ServerInnerBlanks"_s);
}

void HostileInputTest::hostileInput() {
    QFETCH(QString, server);
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(SourceKind, source);
    QFETCH(QString, sourceFile);
    QFETCH(QString, sourceField);
    QFETCH(QString, decoy);
    QFETCH(QString, name);
    QFETCH(QString, directory);
    QFETCH(Outcome, outcome);
    QFETCH(QString, storedName);
    QFETCH(QString, storedDirectory);
    QFETCH(QString, notice);
    ++tried;

    if (!decoy.isEmpty()) {
        QVERIFY(QDir().mkpath(QFileInfo(decoy).path()));
        QVERIFY2(
            standin.makeBackup(decoy, u"Decoy"_s, {u"D:Decoy_Data:64K"_s, u"L:Decoy_Log:64K"_s}),
            qPrintable(standin.errorString()));
    }
    if (sourceFile.isEmpty()) {
        sourceFile = backup;
    } else if (source == SourceKind::Backup) {
        QVERIFY(QDir().mkpath(QFileInfo(sourceFile).path()));
        QVERIFY2(
            standin.makeBackup(sourceFile, u"Shop"_s, {u"D:Shop_Data:64K"_s, u"L:Shop_Log:64K"_s}),
            qPrintable(standin.errorString()));
    } else {
        const QFileInfo data(sourceFile);
        QVERIFY(QDir().mkpath(data.path()));
        const QString problem =
            makeDetachedPair(standin, data.path(), data.fileName().chopped(9)); // _Data.MDF
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
    }
    const RestoreInputs inputs{
        server, user,     password, source, sourceField.isEmpty() ? sourceFile : sourceField,
        name,   directory};
    QStringList before;
    for (const CatalogueDatabase& database : readCatalogue(standin)) {
        before << database.name;
    }
    const qsizetype batchesBefore = standin.batches().size();

    enterRestore(*form, desktop, inputs);
    click("d3");

    const QString seen = u"notices: %1\nprogress:\n%2\nstand-in said: %3"_s.arg(
        describe(desktop.notices), progressText(*form), standin.stderrText());
    const QList<CatalogueDatabase> catalogue = readCatalogue(standin);
    for (const CatalogueDatabase& database : catalogue) {
        QVERIFY2(before.contains(database.name) || database.name == storedName,
                 qPrintable(u"a database of another name: "_s + describe(database) + u'\n' + seen));
    }
    QVERIFY2(desktop.notices.size() == 1, qPrintable(seen));
    const FakeDesktop::Notice& shown = desktop.notices[0];
    if (outcome != Outcome::Refused) {
        QCOMPARE(find<QLineEdit>("e1")->text(), storedName);
        QCOMPARE(find<QLineEdit>("e2")->text(), storedDirectory);
    }
    const CatalogueDatabase* made = findDatabase(catalogue, storedName);
    switch (outcome) {
    case Outcome::Restored: {
        QVERIFY2(shown.text == SuccessNotice, qPrintable(seen));
        QCOMPARE(progressText(*form), successLines(source).join(u'\n'));
        QVERIFY2(made && made->state == u"ONLINE", qPrintable(seen));
        const QStringList expectedFiles =
            source == SourceKind::Backup
                ? QStringList{storedDirectory + restore::fileNamePart(storedName) + u"_Data.MDF"_s,
                              storedDirectory + restore::fileNamePart(storedName) + u"_Log.LDF"_s}
                : QStringList{inputs.sourcePath, restore::logSourcePath(inputs.sourcePath)};
        // Made from the chosen source: its logical names.
        const QString origin = source == SourceKind::Backup ? u"Shop"_s : u"Pair"_s;
        QStringList files;
        QStringList logicalNames;
        for (const CatalogueFile& file : made->files) {
            files << file.path;
            logicalNames << file.logical;
        }
        QCOMPARE(files, expectedFiles);
        QCOMPARE(logicalNames, QStringList({origin + u"_Data"_s, origin + u"_Log"_s}));
        for (const QString& file : files) {
            QVERIFY2(QFileInfo(file).isFile(), qPrintable(file + u" is not on disk"_s));
        }
        ++restored;
        break;
    }
    case Outcome::Refused:
        QVERIFY2(shown.text == notice, qPrintable(seen));
        QCOMPARE(standin.batches().size(), batchesBefore);
        break;
    case Outcome::ClientRefused:
    case Outcome::ServerError:
        QVERIFY2(shown.kind == restore::NoticeKind::Error &&
                     shown.text.startsWith(FailureHeading) && shown.text.contains(notice),
                 qPrintable(seen));
        if (outcome == Outcome::ClientRefused) {
            QCOMPARE(standin.batches().size(), batchesBefore);
        }
        break;
    }
}

// Exits 77, which CTest counts as skipped, when this build has no stand-in.
int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    if (quarn_test::StandinProcess::binary().isEmpty()) {
        std::puts("skipped: this build has no SQL Server stand-in");
        return 77;
    }
    HostileInputTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "HostileInputTest.moc"
