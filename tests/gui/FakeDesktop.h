#pragma once

#include "ui/WindowSeams.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QList>
#include <QUrl>

#include <deque>
#include <optional>

// Stands in for the user and the desktop: records every notice and opened address and answers the
// open-file dialog from a script (an empty answer is a cancel); it also sets where the program
// lives and what time it is.
struct FakeDesktop {
    struct Notice {
        QWidget* owner;
        QString text;
        restore::NoticeKind kind;
        QString clipboardWhileShown;
    };

    QList<Notice> notices;
    QList<ui::FileDialogState> dialogStarts;
    std::deque<std::optional<ui::FileDialogState>> dialogAnswers;
    QList<QUrl> openedUrls;
    // Answers to questions in turn (true: 是); without one the answer is 否. A question is recorded
    // among the notices with the kind Question.
    std::deque<bool> questionAnswers;
    bool openUrlSucceeds = true;
    // The test binary's folder holds no defaults file; tests that want one point elsewhere.
    QString executableDir = QCoreApplication::applicationDirPath();
    QDateTime now = QDateTime(QDate(2026, 12, 6), QTime(20, 41, 58));

    static ui::FileDialogState chosen(const QString& fileName, int filterIndex) {
        return {{}, filterIndex, fileName};
    }

    ui::WindowSeams seams() {
        return {
            [this](QWidget* owner, const QString& text, restore::NoticeKind kind) {
                notices.append({owner, text, kind, QGuiApplication::clipboard()->text()});
            },
            [this](QWidget*, const ui::FileDialogState& start) {
                dialogStarts.append(start);
                std::optional<ui::FileDialogState> answer;
                if (!dialogAnswers.empty()) {
                    answer = dialogAnswers.front();
                    dialogAnswers.pop_front();
                }
                return answer;
            },
            [this](const QUrl& url) {
                openedUrls.append(url);
                return openUrlSucceeds;
            },
            [this] { return executableDir; },
            [this] { return now; },
            [this](QWidget* owner, const QString& text) {
                notices.append({owner, text, restore::NoticeKind::Question,
                                QGuiApplication::clipboard()->text()});
                const bool yes = !questionAnswers.empty() && questionAnswers.front();
                if (!questionAnswers.empty()) {
                    questionAnswers.pop_front();
                }
                return yes;
            },
        };
    }
};
