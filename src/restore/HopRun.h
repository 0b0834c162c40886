#pragma once

#include "db/QueryClient.h"
#include "restore/RestorePlan.h"
#include "restore/RestoreRequest.h"
#include "restore/RestoreRun.h"
#include "restore/RestoreView.h"
#include "restore/ServerVersion.h"

#include <QStringList>

#include <functional>
#include <optional>

namespace restore {

// A server from SQL Server 2012 on restores no SQL Server 2000 backup; one of 2005 to 2008 R2
// (the hop) does, upgrading it, and its backup then restores anywhere later.
struct HopRequest {
    // The hop's connection; its directory holds the scratch database's files, empty for the
    // folder of the hop's master database.
    RestoreRequest hop;
    // A folder both servers reach, in their form, ending in its separator.
    QString share;
};

enum class HopStage {
    Checks,
    RestoreOnHop,
    CheckOnHop,
    BackupToShare,
    VerifyOnTarget,
    RestoreOnTarget,
    CleanUp
};

// What the run found before changing anything, and will do.
struct HopPlan {
    ServerVersion hop;
    QString hopEdition;
    ServerVersion target;
    QString scratchName;
    QString hopDirectory;
    QString backupFile; // on the share
    bool compressed = false;
};

// Why the run went no further than its checks; nothing changed on either server.
struct HopRefusal {
    enum class Reason {
        HopVersion,          // the hop's version
        HopCannotRestore,    // the hop's version, the backup's
        TargetCannotRestore, // the target's version, the hop's
        NotNeeded,           // the target's version, the backup's
        NameTaken,           // the target's database name
        ScratchTaken,        // the scratch name, or its backup file, the hop already has
        ShareNotSeen,        // the server that does not see it, the share
        AboveEditionCap      // the hop's edition, its cap in MB, the backup's data in MB
    };
    Reason reason;
    QStringList data;
};

struct HopOutcome {
    enum class Kind { Succeeded, Refused, Failed, Cancelled };
    Kind kind = Kind::Succeeded;
    HopStage stage = HopStage::Checks; // where it ended; the clean-up's after a success
    std::optional<HopRefusal> refusal;
    QString message;                  // the failure as the server or the run's own check worded it
    std::optional<RunOutcome> target; // the restore on the target, once it ran
    bool targetKept = false;          // restored there; a cancel cut off only the steps after it
    int compatibilityLevel = 0;       // the target's level for the database, after a success
    QStringList removed;              // what the clean-up removed, on either server
    QStringList remaining;            // what this run made and may have left

    bool succeeded() const { return kind == Kind::Succeeded; }
};

// The restore through the hop: checks on both servers, then the scratch restore on the hop, its
// consistency check, a copy-only backup to the share, its verification and restore on the target,
// and the clean-up of the scratch database and the backup file. Whatever fails or is cancelled,
// what this run made on either server or the share is removed, and only that.
class HopRun {
public:
    struct Hooks {
        std::function<void(const HopPlan&)> planned;
        std::function<void(HopStage)> stageStarted;
        RestoreRun::BeforeFirstChange beforeTargetChange;
    };

    HopRun(db::QueryClient& hop, db::QueryClient& target, RestoreView& view, Hooks hooks)
        : hop_(hop), target_(target), view_(view), hooks_(std::move(hooks)) {}

    // `plan` is the sets as the hop read them; the request's source is their first file.
    // A cancel is raised again once the clean-up is done; outcome() then says what it removed.
    HopOutcome run(const HopRequest& hopRequest, const RestoreRequest& request,
                   const RestorePlan& plan);
    const HopOutcome& outcome() const { return outcome_; }

private:
    std::optional<HopRefusal> check(const HopRequest& hopRequest, const RestoreRequest& request,
                                    const RestorePlan& plan);
    void startStage(HopStage stage);
    void stages(const RestoreRequest& request, QString& successNotice);
    void cleanUp(const RestoreRequest& request);
    void backUpToShare();
    void verifyOnTarget();
    int targetLevel(const QString& databaseName);

    db::QueryClient& hop_;
    db::QueryClient& target_;
    RestoreView& view_;
    Hooks hooks_;
    RestoreRequest hopRequest_;
    RestorePlan hopPlan_;
    HopPlan plan_;
    HopOutcome outcome_;
    bool scratchMade_ = false;
    bool backupStarted_ = false;
    bool cleaned_ = false;
};

} // namespace restore
