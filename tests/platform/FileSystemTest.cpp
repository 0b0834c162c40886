#include "platform/FileSystem.h"
#include "platform/PlatformDefaults.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <optional>

using namespace platform;

namespace {

std::string show(const std::optional<QStringList>& levels) {
    // Joined as a QString: GCC 12 at -O3 takes "[" + std::string for an overlapping copy.
    return levels ? (u'[' + levels->join(" | ") + u']').toStdString() : "nullopt";
}

class FileSystemTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(temp.isValid());
        QFile file(temp.filePath("plain.txt"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_TRUE(QDir(temp.path()).mkdir("folder"));
    }

    // The temporary folder and the names under it, with the platform's separator.
    QString path(const QString& relative = {}) const {
        return QDir::toNativeSeparators(temp.path()) + DirectorySeparator + relative;
    }

    QTemporaryDir temp;
};

TEST_F(FileSystemTest, TellsFilesFromDirectories) {
    struct Case {
        QString path;
        bool isFile;
        bool isDirectory;
    };
    const Case cases[] = {
        {path("plain.txt"), true, false},
        {path("folder"), false, true},
        {path("folder") + DirectorySeparator, false, true},
        {path("missing"), false, false},
        {path("plain.txt") + DirectorySeparator, false, false},
        {QString(), false, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(fileExists(c.path), c.isFile) << "fileExists(" << c.path.toStdString() << ")";
        EXPECT_EQ(directoryExists(c.path), c.isDirectory)
            << "directoryExists(" << c.path.toStdString() << ")";
    }
}

TEST_F(FileSystemTest, ListsMissingLevelsOutermostFirst) {
    const QChar s = DirectorySeparator;
    struct Case {
        QString path;
        std::optional<QStringList> levels;
    };
    const Case cases[] = {
        {path("a") + s + "b" + s + "c" + s,
         QStringList{path("a"), path("a") + s + "b", path("a") + s + "b" + s + "c"}},
        {path("folder") + s + "x", QStringList{path("folder") + s + "x"}},
        {path("folder") + s, QStringList{}},
        // A doubled separator at the end leaves a level equal to its own parent part.
        {path("new") + s + s, QStringList{}},
        // A file in the way is listed as a level; making it is what fails.
        {path("plain.txt") + s + "x", QStringList{path("plain.txt"), path("plain.txt") + s + "x"}},
        // A one-level relative name has an empty parent part and is never made.
        {"quarn-relative-level", std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(show(missingDirectoryLevels(c.path)), show(c.levels)) << c.path.toStdString();
    }
}

#ifndef Q_OS_WIN
// A bare drive such as "D:" is shorter than three characters; here the root "/" is the only
// level that counts as done by itself, and a short name below it such as "/q" is still made.
TEST(FileSystemRoot, RootIsDoneAndShortLevelsBelowItAreNot) {
    ASSERT_FALSE(QFileInfo::exists("/q")) << "/q exists on this machine";
    ASSERT_FALSE(QFileInfo::exists("/q-quarn")) << "/q-quarn exists on this machine";
    EXPECT_EQ(show(missingDirectoryLevels("/")), "[]");
    EXPECT_EQ(show(missingDirectoryLevels("/q")), "[/q]");
    EXPECT_EQ(show(missingDirectoryLevels("/q-quarn/")), "[/q-quarn]");
}
#endif

TEST_F(FileSystemTest, CreatesThreeMissingLevels) {
    const QString target = path("a") + DirectorySeparator + "b" + DirectorySeparator + "c";
    createDirectoryLevels(target + DirectorySeparator);
    EXPECT_TRUE(QFileInfo(target).isDir()) << target.toStdString() << " was not created";
}

TEST_F(FileSystemTest, SwallowsLevelsThatCannotBeMade) {
    const QString underFile = path("plain.txt") + DirectorySeparator + "x" + DirectorySeparator;
    createDirectoryLevels(underFile);
    EXPECT_TRUE(QFileInfo(path("plain.txt")).isFile());
    EXPECT_FALSE(QFileInfo::exists(underFile)) << underFile.toStdString();

#ifndef Q_OS_WIN
    // Nothing can be made in /proc, not even by root: it stands in for a missing mount.
    const QString onMissingMount = "/proc/quarn-missing-mount/data/";
    createDirectoryLevels(onMissingMount);
    EXPECT_FALSE(QFileInfo::exists("/proc/quarn-missing-mount"));
#endif

    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(temp.path()));
    createDirectoryLevels(QStringLiteral("data") + DirectorySeparator);
    const bool relativeMade = QFileInfo::exists(path("data"));
    QDir::setCurrent(previous);
    EXPECT_FALSE(relativeMade) << "the one-level relative name data was created";
}

} // namespace
