#pragma once

#include <QChar>
#include <QString>

namespace platform {

// The separator that validation appends to the target directory and splits it by.
#ifdef Q_OS_WIN
inline constexpr QChar DirectorySeparator = u'\\';
#else
inline constexpr QChar DirectorySeparator = u'/';
#endif

// The initial text of the target-directory field.
inline QString defaultDatabaseDirectory() {
#ifdef Q_OS_WIN
    return QStringLiteral("D:\\SQL2000_DB");
#else
    return QStringLiteral("/var/opt/mssql/data");
#endif
}

// Off Windows a Windows-authentication login is Kerberos, which needs a ticket of the user here.
#ifdef Q_OS_WIN
inline constexpr bool WindowsLoginNeedsKerberosTicket = false;
#else
inline constexpr bool WindowsLoginNeedsKerberosTicket = true;
#endif

} // namespace platform
