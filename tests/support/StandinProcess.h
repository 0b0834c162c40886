#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

namespace quarn_test {

// The SQL Server stand-in (tools/standin) run for one test: 127.0.0.1, a free port, a fresh
// root folder and batch log, stopped with SIGTERM when the object goes.
class StandinProcess {
public:
    struct Options {
        QStringList logins{QStringLiteral("sa:secret")}; // NAME:PASSWORD
        QStringList faults{}; // --fault rules, see tools/standin/README.md
        QStringList drives{}; // --drive rules, "D=FOLDER"
        // --version: 2000 (when empty), 2005, 2008, 2008R2, 2012, 2014, 2016, 2017, 2019 or 2022
        QString version{};
        QString edition{}; // --edition: Enterprise (when empty), Standard or Express
    };

    // The binary: the STANDIN_BIN environment variable, else the one this build made; empty when
    // there is none (tests then skip).
    static QString binary();

    StandinProcess();
    ~StandinProcess();
    StandinProcess(const StandinProcess&) = delete;
    StandinProcess& operator=(const StandinProcess&) = delete;

    // Starts it and waits for its "listening on" line; false with errorString() when it fails.
    bool start(const Options& options);
    bool start() { return start(Options()); }
    // SIGTERM; true when it exited with status 0.
    bool stop();
    bool isRunning() const;
    QString errorString() const { return error_; }

    quint16 port() const { return port_; }
    // "127.0.0.1,PORT", the Data Source of the OLE DB connection strings.
    QString dataSource() const;
    // The SQL-login connection string the run builds, pointed at this stand-in.
    QString connectionString(const QString& user = QStringLiteral("sa"),
                             const QString& password = QStringLiteral("secret"),
                             const QString& catalog = QStringLiteral("master")) const;

    // Scratch folder for backups and database files; removed with the object.
    QString scratch() const;
    QString root() const;
    QString batchLogPath() const;
    // Every SQL batch received so far, exactly as sent (UTF-8 decoded); attentions are left out.
    QStringList batches() const;
    QString stderrText() const;
    // The catalogue file's text (ROOT/catalogue.txt).
    QString catalogueText() const;

    enum class Device { New, Append };
    // Runs `standin make-backup OUT --db NAME --file TYPE:LOGICAL:SIZE[:PHYSICAL]...`, with
    // --append to add a set to OUT, --version for a set made by a newer server and `more`
    // arguments (--user NAME:SID, --owner SID); false with errorString() on failure.
    bool makeBackup(const QString& out, const QString& database, const QStringList& files,
                    Device device = Device::New, const QString& version = {},
                    const QStringList& more = {});

private:
    QTemporaryDir dir_;
    std::unique_ptr<QProcess> process_;
    quint16 port_ = 0;
    QString error_;
};

} // namespace quarn_test
