#include "cli/CommandLine.h"

#include <gtest/gtest.h>

#include <variant>

using cli::CommandLine;

namespace {

template <typename T> QString shown(const std::optional<T>& value) {
    if (!value) {
        return QStringLiteral("-");
    }
    if constexpr (std::is_same_v<T, QDateTime>) {
        return value->toString(Qt::ISODate);
    } else if constexpr (std::is_same_v<T, int>) {
        return QString::number(*value);
    } else {
        return *value;
    }
}

// Every field, so that a row fails on any of them.
QString described(const CommandLine& c) {
    return QStringList{shown(c.server),
                       c.windowsAuth ? "windows" : "-",
                       shown(c.user),
                       c.backups.join('|'),
                       shown(c.mdf),
                       shown(c.name),
                       shown(c.dir),
                       shown(c.defaultsFile),
                       c.script ? "script" : "-",
                       c.list ? "list" : "-",
                       shown(c.backupSet),
                       shown(c.until),
                       shown(c.database),
                       c.asksForSequence() ? "sequence" : "-",
                       c.upgradeFiles ? "upgrade" : "-",
                       c.copyFirst ? "copy" : "-",
                       c.rebuildLog ? "rebuild" : "-",
                       c.fixUsers ? "fix-users" : "-",
                       shown(c.owner)}
        .join(", ");
}

QString parsed(const QStringList& arguments) {
    const auto result = cli::parseCommandLine(QStringList{"quarn-sql-restore-cli"} + arguments);
    if (const auto* error = std::get_if<cli::UsageError>(&result)) {
        return "refused: " + error->message;
    }
    if (std::holds_alternative<cli::HelpRequested>(result)) {
        return QStringLiteral("help");
    }
    return described(std::get<CommandLine>(result));
}

CommandLine restoreOf(const QString& backup) {
    CommandLine c;
    c.server = "db";
    c.user = "sa";
    c.backups = {backup};
    c.name = "New";
    c.dir = "/data";
    return c;
}

} // namespace

TEST(CommandLineParsing, ArgumentsGiveTheOptionsOrTheExactRefusal) {
    const QStringList restore = {"--server", "db",     "--user", "sa",    "--backup",
                                 "a.bak",    "--name", "New",    "--dir", "/data"};
    CommandLine sequence = restoreOf("a.bak");
    sequence.backups << "b.trn";
    sequence.until = QDateTime(QDate(2026, 12, 8), QTime(10, 41), Qt::UTC);
    CommandLine chosenSet = restoreOf("a.bak");
    chosenSet.backupSet = 32767;
    chosenSet.list = true;
    CommandLine attach;
    attach.windowsAuth = true;
    attach.mdf = "Shop_Data.mdf";
    attach.defaultsFile = "d.ini";
    attach.script = true;
    CommandLine attachAlone;
    attachAlone.mdf = "Shop_Data.mdf";
    attachAlone.upgradeFiles = attachAlone.copyFirst = attachAlone.rebuildLog = true;
    CommandLine mended = restoreOf("a.bak");
    mended.fixUsers = true;
    mended.owner = "app";
    CommandLine named;
    named.backups = {"a.bak"};
    named.database = "Shop";

    const struct {
        QStringList arguments;
        QString expected;
    } rows[] = {
        {restore, described(restoreOf("a.bak"))},
        {restore + QStringList{"--backup", "b.trn", "--until", "2026-12-08 10:41"},
         described(sequence)},
        {restore + QStringList{"--backup-set", "32767", "--list"}, described(chosenSet)},
        {{"--windows-auth", "--mdf", "Shop_Data.mdf", "--defaults", "d.ini", "--script"},
         described(attach)},
        {{"--backup", "a.bak", "--database", "Shop"}, described(named)},
        {{"--mdf", "Shop_Data.mdf", "--rebuild-log", "--copy-first", "--upgrade-files"},
         described(attachAlone)},
        {restore + QStringList{"--fix-users", "--owner", "app"}, described(mended)},
        {{"--owner", ""}, "refused: --owner wants a login name of 1 to 128 characters"},
        {{"--owner", "a", "--owner", "b"}, "refused: --owner given more than once"},
        {{"--name", "x", "-h"}, "help"},
        {{"--bogus"}, "refused: Unknown option 'bogus'."},
        {{"--server"}, "refused: Missing value after '--server'."},
        {{"stray"}, "refused: unexpected argument: stray"},
        {{"--name", "a", "--name", "b"}, "refused: --name given more than once"},
        {{"--windows-auth", "--user", "sa"},
         "refused: --windows-auth and --user exclude each other"},
        {{"--backup", "a.bak", "--mdf", "a_Data.mdf"},
         "refused: --backup and --mdf exclude each other"},
        {{"--backup-set", "0"}, "refused: --backup-set wants a number from 1 to 32767, not 0"},
        {{"--backup-set", "32768"},
         "refused: --backup-set wants a number from 1 to 32767, not 32768"},
        {{"--until", "2026-12-08"},
         "refused: --until wants 'YYYY-MM-DD HH:MM[:SS]', not 2026-12-08"},
        {{"--backup-set", "2", "--until", "2026-12-08 10:41"},
         "refused: --backup-set names one set of one file; a sequence is chosen from the "
         "backups' headers"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(parsed(row.arguments), row.expected) << row.arguments.join(' ').toStdString();
    }
}
