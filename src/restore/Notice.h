#pragma once

#include <QString>

namespace restore {

// Question: a notice that asks, with the buttons 是 and 否 (RestoreView::askQuestion).
enum class NoticeKind { Error, Information, Question };

// A modal notice with the caption "注意" and a single OK button; returns when it is closed.
class NoticeSink {
public:
    virtual void showNotice(const QString& text, NoticeKind kind) = 0;

protected:
    ~NoticeSink() = default;
};

} // namespace restore
