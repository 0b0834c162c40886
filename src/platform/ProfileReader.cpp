#include "platform/ProfileReader.h"

#include "platform/CodePage936.h"

#include <QByteArrayView>
#include <QFile>
#include <QStringDecoder>

#include <algorithm>

namespace platform {

namespace {

constexpr QByteArrayView Utf8Bom = "\xEF\xBB\xBF";
constexpr QByteArrayView Utf16LeBom = "\xFF\xFE";

// Bytes of the character at `i`. A GBK trail byte can look like an ASCII letter or "]", so the
// bytes must be walked character by character from the start of the text.
qsizetype characterLength(QByteArrayView text, qsizetype i, bool utf8) {
    const auto lead = static_cast<unsigned char>(text[i]);
    if (!utf8) {
        if (lead < 0x81 || lead > 0xFE || i + 1 >= text.size()) {
            return 1;
        }
        const auto trail = static_cast<unsigned char>(text[i + 1]);
        return trail >= 0x40 && trail <= 0xFE && trail != 0x7F ? 2 : 1;
    }
    const qsizetype expected = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    qsizetype length = 1;
    while (length < expected && i + length < text.size() &&
           (static_cast<unsigned char>(text[i + length]) & 0xC0) == 0x80) {
        ++length;
    }
    return length;
}

// Windows folds only the single-byte letters of a name; double-byte characters compare as they are.
QByteArray foldedName(QByteArrayView name, bool utf8) {
    QByteArray folded = name.toByteArray();
    for (qsizetype i = 0; i < folded.size();) {
        const qsizetype length = characterLength(folded, i, utf8);
        if (length == 1 && folded[i] >= 'a' && folded[i] <= 'z') {
            folded[i] = static_cast<char>(folded[i] - 'a' + 'A');
        }
        i += length;
    }
    return folded;
}

qsizetype lastSingleByte(QByteArrayView text, char wanted, bool utf8) {
    qsizetype found = -1;
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype length = characterLength(text, i, utf8);
        if (length == 1 && text[i] == wanted) {
            found = i;
        }
        i += length;
    }
    return found;
}

QByteArrayView withoutQuotes(QByteArrayView value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        return value.sliced(1, value.size() - 2);
    }
    return value;
}

// The first MaxValueBytes bytes of code page 936 text, without a character the limit splits.
QByteArrayView cutValue(QByteArrayView value) {
    qsizetype end = 0;
    while (end < value.size()) {
        const qsizetype length = characterLength(value, end, false);
        if (end + length > ProfileReader::MaxValueBytes) {
            break;
        }
        end += length;
    }
    return value.first(end);
}

// Windows hands over a Unicode file's value as code page 936 bytes, so the limit counts those.
// The characters themselves are kept, also those code page 936 lacks.
QString cutUnicodeValue(const QString& text) {
    qsizetype bytes = 0;
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype length = text[i].isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        // Windows puts one "?" for each half of a pair code page 936 lacks.
        bytes += std::max(length, toCodePage936(QStringView(text).sliced(i, length)).size());
        if (bytes > ProfileReader::MaxValueBytes) {
            return text.first(i);
        }
        i += length;
    }
    return text;
}

// fromUtf8 would drop a leading U+FEFF of the value as if it were a byte-order mark.
QString utf8Text(QByteArrayView bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
    return decoder(bytes);
}

} // namespace

ProfileReader ProfileReader::fromFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return fromBytes({});
    }
    QByteArray content = file.read(MaxFileBytes);
    if (!file.atEnd()) {
        content.truncate(content.lastIndexOf('\n') + 1);
    }
    return fromBytes(content);
}

ProfileReader ProfileReader::fromBytes(const QByteArray& content) {
    ProfileReader reader;
    QByteArray body = content;
    if (content.startsWith(Utf16LeBom)) {
        // Notepad's "Unicode": read as the same text in UTF-8.
        const QByteArrayView units = QByteArrayView(content).sliced(Utf16LeBom.size());
        body = QString::fromUtf16(reinterpret_cast<const char16_t*>(units.data()), units.size() / 2)
                   .toUtf8();
        reader.utf8_ = true;
    } else if (content.startsWith(Utf8Bom)) {
        body = content.sliced(Utf8Bom.size());
        reader.utf8_ = true;
    }
    // Lines end at LF; where none follows any more, Windows ends them at CR.
    QList<QByteArray> lines = body.split('\n');
    lines.append(lines.takeLast().split('\r'));
    Section* current = nullptr;
    for (const QByteArray& rawLine : lines) {
        const QByteArrayView line = QByteArrayView(rawLine).trimmed();
        if (line.isEmpty() || line.front() == ';') {
            continue;
        }
        if (line.front() == '[') {
            const qsizetype close = lastSingleByte(line, ']', reader.utf8_);
            if (close > 0) {
                const QByteArrayView name = line.sliced(1, close - 1).trimmed();
                current =
                    &reader.sections_.emplace_back(Section{foldedName(name, reader.utf8_), {}});
                continue;
            }
        }
        const qsizetype equals = line.indexOf('=');
        if (current == nullptr || equals < 0) {
            continue;
        }
        current->entries.push_back(
            Entry{foldedName(line.first(equals).trimmed(), reader.utf8_),
                  withoutQuotes(line.sliced(equals + 1).trimmed()).toByteArray()});
    }
    return reader;
}

QByteArray ProfileReader::encoded(QStringView name) const {
    return utf8_ ? foldedName(name.toUtf8(), true) : foldedName(toCodePage936(name), false);
}

// Only the first section of a name is searched, even when a later one holds the key.
const ProfileReader::Section* ProfileReader::findSection(QStringView section) const {
    const auto sectionIt = std::ranges::find(sections_, encoded(section), &Section::name);
    return sectionIt == sections_.end() ? nullptr : &*sectionIt;
}

const ProfileReader::Entry* ProfileReader::findEntry(QStringView section, QStringView key) const {
    const Section* found = findSection(section);
    if (found == nullptr) {
        return nullptr;
    }
    const auto entryIt = std::ranges::find(found->entries, encoded(key), &Entry::key);
    return entryIt == found->entries.end() ? nullptr : &*entryIt;
}

QString ProfileReader::decoded(const Entry& entry) const {
    if (!utf8_) {
        return fromCodePage936(cutValue(entry.value));
    }
    return cutUnicodeValue(utf8Text(entry.value));
}

bool ProfileReader::hasSection(QStringView section) const {
    return findSection(section) != nullptr;
}

bool ProfileReader::isCut(QStringView section, QStringView key) const {
    const Entry* entry = findEntry(section, key);
    if (entry == nullptr) {
        return false;
    }
    if (!utf8_) {
        return entry->value.size() > MaxValueBytes;
    }
    return decoded(*entry).size() < utf8Text(entry->value).size();
}

QString ProfileReader::value(QStringView section, QStringView key, const QString& fallback) const {
    const Entry* entry = findEntry(section, key);
    return entry == nullptr ? fallback : decoded(*entry);
}

} // namespace platform
