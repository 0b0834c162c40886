#include "platform/ProfileReader.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#ifdef Q_OS_WIN
#include "platform/CodePage936.h"

#include <QDir>

#include <string_view>

#include <windows.h>
#endif

using platform::ProfileReader;

namespace {

// Code page 936 bytes and the text they stand for.
const QByteArray SectionGbk = "\xB3\xF5\xCA\xBC\xC4\xAC\xC8\xCF\xD6\xB5"; // 初始默认值
const QString SectionText = QString::fromUtf16(u"\u521D\u59CB\u9ED8\u8BA4\u503C");
const QByteArray KeyGbk = "\xB7\xFE\xCE\xF1\xC6\xF7\xB5\xE7\xC4\xD4\xC3\xFB"; // 服务器电脑名
const QString KeyText = QString::fromUtf16(u"\u670D\u52A1\u5668\u7535\u8111\u540D");
const QByteArray ValueGbk = "\xCA\xFD\xBE\xDD\xBF\xE2"; // 数据库
const QString ValueText = QString::fromUtf16(u"\u6570\u636E\u5E93");
const QByteArray MixedKeyGbk = "Window\xC9\xED\xB7\xDD\xC8\xCF\xD6\xA4"; // Window身份认证
// 中: its trail byte D0 is also a valid lead byte.
const QByteArray ZhongGbk = "\xD6\xD0";
const QString ZhongText = QString::fromUtf16(u"\u4E2D");
const QByteArray Utf8Bom = "\xEF\xBB\xBF";
const QString Grinning = QString::fromUtf16(u"\U0001F600");

const QString Fallback = QStringLiteral("<fallback>");

QByteArray utf16LeWithBom(const QString& text) {
    return "\xFF\xFE" + QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
}

struct Lookup {
    const char* name;
    QByteArray file;
    QString section;
    QString key;
    QString expected;
};

#ifdef Q_OS_WIN
// What Windows' own reader makes of the file, in code page 936. Each file gets a name of its own,
// as Windows keeps recently read files cached.
QString windowsReads(const QByteArray& content, const QString& section, const QString& key) {
    static QTemporaryDir dir;
    static int files = 0;
    const QString path = QDir::toNativeSeparators(dir.filePath(QString::number(++files) + ".ini"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size()) {
        return QStringLiteral("<cannot write %1>").arg(path);
    }
    file.close();
    char value[ProfileReader::MaxValueBytes + 1];
    // A cut value counts as 2047 bytes even when a split character left it shorter.
    GetPrivateProfileStringA(platform::toCodePage936(section).constData(),
                             platform::toCodePage936(key).constData(),
                             platform::toCodePage936(Fallback).constData(), value, sizeof value,
                             path.toLocal8Bit().constData());
    return platform::fromCodePage936(QByteArray(value));
}

// Windows documents nothing of a line without "=": Wine's reader lets it hide a later key of its
// name, ours does not, so a stray line cannot take a value away. And Windows gives "?" for what
// code page 936 lacks, where ours keeps the character.
bool windowsDiffers(const Lookup& lookup) {
    return std::string_view(lookup.name) == "line without equals does not shadow" ||
           std::string_view(lookup.name) == "value beginning with U+FEFF keeps it";
}
#endif

void expectLookups(const std::vector<Lookup>& cases) {
    for (const Lookup& c : cases) {
        const QString actual = ProfileReader::fromBytes(c.file).value(c.section, c.key, Fallback);
        EXPECT_EQ(actual.toStdString(), c.expected.toStdString())
            << c.name << ": file bytes " << c.file.toHex(' ').toStdString();
#ifdef Q_OS_WIN
        if (!windowsDiffers(c)) {
            EXPECT_EQ(actual.toStdString(), windowsReads(c.file, c.section, c.key).toStdString())
                << c.name << ": differs from GetPrivateProfileStringA";
        }
#endif
    }
}

} // namespace

TEST(ProfileReader, FindsSectionsAndKeysLikeTheWindowsReader) {
    const QByteArray header = "[" + SectionGbk + "]\n";
    expectLookups({
        {"chinese names", header + KeyGbk + "=" + ValueGbk + "\n", SectionText, KeyText, ValueText},
        {"ascii section in another case", "[Defaults]\nK=v\n", "dEFAULTS", "k", "v"},
        {"mixed key in another case", header + MixedKeyGbk + "=v\n", SectionText,
         QString::fromUtf16(u"wINDOW\u8EAB\u4EFD\u8BA4\u8BC1"), "v"},
        // B0 41 and B0 61 are two different characters; folding the trail byte would merge them.
        {"trail byte not folded", "[\xB0\x41]\nK=v\n", QString::fromUtf16(u"\u766E"), "K",
         Fallback},
        {"trail byte not folded in key", "[S]\n\xB0\x61=v\n", "S", QString::fromUtf16(u"\u7646"),
         Fallback},
        {"trail byte like a bracket", "[\xB0\x5D]\nK=v\n", QString::fromUtf16(u"\u7669"), "K", "v"},
        {"blanks around names and values", "  [ S ] \n \t K \t=  a b \t\n", "S", "K", "a b"},
        {"text after the bracket", "[S] note\nK=v\n", "S", "K", "v"},
        {"equals sign in the value", "[S]\nK=a=b\n", "S", "K", "a=b"},
        {"CR LF line ends", "[S]\r\nK=v\r\nL=w\r\n", "S", "L", "w"},
        {"CR line ends", "[S]\rK=v\rL=w\r", "S", "L", "w"},
        {"empty value", "[S]\nK=\nL=v\n", "S", "K", ""},
        {"blank value", "[S]\nK=   \t\n", "S", "K", ""},
        {"first key wins", "[S]\nK=first\nk=second\n", "S", "K", "first"},
        {"first section wins", "[S]\nK=first\n[s]\nK=second\n", "S", "K", "first"},
        {"later section of that name unseen", "[S]\nA=1\n[S]\nK=v\n", "S", "K", Fallback},
        {"comment line", "[S]\n;K=c\nK=v\n", "S", "K", "v"},
        {"indented comment line", "[S]\n  ;K=c\n", "S", "K", Fallback},
        {"line without equals does not shadow", "[S]\nK\nK=v\n", "S", "K", "v"},
        {"missing section", "[T]\nK=v\n", "S", "K", Fallback},
        {"key in another section", "[S]\nA=1\n[T]\nK=v\n", "S", "K", Fallback},
        {"key before any section", "K=v\n[S]\n", "S", "K", Fallback},
        {"missing key", "[S]\nA=1\n", "S", "K", Fallback},
        {"empty file", "", "S", "K", Fallback},
        {"no BOM means GBK even for UTF-8 bytes", "[\xE5\x88\x9D\xE5\xA7\x8B]\nK=v\n",
         QString::fromUtf16(u"\u521D\u59CB"), "K", Fallback},
    });
}

TEST(ProfileReader, RemovesOneMatchingPairOfQuotes) {
    expectLookups({
        {"double quotes", "[S]\nK=\"v\"\n", "S", "K", "v"},
        {"single quotes", "[S]\nK='v'\n", "S", "K", "v"},
        {"blanks inside quotes kept", "[S]\nK=  \" v \"  \n", "S", "K", " v "},
        {"empty quotes", "[S]\nK=\"\"\n", "S", "K", ""},
        {"mismatched quotes kept", "[S]\nK=\"v'\n", "S", "K", "\"v'"},
        {"lone quote kept", "[S]\nK=\"\n", "S", "K", "\""},
        {"inner quotes kept", "[S]\nK=a\"b\"\n", "S", "K", "a\"b\""},
    });
}

TEST(ProfileReader, CutsLongValuesAtByteLimitWithoutSplittingCharacters) {
    const QByteArray gbk = "[S]\nK=";
    const QByteArray utf8 = Utf8Bom + gbk;
    const struct {
        const char* name;
        QByteArray file;
        QString expected;
    } cases[] = {
        {"3000 single bytes", gbk + QByteArray(3000, 'x'), QString(2047, u'x')},
        {"lead byte left alone by the cut", gbk + ZhongGbk.repeated(1500),
         ZhongText.repeated(1023)},
        // Byte 2047 is then the trail D0, which is also a valid lead byte.
        {"cut at a character boundary", gbk + "x" + ZhongGbk.repeated(1500),
         "x" + ZhongText.repeated(1023)},
        {"quotes removed before the cut", gbk + "\"" + QByteArray(3000, 'x') + "\"",
         QString(2047, u'x')},
        {"limit not reached", gbk + ZhongGbk.repeated(1023), ZhongText.repeated(1023)},
        // The limit counts the code page 936 bytes handed over, not the file's UTF-8 bytes.
        {"UTF-8 value cut as code page 936", utf8 + ZhongText.toUtf8().repeated(1500),
         ZhongText.repeated(1023)},
        // Windows hands over "?" for each half of a pair code page 936 lacks; ours keeps it.
        {"character outside the code page", utf8 + Grinning.toUtf8().repeated(1500),
         Grinning.repeated(1023)},
    };
    for (const auto& c : cases) {
        const QString actual = ProfileReader::fromBytes(c.file + "\n").value(u"S", u"K", Fallback);
        EXPECT_TRUE(actual == c.expected)
            << c.name << ": got " << actual.size() << " characters ending in \""
            << actual.right(3).toStdString() << "\", expected " << c.expected.size();
#ifdef Q_OS_WIN
        if (!c.expected.contains(Grinning)) {
            EXPECT_TRUE(actual == windowsReads(c.file + "\n", "S", "K"))
                << c.name << ": differs from GetPrivateProfileStringA";
        }
#endif
    }
}

TEST(ProfileReader, ReadsUtf8WhenTheFileBeginsWithAByteOrderMark) {
    const QByteArray header = Utf8Bom + "[" + SectionText.toUtf8() + "]\n";
    expectLookups({
        {"chinese names", header + KeyText.toUtf8() + "=" + ValueText.toUtf8() + "\n", SectionText,
         KeyText, ValueText},
        {"ascii names in another case", Utf8Bom + "[Defaults]\nKey='v'\n", "DEFAULTS", "KEY", "v"},
        {"GBK bytes are not read as GBK", header + KeyGbk + "=v\n", SectionText, KeyText, Fallback},
        {"UTF-16 LE as Notepad writes it",
         utf16LeWithBom(u'[' + SectionText + "]\r\n" + KeyText + '=' + ValueText + "\r\n"),
         SectionText, KeyText, ValueText},
        {"value beginning with U+FEFF keeps it", header + "K=" + Utf8Bom + "v\n", SectionText, "K",
         QChar(0xFEFF) + QString("v")},
    });
}

TEST(ProfileReader, ReadsFilesAndIgnoresWhatLiesBeyondTheSizeLimit) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid()) << dir.errorString().toStdString();
    for (const QString& path : {dir.filePath("missing.ini"), dir.path()}) {
        EXPECT_EQ(ProfileReader::fromFile(path).value(u"S", u"K", Fallback).toStdString(),
                  Fallback.toStdString())
            << path.toStdString();
    }

    // The limit falls inside the line of L: a partial value must not be read.
    QByteArray content = "[S]\r\nK=v\r\n;";
    content += QByteArray(ProfileReader::MaxFileBytes - content.size() - 7, 'x') + "\r\n";
    content += "L=abcdefgh\r\nM=w\r\n";
    const QString path = dir.filePath("big.ini");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << file.errorString().toStdString();
    ASSERT_EQ(file.write(content), content.size()) << file.errorString().toStdString();
    file.close();

    const auto reader = ProfileReader::fromFile(path);
    EXPECT_EQ(reader.value(u"S", u"K", Fallback).toStdString(), "v");
    EXPECT_EQ(reader.value(u"S", u"L", Fallback).toStdString(), Fallback.toStdString());
    EXPECT_EQ(reader.value(u"S", u"M", Fallback).toStdString(), Fallback.toStdString());
}
