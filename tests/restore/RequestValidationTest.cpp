#include "restore/RequestValidation.h"

#include "platform/CodePage936.h"
#include "platform/PlatformDefaults.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

using namespace restore;
using platform::DirectorySeparator;

namespace {

const QString ServerNotice = QStringLiteral("请先输入\"服务器电脑名\"");
const QString UserNotice = QStringLiteral("请先输入\"数据库用户名\"(默认是:sa)");
const QString SourceNotice = QStringLiteral("请选择数据库恢复来源文件");
const QString LogNotice = QStringLiteral("在相同目录中，找不到日志文件:");
const QString NameNotice = QStringLiteral("请输入\"新的数据库名称\"");
const QString DirectoryNotice = QStringLiteral("请输入\"数据库存放目录\"");
const QString InvalidDirectoryNotice = QStringLiteral("您输入的是无效目录");

std::string error(const QString& text) {
    return "Error " + text.toStdString();
}

std::string information(const QString& text) {
    return "Information " + text.toStdString();
}

using Events = std::vector<std::string>;

std::string joined(const Events& events) {
    std::string all;
    for (const std::string& event : events) {
        all += "[" + event + "] ";
    }
    return all;
}

// Stands in for the window: keeps the fields and records notices, focus moves, dialog runs and
// repaints in the order they happen.
class FakeView final : public ValidationView {
public:
    std::map<Field, QString> fields;
    AuthMode auth = AuthMode::Integrated;
    SourceKind source = SourceKind::Backup;
    std::optional<QString> dialogChoice; // what the d1 dialog confirms; nullopt cancels it
    Events events;

    QString fieldText(Field field) const override { return fields.at(field); }
    void setFieldText(Field field, const QString& text) override { fields[field] = text; }
    AuthMode authMode() const override { return auth; }
    SourceKind sourceKind() const override { return source; }
    void focusField(Field field) override {
        static const std::map<Field, std::string> names = {
            {Field::b1, "b1"}, {Field::b2, "b2"}, {Field::b3, "b3"},
            {Field::d2, "d2"}, {Field::e1, "e1"}, {Field::e2, "e2"},
        };
        events.push_back("focus " + names.at(field));
    }
    void chooseSourceFile() override {
        events.push_back("dialog");
        if (dialogChoice) {
            fields[Field::d2] = *dialogChoice;
        }
    }
    void repaintWindowNow() override { events.push_back("repaint"); }
    void showNotice(const QString& text, NoticeKind kind) override {
        events.push_back(kind == NoticeKind::Error ? error(text) : information(text));
    }

    Events notices() const {
        Events shown;
        for (const std::string& event : events) {
            if (event.starts_with("Error ") || event.starts_with("Information ")) {
                shown.push_back(event);
            }
        }
        return shown;
    }
};

// A press of the start button as the window handles it: the request, or the refusal shown.
std::optional<RestoreRequest> pressed(FakeView& view) {
    const Validated validated = validateRequest(view);
    if (const auto* refusal = std::get_if<Refusal>(&validated)) {
        presentRefusal(view, *refusal);
        return std::nullopt;
    }
    return std::get<RestoreRequest>(validated);
}

// Every test runs in its own temporary folder, which is also the current directory so that
// relative names land there.
class RequestValidationTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(temp.isValid());
        previousDirectory = QDir::currentPath();
        ASSERT_TRUE(QDir::setCurrent(temp.path()));
        for (const char* name : {"Shop.bak", "Shop_Data.mdf", "plain.txt"}) {
            touch(name);
        }
    }
    void TearDown() override { QDir::setCurrent(previousDirectory); }

    QString path(const QString& relative) const {
        return QDir::toNativeSeparators(temp.path()) + DirectorySeparator + relative;
    }
    QString path(const QStringList& levels) const { return path(levels.join(DirectorySeparator)); }
    void touch(const QString& name) const {
        QFile file(temp.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << name.toStdString();
    }

    // Fields that pass every check: a backup with Windows authentication.
    FakeView validView() const {
        FakeView view;
        view.fields = {
            {Field::b1, "(local)"},        {Field::b2, "sa"},    {Field::b3, ""},
            {Field::d2, path("Shop.bak")}, {Field::e1, "NewDB"}, {Field::e2, path("target")},
        };
        return view;
    }

    QTemporaryDir temp;
    QString previousDirectory;
};

