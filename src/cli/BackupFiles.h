#pragma once

#include <QStringList>

#include <variant>

namespace cli {

// The backup files the --backup values name: a file as it stands, a folder of this machine as
// the files in it by name. Relative paths are taken from the current folder. The text says why
// when a value cannot be used.
std::variant<QStringList, QString> backupFiles(const QStringList& values);

} // namespace cli
