#include "restore/ProgressPercent.h"

#include <QRegularExpression>

namespace restore {

std::optional<int> reportedPercent(const db::ServerMessage& message) {
    constexpr int PercentMessage = 3211;
    static const QRegularExpression wholeNumber(QStringLiteral("[0-9]+"));
    if (message.number != PercentMessage) {
        return std::nullopt;
    }
    bool isNumber = false;
    const int percent = wholeNumber.match(message.text).captured().toInt(&isNumber);
    return isNumber ? std::optional(percent) : std::nullopt;
}

} // namespace restore
