#pragma once

#include "restore/RestoreRequest.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>

namespace restore {

// The window's captions at start-up: the labels name the keys of the defaults file, and the
// captions of c1 and c3 are what the authentication and source values are compared with.
struct DefaultsCaptions {
    QString serverLabel;       // a1
    QString userLabel;         // a2
    QString passwordLabel;     // a3
    QString authLabel;         // a5
    QString sourceLabel;       // a6
    QString databaseLabel;     // a7
    QString directoryLabel;    // a8
    QString integratedCaption; // c1
    QString backupCaption;     // c3
};

// The window as designed, for both front ends: the captions, and the first texts of b1 and b2.
DefaultsCaptions designCaptions();
QString designServerName();
QString designUserName();

// The fields other than e1 that a defaults file presets.
struct PresetFields {
    QString serverName; // b1
    AuthMode authMode = AuthMode::Integrated;
    QString userName; // b2
    QString password; // b3
    SourceKind sourceKind = SourceKind::Backup;
    QString sourcePath; // d2
    QString directory;  // e2
};

struct StartupDefaults {
    QString databaseName; // e1: from the file, or generated when there is none
    std::optional<PresetFields>
        preset; // absent without a file: the fields keep their design values
    // A file in another encoding (UTF-8 without a byte-order mark) shows no section of ours.
    bool sectionFound = false;
    QStringList cutKeys; // keys whose value was longer than the reader takes
};

// Reads the defaults file in `executableDir` without writing it or reporting anything about it.
// `now` is the current local time, used only when there is no file.
StartupDefaults loadStartupDefaults(const QString& executableDir, const DefaultsCaptions& captions,
                                    const QDateTime& now);

// Reads the given defaults file as above; every field is preset, from the file or its fallback.
StartupDefaults readDefaultsFile(const QString& filePath, const DefaultsCaptions& captions);

} // namespace restore
