// The Startup-folder shortcut, in the Wine prefix's real Startup folder: made
// and read back through the shell, kept while wanted, removed when not. Other
// test programs share the prefix, so every test leaves the folder as it found
// it.
#include "AutoStart.h"
#include "MessageBoxCapture.h"
#include "TestFiles.h"
#include "resource.h"

#include <gtest/gtest.h>

#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <string>

namespace {

// What a shortcut file holds, read through IShellLinkA.
struct ShortcutContents {
    bool loaded = false;
    std::string path;
    std::string arguments;
    std::string workingFolder;
    std::string description;
    std::string iconPath;
    int iconIndex = -1;
    int showCommand = -1;
};

ShortcutContents ReadShortcut(const std::string& file)
{
    ShortcutContents contents;
    if (FAILED(CoInitialize(nullptr)))
        return contents;
    IShellLinkA* link = nullptr;
    IPersistFile* persist = nullptr;
    wchar_t wide[MAX_PATH * 2] = {};
    MultiByteToWideChar(CP_ACP, 0, file.c_str(), -1, wide, MAX_PATH * 2);
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                   reinterpret_cast<void**>(&link))) &&
        SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist))) &&
        SUCCEEDED(persist->Load(wide, STGM_READ))) {
        char text[1024] = {};
        WIN32_FIND_DATAA found = {};
        link->GetPath(text, sizeof text, &found, SLGP_RAWPATH);
        contents.path = text;
        link->GetArguments(text, sizeof text);
        contents.arguments = text;
        link->GetWorkingDirectory(text, sizeof text);
        contents.workingFolder = text;
        link->GetDescription(text, sizeof text);
        contents.description = text;
        link->GetIconLocation(text, sizeof text, &contents.iconIndex);
        contents.iconPath = text;
        link->GetShowCmd(&contents.showCommand);
        contents.loaded = true;
    }
    if (persist != nullptr)
        persist->Release();
    if (link != nullptr)
        link->Release();
    CoUninitialize();
    return contents;
}

std::string TestProgramPath()
{
    char path[MAX_PATH * 4] = {};
    GetModuleFileNameA(nullptr, path, sizeof path);
    return path;
}

CSettings With(bool autoStart, bool stationed)
{
    CSettings settings;
    settings.AutoStart = autoStart;
    settings.Stationed = stationed;
    return settings;
}

bool IsFolder(const std::string& path)
{
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool WriteFile(const std::string& path, const std::string& bytes)
{
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return written == bytes.size();
}

// Runs each test against an empty shortcut place and empties it again.
class AutoStartShortcut : public testing::Test {
protected:
    void SetUp() override
    {
        m_shortcut = GetAutoStartShortcutPath();
        ASSERT_FALSE(m_shortcut.empty()) << "the prefix has no Startup folder";
        CreateDirectoryA(GetStartupFolder().c_str(), nullptr);
        Remove();
        ASSERT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(m_shortcut.c_str()));
    }
    void TearDown() override { Remove(); }

    void Remove() const
    {
        DeleteFileA(m_shortcut.c_str());
        RemoveDirectoryA(m_shortcut.c_str());
    }

    std::string m_shortcut;
};

TEST(AutoStartPaths, StartupFolderIsTheShells)
{
    char expected[MAX_PATH] = {};
    ASSERT_EQ(S_OK, SHGetFolderPathA(nullptr, CSIDL_STARTUP, nullptr, SHGFP_TYPE_CURRENT, expected));
    EXPECT_EQ(expected, GetStartupFolder());
    // The registry's copy, used where the shell lacks the call, agrees.
    EXPECT_EQ(expected, StartupFolderFromRegistry());
    EXPECT_EQ(std::string(expected) + "\\Pellor.lnk", GetAutoStartShortcutPath());
}

TEST(AutoStartPaths, SecondBytesAreNoBackslashes)
{
    ASSERT_EQ(932u, GetACP());
    // 表 is 0x95 0x5C and ソ 0x83 0x5C: a folder ending in one still needs
    // its separator, and a program path never ends a folder inside one.
    const std::string hyou = "\x95\x5C";
    const std::string so = "\x83\x5C";
    const struct {
        std::string folder;
        std::string shortcut;
    } shortcuts[] = {
        {"C:\\Startup", "C:\\Startup\\Pellor.lnk"},
        {"C:\\Startup\\", "C:\\Startup\\Pellor.lnk"},
        {"C:\\" + hyou, "C:\\" + hyou + "\\Pellor.lnk"},
        {"C:\\" + so + "\\", "C:\\" + so + "\\Pellor.lnk"},
        {"", ""},
        // 259 bytes fit the ANSI calls; one more is not cut but refused.
        {"C:\\" + std::string(245, 'a'), "C:\\" + std::string(245, 'a') + "\\Pellor.lnk"},
        {"C:\\" + std::string(246, 'a'), ""},
    };
    for (const auto& c : shortcuts)
        EXPECT_EQ(c.shortcut, AutoStartShortcutPathIn(c.folder)) << c.folder;

    const struct {
        std::string program;
        std::string folder;
    } programs[] = {
        {"C:\\Tools\\Pellor.exe", "C:\\Tools"},
        {"C:\\Pellor.exe", "C:\\"},
        {"C:\\" + hyou + "\\Pellor.exe", "C:\\" + hyou},
        {"C:\\" + so + hyou + ".exe", "C:\\"},
        {"D:\\" + so + "\\" + hyou + "\\" + so + ".exe", "D:\\" + so + "\\" + hyou},
        {"\\\\server\\share\\Pellor.exe", "\\\\server\\share"},
    };
    for (const auto& c : programs)
        EXPECT_EQ(c.folder, ShortcutWorkingFolder(c.program)) << c.program;
}

