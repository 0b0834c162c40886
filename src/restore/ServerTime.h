#pragma once

#include <QDateTime>
#include <QString>

#include <optional>

namespace restore {

// The server's clock, read and shown one way: "yyyy-MM-dd HH:mm:ss", held as a wall-clock time to
// which no time zone of this machine applies.

// The server's datetime text ("2026-12-08 10:41:00.000"); invalid when it is none.
QDateTime serverDateTime(const QString& text);

// A time of the server's clock as typed, 'YYYY-MM-DD HH:MM[:SS]'.
std::optional<QDateTime> parseWallClockTime(const QString& text);

// As the server takes it in a statement and as the program shows it.
QString serverTimeText(const QDateTime& when);

} // namespace restore
