#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <string>

namespace {

struct Outcome {
    int exitCode = -1;
    QString out;
    QString err;
};

inline Outcome runCli(const QStringList& arguments,
                      const QString& password = QStringLiteral("secret"),
                      const QByteArray& input = {}, const QString& workingDirectory = {},
                      const QString& program = QUARN_CLI_BIN) {
    QProcess cli;
    cli.setWorkingDirectory(workingDirectory);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("QUARN_SQL_PASSWORD"));
    environment.remove(QStringLiteral("QUARN_SQL_VIA_PASSWORD"));
    // Read by LeakSanitizer in sanitized builds only.
    environment.insert(QStringLiteral("LSAN_OPTIONS"),
                       QStringLiteral("suppressions=" QUARN_CLI_LSAN_SUPPRESSIONS));
    if (!password.isNull()) {
        environment.insert(QStringLiteral("QUARN_SQL_PASSWORD"), password);
        environment.insert(QStringLiteral("QUARN_SQL_VIA_PASSWORD"), password);
    }
    cli.setProcessEnvironment(environment);
    cli.start(program, arguments);
    cli.write(input);
    cli.closeWriteChannel();
    if (!cli.waitForFinished(60000)) {
        cli.kill();
        cli.waitForFinished();
    }
    return {cli.exitStatus() == QProcess::NormalExit ? cli.exitCode() : -1,
            QString::fromUtf8(cli.readAllStandardOutput()),
            QString::fromUtf8(cli.readAllStandardError())};
}

inline std::string describe(const Outcome& outcome) {
    return ("exit " + QString::number(outcome.exitCode) + "\nstdout:\n" + outcome.out +
            "\nstderr:\n" + outcome.err)
        .toStdString();
}

} // namespace
