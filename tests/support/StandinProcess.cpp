#include "StandinProcess.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <csignal>

#include <sys/prctl.h>

namespace quarn_test {

namespace {

constexpr int StartTimeoutMs = 10000;
constexpr int StopTimeoutMs = 10000;

QString readText(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return QString::fromUtf8(file.readAll());
}

} // namespace

QString StandinProcess::binary() {
    const QString fromEnvironment = qEnvironmentVariable("STANDIN_BIN");
    if (!fromEnvironment.isEmpty()) {
        return fromEnvironment;
    }
#ifdef QUARN_STANDIN_BIN
    return QStringLiteral(QUARN_STANDIN_BIN);
#else
    return {};
#endif
}

StandinProcess::StandinProcess() {
    QDir(dir_.path()).mkpath(QStringLiteral("root"));
    QDir(dir_.path()).mkpath(QStringLiteral("scratch"));
}

StandinProcess::~StandinProcess() {
    stop();
}

bool StandinProcess::start(const Options& options) {
    stop();
    error_.clear();
    port_ = 0;
    if (binary().isEmpty() || !QFile::exists(binary())) {
        error_ = QStringLiteral("the stand-in binary is not available");
        return false;
    }
    QStringList arguments{QStringLiteral("--port"), QStringLiteral("0"),
                          QStringLiteral("--root"), root(),
                          QStringLiteral("--log"),  batchLogPath()};
    for (const QString& login : options.logins) {
        arguments << QStringLiteral("--login") << login;
    }
    for (const QString& fault : options.faults) {
        arguments << QStringLiteral("--fault") << fault;
    }
    for (const QString& drive : options.drives) {
        arguments << QStringLiteral("--drive") << drive;
    }
    if (!options.version.isEmpty()) {
        arguments << QStringLiteral("--version") << options.version;
    }
    if (!options.edition.isEmpty()) {
        arguments << QStringLiteral("--edition") << options.edition;
    }
    process_ = std::make_unique<QProcess>();
    process_->setProgram(binary());
    process_->setArguments(arguments);
    process_->setStandardErrorFile(dir_.filePath(QStringLiteral("stderr.txt")), QIODevice::Append);
    process_->start();
    if (!process_->waitForStarted(StartTimeoutMs)) {
        error_ = QStringLiteral("cannot start %1: %2").arg(binary(), process_->errorString());
        process_.reset();
        return false;
    }
    static const QRegularExpression listening(
        QStringLiteral("^listening on 127\\.0\\.0\\.1:(\\d+)"));
    const QDeadlineTimer deadline(StartTimeoutMs);
    QByteArray output;
    while (!output.contains('\n')) {
        if (deadline.hasExpired() || (process_->bytesAvailable() == 0 &&
                                      !process_->waitForReadyRead(int(deadline.remainingTime())))) {
            error_ = QStringLiteral("no \"listening on\" line from the stand-in: %1 %2")
                         .arg(QString::fromUtf8(output), stderrText());
            stop();
            return false;
        }
        output += process_->readAll();
    }
    const QRegularExpressionMatch match = listening.match(QString::fromUtf8(output));
    if (!match.hasMatch()) {
        error_ = QStringLiteral("unexpected first line: %1").arg(QString::fromUtf8(output));
        stop();
        return false;
    }
    port_ = quint16(match.captured(1).toUInt());
    return true;
}

bool StandinProcess::stop() {
    if (!process_) {
        return false;
    }
    bool clean = false;
    if (process_->state() != QProcess::NotRunning) {
        process_->terminate(); // SIGTERM
        if (!process_->waitForFinished(StopTimeoutMs)) {
            process_->kill();
            process_->waitForFinished(StopTimeoutMs);
        }
    }
    clean = process_->exitStatus() == QProcess::NormalExit && process_->exitCode() == 0;
    process_.reset();
    return clean;
}

bool StandinProcess::isRunning() const {
    return process_ && process_->state() == QProcess::Running;
}

QString StandinProcess::dataSource() const {
    return QStringLiteral("127.0.0.1,%1").arg(port_);
}

QString StandinProcess::connectionString(const QString& user, const QString& password,
                                         const QString& catalog) const {
    auto quoted = [](QString value) {
        return u'"' + value.replace(u'"', QStringLiteral("\"\"")) + u'"';
    };
    return QStringLiteral("Provider=SQLOLEDB.1;Persist Security Info=True;User ID=%1;Password=%2;"
                          "Initial Catalog=%3;Data Source=%4;")
        .arg(quoted(user), quoted(password), quoted(catalog), dataSource());
}

QString StandinProcess::scratch() const {
    return dir_.filePath(QStringLiteral("scratch"));
}

QString StandinProcess::root() const {
    return dir_.filePath(QStringLiteral("root"));
}

QString StandinProcess::batchLogPath() const {
    return dir_.filePath(QStringLiteral("batches.log"));
}

QStringList StandinProcess::batches() const {
    QFile file(batchLogPath());
    QStringList result;
    if (!file.open(QIODevice::ReadOnly)) {
        return result;
    }
    const QByteArray log = file.readAll();
    qsizetype pos = 0;
    // "batch <N>\n<N bytes>\n", and "attention\n" for each cancel
    while (pos < log.size()) {
        const qsizetype newline = log.indexOf('\n', pos);
        if (newline >= 0 && log.sliced(pos, newline - pos) == "attention") {
            pos = newline + 1;
            continue;
        }
        if (newline < 0 || !log.sliced(pos, newline - pos).startsWith("batch ")) {
            break;
        }
        const qsizetype length = log.sliced(pos + 6, newline - pos - 6).toLongLong();
        result << QString::fromUtf8(log.sliced(newline + 1, length));
        pos = newline + 1 + length + 1;
    }
    return result;
}

QString StandinProcess::stderrText() const {
    return readText(dir_.filePath(QStringLiteral("stderr.txt")));
}

QString StandinProcess::catalogueText() const {
    return readText(QDir(root()).filePath(QStringLiteral("catalogue.txt")));
}

bool StandinProcess::makeBackup(const QString& out, const QString& database,
                                const QStringList& files, Device device, const QString& version,
                                const QStringList& more) {
    QStringList arguments{QStringLiteral("make-backup"), out, QStringLiteral("--db"), database};
    if (device == Device::Append) {
        arguments << QStringLiteral("--append");
    }
    if (!version.isEmpty()) {
        arguments << QStringLiteral("--version") << version;
    }
    for (const QString& file : files) {
        arguments << QStringLiteral("--file") << file;
    }
    arguments << more;
    QProcess maker;
    maker.setProcessChannelMode(QProcess::MergedChannels);
    maker.start(binary(), arguments);
    if (!maker.waitForFinished(120000) || maker.exitStatus() != QProcess::NormalExit ||
        maker.exitCode() != 0) {
        error_ = QStringLiteral("make-backup failed: %1").arg(QString::fromUtf8(maker.readAll()));
        return false;
    }
    return true;
}

} // namespace quarn_test

// FreeTDS 1.3 leaks its login record when it refuses a connection string, which the ODBC client
// makes it do once per process (its brace probe). Read by LeakSanitizer in sanitized builds only.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libtdsodbc.so\n";
}
