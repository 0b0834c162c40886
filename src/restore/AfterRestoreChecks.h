#pragma once

#include "db/QueryClient.h"
#include "restore/BackupContents.h"
#include "restore/RestorePlan.h"
#include "restore/RestoreRequest.h"
#include "restore/RestoreView.h"
#include "restore/ServerVersion.h"
#include "restore/TargetPaths.h"

#include <QList>
#include <QString>

#include <optional>

namespace restore {

// What an operator otherwise does by hand around a restore: verifying the backup before anything
// is made, checking the restored database's consistency, and finishing the upgrade of a database
// from an older server. Each step is a progress line ending in " OK！"; a failing statement
// raises db::QueryError.
class AfterRestoreChecks {
public:
    AfterRestoreChecks(db::QueryClient& qry, RestoreView& view) : qry_(qry), view_(view) {}

    // RESTORE VERIFYONLY of every set of the plan, with the restore's moves where the server takes
    // them and CHECKSUM only for a set that has checksums; each step says what was verified.
    void verifySets(const RestoreRequest& request, const BackupContents& contents,
                    const RestorePlan& plan);
    // DBCC CHECKDB and CHECKCATALOG (SQL Server 2000) or CHECKDB WITH DATA_PURITY, showing the
    // server's messages as they come. The numbers of the errors found; none for a sound database.
    QList<int> checkConsistency(const QString& databaseName);
    // On SQL Server 2005 and later: the compatibility level raised to the server's, PAGE_VERIFY
    // CHECKSUM, DBCC UPDATEUSAGE. False on SQL Server 2000, where none of it applies.
    bool finishUpgrade(const QString& databaseName);

private:
    void addLine(const QString& text);
    void markOk();
    // Runs a statement whose messages are shown as lines beneath its step; the numbers of the
    // errors among them.
    QList<int> executeShowingMessages(const QString& statement, int* informational = nullptr);
    std::optional<ServerVersion> server() const;

    db::QueryClient& qry_;
    RestoreView& view_;
};

// Statements, each taking what it uses.
QString verifyStatement(const BackupSetHeader& set, const QList<FileMove>& moves, bool checksum);
QString checkDatabaseStatement(const QString& databaseName, bool dataPurity);
QString checkCatalogStatement(const QString& databaseName);
// compatibility_level and page_verify_option_desc of sys.databases, SQL Server 2005 on.
QString databaseSettingsStatement(const QString& databaseName);
// sp_dbcmptlevel on SQL Server 2005, ALTER DATABASE from 2008 on.
QString compatibilityLevelStatement(const QString& databaseName, int level,
                                    const ServerVersion& server);
QString pageVerifyStatement(const QString& databaseName);
QString updateUsageStatement(const QString& databaseName);

// The level a server gives its own databases: 90 for SQL Server 2005, 100 for 2008 and 2008 R2,
// and so on.
int serverCompatibilityLevel(const ServerVersion& server);

} // namespace restore
