#include "db/OdbcDiagnostics.h"

namespace db {

namespace {

// ODBC puts at most three components before the text: vendor, ODBC component, data source.
constexpr int MaxPrefixComponents = 3;

bool isTrailingJunk(QChar c) {
    return c.unicode() <= 32 || c == u'.' || c.category() == QChar::Other_Control;
}

} // namespace

QString cleanDriverMessage(QStringView message) {
    qsizetype start = 0;
    for (int component = 0; component < MaxPrefixComponents; ++component) {
        if (start >= message.size() || message[start] != u'[') {
            break;
        }
        const qsizetype close = message.indexOf(u']', start + 1);
        if (close < 0) {
            break;
        }
        start = close + 1;
    }
    qsizetype end = message.size();
    while (end > start && isTrailingJunk(message[end - 1])) {
        --end;
    }
    return message.sliced(start, end - start).toString();
}

bool isErrorRecord(const OdbcDiagRecord& record) {
    return !record.sqlState.startsWith(u"01") && !record.sqlState.startsWith(u"00");
}

const OdbcDiagRecord* failureRecord(const std::vector<OdbcDiagRecord>& records) {
    for (const bool errorsOnly : {true, false}) {
        for (const OdbcDiagRecord& record : records) {
            if ((!errorsOnly || isErrorRecord(record)) &&
                !cleanDriverMessage(record.message).isEmpty()) {
                return &record;
            }
        }
    }
    return nullptr;
}

const OdbcDiagRecord* connectionLossRecord(const std::vector<OdbcDiagRecord>& records) {
    for (auto record = records.rbegin(); record != records.rend(); ++record) {
        if (!cleanDriverMessage(record->message).isEmpty()) {
            return &*record;
        }
    }
    return nullptr;
}

QString failureText(const std::vector<OdbcDiagRecord>& records, QStringView callName,
                    int returnCode) {
    if (const OdbcDiagRecord* record = failureRecord(records)) {
        return cleanDriverMessage(record->message);
    }
    return QStringLiteral("%1 failed (return code %2)").arg(callName).arg(returnCode);
}

QString connectionLossText(const std::vector<OdbcDiagRecord>& records, QStringView callName,
                           int returnCode) {
    if (const OdbcDiagRecord* record = connectionLossRecord(records)) {
        return cleanDriverMessage(record->message);
    }
    return failureText({}, callName, returnCode);
}

} // namespace db
