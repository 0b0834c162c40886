#include "db/ConnectionString.h"

namespace db {

namespace {

bool isBlank(QChar c) {
    return c == u' ' || c == u'\t';
}

bool needsQuotes(const QString& value) {
    if (value.isEmpty()) {
        return false;
    }
    // Any blank the reader trims from an unquoted value, not only space and tab.
    return value.contains(u';') || value.front() == u'"' || value.front() == u'\'' ||
           value.front().isSpace() || value.back().isSpace();
}

} // namespace

QString quoteConnectionValue(const QString& value) {
    if (!needsQuotes(value)) {
        return value;
    }
    QString inner = value;
    return u'"' + inner.replace(u'"', QStringLiteral("\"\"")) + u'"';
}

ConnectionString ConnectionString::parse(QStringView text) {
    ConnectionString result;
    qsizetype pos = 0;
    const qsizetype size = text.size();
    while (pos < size) {
        while (pos < size && (text[pos] == u';' || isBlank(text[pos]))) {
            ++pos;
        }
        const qsizetype equals = text.indexOf(u'=', pos);
        if (equals < 0) {
            break;
        }
        const QString key = text.sliced(pos, equals - pos).trimmed().toString();
        pos = equals + 1;
        while (pos < size && isBlank(text[pos])) {
            ++pos;
        }
        QString value;
        if (pos < size && (text[pos] == u'"' || text[pos] == u'\'')) {
            const QChar quote = text[pos++];
            while (pos < size) {
                if (text[pos] == quote) {
                    if (pos + 1 < size && text[pos + 1] == quote) {
                        value += quote;
                        pos += 2;
                        continue;
                    }
                    ++pos;
                    break;
                }
                value += text[pos++];
            }
            const qsizetype semicolon = text.indexOf(u';', pos);
            pos = semicolon < 0 ? size : semicolon + 1;
        } else {
            const qsizetype semicolon = text.indexOf(u';', pos);
            const qsizetype end = semicolon < 0 ? size : semicolon;
            value = text.sliced(pos, end - pos).trimmed().toString();
            pos = semicolon < 0 ? size : semicolon + 1;
        }
        if (!key.isEmpty()) {
            result.entries_.emplace_back(key, value);
        }
    }
    return result;
}

std::optional<QString> ConnectionString::value(QStringView key) const {
    for (auto it = entries_.rbegin(); it != entries_.rend(); ++it) {
        if (QStringView(it->first).compare(key, Qt::CaseInsensitive) == 0) {
            return it->second;
        }
    }
    return std::nullopt;
}

} // namespace db
