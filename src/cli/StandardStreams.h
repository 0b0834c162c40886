#pragma once

#include <QIODevice>

namespace cli {

// Standard output and standard error for QTextStream. Text leaves as UTF-8 bytes, the same as
// the Linux build writes, so files and pipes read alike everywhere and hold any name. Only a
// Windows console gets UTF-16 through WriteConsoleW: bytes would be read in its code page there.
QIODevice* standardOutput();
QIODevice* standardError();

// A reader that goes away (`| head`) makes later writes fail instead of ending the program, so
// that a restore under way finishes or cleans up after itself.
void keepRunningWithoutReader();

} // namespace cli
