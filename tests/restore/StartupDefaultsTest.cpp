#include "restore/StartupDefaults.h"

#include "platform/PlatformDefaults.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace restore;

namespace {

const QString FileName = QString::fromUtf16(u"\u521D\u59CB\u9ED8\u8BA4\u503C.ini");

// Keys and values in code page 936, as the window's captions spell them.
const QByteArray Header = "[\xB3\xF5\xCA\xBC\xC4\xAC\xC8\xCF\xD6\xB5]\r\n"; // [初始默认值]
const QByteArray ServerKey = "\xB7\xFE\xCE\xF1\xC6\xF7\xB5\xE7\xC4\xD4\xC3\xFB=";
const QByteArray AuthKey = "\xC8\xCF\xD6\xA4\xB7\xBD\xCA\xBD=";
const QByteArray UserKey = "\xCA\xFD\xBE\xDD\xBF\xE2\xD3\xC3\xBB\xA7\xC3\xFB=";
const QByteArray PasswordKey = "\xCA\xFD\xBE\xDD\xBF\xE2--\xC3\xDC\xC2\xEB=";
const QByteArray SourceKey = "\xC0\xB4\xD4\xB4\xC0\xE0\xD0\xCD=";
const QByteArray SourcePathKey = "\xBB\xD6\xB8\xB4\xC0\xB4\xD4\xB4\xCE\xC4\xBC\xFE=";
const QByteArray DatabaseKey = "\xD0\xC2\xB5\xC4\xCA\xFD\xBE\xDD\xBF\xE2\xC3\xFB\xB3\xC6=";
const QByteArray DirectoryKey = "\xCA\xFD\xBE\xDD\xBF\xE2\xB4\xE6\xB7\xC5\xC4\xBF\xC2\xBC=";
const QByteArray IntegratedGbk = "Window\xC9\xED\xB7\xDD\xC8\xCF\xD6\xA4";
const QByteArray SqlLoginGbk = "\xD6\xB8\xB6\xA8\xD3\xC3\xBB\xA7\xC3\xFB\xC3\xDC\xC2\xEB";
const QByteArray BackupGbk = "BAK\xB1\xB8\xB7\xDD\xCE\xC4\xBC\xFE";
const QByteArray DataFilesGbk = "MDF,LDF\xCE\xC4\xBC\xFE";

DefaultsCaptions windowCaptions() {
    return {
        QString::fromUtf16(u"\u670D\u52A1\u5668\u7535\u8111\u540D"),
        QString::fromUtf16(u"\u6570\u636E\u5E93\u7528\u6237\u540D"),
        QString::fromUtf16(u"\u6570\u636E\u5E93--\u5BC6\u7801"),
        QString::fromUtf16(u"\u8BA4\u8BC1\u65B9\u5F0F"),
        QString::fromUtf16(u"\u6765\u6E90\u7C7B\u578B"),
        QString::fromUtf16(u"\u65B0\u7684\u6570\u636E\u5E93\u540D\u79F0"),
        QString::fromUtf16(u"\u6570\u636E\u5E93\u5B58\u653E\u76EE\u5F55"),
        QString::fromUtf16(u"Window\u8EAB\u4EFD\u8BA4\u8BC1"),
        QString::fromUtf16(u"BAK\u5907\u4EFD\u6587\u4EF6"),
    };
}

const QDateTime Now(QDate(2026, 12, 6), QTime(20, 41, 58));

class StartupDefaultsTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()) << dir_.errorString().toStdString(); }

    void writeDefaults(const QByteArray& content) {
        QFile file(dir_.filePath(FileName));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << file.errorString().toStdString();
        ASSERT_EQ(file.write(content), content.size()) << file.errorString().toStdString();
    }

    StartupDefaults load(const DefaultsCaptions& captions = windowCaptions()) {
        return loadStartupDefaults(dir_.path(), captions, Now);
    }

    QTemporaryDir dir_;
};

} // namespace

