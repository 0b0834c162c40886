#include "ui/OpenFileDialog.h"

#include <QDir>
#include <QFileDialog>

#include <algorithm>

namespace ui {

QStringList qtNameFilters(const QString& filter) {
    const QStringList parts = filter.split(u'|');
    QStringList entries;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString& description = parts[i];
        const QString shownPattern = "(" + parts[i + 1] + ")";
        entries << (description.endsWith(shownPattern) ? description
                                                       : description + " " + shownPattern);
    }
    return entries;
}

bool OpenFileDialog::execute(QWidget* owner) {
    const std::optional<FileDialogState> answer = chooser_(owner, state_);
    if (!answer) {
        return false;
    }
    state_.fileName = answer->fileName;
    state_.filterIndex = answer->filterIndex;
    return true;
}

std::optional<FileDialogState> runQtFileDialog(QWidget* owner, const FileDialogState& start) {
    QFileDialog dialog(owner);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    // A typed name of a file that does not exist is taken as typed.
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(start.nameFilters);
    dialog.selectNameFilter(start.nameFilters.value(start.filterIndex));
    if (!start.fileName.isEmpty()) {
        dialog.selectFile(start.fileName);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    const auto chosenEntry = start.nameFilters.indexOf(dialog.selectedNameFilter());
    return FileDialogState{start.nameFilters, static_cast<int>(std::max<qsizetype>(chosenEntry, 0)),
                           QDir::toNativeSeparators(dialog.selectedFiles().constFirst())};
}

} // namespace ui
