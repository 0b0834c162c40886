#include "cli/Terminal.h"

#include <QtGlobal>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace cli {

bool standardOutputIsTerminal() {
#ifdef Q_OS_WIN
    // _isatty would count the NUL device too.
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
#else
    return isatty(STDOUT_FILENO) != 0;
#endif
}

} // namespace cli