TEST_F(StartupDefaultsTest, FullFilePresetsEveryField) {
    writeDefaults(Header + ServerKey + "DBHOST\\SQL2000\r\n" + AuthKey + SqlLoginGbk + "\r\n" +
                  UserKey + "restorer\r\n" + PasswordKey + " p@ss word \r\n" + SourceKey +
                  DataFilesGbk + "\r\n" + SourcePathKey +
                  "E:\\\xCA\xFD\xBE\xDD\\Shop_Data.MDF\r\n" + DatabaseKey + "Shop2\r\n" +
                  DirectoryKey + "/srv/mssql\r\n");
    const StartupDefaults defaults = load();
    EXPECT_EQ(defaults.databaseName.toStdString(), "Shop2");
    ASSERT_TRUE(defaults.preset.has_value());
    const PresetFields& preset = *defaults.preset;
    EXPECT_EQ(preset.serverName.toStdString(), "DBHOST\\SQL2000");
    EXPECT_EQ(preset.authMode, AuthMode::SqlLogin);
    EXPECT_EQ(preset.userName.toStdString(), "restorer");
    EXPECT_EQ(preset.password.toStdString(), "p@ss word");
    EXPECT_EQ(preset.sourceKind, SourceKind::DataFiles);
    EXPECT_EQ(preset.sourcePath.toStdString(),
              QString::fromUtf16(u"E:\\\u6570\u636E\\Shop_Data.MDF").toStdString());
    EXPECT_EQ(preset.directory.toStdString(), "/srv/mssql");
}

TEST_F(StartupDefaultsTest, OnlyTheExactCaptionsOfC1AndC3SelectThem) {
    const struct {
        const char* name;
        QByteArray lines;
        AuthMode auth;
        SourceKind source;
    } cases[] = {
        {"keys absent", "", AuthMode::Integrated, SourceKind::Backup},
        {"the captions of c1 and c3", AuthKey + IntegratedGbk + "\r\n" + SourceKey + BackupGbk,
         AuthMode::Integrated, SourceKind::Backup},
        {"the captions of c2 and c4", AuthKey + SqlLoginGbk + "\r\n" + SourceKey + DataFilesGbk,
         AuthMode::SqlLogin, SourceKind::DataFiles},
        {"lower-case first letters",
         AuthKey + "w" + IntegratedGbk.sliced(1) + "\r\n" + SourceKey + "b" + BackupGbk.sliced(1),
         AuthMode::SqlLogin, SourceKind::DataFiles},
        {"empty values", AuthKey + "\r\n" + SourceKey, AuthMode::SqlLogin, SourceKind::DataFiles},
    };
    for (const auto& c : cases) {
        writeDefaults(Header + c.lines + "\r\n");
        const StartupDefaults defaults = load();
        ASSERT_TRUE(defaults.preset.has_value()) << c.name;
        EXPECT_EQ(defaults.preset->authMode, c.auth) << c.name;
        EXPECT_EQ(defaults.preset->sourceKind, c.source) << c.name;
    }
}

TEST_F(StartupDefaultsTest, SectionHeaderAloneGivesTheFieldDefaults) {
    writeDefaults(Header);
    const StartupDefaults defaults = load();
    EXPECT_EQ(defaults.databaseName.toStdString(), "");
    ASSERT_TRUE(defaults.preset.has_value());
    EXPECT_EQ(defaults.preset->serverName.toStdString(), "(local)");
    EXPECT_EQ(defaults.preset->userName.toStdString(), "sa");
    EXPECT_EQ(defaults.preset->password.toStdString(), "");
    EXPECT_EQ(defaults.preset->sourcePath.toStdString(), "");
    EXPECT_EQ(defaults.preset->directory.toStdString(),
              platform::defaultDatabaseDirectory().toStdString());
}

TEST_F(StartupDefaultsTest, KeysFollowTheLabelCaptions) {
    writeDefaults(Header + ServerKey + "old\r\nServer=renamed\r\n");
    DefaultsCaptions captions = windowCaptions();
    captions.serverLabel = "server";
    const StartupDefaults defaults = load(captions);
    ASSERT_TRUE(defaults.preset.has_value());
    EXPECT_EQ(defaults.preset->serverName.toStdString(), "renamed");
}

TEST_F(StartupDefaultsTest, WithoutAFileOnlyTheDatabaseNameIsGenerated) {
    const struct {
        QDateTime now;
        const char* expected;
    } cases[] = {
        {Now, "NEW_DB_261206_20_41_58"},
        {QDateTime(QDate(2005, 1, 2), QTime(3, 4, 5)), "NEW_DB_050102_03_04_05"},
    };
    for (const auto& c : cases) {
        const StartupDefaults defaults = loadStartupDefaults(dir_.path(), windowCaptions(), c.now);
        EXPECT_EQ(defaults.databaseName.toStdString(), c.expected);
        EXPECT_FALSE(defaults.preset.has_value()) << c.expected;
    }
}

TEST_F(StartupDefaultsTest, DirectoryNamedLikeTheFileIsNoFile) {
    ASSERT_TRUE(QDir(dir_.path()).mkdir(FileName));
    const StartupDefaults defaults = load();
    EXPECT_EQ(defaults.databaseName.toStdString(), "NEW_DB_261206_20_41_58");
    EXPECT_FALSE(defaults.preset.has_value());
}
