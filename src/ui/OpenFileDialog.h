#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class QWidget;

namespace ui {

struct FileDialogState {
    QStringList nameFilters;
    int filterIndex = 0; // the chosen entry of nameFilters
    QString fileName;    // full path of the last confirmed file, empty before the first
};

// Shows a modal open-file dialog starting from the given state; the chosen file and filter entry,
// or nothing when the user cancels.
using FileChooser =
    std::function<std::optional<FileDialogState>(QWidget* owner, const FileDialogState& start)>;

std::optional<FileDialogState> runQtFileDialog(QWidget* owner, const FileDialogState& start);

// "description|pattern|description|pattern" into Qt's "description (pattern)" entries.
QStringList qtNameFilters(const QString& filter);

// The window's one open-file dialog: keeps the last confirmed file and filter entry from one use to
// the next; a cancelled use changes neither. Setting a filter keeps the entry's position.
class OpenFileDialog {
public:
    explicit OpenFileDialog(FileChooser chooser) : chooser_(std::move(chooser)) {}

    void setFilter(const QString& filter) { state_.nameFilters = qtNameFilters(filter); }
    bool execute(QWidget* owner);
    const QString& fileName() const { return state_.fileName; }

private:
    FileChooser chooser_;
    FileDialogState state_;
};

} // namespace ui
