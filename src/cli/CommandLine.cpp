#include "cli/CommandLine.h"

#include "cli/BackupFiles.h"
#include "restore/ServerTime.h"

#include <QCommandLineParser>

#include <algorithm>

namespace cli {

namespace {

const QString HelpText = QStringLiteral(
    "用法 Usage: quarn-sql-restore-cli [选项 options]\n"
    "\n"
    "把 SQL Server 2000 数据库以新的名称恢复到服务器上：从 .bak 备份文件恢复，或附加 .mdf/.LDF "
    "数据文件。\n"
    "Restores a SQL Server 2000 database under a new name, from a .bak backup or by attaching a\n"
    ".mdf/.LDF pair. Runs the same checks and statements as the window.\n"
    "\n"
    "  --server NAME       服务器电脑名 / server (default: (local))\n"
    "  --windows-auth      Windows 身份认证 / Windows authentication (default)\n"
    "  --user NAME         数据库用户名 / SQL Server login; the password is read from\n"
    "                      QUARN_SQL_PASSWORD or asked for without echo\n"
    "                      密码从环境变量 QUARN_SQL_PASSWORD 读取，或在提示时输入（不回显）\n"
    "  --backup FILE       BAK 备份文件 / restore from this backup file; may be given several\n"
    "                      times and may name a folder: the newest full backup, its newest\n"
    "                      differential and the log backups after it are then restored in turn;\n"
    "                      every file of a folder is read, a hidden one too, and one that is no\n"
    "                      backup is named and skipped; a server folder is written with its\n"
    "                      closing \\ (D:\\bak\\)\n"
    "                      可多次给出，也可以是文件夹：依次恢复完整备份、差异备份和日志备份\n"
    "  --until 'YYYY-MM-DD HH:MM[:SS]'\n"
    "                      恢复到该时间点（服务器时钟上的时间，不按本机时区换算）/ restore to\n"
    "                      this point in time, as the server's clock shows it (no time zone of\n"
    "                      this machine applies)\n"
    "  --database NAME     备份中有多个数据库时，使用该数据库的备份 / whose backups to use when\n"
    "                      the files hold several databases'\n"
    "  --mdf FILE          MDF 数据文件 / attach this data file and the _Log.LDF beside it\n"
    "  --name NAME         新的数据库名称 / the new database's name\n"
    "  --dir DIR           数据库存放目录 / folder for the new database's files\n"
    "  --defaults FILE     从默认值文件读取未给出的选项 / take unset options from a defaults file\n"
    "                      (the window's \"初始默认值.ini\" format), 以 GBK（代码页 936）\n"
    "                      或带 BOM 的 UTF-8 保存 / saved in GBK (code page 936) or in UTF-8\n"
    "                      with a byte-order mark\n"
    "  --script            只连接并读取文件列表，打印将要执行的语句，不做任何修改\n"
    "                      connect, read the file list and print the statements that would be\n"
    "                      sent, changing nothing on the server or here; a folder that the\n"
    "                      restore would create is named on standard error\n"
    "  --list              列出备份文件中的每个备份集及其文件（给出 --name 时还有目标路径），\n"
    "                      不做任何修改; needs only the connection and --backup: lists every\n"
    "                      backup set with its files and, given --name, the target paths a\n"
    "                      restore would use, changing nothing\n"
    "  --backup-set N      恢复第 N 个备份集（默认 1）/ restore backup set N (default: 1)\n"
    "  --verify            创建之前用 RESTORE VERIFYONLY 校验要恢复的每个备份集，并说明校验了\n"
    "                      什么、没有校验什么 / verify every set to be restored (RESTORE\n"
    "                      VERIFYONLY) before anything is created, saying what was and was\n"
    "                      not verified; a set that fails ends the run (exit 1)\n"
    "  --check             恢复之后检查数据库一致性 / after the restore, check the database:\n"
    "                      DBCC CHECKDB and CHECKCATALOG on SQL Server 2000, DBCC CHECKDB\n"
    "                      WITH DATA_PURITY later; errors found exit with 3\n"
    "  --finish            SQL Server 2005 及以后：提高兼容级别、启用页校验和、更正空间使用计数\n"
    "                      / on SQL Server 2005 and later: raise the compatibility level to\n"
    "                      the server's, PAGE_VERIFY CHECKSUM, DBCC UPDATEUSAGE\n"
    "                      不给出 --backup、--mdf 和 --defaults 时，--check 和 --finish 作用于\n"
    "                      现有的数据库 --name / without --backup, --mdf and --defaults,\n"
    "                      --check and --finish work on the existing database --name\n"
    "  --fix-users         恢复之后把孤立用户映射到同名登录；没有同名登录的用户，打印用其 SID\n"
    "                      创建登录的语句 / after the restore, map each orphaned SQL user to\n"
    "                      the login of its name; for a user without one, print the statement\n"
    "                      that creates it with the user's SID (not run: the password is yours)\n"
    "  --owner LOGIN       恢复之后把数据库所有者改为该登录 / after the restore, make LOGIN the\n"
    "                      database's owner\n"
    "  --upgrade-files     允许较新的服务器就地升级附加的数据文件（此后 SQL Server 2000\n"
    "                      不能再打开它们）/ let a server newer than SQL Server 2000 upgrade\n"
    "                      the attached files in place; no SQL Server 2000 opens them again\n"
    "  --copy-first        先把数据文件复制到 --dir 并以新名称命名，再附加副本 / copy the pair\n"
    "                      into --dir under the new name's file names and attach the copies,\n"
    "                      leaving the originals as they are (files on this machine)\n"
    "  --rebuild-log       日志文件丢失时只附加数据文件，由服务器重建日志（仅限正常分离的\n"
    "                      数据库）/ the log is lost: attach the data file alone and let the\n"
    "                      server make a new log; only a database shut down cleanly (detached)\n"
    "  --via SERVER        经由 SQL Server 2005、2008 或 2008 R2 中间服务器恢复到 SQL Server 2012\n"
    "                      及以后 / restore through a SQL Server 2005 to 2008 R2 server (the\n"
    "                      hop) onto one that cannot restore the backup itself: the hop\n"
    "                      restores it under a scratch name, checks it and backs it up to\n"
    "                      --share, the target verifies and restores that backup, then the\n"
    "                      scratch database and the backup file are removed\n"
    "  --via-user LOGIN    中间服务器的 SQL 登录（不给出则用 Windows 身份认证）/ the hop's SQL\n"
    "                      login (Windows authentication without it); the password is read\n"
    "                      from QUARN_SQL_VIA_PASSWORD or asked for without echo\n"
    "  --share FOLDER      两台服务器都能访问的文件夹，服务器的写法 / a folder both servers\n"
    "                      reach, as they name it (\\\\nas\\hop\\)\n"
    "  --via-dir FOLDER    中间服务器上临时数据库的文件夹 / the hop's folder for the scratch\n"
    "                      database's files (default: that of its master database)\n"
    "  --help              显示本帮助 / show this help\n"
    "\n"
    "相对路径（--backup、--mdf、--dir 及默认值文件中的路径）以当前目录为准；\n"
    "D:\\x 或 \\\\host\\share\\x 形式的路径是服务器上的路径，原样发送。\n"
    "Relative paths (--backup, --mdf, --dir and those in the defaults file) are taken from the\n"
    "current folder and sent to the server made absolute; a path in Windows form (D:\\x,\n"
    "\\\\host\\share\\x) names a place on the server and is sent as typed.\n"
    "\n"
    "环境变量 QUARN_SQL_DRIVER 指定要使用的 ODBC 驱动程序名称（默认自动选择）。\n"
    "QUARN_SQL_DRIVER names the ODBC driver to use (default: one of the installed drivers that\n"
    "speaks to SQL Server 2000).\n"
    "\n"
    "退出码 Exit status: 0 成功 success, 1 恢复失败 the restore failed,\n"
    "                    2 参数或输入无效 unusable arguments or refused input,\n"
    "                    3 数据库已恢复并保留，但恢复之后的步骤未完成（消息说明剩下要做的）\n"
    "                      restored and kept, but a step after the restore did not complete\n"
    "                      (the message says what is left to do),\n"
    "                    130 已用 Ctrl-C 取消 cancelled with Ctrl-C\n");

} // namespace

std::variant<CommandLine, HelpRequested, UsageError>
parseCommandLine(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption server(QStringLiteral("server"), {}, QStringLiteral("NAME"));
    const QCommandLineOption windowsAuth(QStringLiteral("windows-auth"));
    const QCommandLineOption user(QStringLiteral("user"), {}, QStringLiteral("NAME"));
    const QCommandLineOption backup(QStringLiteral("backup"), {}, QStringLiteral("FILE"));
    const QCommandLineOption mdf(QStringLiteral("mdf"), {}, QStringLiteral("FILE"));
    const QCommandLineOption name(QStringLiteral("name"), {}, QStringLiteral("NAME"));
    const QCommandLineOption dir(QStringLiteral("dir"), {}, QStringLiteral("DIR"));
    const QCommandLineOption defaults(QStringLiteral("defaults"), {}, QStringLiteral("FILE"));
    const QCommandLineOption script(QStringLiteral("script"));
    const QCommandLineOption list(QStringLiteral("list"));
    const QCommandLineOption backupSet(QStringLiteral("backup-set"), {}, QStringLiteral("N"));
    const QCommandLineOption until(QStringLiteral("until"), {}, QStringLiteral("TIME"));
    const QCommandLineOption database(QStringLiteral("database"), {}, QStringLiteral("NAME"));
    const QCommandLineOption fixUsers(QStringLiteral("fix-users"));
    const QCommandLineOption owner(QStringLiteral("owner"), {}, QStringLiteral("LOGIN"));
    const QCommandLineOption help(QStringList{QStringLiteral("help"), QStringLiteral("h")});
    const QCommandLineOption verify(QStringLiteral("verify"));
    const QCommandLineOption check(QStringLiteral("check"));
    const QCommandLineOption finish(QStringLiteral("finish"));
    const QCommandLineOption upgradeFiles(QStringLiteral("upgrade-files"));
    const QCommandLineOption copyFirst(QStringLiteral("copy-first"));
    const QCommandLineOption rebuildLog(QStringLiteral("rebuild-log"));
    const QCommandLineOption via(QStringLiteral("via"), {}, QStringLiteral("SERVER"));
    const QCommandLineOption viaUser(QStringLiteral("via-user"), {}, QStringLiteral("LOGIN"));
    const QCommandLineOption share(QStringLiteral("share"), {}, QStringLiteral("FOLDER"));
    const QCommandLineOption viaDir(QStringLiteral("via-dir"), {}, QStringLiteral("FOLDER"));
    parser.addOptions({server, windowsAuth, user, backup, mdf, name, dir, defaults, script, list,
                       backupSet, until, database, fixUsers, owner, help});
    parser.addOptions({verify, check, finish, upgradeFiles, copyFirst, rebuildLog});
    parser.addOptions({via, viaUser, share, viaDir});

    if (!parser.parse(arguments)) {
        return UsageError{parser.errorText()};
    }
    if (parser.isSet(help)) {
        return HelpRequested{HelpText};
    }
    if (!parser.positionalArguments().isEmpty()) {
        return UsageError{QStringLiteral("unexpected argument: ") +
                          parser.positionalArguments().first()};
    }
    for (const QCommandLineOption* option :
         {&server, &user, &mdf, &name, &dir, &defaults, &backupSet, &until, &database, &owner, &via,
          &viaUser, &share, &viaDir}) {
        if (parser.values(*option).size() > 1) {
            return UsageError{QStringLiteral("--") + option->names().first() +
                              QStringLiteral(" given more than once")};
        }
    }
    if (parser.isSet(windowsAuth) && parser.isSet(user)) {
        return UsageError{QStringLiteral("--windows-auth and --user exclude each other")};
    }
    if (parser.isSet(backup) && parser.isSet(mdf)) {
        return UsageError{QStringLiteral("--backup and --mdf exclude each other")};
    }
    // SQL Server numbers the sets of a device from 1 to 32767.
    bool number = false;
    const int set = parser.value(backupSet).toInt(&number);
    if (parser.isSet(backupSet) && (!number || set < 1 || set > 32767)) {
        return UsageError{QStringLiteral("--backup-set wants a number from 1 to 32767, not ") +
                          parser.value(backupSet)};
    }
    // The server's wall-clock time: no time zone of this machine applies to it.
    std::optional<QDateTime> untilTime;
    if (parser.isSet(until)) {
        untilTime = restore::parseWallClockTime(parser.value(until));
        if (!untilTime) {
            return UsageError{QStringLiteral("--until wants 'YYYY-MM-DD HH:MM[:SS]', not ") +
                              parser.value(until)};
        }
    }
    const auto valueOf = [&parser](const QCommandLineOption& option) -> std::optional<QString> {
        return parser.isSet(option) ? std::optional(parser.value(option)) : std::nullopt;
    };
    CommandLine result;
    result.server = valueOf(server);
    result.windowsAuth = parser.isSet(windowsAuth);
    result.user = valueOf(user);
    result.backups = parser.values(backup);
    result.mdf = valueOf(mdf);
    result.name = valueOf(name);
    result.dir = valueOf(dir);
    result.defaultsFile = valueOf(defaults);
    result.script = parser.isSet(script);
    result.list = parser.isSet(list);
    if (parser.isSet(backupSet)) {
        result.backupSet = set;
    }
    result.until = untilTime;
    result.database = valueOf(database);
    result.verify = parser.isSet(verify);
    result.check = parser.isSet(check);
    result.finish = parser.isSet(finish);
    result.upgradeFiles = parser.isSet(upgradeFiles);
    result.copyFirst = parser.isSet(copyFirst);
    result.rebuildLog = parser.isSet(rebuildLog);
    result.fixUsers = parser.isSet(fixUsers);
    result.owner = valueOf(owner);
    if (result.owner && (result.owner->isEmpty() || result.owner->size() > 128)) {
        return UsageError{QStringLiteral("--owner wants a login name of 1 to 128 characters")};
    }
    result.via = valueOf(via);
    result.viaUser = valueOf(viaUser);
    result.share = valueOf(share);
    result.viaDir = valueOf(viaDir);
    if (!result.via && (result.viaUser || result.share || result.viaDir)) {
        return UsageError{QStringLiteral("--via-user, --share and --via-dir go with --via")};
    }
    if (result.via && !result.share) {
        return UsageError{QStringLiteral("--via wants --share, a folder both servers reach")};
    }
    if (result.via && (result.mdf || result.script || result.list || result.verify)) {
        return UsageError{QStringLiteral("--via restores a backup (--backup), and verifies the "
                                         "hop's backup itself; not with --mdf, --script, --list "
                                         "or --verify")};
    }
    if (result.backupSet && result.asksForSequence()) {
        return UsageError{QStringLiteral("--backup-set names one set of one file; a sequence is "
                                         "chosen from the backups' headers")};
    }
    return result;
}

bool CommandLine::asksForSequence() const {
    const bool folder = std::any_of(backups.begin(), backups.end(), isBackupFolder);
    return backups.size() > 1 || folder || until || database;
}

} // namespace cli