TEST_F(RequestValidationTest, EachCheckRefusesWithItsNoticeAndFocus) {
    ASSERT_TRUE(QDir(temp.path()).mkdir("Dir_Log.LDF"));
    struct Case {
        const char* name;
        std::function<void(FakeView&)> arrange;
        Events events;
    };
    const std::vector<Case> cases = {
        {"server of three blanks",
         [](FakeView& v) { v.fields[Field::b1] = "   "; },
         {error(ServerNotice), "focus b1"}},
        {"server of control codes",
         [](FakeView& v) { v.fields[Field::b1] = "\t\r\n\x01 "; },
         {error(ServerNotice), "focus b1"}},
        {"blank user name with a SQL login",
         [](FakeView& v) {
             v.auth = AuthMode::SqlLogin;
             v.fields[Field::b2] = " \t";
         },
         {error(UserNotice), "focus b2"}},
        {"no source and the dialog cancelled",
         [](FakeView& v) { v.fields[Field::d2] = " "; },
         {information(SourceNotice), "dialog"}},
        {"data file without its log file",
         [this](FakeView& v) {
             v.source = SourceKind::DataFiles;
             v.fields[Field::d2] = path("Shop_Data.mdf");
         },
         {"repaint", error(LogNotice + path("Shop_Log.LDF"))}},
        {"log file name taken by a directory",
         [this](FakeView& v) {
             v.source = SourceKind::DataFiles;
             v.fields[Field::d2] = path("Dir_Data.mdf");
         },
         {"repaint", error(LogNotice + path("Dir_Log.LDF"))}},
        {"blank database name",
         [](FakeView& v) { v.fields[Field::e1] = " \t "; },
         {"repaint", information(NameNotice), "focus e1"}},
        {"blank directory",
         [](FakeView& v) { v.fields[Field::e2] = "\r\n"; },
         {"repaint", information(DirectoryNotice), "focus e2"}},
        {"directory under a regular file",
         [this](FakeView& v) {
             v.fields[Field::e2] = path({"plain.txt", "x", "y"});
         },
         {"repaint", information(InvalidDirectoryNotice), "focus e2"}},
        {"one-level relative directory",
         [](FakeView& v) { v.fields[Field::e2] = "data"; },
         {"repaint", information(InvalidDirectoryNotice), "focus e2"}},
#ifndef Q_OS_WIN
        // Nothing can be made in /proc, not even by root: it stands in for a missing mount.
        {"directory on a missing mount",
         [](FakeView& v) { v.fields[Field::e2] = "/proc/quarn-missing-mount/data"; },
         {"repaint", information(InvalidDirectoryNotice), "focus e2"}},
#endif
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeView view = validView();
        c.arrange(view);
        EXPECT_FALSE(pressed(view).has_value());
        EXPECT_EQ(view.events, c.events) << "saw " << joined(view.events);
    }
    EXPECT_FALSE(QFileInfo::exists(path("data"))) << "the relative name was created";
    EXPECT_TRUE(QFileInfo(path("plain.txt")).isFile());
}

