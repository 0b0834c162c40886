#pragma once

#include "db/OdbcApi.h"
#include "db/OdbcConnectionMapping.h"

#include <QString>

#include <vector>

namespace db::odbc {

// The drivers the driver manager knows (SQLDriversW); an empty list when it cannot tell.
std::vector<InstalledOdbcDriver> installedOdbcDrivers(const Handle& env);

// How the installed FreeTDS of that name reads braces, asked once per process.
BraceQuoting freeTdsBraceQuoting(const Handle& env, const QString& driverName);

} // namespace db::odbc
