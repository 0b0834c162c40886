#include "restore/DatabaseUsers.h"

#include "restore/StatementTexts.h"

namespace restore {

namespace {

constexpr int DboUid = 1;
constexpr int OwnerIsUser = 15110;
constexpr int OwnerIsAlias = 15111;

} // namespace

QString DatabaseUsers::chineseLine() const {
    QStringList parts;
    if (!orphaned.isEmpty()) {
        QStringList users;
        for (const OrphanedUser& user : orphaned) {
            users.append(user.name + (user.sameNameLogin ? QStringLiteral("（有同名登录）")
                                                         : QStringLiteral("（无登录）")));
        }
        parts.append(QStringLiteral("孤立用户: ") + users.join(QStringLiteral(", ")));
    }
    if (ownerWithoutLogin) {
        parts.append(QStringLiteral("所有者: dbo（无登录，SID 0x%1）").arg(ownerSid));
    }
    return parts.join(QStringLiteral("; "));
}

QString DatabaseUsers::englishLine() const {
    QStringList parts;
    if (!orphaned.isEmpty()) {
        QStringList users;
        for (const OrphanedUser& user : orphaned) {
            users.append(user.name + (user.sameNameLogin
                                          ? QStringLiteral(" (a login of that name exists)")
                                          : QStringLiteral(" (no login)")));
        }
        parts.append(QStringLiteral("orphaned users: ") + users.join(QStringLiteral(", ")));
    }
    if (ownerWithoutLogin) {
        parts.append(QStringLiteral("the owner (dbo) has no login here, SID 0x%1").arg(ownerSid));
    }
    return parts.join(QStringLiteral("; "));
}

QString databaseUsersStatement(const QString& databaseName) {
    return "SELECT u.uid, u.name, u.sid, l.name AS samename FROM " + bracketedName(databaseName) +
           "..sysusers u LEFT JOIN master..syslogins l ON l.name = u.name COLLATE "
           "DATABASE_DEFAULT WHERE (u.uid = 1 OR u.issqluser = 1 AND DATALENGTH(u.sid) <= 16) "
           "AND u.sid <> 0x00 AND NOT EXISTS (SELECT * FROM master..syslogins s WHERE s.sid = "
           "u.sid)";
}

DatabaseUsers readDatabaseUsers(db::QueryClient& qry) {
    DatabaseUsers users;
    for (qry.first(); !qry.atEnd(); qry.next()) {
        const QString sid = qry.fieldText(QStringLiteral("sid")).toUpper();
        if (qry.fieldText(QStringLiteral("uid")).toInt() == DboUid) {
            users.ownerWithoutLogin = true;
            users.ownerSid = sid;
            continue;
        }
        users.orphaned.append({qry.fieldText(QStringLiteral("name")), sid,
                               !qry.fieldText(QStringLiteral("samename")).isEmpty()});
    }
    return users;
}

QString mapUserStatement(const ServerVersion& server, const QString& databaseName,
                         const QString& user) {
    if (!server.isNewerThan2000()) {
        return "EXEC " + bracketedName(databaseName) + "..sp_change_users_login 'Update_One', " +
               unicodeLiteral(user) + ", " + unicodeLiteral(user);
    }
    return "EXEC " + bracketedName(databaseName) + ".sys.sp_executesql " +
           unicodeLiteral("ALTER USER " + bracketedName(user) +
                          " WITH LOGIN = " + bracketedName(user));
}

QString createLoginStatement(const ServerVersion& server, const OrphanedUser& user) {
    const QString password = QStringLiteral("N'<密码 password>'");
    if (!server.isNewerThan2000()) {
        return "EXEC master..sp_addlogin @loginame = " + unicodeLiteral(user.name) +
               ", @passwd = " + password + ", @sid = 0x" + user.sid;
    }
    return "CREATE LOGIN " + bracketedName(user.name) + " WITH PASSWORD = " + password +
           ", SID = 0x" + user.sid;
}

QString ownerStatement(const ServerVersion& server, const QString& databaseName,
                       const QString& login) {
    if (!server.isNewerThan2000()) {
        return "EXEC " + bracketedName(databaseName) + "..sp_changedbowner " +
               unicodeLiteral(login);
    }
    return "ALTER AUTHORIZATION ON DATABASE::" + bracketedName(databaseName) + " TO " +
           bracketedName(login);
}

QString loginsUserStatement(const QString& databaseName, const QString& login) {
    return "SELECT u.name FROM " + bracketedName(databaseName) +
           "..sysusers u JOIN master..syslogins l ON l.sid = u.sid WHERE l.name = " +
           unicodeLiteral(login);
}

bool isOwnerAlreadyUser(int nativeError) {
    return nativeError == OwnerIsUser || nativeError == OwnerIsAlias;
}

} // namespace restore
