#pragma once

#include "FakeDesktop.h"
#include "WindowControls.h"

#include <QComboBox>
#include <QLineEdit>
#include <QtTest>

// What the operator enters for a SQL-login restore of a backup file.
struct BackupRestoreInputs {
    QString server;
    QString userName;
    QString password;
    QString backupPath;
    QString databaseName;
    QString directory;
};

// Fills the window's fields as the operator would, choosing the backup through the file dialog,
// which the fake desktop answers.
inline void enterBackupRestore(QWidget& window, FakeDesktop& desktop,
                               const BackupRestoreInputs& inputs) {
    control<QComboBox>(window, "b1")->setEditText(inputs.server);
    QTest::mouseClick(control<QWidget>(window, "c2"), Qt::LeftButton);
    control<QLineEdit>(window, "b2")->setText(inputs.userName);
    control<QLineEdit>(window, "b3")->setText(inputs.password);
    QTest::mouseClick(control<QWidget>(window, "c3"), Qt::LeftButton);
    desktop.dialogAnswers.push_back(FakeDesktop::chosen(inputs.backupPath, 0));
    QTest::mouseClick(control<QWidget>(window, "d1"), Qt::LeftButton);
    control<QLineEdit>(window, "e1")->setText(inputs.databaseName);
    control<QLineEdit>(window, "e2")->setText(inputs.directory);
}
