#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>
#include <variant>

namespace cli {

// The options as given; unset ones are taken from the defaults file, then from the window's
// initial field texts.
struct CommandLine {
    std::optional<QString> server;
    bool windowsAuth = false;
    std::optional<QString> user;
    QStringList backups; // files or folders, in the order given
    std::optional<QString> mdf;
    std::optional<QString> name;
    std::optional<QString> dir;
    std::optional<QString> defaultsFile;
    bool script = false;
    bool list = false;
    std::optional<int> backupSet;   // position in the backup device, from 1
    std::optional<QDateTime> until; // the server's local time, held without a zone
    std::optional<QString> database;
    bool verify = false;       // RESTORE VERIFYONLY of the sets before anything is made
    bool check = false;        // DBCC consistency checks after the restore
    bool finish = false;       // the upgrade's leftovers on SQL Server 2005 and later
    bool upgradeFiles = false; // a newer server may upgrade the attached files in place
    bool copyFirst = false;    // attach copies made in the target folder
    bool rebuildLog = false;   // attach the data file alone, the server making a new log
    bool fixUsers = false;
    std::optional<QString> owner;
    // Through a SQL Server 2005 to 2008 R2 server (the hop) to a server that cannot restore the
    // backup itself.
    std::optional<QString> via;
    std::optional<QString> viaUser; // the hop's SQL login; Windows authentication without it
    std::optional<QString> share;   // a folder both servers reach, in their form
    std::optional<QString> viaDir;  // the hop's folder for the scratch database's files

    // Several backups, a folder, a time or a database name ask for a restore sequence planned
    // from the backups' headers.
    bool asksForSequence() const;
};

struct HelpRequested {
    QString text;
};

struct UsageError {
    QString message;
};

std::variant<CommandLine, HelpRequested, UsageError> parseCommandLine(const QStringList& arguments);

} // namespace cli
