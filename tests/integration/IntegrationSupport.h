#pragma once

// Shared by the integration tests: the run's texts, a restore entered into the window or given to
// the command line, the stand-in's catalogue as data, and this process's memory and connections.

#include "FakeDesktop.h"
#include "WindowControls.h"

#include "StandinProcess.h"
#include "db/OdbcQueryClient.h"
#include "restore/RestoreRequest.h"
#include "restore/StatementTexts.h"
#include "restore/TargetPaths.h"

#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QRegularExpression>
#include <QtTest>

#include <memory>
#include <set>

namespace integration {

using namespace Qt::Literals::StringLiterals;

inline const QString ConnectLine = u"尝试连接到MSSQL数据库... ..."_s;
inline const QString CreateLine = u"正在创建新的数据库..."_s;
inline const QString RestoreLine = u"正在恢复数据库..."_s;
inline const QString DropLine = u"正在删除未完成恢复的数据库..."_s;
inline const QString AttachLine = u"正在附加数据库..."_s;
inline const QString OkMark = u" OK！"_s;
inline const QString SuccessNotice = u"恭喜您，数据库已成功恢复了！！！"_s;
inline const QString FailureHeading = u"恢复过程出错,具体错误信息是:\r\r"_s;

// Every line of a successful run, each marked.
inline QStringList successLines(restore::SourceKind source) {
    if (source == restore::SourceKind::Backup) {
        return {ConnectLine + OkMark, CreateLine + OkMark, RestoreLine + OkMark};
    }
    return {ConnectLine + OkMark, AttachLine + OkMark};
}

// The command line's output without the restore's percent lines, whose number depends on how far
// the restore got.
inline QString withoutPercentLines(const QString& out) {
    static const QRegularExpression percentLine(u"^"_s + QRegularExpression::escape(RestoreLine) +
                                                    u" [0-9]+%\n"_s,
                                                QRegularExpression::MultilineOption);
    return QString(out).remove(percentLine);
}

// What the operator enters for one SQL-login restore.
struct RestoreInputs {
    QString server;
    QString user;
    QString password;
    restore::SourceKind source = restore::SourceKind::Backup;
    QString sourcePath; // the .bak, or the _Data.mdf with its _Log.LDF beside it
    QString name;
    QString directory;
};

// Fills the fields as the operator would, choosing the source through the file dialog.
inline void enterRestore(QWidget& window, FakeDesktop& desktop, const RestoreInputs& inputs) {
    control<QComboBox>(window, "b1")->setEditText(inputs.server);
    QTest::mouseClick(control<QWidget>(window, "c2"), Qt::LeftButton);
    control<QLineEdit>(window, "b2")->setText(inputs.user);
    control<QLineEdit>(window, "b3")->setText(inputs.password);
    const bool backup = inputs.source == restore::SourceKind::Backup;
    QTest::mouseClick(control<QWidget>(window, backup ? "c3" : "c4"), Qt::LeftButton);
    desktop.dialogAnswers.push_back(FakeDesktop::chosen(inputs.sourcePath, 0));
    QTest::mouseClick(control<QWidget>(window, "d1"), Qt::LeftButton);
    control<QLineEdit>(window, "e1")->setText(inputs.name);
    control<QLineEdit>(window, "e2")->setText(inputs.directory);
}

inline QString progressText(QWidget& window) {
    return control<QTextEdit>(window, "d4")->toPlainText();
}

inline QString describe(const QList<FakeDesktop::Notice>& notices) {
    QStringList texts;
    for (const FakeDesktop::Notice& notice : notices) {
        texts << (notice.kind == restore::NoticeKind::Error ? u"[error] "_s : u"[info] "_s) +
                     notice.text;
    }
    return texts.isEmpty() ? u"(no notice)"_s : texts.join(u" | ");
}

struct CliOutcome {
    int exitCode = -1; // -1: crashed or killed
    QString out;
    QString err;
    qint64 elapsedMs = 0;

    QString describe() const {
        return u"exit %1 after %2 ms\nstdout:\n%3\nstderr:\n%4"_s.arg(exitCode).arg(elapsedMs).arg(
            out, err);
    }
};

// The command line with the same inputs; the password goes through the environment.
inline std::unique_ptr<QProcess> startCli(const RestoreInputs& inputs) {
    auto cli = std::make_unique<QProcess>();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"QUARN_SQL_PASSWORD"_s, inputs.password);
    cli->setProcessEnvironment(environment);
    const bool backup = inputs.source == restore::SourceKind::Backup;
    cli->start(QStringLiteral(QUARN_CLI_BIN),
               {u"--server"_s, inputs.server, u"--user"_s, inputs.user,
                backup ? u"--backup"_s : u"--mdf"_s, inputs.sourcePath, u"--name"_s, inputs.name,
                u"--dir"_s, inputs.directory});
    cli->closeWriteChannel();
    return cli;
}

