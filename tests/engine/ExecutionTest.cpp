// Starting command lines for real: the recorder helper (recorder.exe, built
// beside this program) writes down how it was started.
#include "CommandLinesEx.h"
#include "Execution.h"
#include "MessageBoxCapture.h"
#include "ProgramNames.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <string>

namespace {

void SetString(HKEY root, const std::string& key, const std::string& value)
{
    HKEY handle = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                                             &handle, nullptr));
    RegSetValueExA(handle, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>(value.size() + 1));
    RegCloseKey(handle);
}

class Execution : public ::testing::Test {
protected:
    void SetUp() override
    {
        // A folder of each test's own: the helper a previous test started
        // may still be running from its folder and hold its files.
        folder = FreshTempFolder(std::string("tarnic ") +
                                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        tools = folder + "\\My Tools";
        CreateDirectoryA(tools.c_str(), nullptr);
        recorder = tools + "\\rec.exe";
        ASSERT_TRUE(CopyFileA((ProgramFolder() + "recorder.exe").c_str(), recorder.c_str(), FALSE));
        records = folder + "\\records.txt";
        SetEnvironmentVariableA("TARNIC_RECORD_FILE", records.c_str());
        SetEnvironmentVariableA("TARNIC_PROBE", probe.c_str());
        SetEnvironmentVariableA("TARNIC_TOOLS", tools.c_str());
        char current[MAX_PATH * 4] = {};
        GetCurrentDirectoryA(sizeof current, current);
        currentFolder = current;
    }

    std::vector<RecordedRun> Runs(int count) { return ParseRecords(WaitForRecords(records, count)); }

    std::string folder;
    std::string tools;
    std::string recorder;
    std::string records;
    std::string currentFolder;
    const std::string probe = Ansi("プローブ値");
};

TEST_F(Execution, RunsTheLauncherInTheJapaneseCodePage)
{
    EXPECT_EQ(932u, GetACP());
}

TEST_F(Execution, ExeLinesStartThroughCreateProcessWithTheirQuotes)
{
    const std::string line = "\"" + recorder + "\" -a \"b c\" " + Ansi("日本語");
    ASSERT_NE(0, RunCommandLine(line.c_str()));
    const auto runs = Runs(1);
    ASSERT_EQ(1u, runs.size());
    EXPECT_EQ(line, runs[0].commandLine);
    EXPECT_EQ(currentFolder, runs[0].currentFolder);
    EXPECT_EQ(probe, runs[0].probe);
}

TEST_F(Execution, EnvironmentIsExpandedAndBlanksTrimmed)
{
    ASSERT_NE(0, RunCommandLine(" \t\"%TARNIC_TOOLS%\\rec.EXE\" x"));
    const auto runs = Runs(1);
    ASSERT_EQ(1u, runs.size());
    EXPECT_EQ("\"" + tools + "\\rec.EXE\" x", runs[0].commandLine);
}

TEST_F(Execution, DocumentsOpenWithTheirAssociatedProgram)
{
    SetString(HKEY_LOCAL_MACHINE, "Software\\Classes\\.tarnicdoc", "TarnicTest.Document");
    SetString(HKEY_LOCAL_MACHINE, "Software\\Classes\\TarnicTest.Document\\shell\\open\\command",
              "\"" + recorder + "\" \"%1\"");
    const std::string document = folder + "\\" + Ansi("計画") + ".tarnicdoc";
    CloseHandle(CreateFileA(document.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));

    ASSERT_NE(0, RunCommandLine(document.c_str()));
    const auto runs = Runs(1);
    ASSERT_EQ(1u, runs.size());
    EXPECT_NE(std::string::npos, runs[0].commandLine.find(Ansi("計画") + ".tarnicdoc"))
        << runs[0].commandLine;
    EXPECT_EQ(probe, runs[0].probe);
}

TEST_F(Execution, LinesThatCannotStartReportZero)
{
    EXPECT_EQ(0, RunCommandLine(""));
    EXPECT_EQ(0, RunCommandLine(" \t "));
    EXPECT_EQ(0, RunCommandLine(nullptr));
    EXPECT_EQ(0, RunCommandLine("\"C:\\nowhere at all\\missing.exe\" -a"));
    // Options after a program named without ".exe" are part of the file name
    // given to the shell, so that file is not found.
    EXPECT_EQ(0, RunCommandLine(("\"" + tools + "\\rec\" -a").c_str()));
    EXPECT_EQ(0, RunCommandLine((folder + "\\missing.tarnicdoc").c_str()));
}

TEST_F(Execution, AFailedLineShowsItsPreparedTextAndTheRestStillRun)
{
    CCommandLinesEx lines;
    lines.Add("\"" + recorder + "\" first %0");
    lines.Add("\"C:\\nowhere\\missing.exe\" %0 %%PATH%%");
    lines.Add("\"" + recorder + "\" third");

    MessageBoxCapture capture;
    EXPECT_FALSE(lines.ExecuteWithArguments("arg"));

    ASSERT_EQ(1u, capture.Boxes().size());
    const CapturedMessageBox& box = capture.Boxes()[0];
    EXPECT_EQ(static_cast<UINT>(MB_ICONWARNING), box.type);
    EXPECT_EQ(Ansi("プログラムの実行に失敗しました\n登録したプログラムが移動・削除されているかもしれません\n\n") +
                  "\"C:\\nowhere\\missing.exe\" arg %PATH%",
              box.text);
    EXPECT_EQ("Pellor Error Information", box.caption);
    EXPECT_EQ("Pellor Error Information", box.shownCaption);

    const std::vector<std::string> started = {"\"" + recorder + "\" first arg",
                                              "\"" + recorder + "\" third"};
    EXPECT_EQ(started, SortedCommandLines(Runs(2)));
}

// Typed quoted paths with Japanese right after a backslash stay one
// argument each, and so does a program in such a folder.
TEST_F(Execution, JapaneseAfterABackslashStaysInItsArgument)
{
    const std::string memo = folder + "\\" + Ansi("メモ");
    CreateDirectoryA(memo.c_str(), nullptr);
    ASSERT_TRUE(CopyFileA(recorder.c_str(), (memo + "\\rec.exe").c_str(), FALSE));
    CCommandLinesEx lines;
    lines.Add("\"" + memo + "\\rec.exe\" [%0] [%1] [%2]");
    MessageBoxCapture capture;
    lines.ExecuteWithArguments(Ansi("\"C:\\メモ\" \"D:\\表\\ソフト\" x").c_str());
    EXPECT_TRUE(capture.Boxes().empty());
    const auto runs = Runs(1);
    ASSERT_EQ(1u, runs.size());
    EXPECT_EQ("\"" + memo + "\\rec.exe\" " + Ansi("[C:\\メモ] [D:\\表\\ソフト] [x]"), runs[0].commandLine);
}

TEST_F(Execution, FailureMessagesAreOwnedByTheInputWindow)
{
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = MAIN_WINDOW_CLASS;
    RegisterClassA(&windowClass);
    HWND window = CreateWindowExA(WS_EX_TOOLWINDOW, MAIN_WINDOW_CLASS, MAIN_WINDOW_CLASS, WS_POPUP, 0,
                                  0, 10, 10, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(nullptr, window);

    CCommandLinesEx lines;
    lines.Add("C:\\nowhere\\missing.exe");
    MessageBoxCapture capture;
    lines.Execute();
    ASSERT_EQ(1u, capture.Boxes().size());
    EXPECT_EQ(window, capture.Boxes()[0].owner);
    DestroyWindow(window);
}

TEST_F(Execution, BaseListRunsLinesAsTheyStandAndShowsNothing)
{
    CCommandLinesEx lines;
    lines.Add("\"" + recorder + "\" %0 %%");
    lines.Add("C:\\nowhere\\missing.exe");
    MessageBoxCapture capture;
    korra::CCommandLinesA& base = lines;
    EXPECT_FALSE(base.korra::CCommandLinesA::Execute());
    EXPECT_TRUE(capture.Boxes().empty());
    const auto runs = Runs(1);
    ASSERT_EQ(1u, runs.size());
    EXPECT_EQ("\"" + recorder + "\" %0 %%", runs[0].commandLine);
}

class IconLookup : public Execution {};

TEST_F(IconLookup, FindsProgramsAlongPath)
{
    const std::string hidden = FreshTempFolder("tarnic path") + "\\" + Ansi("道具") + ".exe";
    ASSERT_TRUE(CopyFileA(recorder.c_str(), hidden.c_str(), FALSE));
    const std::string name = Ansi("道具") + ".exe";

    CCommandLinesEx lines;
    lines.Add("\"" + name + "\" %0");
    char oldPath[32768] = {};
    GetEnvironmentVariableA("PATH", oldPath, sizeof oldPath);

    HIMAGELIST list = nullptr;
    SetEnvironmentVariableA("PATH", ";C:\\nowhere;");
    EXPECT_EQ(-1, lines.GetIconIndex(true, false, &list));

    const std::string folderOfHidden = hidden.substr(0, hidden.rfind('\\'));
    SetEnvironmentVariableA("PATH", (std::string("C:\\nowhere;;") + folderOfHidden).c_str());
    list = nullptr;
    EXPECT_NE(-1, lines.GetIconIndex(true, false, &list));
    EXPECT_NE(nullptr, list);
    EXPECT_NE(-1, lines.GetIconIndex(false, true, nullptr));

    SetEnvironmentVariableA("PATH", oldPath);
}

// A PATH folder whose name ends in a character with second byte 0x5C still
// gets its backslash; one that ends in a backslash gets no second.
TEST_F(IconLookup, PathFoldersEndingInDoubleByteCharacters)
{
    const std::string so = FreshTempFolder(Ansi("tarnic ソ"));
    ASSERT_TRUE(CopyFileA(recorder.c_str(), (so + "\\" + Ansi("表") + ".exe").c_str(), FALSE));
    CCommandLinesEx lines;
    lines.Add(Ansi("表") + ".exe");
    char oldPath[32768] = {};
    GetEnvironmentVariableA("PATH", oldPath, sizeof oldPath);
    for (const std::string& path : {";;" + so + ";C:\\nowhere", "C:\\nowhere;" + so + "\\;"}) {
        SetEnvironmentVariableA("PATH", path.c_str());
        EXPECT_NE(-1, lines.GetIconIndex(true, false, nullptr)) << path;
    }
    SetEnvironmentVariableA("PATH", (so + "x;C:\\nowhere").c_str());
    EXPECT_EQ(-1, lines.GetIconIndex(true, false, nullptr));
    // Folders far past MAX_PATH around it are passed over.
    std::string longFolder;
    for (int i = 0; i < 3000; ++i)
        longFolder += Ansi("ソ");
    SetEnvironmentVariableA("PATH", ("C:\\" + longFolder + ";;" + so + ";C:\\" + std::string(9000, 'd')).c_str());
    EXPECT_NE(-1, lines.GetIconIndex(true, false, nullptr));
    SetEnvironmentVariableA("PATH", oldPath);
}

TEST_F(IconLookup, ExpandsMacrosAndEnvironmentFirst)
{
    CCommandLinesEx lines;
    EXPECT_EQ(-1, lines.GetIconIndex(true, false, nullptr));

    // The derived list expands macros as if run without arguments, so the
    // environment reference needs doubled percent signs there.
    lines.Add("%A\"C:\\nowhere\\x.exe\"%a%D\"%%TARNIC_TOOLS%%\\rec.exe\"%d %0");
    EXPECT_NE(-1, lines.GetIconIndex(true, false, nullptr));

    CCommandLinesEx plain;
    plain.Add("\"%TARNIC_TOOLS%\\rec.exe\" %0");
    const korra::CCommandLinesA& base = plain;
    EXPECT_NE(-1, base.korra::CCommandLinesA::GetIconIndex(true, false, nullptr));
    // The same text through the derived list loses "%T" as an unknown macro.
    EXPECT_EQ(-1, plain.GetIconIndex(true, false, nullptr));
}

}  // namespace
