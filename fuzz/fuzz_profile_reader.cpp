// The defaults file is whatever the operator left next to the program.
#include "FuzzCheck.h"

#include "platform/ProfileReader.h"

#include <QStringEncoder>

#include <cstddef>
#include <cstdint>

using fuzz::require;
using platform::ProfileReader;

namespace {

const QString Fallback = QStringLiteral("\x01missing");
const QByteArray Utf8Bom = "\xEF\xBB\xBF";
const QByteArray Utf16LeBom = "\xFF\xFE";

// Windows folds only single-byte letters, so a lookup with their case swapped finds the same.
QString swapAsciiCase(QString name) {
    for (QChar& c : name) {
        if (c.unicode() < 0x80 && c.isLetter()) {
            c = c.isUpper() ? c.toLower() : c.toUpper();
        }
    }
    return name;
}

QByteArray encoded(const QString& text, bool utf8) {
    if (utf8) {
        return text.toUtf8();
    }
    QStringEncoder encoder("GBK");
    return encoder(text);
}

// Undecodable bytes turn into U+FFFD, whose encoding says nothing about the bytes it replaced.
bool decodedCleanly(const QString& text) {
    return !text.contains(QChar::ReplacementCharacter);
}

QString lookup(const ProfileReader& reader, const QString& section, const QString& key) {
    const QString value = reader.value(section, key, Fallback);
    require(value == reader.value(swapAsciiCase(section), swapAsciiCase(key), Fallback),
            "ASCII letters in names match in either case");
    if (value != Fallback) {
        require(value.size() <= ProfileReader::MaxValueBytes, "a value fits the reader's buffer");
        // Windows hands a Unicode file's value over in code page 936 too, so that form is measured.
        require(!decodedCleanly(value) ||
                    encoded(value, false).size() <= ProfileReader::MaxValueBytes,
                "a value's code page 936 form fits the reader's buffer");
    }
    return value;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray content(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const bool utf8 = content.startsWith(Utf8Bom);

    const ProfileReader plain = ProfileReader::fromBytes(content);
    // 初始默认值 / 服务器电脑名: the section and a key the program reads.
    lookup(plain, QString::fromUtf16(u"\u521D\u59CB\u9ED8\u8BA4\u503C"),
           QString::fromUtf16(u"\u670D\u52A1\u5668\u7535\u8111\u540D"));

    // The probe is appended as single bytes, which a UTF-16 file cannot hold.
    if (content.toUpper().contains("FUZZ PROBE") || content.startsWith(Utf16LeBom)) {
        return 0;
    }
    // A well-formed section after any content is found: no line may leak into the next. Its long
    // value, the content without blanks or quotes so that it is stored as it is, exercises the cut
    // at the buffer's size.
    QByteArray line = content.sliced(utf8 ? Utf8Bom.size() : 0);
    line.removeIf(
        [](char c) { return static_cast<unsigned char>(c) <= 0x20 || c == '"' || c == '\''; });
    QByteArray longValue;
    while (!line.isEmpty() && longValue.size() <= ProfileReader::MaxValueBytes) {
        longValue += line;
    }
    const ProfileReader probed =
        ProfileReader::fromBytes(content + "\n[Fuzz Probe]\nK=v\nLong=" + longValue + "\n");
    require(lookup(probed, "Fuzz Probe", "K") == "v", "a key after any content is found");

    const QString cut = lookup(probed, "Fuzz Probe", "Long");
    if (decodedCleanly(cut)) {
        const QByteArray bytes = encoded(cut, utf8);
        require(longValue.startsWith(bytes), "a cut value is the start of the stored one");
        // One character is at most 4 bytes, so the cut loses less than that.
        require(longValue.size() <= ProfileReader::MaxValueBytes ||
                    bytes.size() > ProfileReader::MaxValueBytes - 4,
                "a cut value keeps all but the last partial character");
    }
    return 0;
}
