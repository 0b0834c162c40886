#include "cli/AfterRestore.h"

#include "restore/AfterRestoreChecks.h"
#include "restore/DatabaseUsers.h"

namespace cli {

namespace {

QString leftToDoText(const restore::LeftToDo& left, const QString& databaseName) {
    using Kind = restore::LeftToDo::Kind;
    switch (left.kind) {
    case Kind::UsersNotRead:
        return QStringLiteral("未能检查数据库 %1 的用户：%2\n"
                              "the users of %1 could not be checked: %2")
            .arg(databaseName, left.detail);
    case Kind::UserNotMapped:
        return QStringLiteral("用户 %1 未能映射到登录 %1：%2\n"
                              "user %1 could not be mapped to the login %1: %2")
            .arg(left.name, left.detail);
    case Kind::NoLogin:
        return QStringLiteral("用户 %1 没有同名登录：填入密码后执行上面的语句创建它\n"
                              "user %1 has no login of its name: fill in a password and run the "
                              "statement above to create it")
            .arg(left.name);
    case Kind::OwnerIsUser:
        return QStringLiteral(
                   "登录 %1 已是数据库 %2 中的用户 %3，服务器不允许它成为所有者：先删除该用户"
                   "（SQL Server 2000: EXEC [%2]..sp_dropuser N'%3'；以后的版本: DROP USER [%3]），"
                   "再用 --owner %1 重新设置，或选择另一个登录\n"
                   "the login %1 is already the user %3 of %2, and the server takes no user as "
                   "owner: drop that user (SQL Server 2000: EXEC [%2]..sp_dropuser N'%3'; later "
                   "versions: DROP USER [%3]) and set the owner again, or name another login")
            .arg(left.name, databaseName, left.detail);
    case Kind::OwnerNotSet:
        return QStringLiteral("数据库所有者未能改为 %1：%2\n"
                              "the owner could not be changed to %1: %2")
            .arg(left.name, left.detail);
    }
    return {};
}

} // namespace

bool reportAfterRestore(const restore::RunOutcome& outcome, const restore::RestoreRequest& request,
                        const QString& serverVersion, QTextStream& out, QTextStream& err) {
    const restore::DatabaseUsers& users = outcome.users;
    if (users.anythingFound()) {
        out << users.englishLine() << '\n';
    }
    if (request.fixUsers && users.orphaned.isEmpty() && outcome.leftToDo.isEmpty()) {
        out << QStringLiteral("没有需要映射的孤立用户 / no orphaned users to map\n");
    }
    const restore::ServerVersion server =
        restore::parseServerVersion(serverVersion).value_or(restore::ServerVersion{8});
    for (const restore::LeftToDo& left : outcome.leftToDo) {
        if (left.kind == restore::LeftToDo::Kind::NoLogin) {
            out << QStringLiteral("-- 用户 %1 的登录，使用其 SID / the login of user %1, with its "
                                  "SID:\n")
                       .arg(left.name)
                << restore::createLoginStatement(server, {left.name, left.detail, false}) << '\n';
        }
    }
    out.flush();
    if (outcome.leftToDo.isEmpty()) {
        return true;
    }
    err << QStringLiteral("数据库 %1 已恢复并保留，但恢复之后仍有未完成的步骤：\n"
                          "The database %1 was restored and kept, but steps after the restore "
                          "are left to do:\n")
               .arg(request.databaseName);
    for (const restore::LeftToDo& left : outcome.leftToDo) {
        err << "- " << leftToDoText(left, request.databaseName) << '\n';
    }
    err.flush();
    return false;
}

bool checkAfterRestore(const CommandLine& commandLine, db::QueryClient& qry,
                       restore::RestoreView& view, const QString& name, bool restored,
                       QTextStream& err) {
    restore::AfterRestoreChecks checks(qry, view);
    QStringList leftToDo;
    if (commandLine.check) {
        try {
            if (const QList<int> errors = checks.checkConsistency(name); !errors.isEmpty()) {
                QStringList numbers;
                for (const int number : errors) {
                    numbers << QString::number(number);
                }
                numbers.removeDuplicates();
                leftToDo << QStringLiteral(
                                "一致性检查发现错误 %1：请从完好的备份恢复，或修复后再用 --check "
                                "检查 / the consistency check found errors %1: restore a sound "
                                "backup, or repair the database and check it again")
                                .arg(numbers.join(QStringLiteral(", ")));
            }
        } catch (const db::QueryError& error) {
            leftToDo << QStringLiteral("一致性检查未完成 / the consistency check did not "
                                       "complete: ") +
                            error.message();
        }
    }
    if (commandLine.finish) {
        try {
            if (!checks.finishUpgrade(name)) {
                view.appendProgressLine(
                    QStringLiteral("--finish 不适用于 SQL Server 2000 / --finish does not apply "
                                   "on SQL Server 2000: its databases are at its own level"));
            }
        } catch (const db::QueryError& error) {
            leftToDo << QStringLiteral("升级遗留事项未完成（兼容级别、PAGE_VERIFY CHECKSUM、DBCC "
                                       "UPDATEUSAGE），可再次运行 --finish / the upgrade's "
                                       "leftovers are not finished (compatibility level, "
                                       "PAGE_VERIFY CHECKSUM, DBCC UPDATEUSAGE); --finish may run "
                                       "again: ") +
                            error.message();
        }
    }
    if (leftToDo.isEmpty()) {
        return true;
    }
    err << (restored ? QStringLiteral("数据库 %1 已恢复并保留，但尚有未完成的事项 / the "
                                      "database %1 was restored and kept, but this is "
                                      "left to do:\n")
                     : QStringLiteral("数据库 %1 尚有未完成的事项 / left to do on the "
                                      "database %1:\n"))
               .arg(name);
    for (const QString& item : leftToDo) {
        err << "  - " << item << '\n';
    }
    err << Qt::flush;
    return false;
}

} // namespace cli
