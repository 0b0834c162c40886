#pragma once

#include "restore/RestoreRequest.h"
#include "restore/ValidationView.h"

#include <QString>

#include <optional>

namespace restore {

// Removes leading and trailing characters whose code is 32 or less (blanks and control codes).
QString trimBlanksAndControls(const QString& text);

// What becomes of a missing target directory: made, as a press of the start button does, only
// announced by an Information notice, for a review that must change nothing, or left for the
// caller to make once nothing else can refuse the request. Each but Create only checks that it
// can be made.
enum class MissingDirectory { Create, Announce, Leave };

// The checks up to the source file alone, for a request that only reads the source (listing a
// backup): no name and no directory. Gives the request without them.
std::optional<RestoreRequest> validateConnectionAndSource(ValidationView& view);

// Checks the fields of one start-button press in their fixed order. The first failed check shows
// its notice, may move the focus, and gives nullopt. The database name and directory are written
// back normalised, and the directory is created if missing; a directory or source that only the
// server can see (isServerOnlyPath) is left to the server. On success the request is complete
// except for the logical names, which the run reads from the backup.
std::optional<RestoreRequest> validateRequest(ValidationView& view,
                                              MissingDirectory missing = MissingDirectory::Create);

} // namespace restore
