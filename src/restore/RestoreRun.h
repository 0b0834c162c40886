#pragma once

#include "db/QueryClient.h"
#include "restore/BackupContents.h"
#include "restore/DatabaseUsers.h"
#include "restore/RequestValidation.h"
#include "restore/RestorePlan.h"
#include "restore/RestoreRequest.h"
#include "restore/RestoreView.h"
#include "restore/ServerVersion.h"

#include <exception>
#include <functional>
#include <optional>
#include <utility>

namespace restore {

// The window is widened to this outer width after a success, uncovering the promotion panel.
inline constexpr int WidenedWindowWidth = 634;

// What a run that did not succeed left of the database it created. MayExist: the create or the
// attach was cut off, so whether the server made the database is unknown. Replaced: the database
// of that name is no longer the one this run made, so it was left alone.
enum class CreatedDatabase { None, Dropped, MayRemain, MayExist, Replaced };

// A step after the restore that did not complete; the database is restored and kept.
struct LeftToDo {
    enum class Kind { UsersNotRead, UserNotMapped, NoLogin, OwnerIsUser, OwnerNotSet };
    Kind kind = Kind::UsersNotRead;
    QString name;   // the user, or the login asked for as owner
    QString detail; // the server's message, or the user the owner's login already is
};

// How a run ended, once it has shown its one notice. Refused: it ended before it sent anything
// that changes the server.
struct RunOutcome {
    enum class Kind { Succeeded, Refused, Failed };
    Kind kind = Kind::Succeeded;
    QString message; // the failure as the server or the run's own check worded it
    QString sqlState;
    int nativeError = 0;
    bool whileConnecting = false;                 // the connection test never answered
    std::optional<VersionRefusal> versionRefusal; // why the server cannot restore the backup
    CreatedDatabase created = CreatedDatabase::None;
    std::optional<Refusal> refusal; // the run's own check of the input (a log the server lacks)
    bool upgradeDeclined = false;   // 否 to the question before a newer server upgrades the files
    DatabaseUsers users; // as the read after the restore found them, before any was mapped
    QList<LeftToDo> leftToDo;

    bool succeeded() const { return kind == Kind::Succeeded; }
};

// One restore: connects, then restores the backup or attaches the data files, writing each step
// into the progress area and ending with exactly one notice. Anything the client raises other
// than db::QueryError (a cancelled statement) ends it without a notice, unless it cut off the
// clean-up of a failure, whose notice is shown first. A database this run created is dropped again
// when a later step fails or is cancelled, and only while it is still the one this run made. A
// restore sequence succeeds only when the server says the database is online after its last step.
class RestoreRun {
public:
    // Runs once nothing can refuse the request any more, just before the first change on the
    // server; false ends the run, the step having said why.
    using BeforeFirstChange = std::function<bool()>;

    RestoreRun(db::QueryClient& qry, RestoreView& view, BeforeFirstChange beforeFirstChange = {})
        : qry_(qry), view_(view), beforeFirstChange_(std::move(beforeFirstChange)) {}

    // Restores the request's backup set, or attaches its data files.
    RunOutcome run(const RestoreRequest& request);
    // Restores the plan's sets in order into the request's new database.
    RunOutcome run(const RestoreRequest& request, const RestorePlan& plan);

    // What a run cut off by a cancel left of its database.
    CreatedDatabase createdDatabase() const { return created_; }
    // The backup's file list as this run read it, from before its first change on; none for an
    // attach.
    const std::optional<BackupContents>& backupContents() const { return contents_; }
    // After a run whose connection dropped: connects afresh and drops the database it may have
    // left, if that is still the one it made. What is left of it then.
    CreatedDatabase removeLeftover(const RestoreRequest& request);
    // The database is restored and kept: a cancel now cut off only the steps after it.
    bool restoredAndKept() const { return kept_; }

private:
    void AddProgressLine(const QString& text);
    void MarkProgressOK();
    void showProgress();
    void openConnectionTest();
    void openQuery(const QString& statement);
    void executeStatement(const QString& statement);
    void executeShowingPercent(const QString& line, const QString& statement);
    bool restoreBackup(const RestoreRequest& request, const RestorePlan& plan);
    QList<AddedFile> readAddedFiles(const RestorePlan& plan, const BackupContents& contents);
    void restoreSteps(const RestoreRequest& request, const BackupContents& contents,
                      const RestorePlan& plan);
    void confirmOnline(const RestoreRequest& request);
    void executeCreating(const QString& statement, const RestoreRequest& request);
    bool isStillOurs(const RestoreRequest& request, const BackupContents& contents);
    void showFailure(const std::exception_ptr& failure);
    void refuseExistingCatalogTargets(const RestoreRequest& request,
                                      const BackupContents& contents);
    void refuseBackupOfIncompatibleVersion(const RestorePlan& plan);
    void dropCreatedDatabase(const RestoreRequest& request, const BackupContents& contents);
    bool readyForFirstChange() const;
    RunOutcome outcome(RunOutcome::Kind kind) const;
    bool attachDataFiles(const RestoreRequest& request);
    bool serverHasLogFile(const RestoreRequest& request);
    void afterRestore(const RestoreRequest& request);
    void mapOrphanedUsers(const RestoreRequest& request, const ServerVersion& server);
    void changeOwner(const RestoreRequest& request, const ServerVersion& server);
    void leaveUndone(LeftToDo::Kind kind, const QString& name, const QString& detail);

    db::QueryClient& qry_;
    RestoreView& view_;
    BeforeFirstChange beforeFirstChange_;
    CreatedDatabase created_ = CreatedDatabase::None;
    std::optional<VersionRefusal> versionRefusal_;
    std::optional<Refusal> refusal_;
    bool upgradeDeclined_ = false;
    bool changing_ = false; // the create or the attach has been sent
    QString leftLoading_;   // the server's 4327 during the last restore step
    std::optional<BackupContents> contents_;
    bool kept_ = false;
    DatabaseUsers users_;
    QList<LeftToDo> leftToDo_;
};

} // namespace restore
