#include "restore/ServerTime.h"

#include <QDate>
#include <QStringList>
#include <QTime>

namespace restore {

namespace {

// Read as it stands: no time zone applies, so an hour that this machine's clock skips or repeats
// is as good as any other.
QDateTime wallClockTime(const QString& text) {
    const QStringList parts = text.split(u' ');
    if (parts.size() != 2) {
        return {};
    }
    const QDate date = QDate::fromString(parts[0], QStringLiteral("yyyy-MM-dd"));
    QTime time = QTime::fromString(parts[1], QStringLiteral("HH:mm:ss"));
    if (!time.isValid()) {
        time = QTime::fromString(parts[1], QStringLiteral("HH:mm"));
    }
    if (!date.isValid() || !time.isValid()) {
        return {};
    }
    return QDateTime(date, time, Qt::UTC);
}

} // namespace

QDateTime serverDateTime(const QString& text) {
    return wallClockTime(text.left(19).replace(u'T', u' '));
}

std::optional<QDateTime> parseWallClockTime(const QString& text) {
    const QDateTime when = wallClockTime(text);
    return when.isValid() ? std::optional(when) : std::nullopt;
}

QString serverTimeText(const QDateTime& when) {
    return when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

} // namespace restore
