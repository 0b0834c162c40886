#pragma once

#include "db/QueryClient.h"
#include "restore/ServerVersion.h"

#include <QList>
#include <QString>

namespace restore {

// A SQL user of the new database whose SID matches no login of this server: nobody can log in
// as it, even where a login of its name exists (made on this server, so with another SID).
struct OrphanedUser {
    QString name;
    QString sid; // hex digits, upper case, without 0x
    bool sameNameLogin = false;
};

// What the one read after a restore or attach found: the orphaned users and, when dbo's SID is
// no login here, the owner.
struct DatabaseUsers {
    QList<OrphanedUser> orphaned;
    bool ownerWithoutLogin = false;
    QString ownerSid;

    bool anythingFound() const { return !orphaned.isEmpty() || ownerWithoutLogin; }
    // The window's progress line, e.g. "孤立用户: appuser（有同名登录）, report（无登录）".
    QString chineseLine() const;
    QString englishLine() const;
};

// One statement for every version: the compatibility views sysusers and syslogins exist from
// SQL Server 2000 to 2022. A SQL user's SID is at most 16 bytes; longer ones belong to users made
// without a login or from a certificate, which need none. guest's SID is 0x00.
QString databaseUsersStatement(const QString& databaseName);
DatabaseUsers readDatabaseUsers(db::QueryClient& qry);

// Maps a user to the login of the same name: sp_change_users_login on 2000 (never Auto_Fix,
// which may create logins), ALTER USER run in the database on later versions.
QString mapUserStatement(const ServerVersion& server, const QString& databaseName,
                         const QString& user);
// The login a user without one needs, with the user's SID; the password is the operator's, so
// this is printed, never sent.
QString createLoginStatement(const ServerVersion& server, const OrphanedUser& user);
QString ownerStatement(const ServerVersion& server, const QString& databaseName,
                       const QString& login);
// The user of the database that a login already is (which makes the server refuse it as owner).
QString loginsUserStatement(const QString& databaseName, const QString& login);

// The server's refusals of an owner that is a user or alias of the database already.
bool isOwnerAlreadyUser(int nativeError);

} // namespace restore
