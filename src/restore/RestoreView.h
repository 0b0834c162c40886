#pragma once

#include "restore/Notice.h"

#include <QString>

namespace restore {

// What the run needs of the main window: the progress area, the notice and the window width.
class RestoreView : public NoticeSink {
public:
    virtual void clearProgressLines() = 0;
    virtual void appendProgressLine(const QString& text) = 0;
    virtual QString lastProgressLine() const = 0;
    virtual void replaceLastProgressLine(const QString& text) = 0;
    virtual int progressLineCount() const = 0;
    // Queues a Home key-down to the progress area; it takes effect once events run again.
    virtual void postProgressHomeKey() = 0;
    // Paints the progress area at once, not when events are next processed.
    virtual void repaintProgressNow() = 0;
    virtual void setOuterWidth(int pixels) = 0;
    // A modal question in the notice's style, with 是 and 否; true for 是.
    virtual bool askQuestion(const QString& text) = 0;

protected:
    ~RestoreView() = default;
};

} // namespace restore