TEST_F(AutoStartShortcut, MadeWhenResidentAndStartingAtLogOn)
{
    SyncAutoStartShortcut(With(true, true));
    ASSERT_TRUE(IsAutoStartShortcutPresent());

    const std::string program = TestProgramPath();
    const ShortcutContents link = ReadShortcut(m_shortcut);
    ASSERT_TRUE(link.loaded);
    EXPECT_EQ(program, link.path);
    EXPECT_EQ("/startup", link.arguments);
    EXPECT_EQ(program.substr(0, program.find_last_of('\\')), link.workingFolder);
    EXPECT_EQ(Ansi("Morrowfield  Pellor の自動起動"), link.description);
    EXPECT_EQ(program, link.iconPath);
    EXPECT_EQ(0, link.iconIndex);
    EXPECT_EQ(SW_SHOWNORMAL, link.showCommand);

    // Made once: a second sync leaves the very file alone.
    const std::string bytes = ReadWholeFile(m_shortcut);
    SyncAutoStartShortcut(With(true, true));
    EXPECT_EQ(bytes, ReadWholeFile(m_shortcut));

    SyncAutoStartShortcut(With(true, false));
    EXPECT_FALSE(IsAutoStartShortcutPresent());
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(m_shortcut.c_str()));
}

const struct {
    bool autoStart;
    bool stationed;
} kNotWanted[] = {{true, false}, {false, true}, {false, false}};

TEST_F(AutoStartShortcut, NothingIsMadeUnlessBothAreOn)
{
    for (const auto& c : kNotWanted) {
        SyncAutoStartShortcut(With(c.autoStart, c.stationed));
        EXPECT_FALSE(IsAutoStartShortcutPresent()) << c.autoStart << c.stationed;
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(m_shortcut.c_str()));
    }
}

TEST_F(AutoStartShortcut, AFileAlreadyThereIsKeptWhileWantedAndOnlyThen)
{
    // Not even a shortcut: whatever the user put there is never rewritten.
    const std::string userBytes = "pointed elsewhere by the user";
    const struct {
        bool autoStart;
        bool stationed;
        bool kept;
    } cases[] = {{true, true, true}, {true, false, false}, {false, true, false}, {false, false, false}};
    for (const auto& c : cases) {
        Remove();
        ASSERT_TRUE(WriteFile(m_shortcut, userBytes));
        SyncAutoStartShortcut(With(c.autoStart, c.stationed));
        EXPECT_EQ(c.kept, IsAutoStartShortcutPresent()) << c.autoStart << c.stationed;
        if (c.kept) {
            EXPECT_EQ(userBytes, ReadWholeFile(m_shortcut));
        }
    }
}

TEST_F(AutoStartShortcut, AFolderOfThatNameIsNoShortcutAndStays)
{
    ASSERT_TRUE(CreateDirectoryA(m_shortcut.c_str(), nullptr));
    EXPECT_FALSE(IsAutoStartShortcutPresent());
    const bool states[][2] = {{true, true}, {true, false}, {false, true}, {false, false}};
    for (const auto& state : states) {
        SyncAutoStartShortcut(With(state[0], state[1]));
        EXPECT_TRUE(IsFolder(m_shortcut)) << state[0] << state[1];
        EXPECT_FALSE(IsAutoStartShortcutPresent());
    }
}

TEST(AutoStartFailure, AnUnknownStartupFolderIsReported)
{
    const std::string folders[] = {"", "C:\\" + std::string(300, 'x')};
    for (const std::string& folder : folders) {
        for (const bool wanted : {true, false}) {
            MessageBoxCapture capture;
            SyncAutoStartShortcutIn(folder, With(wanted, wanted));
            ASSERT_EQ(1u, capture.Boxes().size()) << folder.size();
            const CapturedMessageBox& box = capture.Boxes()[0];
            EXPECT_EQ(Ansi("スタートアップ登録に失敗しました"), box.text);
            EXPECT_EQ("Pellor Error Information", box.caption);
            EXPECT_EQ(static_cast<UINT>(MB_ICONEXCLAMATION), box.type);
            EXPECT_EQ(nullptr, box.owner);
        }
    }
}

}  // namespace
