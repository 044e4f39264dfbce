// The application base class: exception reporting, the exception text, the version
// numbers, the system's error texts and the program's own folder and name.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "mlib/mapp.h"
#include "mlib/mexception.h"
#include "tests/support/test_support.h"
#include "version.h"

namespace {

// An application whose body throws what the test asks for.
class ThrowingApp : public MApp {
public:
    enum What { NOTHING, LIBRARY_EXCEPTION, TEXT, CODE };
    explicit ThrowingApp(What what) : MApp(NULL, nullptr, 0), m_what(what) {}
    int Init() override {
        switch (m_what) {
            case LIBRARY_EXCEPTION:
                throw theException.Make("x", 7, "a\\b\\c");
            case TEXT:
                throw "カラム指定が範囲外です";
            case CODE:
                throw 4097;
            default:
                return 5;
        }
    }

private:
    What m_what;
};

std::string LastLogMessage(const std::string& path) {
    std::vector<std::string> lines = SplitLines(ReadFileBytes(path));
    if (lines.empty()) {
        return "";
    }
    const std::string& line = lines.back();
    size_t secondTab = line.find('\t', line.find('\t') + 1);
    return line.substr(secondTab + 1);
}

TEST(MAppRun, ReturnsTheBodysExitCodeWhenNothingIsThrown) {
    MessageBoxRecorder boxes;
    ThrowingApp app(ThrowingApp::NOTHING);
    EXPECT_EQ(5, app.Run());
    EXPECT_TRUE(boxes.Boxes().empty());
}

TEST(MAppRun, ReportsALibraryExceptionInTheLogAndABoxAndReturns2) {
    TempDir dir;
    MessageBoxRecorder boxes;
    ThrowingApp app(ThrowingApp::LIBRARY_EXCEPTION);
    ASSERT_TRUE(app.OpenLog(dir.File("fsw.log").c_str(), LOG_OVERWRITE));
    EXPECT_EQ(2, app.Run());
    EXPECT_EQ("<<例外>> c(7) : x", LastLogMessage(dir.File("fsw.log")));
    std::vector<MessageBoxRecorder::Box> shown = boxes.Boxes();
    ASSERT_EQ(1u, shown.size());
    EXPECT_EQ("MException", shown[0].caption);
    EXPECT_EQ("c(7) : x", shown[0].text);
    EXPECT_EQ(unsigned{MB_ICONERROR}, shown[0].type);
}

TEST(MAppRun, ReportsAThrownTextInTheLogAndABoxAndReturns2) {
    TempDir dir;
    MessageBoxRecorder boxes;
    ThrowingApp app(ThrowingApp::TEXT);
    ASSERT_TRUE(app.OpenLog(dir.File("fsw.log").c_str(), LOG_OVERWRITE));
    EXPECT_EQ(2, app.Run());
    EXPECT_EQ("<<例外>> カラム指定が範囲外です", LastLogMessage(dir.File("fsw.log")));
    std::vector<MessageBoxRecorder::Box> shown = boxes.Boxes();
    ASSERT_EQ(1u, shown.size());
    EXPECT_EQ("例外発生", shown[0].caption);
    EXPECT_EQ("カラム指定が範囲外です", shown[0].text);
}

TEST(MAppRun, ReportsAnythingElseInABoxWithTheSystemTextButNoLogLine) {
    TempDir dir;
    MessageBoxRecorder boxes;
    ThrowingApp app(ThrowingApp::CODE);
    ASSERT_TRUE(app.OpenLog(dir.File("fsw.log").c_str(), LOG_OVERWRITE));
    EXPECT_EQ(2, app.Run());
    EXPECT_EQ("", ReadFileBytes(dir.File("fsw.log")));
    std::vector<MessageBoxRecorder::Box> shown = boxes.Boxes();
    ASSERT_EQ(1u, shown.size());
    EXPECT_EQ("例外発生", shown[0].caption);
    EXPECT_EQ(0u, shown[0].text.find("Error = ")) << shown[0].text;
}

TEST(MExceptionText, SetUsesTheLastPartOfThePathTheLineAndTheMessage) {
    MException exception;
    exception.Set("x", 7, "a\\b\\c");
    EXPECT_STREQ("c(7) : x", exception.GetText());
    exception.Set("x", 7, "abc");
    EXPECT_STREQ("abc(7) : x", exception.GetText());
    EXPECT_EQ(&exception, exception.Make("y", 8, "d\\e"));
    EXPECT_STREQ("e(8) : y", exception.GetText());
}

// In Shift-JIS "表" is 95 5C: its second byte must not be taken for a backslash.
TEST(MExceptionText, ASeparatorByteInsideATwoByteCharacterIsNotASeparator) {
    MException exception;
    exception.Set("m", 1, "dir\\表");
    EXPECT_STREQ("表(1) : m", exception.GetText());
}

TEST(MExceptionText, TheTextIsSharedAndCutTo4095Bytes) {
    MException first;
    MException second;
    std::string longMessage(5000, 'z');
    first.Set(longMessage.c_str(), 1, "f");
    EXPECT_EQ(4095u, strlen(second.GetText()));
    EXPECT_EQ(0, strncmp(second.GetText(), "f(1) : zzz", 10));
}

TEST(MAppVersion, GivesTheBuildsVersionAndFillsOnlyTheGivenPointers) {
    ThrowingApp app(ThrowingApp::NOTHING);
    uint16_t first = 99, third = 99;
    app.GetVersionNumbers(&first, nullptr, &third, nullptr);
    EXPECT_EQ(FSW_VERSION_MAJOR, first);
    EXPECT_EQ(FSW_VERSION_BUILD, third);
    uint16_t all[4] = {99, 99, 99, 99};
    app.GetVersionNumbers(&all[0], &all[1], &all[2], &all[3]);
    EXPECT_EQ(FSW_VERSION_MAJOR, all[0]);
    EXPECT_EQ(FSW_VERSION_MINOR, all[1]);
    EXPECT_EQ(FSW_VERSION_BUILD, all[2]);
    EXPECT_EQ(FSW_VERSION_REVISION, all[3]);
}

TEST(ErrorTexts, GetErrorTextWithoutABufferGivesTheWholeLengthAndCopiesAreCut) {
    const unsigned long code = 2;  // "file not found" on both systems
    int whole = GetErrorText(nullptr, code, 0);
    ASSERT_GT(whole, 4);
    char buffer[4096];
    EXPECT_EQ(whole, GetErrorText(buffer, code, sizeof buffer));
    EXPECT_EQ(static_cast<size_t>(whole), strlen(buffer));
    char small[4];
    EXPECT_EQ(3, GetErrorText(small, code, sizeof small));
    EXPECT_EQ(0, strncmp(small, buffer, 3));
}

TEST(ErrorTexts, ShowErrorBoxShowsTheSystemTextCaptionedError) {
    MessageBoxRecorder boxes;
    ShowErrorBox(2);
    char text[4096];
    GetErrorText(text, 2, sizeof text);
    std::vector<MessageBoxRecorder::Box> shown = boxes.Boxes();
    ASSERT_EQ(1u, shown.size());
    EXPECT_EQ("Error!", shown[0].caption);
    EXPECT_EQ(text, shown[0].text);
    EXPECT_EQ(unsigned{MB_ICONERROR}, shown[0].type);
}

TEST(MessageBoxFormatting, MessageBoxFFormatsIntoTheBoxAndCutsAt4095Bytes) {
    MessageBoxRecorder boxes(IDYES);
    EXPECT_EQ(IDYES, MessageBoxF(NULL, MB_YESNO, "確認", "登録できるホストは%dまでです。", 10));
    std::string longText(5000, 'q');
    MessageBoxF(NULL, MB_OK, "c", "%s", longText.c_str());
    std::vector<MessageBoxRecorder::Box> shown = boxes.Boxes();
    ASSERT_EQ(2u, shown.size());
    EXPECT_EQ("登録できるホストは10までです。", shown[0].text);
    EXPECT_EQ("確認", shown[0].caption);
    EXPECT_EQ(4095u, shown[1].text.size());
}

TEST(MAppModule, ModuleNameIsTheProgramsFileNameAndModuleDirItsFolder) {
    ThrowingApp app(ThrowingApp::NOTHING);
    std::string name = app.moduleName;
    EXPECT_EQ(0u, name.find("fsw_tests")) << name;
    std::string dir = app.moduleDir;
    ASSERT_FALSE(dir.empty());
    EXPECT_NE(M_PATH_SEPARATOR, dir.back());
    EXPECT_TRUE(FileExists(dir + M_PATH_SEPARATOR + name));
}

}  // namespace
