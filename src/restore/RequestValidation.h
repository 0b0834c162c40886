#pragma once

#include "restore/RestoreRequest.h"
#include "restore/ValidationView.h"

#include <QString>

#include <optional>
#include <variant>

namespace restore {

// Removes leading and trailing characters whose code is 32 or less (blanks and control codes).
QString trimBlanksAndControls(const QString& text);

// Why the fields cannot be restored from: the window's notice and where its focus goes, and a
// reason with what it names, from which each front end may word its own text.
struct Refusal {
    enum class Reason {
        NoServer,
        NoLogin,
        NoSource, // the open-file dialog was the answer, and it chose nothing
        NoLogFile,
        NoDatabaseName,
        NoDirectory,
        UnusableDirectory
    };
    Reason reason;
    QString notice; // empty when nothing more is to be said
    NoticeKind kind = NoticeKind::Error;
    std::optional<Field> focus;
    QString data; // the log file or the folder the reason names
};

using Validated = std::variant<RestoreRequest, Refusal>;

// Shows the refusal's notice, then moves the focus, as the window does.
void presentRefusal(ValidationView& view, const Refusal& refusal);

// The refusal a target folder that cannot be made meets.
Refusal unusableDirectory(const QString& directory);
// The refusal of a data file whose log is not beside it.
Refusal missingLogFile(const QString& logPath);

// Whether a data file's log must lie beside it, or the server is to make a new one.
enum class LogFile { Beside, Rebuilt };

// What becomes of a missing target directory: made, as a press of the start button does, only
// announced by an Information notice, for a review that must change nothing, or left for the
// caller to make once nothing else can refuse the request. Each but Create only checks that it
// can be made.
enum class MissingDirectory { Create, Announce, Leave };

// The checks up to the source file alone, for a request that only reads the source (listing a
// backup): no name and no directory. Gives the request without them.
Validated validateConnectionAndSource(ValidationView& view, LogFile log = LogFile::Beside);

// Checks the fields of one start-button press in their fixed order; the first failed check gives
// its refusal. The database name and directory are written
// back normalised, and the directory is created if missing; a directory or source that only the
// server can see (isServerOnlyPath) is left to the server. On success the request is complete
// except for the logical names, which the run reads from the backup.
Validated validateRequest(ValidationView& view, MissingDirectory missing = MissingDirectory::Create,
                          LogFile log = LogFile::Beside);

} // namespace restore
