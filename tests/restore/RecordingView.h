#pragma once

#include "restore/RestoreView.h"

#include <QStringList>

#include <deque>
#include <utility>
#include <vector>

// Stands in for the window: keeps the progress lines and records notices, repaints and the width.
class RecordingView : public restore::RestoreView {
public:
    QStringList lines{QStringLiteral("恢复进度信息:")};
    std::vector<std::pair<QString, restore::NoticeKind>> notices;
    int homeKeys = 0;
    int repaints = 0;
    QStringList painted; // the last line at each repaint
    int outerWidth = 279;
    QStringList events; // notice and width changes in the order they happened

    void clearProgressLines() override { lines.clear(); }
    void appendProgressLine(const QString& text) override { lines << text; }
    QString lastProgressLine() const override { return lines.isEmpty() ? QString() : lines.last(); }
    void replaceLastProgressLine(const QString& text) override {
        if (lines.isEmpty()) {
            lines << text;
        } else {
            lines.last() = text;
        }
    }
    int progressLineCount() const override { return static_cast<int>(lines.size()); }
    void postProgressHomeKey() override { ++homeKeys; }
    void repaintProgressNow() override {
        ++repaints;
        painted << lastProgressLine();
    }
    void setOuterWidth(int pixels) override {
        outerWidth = pixels;
        events << QStringLiteral("width");
    }
    void showNotice(const QString& text, restore::NoticeKind kind) override {
        notices.emplace_back(text, kind);
        events << QStringLiteral("notice");
    }
    // Questions are recorded as notices of their kind and answered from `answers` in turn, then 否.
    std::deque<bool> answers;
    bool askQuestion(const QString& text) override {
        notices.emplace_back(text, restore::NoticeKind::Question);
        events << QStringLiteral("question");
        const bool yes = !answers.empty() && answers.front();
        if (!answers.empty()) {
            answers.pop_front();
        }
        return yes;
    }
};