TEST_F(RequestValidationTest, ReportsOnlyTheFirstFaultInTheFixedOrder) {
    FakeView view;
    view.auth = AuthMode::SqlLogin;
    view.source = SourceKind::DataFiles;
    view.fields = {{Field::b1, " "}, {Field::b2, ""}, {Field::b3, ""},
                   {Field::d2, ""},  {Field::e1, ""}, {Field::e2, ""}};
    const std::vector<std::pair<std::string, std::function<void()>>> faults = {
        {error(ServerNotice), [&] { view.fields[Field::b1] = "(local)"; }},
        {error(UserNotice), [&] { view.fields[Field::b2] = "sa"; }},
        {information(SourceNotice), [&] { view.fields[Field::d2] = path("Shop_Data.mdf"); }},
        {error(LogNotice + path("Shop_Log.LDF")), [&] { touch("Shop_Log.LDF"); }},
        {information(NameNotice), [&] { view.fields[Field::e1] = "NewDB"; }},
        {information(DirectoryNotice),
         [&] {
             view.fields[Field::e2] = path({"plain.txt", "x"});
         }},
        {information(InvalidDirectoryNotice), [&] { view.fields[Field::e2] = path("target"); }},
    };
    for (const auto& [notice, fix] : faults) {
        view.events.clear();
        EXPECT_FALSE(pressed(view).has_value()) << "expected " << notice;
        EXPECT_EQ(view.notices(), Events{notice}) << "saw " << joined(view.events);
        fix();
    }
    view.events.clear();
    EXPECT_TRUE(pressed(view).has_value()) << "saw " << joined(view.events);
}

TEST_F(RequestValidationTest, UserNameIsCheckedOnlyForSqlLoginAndPasswordNever) {
    struct Case {
        AuthMode auth;
        QString userName;
    };
    const Case cases[] = {
        {AuthMode::Integrated, ""},
        {AuthMode::Integrated, "  "},
        {AuthMode::SqlLogin, "sa"},
    };
    for (const Case& c : cases) {
        FakeView view = validView();
        view.auth = c.auth;
        view.fields[Field::b2] = c.userName;
        view.fields[Field::b3] = "";
        const auto request = pressed(view);
        ASSERT_TRUE(request.has_value()) << c.userName.toStdString() << ": " << joined(view.events);
        EXPECT_EQ(request->authMode, c.auth);
        EXPECT_EQ(request->userName, c.userName);
        EXPECT_TRUE(request->password.isEmpty()) << request->password.toStdString();
    }
}

TEST_F(RequestValidationTest, ChoosingASourceInTheDialogContinuesThePress) {
    FakeView view = validView();
    view.fields[Field::d2] = "";
    view.dialogChoice = path("Shop.bak");
    const auto request = pressed(view);
    ASSERT_TRUE(request.has_value()) << joined(view.events);
    EXPECT_EQ(view.events, (Events{information(SourceNotice), "dialog", "repaint"}))
        << "saw " << joined(view.events);
    EXPECT_EQ(request->sourcePath, path("Shop.bak")) << request->sourcePath.toStdString();
}

TEST_F(RequestValidationTest, DataFilesPassWhenTheirLogFileExists) {
    touch("Shop_Log.LDF");
    touch("Plain.mdf");
    struct Case {
        QString dataFile;
        QString logFile;
    };
    const Case cases[] = {
        {path("Shop_DATA.MDF"), path("Shop_Log.LDF")},
        // Without "_Data.mdf" the data file is its own log file as far as this check goes.
        {path("Plain.mdf"), path("Plain.mdf")},
#ifndef Q_OS_WIN
        // Only the server can look for a log file on its own disk.
        {"D:\\old\\Shop_Data.mdf", "D:\\old\\Shop_Log.LDF"},
#endif
    };
    for (const Case& c : cases) {
        FakeView view = validView();
        view.source = SourceKind::DataFiles;
        view.fields[Field::d2] = c.dataFile;
        const auto request = pressed(view);
        ASSERT_TRUE(request.has_value()) << c.dataFile.toStdString() << ": " << joined(view.events);
        EXPECT_EQ(request->logSourcePath, c.logFile) << request->logSourcePath.toStdString();
    }
}

