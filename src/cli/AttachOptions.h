#pragma once

#include "cli/CommandLine.h"
#include "restore/RestoreRequest.h"
#include "restore/RestoreRun.h"

#include <QString>
#include <QStringList>
#include <QTextStream>

#include <optional>

namespace cli {

// What --upgrade-files, --copy-first and --rebuild-log refuse before anything is sent: an attach
// they do not apply to, a log that is there after all, copies that would overwrite a file.
std::optional<QString> refuseAttachOptions(const CommandLine& commandLine,
                                           const restore::RestoreRequest& request);

// --copy-first: the pair copied into the target folder under the new name's file names, so that
// the server attaches (and upgrades) the copies and the originals stay as they are.
class PairCopy {
public:
    explicit PairCopy(const restore::RestoreRequest& original);

    // The request that attaches the copies.
    restore::RestoreRequest attachedRequest() const { return attached_; }
    const QStringList& targets() const { return targets_; }
    // Copies the pair; on a failure removes what it made and says why.
    bool make(QTextStream& err);
    // Copies the server never took are removed again; ones it may hold are named.
    void settle(const restore::RunOutcome& outcome, QTextStream& err);

private:
    QStringList sources_;
    QStringList targets_;
    QStringList made_;
    restore::RestoreRequest attached_;
};

// What the command line adds to the run's notice about an attach: why it refused, that a
// rebuilt log starts the log chain afresh, why a log was not rebuilt.
QString upgradeDeclinedText();
QString rebuiltLogText();
QString logNotRebuiltText();
// Whether the server's refusal of an attach without a log is one a database that was not shut
// down cleanly meets (1813 and its companions), rather than, say, a name already taken.
bool refusedToRebuildTheLog(const restore::RunOutcome& outcome);

} // namespace cli
