#pragma once

#include "db/QueryClient.h"
#include "restore/RestoreRequest.h"
#include "restore/RestoreView.h"
#include "restore/ServerVersion.h"

#include <optional>

namespace restore {

// The window is widened to this outer width after a success, uncovering the promotion panel.
inline constexpr int WidenedWindowWidth = 634;

// What a run that did not succeed left of the database it created.
enum class CreatedDatabase { None, Dropped, MayRemain };

// One restore: connects, then restores the backup or attaches the data files, writing each step
// into the progress area and ending with exactly one notice. Anything the client raises other
// than db::QueryError (a cancelled statement) ends it without a notice. A database this run
// created is dropped again when a later step fails or is cancelled.
class RestoreRun {
public:
    RestoreRun(db::QueryClient& qry, RestoreView& view) : qry_(qry), view_(view) {}

    // Fills the request's logical names for a backup. Returns true when the restore succeeded.
    bool run(RestoreRequest& request);

    CreatedDatabase createdDatabase() const { return created_; }
    // Set when the run ended because the server cannot restore the backup.
    const std::optional<VersionRefusal>& versionRefusal() const { return versionRefusal_; }

private:
    void AddProgressLine(const QString& text);
    void MarkProgressOK();
    void showProgress();
    void openConnectionTest();
    void openQuery(const QString& statement);
    void executeStatement(const QString& statement);
    void executeShowingPercent(const QString& line, const QString& statement);
    bool restoreBackup(RestoreRequest& request);
    void restoreSequence(const RestoreRequest& request);
    void refuseExistingCatalogTargets(const RestoreRequest& request);
    void refuseBackupOfIncompatibleVersion(const RestoreRequest& request);
    void dropCreatedDatabase(const RestoreRequest& request);
    void attachDataFiles(const RestoreRequest& request);

    db::QueryClient& qry_;
    RestoreView& view_;
    CreatedDatabase created_ = CreatedDatabase::None;
    std::optional<VersionRefusal> versionRefusal_;
};

} // namespace restore
