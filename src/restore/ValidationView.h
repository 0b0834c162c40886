#pragma once

#include "restore/Notice.h"
#include "restore/RestoreRequest.h"

#include <QString>

namespace restore {

// The main window's fields that the validation reads, writes or moves the focus to, by control.
enum class Field { b1, b2, b3, d2, e1, e2 };

// What the validation of a start-button press needs of the main window.
class ValidationView : public NoticeSink {
public:
    virtual QString fieldText(Field field) const = 0;
    virtual void setFieldText(Field field, const QString& text) = 0;
    virtual AuthMode authMode() const = 0;     // c1 or c2
    virtual SourceKind sourceKind() const = 0; // c3 or c4
    virtual void focusField(Field field) = 0;
    // The d1 action: the open-file dialog; d2 then holds the chosen path or is left unchanged.
    virtual void chooseSourceFile() = 0;
    // Paints the whole window at once, before the slow file-system work and the run.
    virtual void repaintWindowNow() = 0;

protected:
    ~ValidationView() = default;
};

} // namespace restore