TEST_F(RequestValidationTest, WritesBackTheTrimmedNameAndDirectoryWhateverFailsLater) {
    const QChar s = DirectorySeparator;
    // 誠 is D5 5C in code page 936: its second byte must not pass for a backslash.
    const QString gbkLevel = platform::fromCodePage936("\xD5\x5C");
    struct Case {
        QString name;
        QString directory;
        QString shownName;
        QString shownDirectory;
        bool passes;
    };
    const Case cases[] = {
        {"  NewDB  ", " \t", "NewDB", "", false},
        {"\tNewDB\r\n", "  " + path("target") + "  ", "NewDB", path("target") + s, true},
        {" NewDB", " " + path({"plain.txt", "x"}), "NewDB", path({"plain.txt", "x"}) + s, false},
        {"NewDB", path("target") + s, "NewDB", path("target") + s, true},
        {"NewDB", path(gbkLevel), "NewDB", path(gbkLevel) + s, true},
#ifndef Q_OS_WIN
        // Folders in Windows form name the server's disk: the server's separator, nothing made.
        {"NewDB", " D:\\SQL2000_DB ", "NewDB", "D:\\SQL2000_DB\\", true},
        {"NewDB", "d:/data/", "NewDB", "d:/data/", true},
        {"NewDB", "\\\\host\\share\\" + gbkLevel, "NewDB", "\\\\host\\share\\" + gbkLevel + "\\",
         true},
        // Without a separator after the colon it is a local relative name.
        {"NewDB", "D:", "NewDB", "D:/", false},
#endif
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.directory.toStdString());
        FakeView view = validView();
        view.fields[Field::e1] = c.name;
        view.fields[Field::e2] = c.directory;
        EXPECT_EQ(pressed(view).has_value(), c.passes) << joined(view.events);
        EXPECT_EQ(view.fields[Field::e1], c.shownName) << view.fields[Field::e1].toStdString();
        EXPECT_EQ(view.fields[Field::e2], c.shownDirectory) << view.fields[Field::e2].toStdString();
    }
    EXPECT_TRUE(QFileInfo(path(gbkLevel)).isDir());
    EXPECT_EQ(QDir(temp.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot),
              QStringList({"target", gbkLevel}));
}

TEST_F(RequestValidationTest, FullPassGivesTheCompleteRequestAndMakesNestedLevels) {
    touch("Shop_Log.LDF");
    FakeView view;
    view.auth = AuthMode::SqlLogin;
    view.source = SourceKind::DataFiles;
    view.fields = {
        {Field::b1, " (local) "}, {Field::b2, " sa "},
        {Field::b3, " p w "},     {Field::d2, path("Shop_Data.mdf")},
        {Field::e1, " NewDB "},   {Field::e2, path({"a", "b", "c"})},
    };
    const auto request = pressed(view);
    ASSERT_TRUE(request.has_value()) << joined(view.events);
    EXPECT_EQ(view.events, Events{"repaint"}) << joined(view.events);
    EXPECT_EQ(request->serverName, " (local) ");
    EXPECT_EQ(request->authMode, AuthMode::SqlLogin);
    EXPECT_EQ(request->userName, " sa ");
    EXPECT_EQ(request->password, " p w ");
    EXPECT_EQ(request->sourceKind, SourceKind::DataFiles);
    EXPECT_EQ(request->sourcePath, path("Shop_Data.mdf")) << request->sourcePath.toStdString();
    EXPECT_EQ(request->logSourcePath, path("Shop_Log.LDF")) << request->logSourcePath.toStdString();
    EXPECT_EQ(request->databaseName, "NewDB");
    EXPECT_EQ(request->directory, path({"a", "b", "c"}) + DirectorySeparator)
        << request->directory.toStdString();
    EXPECT_TRUE(QFileInfo(path({"a", "b", "c"})).isDir()) << "three missing levels not created";
}

} // namespace