inline CliOutcome finishCli(QProcess& cli, const QElapsedTimer& started, int timeoutMs) {
    if (!cli.waitForFinished(timeoutMs)) {
        cli.kill();
        cli.waitForFinished();
    }
    return {cli.exitStatus() == QProcess::NormalExit ? cli.exitCode() : -1,
            QString::fromUtf8(cli.readAllStandardOutput()),
            QString::fromUtf8(cli.readAllStandardError()), started.elapsed()};
}

inline CliOutcome runCli(const RestoreInputs& inputs, int timeoutMs = 60000) {
    QElapsedTimer started;
    started.start();
    const std::unique_ptr<QProcess> cli = startCli(inputs);
    return finishCli(*cli, started, timeoutMs);
}

struct CatalogueFile {
    QString type;
    QString logical;
    QString path;
};

struct CatalogueDatabase {
    QString name;
    QString state;
    QList<CatalogueFile> files;
};

// ROOT/catalogue.txt: "db NAME STATE" lines, each followed by its "file TYPE LOGICAL PATH" lines,
// every field percent-encoded and a lone "%" standing for the empty text.
inline QList<CatalogueDatabase> readCatalogue(const quarn_test::StandinProcess& standin) {
    QFile file(QDir(standin.root()).filePath(u"catalogue.txt"_s));
    QList<CatalogueDatabase> databases;
    if (!file.open(QIODevice::ReadOnly)) {
        return databases;
    }
    const auto decode = [](const QByteArray& field) {
        return field == "%" ? QString() : QString::fromUtf8(QByteArray::fromPercentEncoding(field));
    };
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() == 3 && fields[0] == "db") {
            databases.append({decode(fields[1]), decode(fields[2]), {}});
        } else if (fields.size() == 4 && fields[0] == "file" && !databases.isEmpty()) {
            databases.last().files.append(
                {decode(fields[1]), decode(fields[2]), decode(fields[3])});
        }
    }
    return databases;
}

inline const CatalogueDatabase* findDatabase(const QList<CatalogueDatabase>& databases,
                                             const QString& name) {
    for (const CatalogueDatabase& database : databases) {
        if (database.name == name) {
            return &database;
        }
    }
    return nullptr;
}

inline QString describe(const CatalogueDatabase& database) {
    QString text = u"%1 (%2)"_s.arg(database.name, database.state);
    for (const CatalogueFile& file : database.files) {
        text += u" %1:%2:%3"_s.arg(file.type, file.logical, file.path);
    }
    return text;
}

// Resident memory of this process in KiB.
inline qint64 residentKiB() {
    QFile status(u"/proc/self/status"_s);
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:")) {
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
        }
    }
    return -1;
}

// Local ports of this machine's established TCP connections to `port`: the client side of each
// connection to the stand-in, which tells a kept connection from a new one.
inline std::set<int> clientPortsTo(quint16 port) {
    std::set<int> ports;
    QFile table(u"/proc/net/tcp"_s);
    if (!table.open(QIODevice::ReadOnly)) {
        return ports;
    }
    table.readLine(); // heading
    while (!table.atEnd()) {
        const QStringList fields =
            QString::fromLatin1(table.readLine()).split(u' ', Qt::SkipEmptyParts);
        if (fields.size() < 4 || fields[3] != u"01") { // 01: ESTABLISHED
            continue;
        }
        if (fields[2].section(u':', 1).toInt(nullptr, 16) == port) {
            ports.insert(fields[1].section(u':', 1).toInt(nullptr, 16));
        }
    }
    return ports;
}

// A detached pair NAME_Data.MDF and NAME_Log.LDF in `directory`, made by the stand-in itself: the
// database is created there and detached again. Empty on success, else what went wrong.
inline QString makeDetachedPair(const quarn_test::StandinProcess& standin, const QString& directory,
                                const QString& name) {
    const auto literal = [](const QString& text) {
        return u"N'"_s + restore::quoteStringLiteral(text) + u'\'';
    };
    const QString base = QDir(directory).filePath(name);
    db::OdbcQueryClient client;
    client.setConnectionString(standin.connectionString());
    try {
        client.setStatement(u"CREATE DATABASE ["_s + restore::quoteBracketName(name) +
                            u"] ON PRIMARY (NAME = "_s + literal(name + u"_Data"_s) +
                            u", FILENAME = "_s + literal(base + u"_Data.MDF"_s) +
                            u", SIZE = 1) LOG ON (NAME = "_s + literal(name + u"_Log"_s) +
                            u", FILENAME = "_s + literal(base + u"_Log.LDF"_s) + u", SIZE = 1)"_s);
        client.execute();
        client.setStatement(u"exec sp_detach_db "_s + literal(name));
        client.execute();
    } catch (const db::QueryError& error) {
        return error.message();
    }
    return {};
}

} // namespace integration
