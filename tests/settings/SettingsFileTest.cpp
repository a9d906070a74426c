// The settings file: the bytes written for a known record, reading back what
// was written, files of older versions, unreadable files, locks and
// failures.
#include "LegacyImport.h"
#include "MessageBoxCapture.h"
#include "Settings.h"
#include "SettingsFile.h"
#include "TestFiles.h"
#include "VersionInfo.h"
#include "resource.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using Velum::Velum_CHAR;

// As the launcher's start-up does, once for the whole program.
const bool g_velumReady = Velum::initialize(16, 31, 32);

std::string Utf8(const std::wstring& wide)
{
    int length = WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, &text[0], length, nullptr, nullptr);
    text.resize(static_cast<std::size_t>(length - 1));
    return text;
}

void WriteFile(const std::string& path, const std::string& bytes)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    DWORD written = 0;
    ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

CCommandEntry Command(const std::string& word, std::initializer_list<std::string> lines)
{
    CCommandLinesEx list;
    for (const std::string& line : lines)
        list.Add(line);
    return CCommandEntry(word, list);
}

// A record with something in every field the file holds.
CSettings KnownRecord()
{
    CSettings settings;
    settings.Window.x = -8;
    settings.Window.y = 742;
    settings.Window.cx = 300;
    settings.Window.cy = 24;
    settings.Window.TextColor = RGB(0x12, 0x34, 0x56);
    settings.Window.BgColor = RGB(0xFF, 0xFF, 0xF0);
    settings.Window.FontFace = Ansi("ＭＳ ゴシック");
    settings.Window.FontEffects = FONT_BOLD | FONT_STRIKEOUT;
    settings.Window.FontSize = -12;
    settings.Window.Transparency = 200;
    settings.Commands.Insert(Command("mail", {"\"C:\\Program Files\\Mail\\mail.exe\" %0"}));
    settings.Commands.Insert(Command(Ansi("表示"), {Ansi("C:\\ソフト\\表示.exe <a&b>"), "notepad"}));
    settings.HistorySize = 30;
    settings.History.SetCapacity(30);
    settings.History.Add("old one");
    settings.History.Add(Ansi("表示 x"));
    settings.HistoryList = false;
    settings.Stationed = true;
    settings.HotKey = 0x0641;
    settings.AutoComplete = true;
    settings.IntelliSense = false;
    settings.ApplyReservedCommand = true;
    return settings;
}

void ExpectSameRecord(const CSettings& expected, const CSettings& actual)
{
    EXPECT_TRUE(expected.Window == actual.Window);
    EXPECT_TRUE(expected.Commands.IsEqual(actual.Commands));
    ASSERT_EQ(expected.Commands.GetCount(), actual.Commands.GetCount());
    for (std::size_t i = 0; i < expected.Commands.GetCount(); ++i)
        EXPECT_EQ(expected.Commands.GetOrder()[i]->word, actual.Commands.GetOrder()[i]->word);
    EXPECT_EQ(expected.HistorySize, actual.HistorySize);
    EXPECT_EQ(expected.HistoryList, actual.HistoryList);
    ASSERT_EQ(expected.History.GetCount(), actual.History.GetCount());
    for (std::size_t i = 0; i < expected.History.GetCount(); ++i)
        EXPECT_EQ(expected.History.GetAt(i), actual.History.GetAt(i));
    EXPECT_EQ(expected.Stationed, actual.Stationed);
    EXPECT_EQ(expected.HotKey, actual.HotKey);
    EXPECT_EQ(expected.AutoComplete, actual.AutoComplete);
    EXPECT_EQ(expected.IntelliSense, actual.IntelliSense);
    EXPECT_EQ(expected.ApplyReservedCommand, actual.ApplyReservedCommand);
}

class SettingsFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = FreshTempFolder(std::string("tarnic settings ") +
                                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        path = folder + "\\settings.xml";
        backup = folder + "\\settings.bak";
    }

    // A file of an older or hand-made kind, from its UTF-8 text.
    CSettings LoadText(const std::string& xml, LoadResult expected = LoadResult::Loaded)
    {
        WriteFile(path, xml);
        CSettings settings;
        std::string reason;
        EXPECT_EQ(expected, LoadSettingsFile(path, settings, &reason)) << reason;
        return settings;
    }

    std::string folder, path, backup;
};

TEST_F(SettingsFile, WritesTheKnownRecordByteForByte)
{
    ASSERT_TRUE(SaveSettingsFile(path, backup, KnownRecord()));
    const std::string expected = Utf8(
        L"<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>\n"
        L"<TarnicSettings xmlns=\"http://www.morrowfield.jp/namespaceURI/Tarnic\" "
        L"xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
        L"xsi:schemaLocation=\"http://www.morrowfield.jp/namespaceURI/Tarnic "
        L"http://www.morrowfield.jp/namespaceURI/Tarnic-2.21.4.xsd\" version=\"2.22.08\">\r\n\t"
        L"<WindowInfo x=\"-8\" y=\"742\" cx=\"300\" cy=\"24\" TextColor=\"#123456\" "
        L"BgColor=\"#fffff0\" FontFace=\"\xFF2D\xFF33 \x30B4\x30B7\x30C3\x30AF\" FontSize=\"-12\" "
        L"FontBold=\"1\" FontItalic=\"0\" FontStrike=\"1\" FontUnderline=\"0\" "
        L"Transparency=\"200\"/>\r\n\t"
        L"<CommandList>\r\n\t\t"
        L"<command command=\"mail\">\r\n\t\t\t"
        L"<commandline>&quot;C:\\Program Files\\Mail\\mail.exe&quot; %0</commandline>\r\n\t\t"
        L"</command>\r\n\t\t"
        L"<command command=\"\x8868\x793A\">\r\n\t\t\t"
        L"<commandline>C:\\\x30BD\x30D5\x30C8\\\x8868\x793A.exe &lt;a&amp;b&gt;</commandline>\r\n\t\t\t"
        L"<commandline>notepad</commandline>\r\n\t\t"
        L"</command>\r\n\t"
        L"</CommandList>\r\n\t"
        L"<InputHistory size=\"30\" IntelliSense=\"0\">\r\n\t\t"
        L"<!--\x2191older\x2191-->\r\n\t\t"
        L"<input>old one</input>\r\n\t\t"
        L"<input>\x8868\x793A x</input>\r\n\t\t"
        L"<!--\x2193newer\x2193-->\r\n\t"
        L"</InputHistory>\r\n\t"
        L"<Others Stationed=\"1\" HotKey=\"0641\" AutoComplete=\"1\" IntelliSense=\"0\" "
        L"ApplyReservedCommand=\"1\"/>\r\n"
        L"</TarnicSettings>");
    EXPECT_EQ(expected, ReadWholeFile(path));
}

TEST_F(SettingsFile, ReadsBackWhatItWrote)
{
    CSettings record = KnownRecord();
    // Texts longer than any conversion buffer come back whole.
    std::string longLine = Ansi("C:\\長い\\");
    while (longLine.size() < 1500)
        longLine += Ansi("表示ソフト");
    record.Commands.Insert(Command(std::string(300, 'w'), {longLine}));
    record.History.Add(longLine);
    record.Window.FontFace = std::string(40, 'F');
    ASSERT_TRUE(SaveSettingsFile(path, backup, record));

    CSettings loaded;
    ASSERT_EQ(LoadResult::Loaded, LoadSettingsFile(path, loaded, nullptr));
    ExpectSameRecord(record, loaded);
    EXPECT_EQ(0u, loaded.History.GetPosition());
}

TEST_F(SettingsFile, ASecondSaveKeepsTheFirstAsTheBackup)
{
    CSettings first = KnownRecord();
    ASSERT_TRUE(SaveSettingsFile(path, backup, first));
    const std::string firstBytes = ReadWholeFile(path);
    CSettings second = first;
    second.History.Add("newest");
    ASSERT_TRUE(SaveSettingsFile(path, backup, second));
    EXPECT_EQ(firstBytes, ReadWholeFile(backup));
    EXPECT_NE(firstBytes, ReadWholeFile(path));
}

TEST_F(SettingsFile, FilesOfOlderVersions)
{
    // No version: colours are raw COLORREF hex and "use" is honoured.
    CSettings old = LoadText(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<TarnicSettings>"
        "<WindowInfo TextColor=\"ff\" BgColor=\"00ff00\"/>"
        "<InputHistory size=\"40\" use=\"0\" IntelliSense=\"0\"><input>a</input></InputHistory>"
        "</TarnicSettings>");
    EXPECT_EQ(RGB(0xFF, 0, 0), old.Window.TextColor);
    EXPECT_EQ(RGB(0, 0xFF, 0), old.Window.BgColor);
    EXPECT_EQ(0u, old.HistorySize);
    EXPECT_EQ(0u, old.History.GetCount());
    EXPECT_FALSE(old.HistoryList);

    // Written without a version (a program with no version resource):
    // "#rrggbb" is still the current form.
    CSettings unversioned = LoadText(
        "<?xml version=\"1.0\"?><TarnicSettings version=\"\"><WindowInfo TextColor=\"#ff0000\"/>"
        "</TarnicSettings>");
    EXPECT_EQ(0x000000FFu, unversioned.Window.TextColor);

    // A current file: "#rrggbb", "use" ignored, sizes clamped, small sizes kept.
    struct SizeCase {
        const char* size;
        unsigned expected;
    };
    for (const SizeCase& c : {SizeCase{"300", 255}, SizeCase{"1", 1}, SizeCase{"0", 0}}) {
        CSettings current = LoadText(
            std::string("<?xml version=\"1.0\"?><TarnicSettings version=\"2.22.08\">"
                        "<WindowInfo TextColor=\"#ff0000\"/><InputHistory use=\"0\" size=\"") +
            c.size + "\"><input>a</input><input>b</input></InputHistory></TarnicSettings>");
        EXPECT_EQ(0x000000FFu, current.Window.TextColor);
        EXPECT_EQ(c.expected, current.HistorySize) << c.size;
        EXPECT_EQ(c.expected, current.History.GetCapacity()) << c.size;
        EXPECT_EQ(c.expected < 2 ? c.expected : 2, current.History.GetCount()) << c.size;
    }
}

TEST_F(SettingsFile, EmptyAndMissingAttributesKeepTheDefaults)
{
    const CSettings defaults;
    CSettings loaded = LoadText(
        "<?xml version=\"1.0\"?><TarnicSettings version=\"2.22.08\">"
        "<WindowInfo x=\"\" cx=\"\" TextColor=\"\" FontFace=\"\" FontBold=\"\" Transparency=\"\"/>"
        "<Others Stationed=\"\" HotKey=\"\"/><Unknown x=\"1\"/></TarnicSettings>");
    EXPECT_TRUE(defaults.Window == loaded.Window);
    EXPECT_EQ(defaults.Stationed, loaded.Stationed);
    EXPECT_EQ(defaults.HotKey, loaded.HotKey);
}

TEST_F(SettingsFile, OnlyTheFirstChildOfACommandLineIsRead)
{
    CSettings loaded = LoadText(
        "<?xml version=\"1.0\"?><TarnicSettings version=\"2.22.08\"><CommandList>"
        "<command command=\"a\"><commandline><!--note-->notepad</commandline></command>"
        "<command command=\"empty\"><commandline/></command>"
        "<command command=\"\"><commandline>x</commandline></command>"
        "</CommandList></TarnicSettings>");
    ASSERT_EQ(1u, loaded.Commands.GetCount());
    EXPECT_EQ("note", *loaded.Commands.Find("a")->lines.GetAt(0));
}

// Many commands with odd texts: each text as a command's second line, as a
// command's only line and as a history entry. What the file cannot hold
// (an empty text: its element is written without a text node) is dropped
// on reading; a null byte ends a text.
TEST_F(SettingsFile, ManyCommandsWithOddTextsComeBackAsWritten)
{
    std::string longText;
    while (longText.size() < 600)
        longText += Ansi("長いソフト表示 ");
    const struct {
        const char* what;
        std::string text;
        std::string readBack;  // "" when dropped
    } cases[] = {
        {"empty", "", ""},
        {"null byte", std::string("ab\0cd", 5), "ab"},
        {"null byte before Japanese", std::string("ab\0", 3) + Ansi("表示"), "ab"},
        {"null byte after Japanese", "ab" + Ansi("表示") + std::string("\0cd", 3), "ab" + Ansi("表示")},
        {"null byte after a long ASCII start", std::string("0123456789abcdefg\0xyz0123456789", 31),
         "0123456789abcdefg"},
        {"null byte in a long Japanese text", longText + std::string("\0", 1) + longText, longText},
        {"trail byte 0x5C", Ansi("C:\\ソ\\表\\能.exe"), Ansi("C:\\ソ\\表\\能.exe")},
        {"markup", "<a href=\"x\">&amp;'</a>", "<a href=\"x\">&amp;'</a>"},
        {"spaces and tabs", " \tx\t ", " \tx\t "},
        {"long Japanese", longText, longText},
        {"half-width kana", Ansi("ｶﾀｶﾅ"), Ansi("ｶﾀｶﾅ")},
        {"control characters", "a\x01\x1f\x7f b", "a\x01\x1f\x7f b"},
        {"line breaks", "a\rb\nc\r\nd", "a\rb\nc\r\nd"},
    };
    CSettings record;
    record.HistorySize = 255;
    record.History.SetCapacity(255);
    CSettings expected = record;
    // Enough commands to fill many pages of the command list's children.
    for (int i = 0; i < 700; ++i) {
        const std::string word = (i % 3 == 0 ? Ansi("表示") : std::string("cmd")) + std::to_string(i);
        CCommandLinesEx lines;
        for (int j = 0; j <= i % 4; ++j)
            lines.Add(Ansi("\"C:\\ツール\\") + word + ".exe\" %" + std::to_string(j));
        record.Commands.Insert(CCommandEntry(word, lines));
        expected.Commands.Insert(CCommandEntry(word, lines));
    }
    for (std::size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        const std::string word = "odd" + std::to_string(i);
        record.Commands.Insert(Command(word, {"first", cases[i].text}));
        record.Commands.Insert(Command(word + "only", {cases[i].text}));
        record.History.Add(cases[i].text);
        if (cases[i].readBack.empty()) {
            expected.Commands.Insert(Command(word, {"first"}));
        } else {
            expected.Commands.Insert(Command(word, {"first", cases[i].readBack}));
            expected.Commands.Insert(Command(word + "only", {cases[i].readBack}));
            expected.History.Add(cases[i].readBack);
        }
    }
    ASSERT_TRUE(SaveSettingsFile(path, backup, record));
    CSettings loaded;
    ASSERT_EQ(LoadResult::Loaded, LoadSettingsFile(path, loaded, nullptr));
    ExpectSameRecord(expected, loaded);  // words, lines and history in order

    // A second save in the same run writes the same bytes: the names and
    // line breaks the trees share come out unchanged.
    const std::string first = ReadWholeFile(path);
    ASSERT_TRUE(SaveSettingsFile(path, backup, record));
    EXPECT_EQ(first, ReadWholeFile(path));
}

// Every command element makes its own entry with its own lines, also when
// a word comes twice or a command's lines are all empty. A text ends at a
// null character, and what is left of a word or line is what a save would
// write back: a line with no text is none, and a command without a line
// with text, or with no word, is dropped.
TEST_F(SettingsFile, EachCommandKeepsItsOwnLines)
{
    CSettings loaded = LoadText(
        "<?xml version=\"1.0\"?><TarnicSettings version=\"2.22.08\"><CommandList>"
        "<command command=\"dup\"><commandline>a1</commandline><x/><commandline>a2</commandline></command>"
        "<command command=\"none\"><commandline/><commandline></commandline></command>"
        "<command command=\"mid\">text<commandline>m</commandline><commandline/></command>"
        "<command><commandline>no word</commandline></command>"
        "<other command=\"other\"><commandline>not a command</commandline></other>"
        "<command command=\"last\"><x/>text<commandline>l1</commandline><x/><commandline>l2</commandline></command>"
        "<command command=\"dup\"><commandline>b</commandline></command>"
        "<command command=\"nul\"><commandline>&#0;gone</commandline><commandline>ab&#0;cd</commandline>"
        "</command>"
        "<command command=\"&#0;x\"><commandline>no word</commandline></command>"
        "<command command=\"elem\"><commandline><x>t</x></commandline><commandline>real</commandline></command>"
        "<command command=\"no text\"><commandline><x/></commandline><commandline>&#0;</commandline></command>"
        "</CommandList></TarnicSettings>");
    const std::vector<std::pair<std::string, std::vector<std::string>>> expected = {
        {"dup", {"a1", "a2"}}, {"mid", {"m"}}, {"last", {"l1", "l2"}}, {"dup", {"b"}}, {"nul", {"ab"}},
        {"elem", {"real"}}};
    ASSERT_EQ(expected.size(), loaded.Commands.GetCount());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const CCommandEntry& entry = *loaded.Commands.GetOrder()[i];
        EXPECT_EQ(expected[i].first, entry.word);
        ASSERT_EQ(expected[i].second.size(), entry.lines.GetCount()) << i;
        for (std::size_t j = 0; j < entry.lines.GetCount(); ++j)
            EXPECT_EQ(expected[i].second[j], *entry.lines.GetAt(j)) << i;
    }
}

TEST_F(SettingsFile, StoredSystemWordsAreRenamedWithANotice)
{
    MessageBoxCapture boxes;
    CSettings loaded = LoadText(
        Utf8(L"<?xml version=\"1.0\"?><TarnicSettings version=\"2.22.08\"><CommandList>"
             L"<command command=\"system\"><commandline>a</commandline></command>"
             L"<command command=\"\xFF53\xFF39\xFF53\xFF54\xFF25\xFF2D\"><commandline>b</commandline></command>"
             L"<command command=\"systems\"><commandline>c</commandline></command>"
             L"</CommandList></TarnicSettings>"));
    ASSERT_EQ(2u, boxes.Boxes().size());
    for (const auto& call : boxes.Boxes()) {
        EXPECT_EQ(static_cast<UINT>(MB_ICONINFORMATION), call.type & MB_ICONMASK);
        EXPECT_NE(std::string::npos, call.text.find("SYSTEM"));
    }
    // Both keep their lines under " SYSTEM": the second replaces the first.
    ASSERT_NE(nullptr, loaded.Commands.Find(" SYSTEM"));
    EXPECT_NE(nullptr, loaded.Commands.Find("systems"));
}

TEST_F(SettingsFile, AnUnreadableFileIsReportedAndLeavesTheDefaults)
{
    struct Case {
        const char* name;
        std::string xml;
        const char* reasonHas;
    };
    const Case cases[] = {
        {"syntax error", "<?xml version=\"1.0\"?>\n<TarnicSettings>\n<WindowInfo x=1/>\n</TarnicSettings>",
         "line 3"},
        {"cut short", "<?xml version=\"1.0\"?>\n<TarnicSettings>\n<Others", ""},
        {"instruction inside an element",
         "<?xml version=\"1.0\"?>\n<TarnicSettings>\n\t<?pi data?><Others Stationed=\"0\"/></TarnicSettings>",
         "line 3 column 4"},
        {"not xml at all", "\x81\x40garbage", ""},
    };
    for (const Case& c : cases) {
        CSettings loaded = LoadText(c.xml, LoadResult::Unreadable);
        EXPECT_TRUE(CSettings().Window == loaded.Window) << c.name;
        EXPECT_TRUE(loaded.Stationed) << c.name;
        std::string reason;
        CSettings again;
        LoadSettingsFile(path, again, &reason);
        EXPECT_FALSE(reason.empty()) << c.name;
        EXPECT_NE(std::string::npos, reason.find(c.reasonHas)) << c.name << ": " << reason;
        EXPECT_EQ(c.xml, ReadWholeFile(path)) << c.name;
    }
}

DWORD WINAPI ReleaseLater(void* event)
{
    Sleep(400);
    SetEvent(static_cast<HANDLE>(event));
    return 0;
}

// A lock on a file held by the lock holder helper, another process, until
// 400 ms after ReleaseSoon.
class LockInAnotherProcess {
public:
    LockInAnotherProcess(const std::string& path, bool exclusive)
    {
        static int count = 0;
        const std::string name = "tarnic-lock-" + std::to_string(GetCurrentProcessId()) + "-" +
                                 std::to_string(++count);
        m_ready = CreateEventA(nullptr, TRUE, FALSE, (name + "-ready").c_str());
        m_release = CreateEventA(nullptr, TRUE, FALSE, (name + "-release").c_str());
        std::string command = "\"" + ProgramFolder() + "velum_lock_holder.exe\" \"" + path + "\" " +
                              name + "-ready " + name + "-release" + (exclusive ? " exclusive" : "");
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        m_started = CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                   &startup, &m_process) != FALSE;
    }
    ~LockInAnotherProcess()
    {
        SetEvent(m_release);
        Finish();
        for (HANDLE handle : {m_timer, m_process.hProcess, m_process.hThread, m_ready, m_release}) {
            if (handle != nullptr)
                CloseHandle(handle);
        }
    }
    bool Held() { return m_started && WaitForSingleObject(m_ready, 20000) == WAIT_OBJECT_0; }
    void ReleaseSoon() { m_timer = CreateThread(nullptr, 0, ReleaseLater, m_release, 0, nullptr); }
    // The helper's exit code: 0 when it took and let go of the lock in order.
    DWORD Finish()
    {
        DWORD exitCode = 1;
        if (m_started) {
            WaitForSingleObject(m_process.hProcess, 20000);
            GetExitCodeProcess(m_process.hProcess, &exitCode);
        }
        if (m_timer != nullptr)
            WaitForSingleObject(m_timer, 5000);
        return exitCode;
    }

private:
    HANDLE m_ready = nullptr, m_release = nullptr, m_timer = nullptr;
    PROCESS_INFORMATION m_process = {};
    bool m_started = false;
};

TEST_F(SettingsFile, AReaderWaitsForTheWritersLock)
{
    ASSERT_TRUE(SaveSettingsFile(path, backup, KnownRecord()));
    LockInAnotherProcess writer(path, true);
    ASSERT_TRUE(writer.Held());
    writer.ReleaseSoon();
    const DWORD start = GetTickCount();
    CSettings loaded;
    EXPECT_EQ(LoadResult::Loaded, LoadSettingsFile(path, loaded, nullptr));
    EXPECT_GE(GetTickCount() - start, 300u);
    ExpectSameRecord(KnownRecord(), loaded);
    EXPECT_EQ(0u, writer.Finish());
}

TEST_F(SettingsFile, AFileThatCannotBeWrittenIsNeverReportedAsSaved)
{
    // The file's name is taken by a folder, and so is the backup's.
    ASSERT_TRUE(CreateDirectoryA(path.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA(backup.c_str(), nullptr));
    WriteFile(backup + "\\keep.txt", "kept");
    EXPECT_FALSE(SaveSettingsFile(path, backup, KnownRecord()));
    EXPECT_EQ("kept", ReadWholeFile(backup + "\\keep.txt"));
}

// A fault injected at one step of a save, and at every step a look at
// the files a process killed right there would leave.
struct SavePlan {
    SaveStep failAt = SaveStep::PutInPlace;
    DWORD error = 0;  // 0: nothing fails
    DWORD linkError = 0;  // the links refused with this, as on FAT (0: made)
    std::string path, backup;
    std::vector<std::string> wholeFiles;  // the bytes of every complete file
    std::vector<SaveStep> steps;
    std::vector<SaveStep> noWholeFile;  // steps before which neither name held one
};
SavePlan* g_plan = nullptr;

unsigned long InjectSaveFault(SaveStep step)
{
    g_plan->steps.push_back(step);
    auto whole = [](const std::string& bytes) {
        for (const std::string& known : g_plan->wholeFiles) {
            if (bytes == known)
                return true;
        }
        return false;
    };
    if (!whole(ReadWholeFile(g_plan->path)) && !whole(ReadWholeFile(g_plan->backup)))
        g_plan->noWholeFile.push_back(step);
    if (step == SaveStep::LinkBackup && g_plan->linkError != 0)
        return g_plan->linkError;
    return step == g_plan->failAt ? g_plan->error : 0;
}

class SettingsFileSaving : public SettingsFile {
protected:
    void SetUp() override
    {
        SettingsFile::SetUp();
        for (const char* history : {"first", "second", "third"}) {
            CSettings record = KnownRecord();
            record.History.Add(history);
            records.push_back(record);
            // Its bytes, from a save in a folder of their own.
            const std::string scratch = folder + "\\" + history + ".xml";
            EXPECT_TRUE(SaveSettingsFile(scratch, scratch + ".bak", record));
            bytes.push_back(ReadWholeFile(scratch));
        }
        plan.path = path;
        plan.backup = backup;
        plan.wholeFiles = bytes;
        g_plan = &plan;
        SetSaveFaultHook(&InjectSaveFault);
    }
    void TearDown() override
    {
        SetSaveFaultHook(nullptr);
        g_plan = nullptr;
    }
    // The files as a case starts: the second record saved over the first,
    // or the first at the backup path alone (a save failed after it).
    void Prepare(bool withPrevious)
    {
        DeleteFileA(path.c_str());
        DeleteFileA(backup.c_str());
        plan.error = 0;
        ASSERT_TRUE(SaveSettingsFile(path, backup, records[0]));
        if (withPrevious)
            ASSERT_TRUE(SaveSettingsFile(path, backup, records[1]));
        else
            ASSERT_TRUE(MoveFileA(path.c_str(), backup.c_str()));
        // The very first save had nothing in place before it.
        plan.steps.clear();
        plan.noWholeFile.clear();
    }

    std::vector<CSettings> records;
    std::vector<std::string> bytes;
    SavePlan plan;
};

TEST_F(SettingsFileSaving, AFailedStepLeavesTheFilesAsTheyWere)
{
    struct Fault {
        const char* name;
        SaveStep step;
        DWORD error;
        DWORD linkError;  // links refused with this (0: made)
    };
    const Fault faults[] = {
        {"read-only folder", SaveStep::CreateTemporary, ERROR_ACCESS_DENIED, 0},
        {"disk full while writing", SaveStep::WriteTemporary, ERROR_DISK_FULL, 0},
        {"disk full while flushing", SaveStep::FlushTemporary, ERROR_DISK_FULL, 0},
        {"settings file locked for good", SaveStep::WaitForReaders, ERROR_LOCK_VIOLATION, 0},
        {"backup in use", SaveStep::KeepBackup, ERROR_SHARING_VIOLATION, ERROR_SHARING_VIOLATION},
        {"disk full while copying, no links", SaveStep::KeepBackup, ERROR_DISK_FULL,
         ERROR_INVALID_FUNCTION},
        {"settings file in use", SaveStep::PutInPlace, ERROR_SHARING_VIOLATION, 0},
        {"settings file in use, no links", SaveStep::PutInPlace, ERROR_SHARING_VIOLATION,
         ERROR_NOT_SUPPORTED},
    };
    for (const bool withPrevious : {true, false}) {
        for (const Fault& fault : faults) {
            // Without a previous file there is nothing to wait for or copy.
            if (!withPrevious &&
                (fault.step == SaveStep::WaitForReaders || fault.step == SaveStep::KeepBackup))
                continue;
            const std::string name = std::string(fault.name) + (withPrevious ? "" : ", backup only");
            Prepare(withPrevious);
            plan.failAt = fault.step;
            plan.error = fault.error;
            plan.linkError = fault.linkError;
            EXPECT_FALSE(SaveSettingsFile(path, backup, records[2])) << name;
            EXPECT_EQ(withPrevious ? bytes[1] : "", ReadWholeFile(path)) << name;
            const std::string kept = ReadWholeFile(backup);
            EXPECT_TRUE(kept == bytes[0] || (withPrevious && kept == bytes[1])) << name;
            for (const std::string& left : {TemporarySettingsPath(path), TemporarySettingsPath(backup)})
                EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(left.c_str())) << name << ": " << left;

            // The next save goes through, every step of it taken with a
            // whole file in place; the backup is the file it replaced, or,
            // with none, the backup from before. Without links it is copied
            // (one step more).
            plan.error = 0;
            plan.steps.clear();
            EXPECT_TRUE(SaveSettingsFile(path, backup, records[2])) << name;
            EXPECT_EQ(withPrevious ? (fault.linkError != 0 ? 7u : 6u) : 4u, plan.steps.size()) << name;
            EXPECT_EQ(bytes[2], ReadWholeFile(path)) << name;
            EXPECT_EQ(withPrevious ? bytes[1] : bytes[0], ReadWholeFile(backup)) << name;
            EXPECT_TRUE(plan.noWholeFile.empty()) << name;
            for (const std::string& left : {TemporarySettingsPath(path), TemporarySettingsPath(backup)})
                EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(left.c_str())) << name << ": " << left;
        }
    }
}

// Real files held by another handle, without any injected fault.
TEST_F(SettingsFileSaving, FilesInUseKeepEveryCopy)
{
    SetSaveFaultHook(nullptr);
    struct Case {
        const char* name;
        bool holdSettings;  // else the backup is held
    };
    for (const Case& c : {Case{"settings file opened without sharing", true},
                          Case{"backup opened without sharing", false}}) {
        Prepare(true);
        HANDLE held = CreateFileA((c.holdSettings ? path : backup).c_str(), GENERIC_READ, 0, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, held) << c.name;
        EXPECT_FALSE(SaveSettingsFile(path, backup, records[2])) << c.name;
        CloseHandle(held);
        EXPECT_EQ(bytes[1], ReadWholeFile(path)) << c.name;
        EXPECT_EQ(bytes[0], ReadWholeFile(backup)) << c.name;
    }

    // With no settings file the backup is the only copy: a save leaves it.
    Prepare(false);
    ASSERT_TRUE(SaveSettingsFile(path, backup, records[2]));
    EXPECT_EQ(bytes[2], ReadWholeFile(path));
    EXPECT_EQ(bytes[0], ReadWholeFile(backup));
}

// A save killed between linking the backup and putting the link in place
// leaves the link's name taken: the next save makes it anew.
TEST_F(SettingsFileSaving, ALinkLeftByACutShortSaveIsMadeAnew)
{
    SetSaveFaultHook(nullptr);
    Prepare(true);
    const std::string link = TemporarySettingsPath(backup);
    WriteFile(link, "left by another save");
    ASSERT_TRUE(SaveSettingsFile(path, backup, records[2]));
    EXPECT_EQ(bytes[2], ReadWholeFile(path));
    EXPECT_EQ(bytes[1], ReadWholeFile(backup));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(link.c_str()));
}

// A reader holding its shared lock delays the save, which then completes.
TEST_F(SettingsFileSaving, ASaveWaitsForAReadersLock)
{
    SetSaveFaultHook(nullptr);
    Prepare(true);
    LockInAnotherProcess reader(path, false);
    ASSERT_TRUE(reader.Held());
    reader.ReleaseSoon();
    const DWORD start = GetTickCount();
    EXPECT_TRUE(SaveSettingsFile(path, backup, records[2]));
    EXPECT_GE(GetTickCount() - start, 300u);
    EXPECT_EQ(bytes[2], ReadWholeFile(path));
    EXPECT_EQ(bytes[1], ReadWholeFile(backup));
    EXPECT_EQ(0u, reader.Finish());
}

// Only an absent file is a first run; one that is there but cannot be
// opened is reported and kept.
TEST_F(SettingsFile, AFileThatCannotBeOpenedIsNotTakenForMissing)
{
    struct Case {
        const char* name;
        std::string open;  // what LoadSettingsFile is given
        LoadResult expected;
    };
    ASSERT_TRUE(SaveSettingsFile(path, backup, KnownRecord()));
    const std::string folderAtPath = folder + "\\folder.xml";
    ASSERT_TRUE(CreateDirectoryA(folderAtPath.c_str(), nullptr));
    HANDLE held = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    const Case cases[] = {
        {"absent file", folder + "\\absent.xml", LoadResult::Missing},
        {"absent folder", folder + "\\absent\\settings.xml", LoadResult::Missing},
        {"opened without sharing", path, LoadResult::Unreadable},
        {"a folder", folderAtPath, LoadResult::Unreadable},
    };
    for (const Case& c : cases) {
        CSettings loaded;
        std::string reason;
        EXPECT_EQ(c.expected, LoadSettingsFile(c.open, loaded, &reason)) << c.name;
        EXPECT_EQ(c.expected == LoadResult::Unreadable, !reason.empty()) << c.name << ": " << reason;
    }
    CloseHandle(held);
}

TEST(SettingsFileNames, PathsAndVersions)
{
    char xml[MAX_PATH], bak[MAX_PATH], ini[MAX_PATH];
    ASSERT_TRUE(GetSettingsFilePath(SETTINGS_XML, xml, sizeof xml));
    ASSERT_TRUE(GetSettingsFilePath(SETTINGS_BAK, bak, sizeof bak));
    ASSERT_TRUE(GetSettingsFilePath(SETTINGS_INI, ini, sizeof ini));
    char user[257] = {};
    DWORD length = sizeof user;
    GetUserNameA(user, &length);
    const std::string base = ProgramFolder() + "Tarnic-" + user + "@";
    EXPECT_EQ(0u, std::string(xml).find(base)) << xml;
    EXPECT_EQ(".xml", std::string(xml).substr(std::string(xml).size() - 4));
    EXPECT_EQ(std::string(xml).substr(0, strlen(xml) - 4) + ".bak", bak);
    EXPECT_EQ(std::string(xml).substr(0, strlen(xml) - 4) + ".ini", ini);
    // Too small a buffer is refused, never cut into another name.
    char small[12] = "untouched";
    EXPECT_FALSE(GetSettingsFilePath(SETTINGS_XML, small, sizeof small));
    EXPECT_STREQ("", small);

    struct VersionCase {
        const wchar_t* text;
        std::uint32_t expected;
    };
    for (const VersionCase& c : {VersionCase{L"2.22.08", 0x02160800u}, VersionCase{L"", 0u},
                                 VersionCase{L"2.17.3", 0x02110300u}, VersionCase{L"1.2.3.4.5", 0x01020304u},
                                 VersionCase{L"300.1", 0x2C010000u}}) {
        EXPECT_EQ(c.expected, ParseSettingsVersion(reinterpret_cast<const Velum_CHAR*>(c.text)))
            << Utf8(c.text);
    }
}

TEST(SettingsFileNames, CompareNoCaseW)
{
    auto compare = [](const wchar_t* a, const wchar_t* b) {
        return CompareNoCaseW(reinterpret_cast<const Velum_CHAR*>(a),
                              reinterpret_cast<const Velum_CHAR*>(b));
    };
    EXPECT_EQ(0, compare(L"system", L"SYSTEM"));
    EXPECT_EQ(0, compare(L"\x03B1\x03C9", L"\x0391\x03A9"));  // Greek
    EXPECT_EQ(0, compare(L"\xFF53\xFF59", L"\xFF33\xFF39"));  // full width
    EXPECT_NE(0, compare(L"\xFF33", L"S"));
    EXPECT_EQ(0, CompareNoCaseW(nullptr, reinterpret_cast<const Velum_CHAR*>(L"")));
    EXPECT_LT(CompareNoCaseW(nullptr, reinterpret_cast<const Velum_CHAR*>(L"a")), 0);
    EXPECT_GT(compare(L"b", L"A"), 0);
}

}  // namespace

namespace {

// The whole round through the program's own settings path: an unreadable
// file is reported, kept through saves, and once moved away the next save
// writes the record.
TEST(SettingsFileBesideTheProgram, UnreadableFileIsReportedAndKept)
{
    char xml[MAX_PATH], bak[MAX_PATH];
    ASSERT_TRUE(GetSettingsFilePath(SETTINGS_XML, xml, sizeof xml));
    ASSERT_TRUE(GetSettingsFilePath(SETTINGS_BAK, bak, sizeof bak));
    DeleteFileA(bak);
    const std::string broken = "<?xml version=\"1.0\"?>\n<TarnicSettings>\n<WindowInfo x=1/>";
    WriteFile(xml, broken);

    MessageBoxCapture boxes;
    CSettings settings;
    settings.Window.x = 4321;
    EXPECT_EQ(-1, LoadSettings(settings));
    EXPECT_EQ(4321, settings.Window.x);
    ASSERT_EQ(1u, boxes.Boxes().size());
    const CapturedMessageBox& box = boxes.Boxes()[0];
    EXPECT_NE(std::string::npos, box.text.find(xml)) << box.text;
    EXPECT_NE(std::string::npos, box.text.find("line 3")) << box.text;
    EXPECT_EQ("Pellor Error Information", box.caption);

    // The first save that leaves it says so, with the file and the
    // reason; the next ones say nothing more.
    SaveSettings(settings);
    ASSERT_EQ(2u, boxes.Boxes().size());
    const CapturedMessageBox& notice = boxes.Boxes()[1];
    EXPECT_EQ(static_cast<UINT>(MB_ICONEXCLAMATION), notice.type & MB_ICONMASK);
    EXPECT_NE(std::string::npos, notice.text.find(xml)) << notice.text;
    EXPECT_NE(std::string::npos, notice.text.find("line 3")) << notice.text;
    EXPECT_NE(std::string::npos, notice.shownText.find(xml)) << notice.shownText;
    SaveSettings(settings);
    EXPECT_EQ(broken, ReadWholeFile(xml));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(bak));
    EXPECT_EQ(2u, boxes.Boxes().size());

    // Moved away by the user: saving goes on.
    ASSERT_TRUE(DeleteFileA(xml));
    SaveSettings(settings);
    CSettings loaded;
    EXPECT_EQ(1, LoadSettings(loaded));
    EXPECT_EQ(4321, loaded.Window.x);
    DeleteFileA(xml);
    DeleteFileA(bak);
}

}  // namespace

namespace {

// This program carries the launcher's version resource (2.22.8.31).
TEST(VersionInfo, TextsOfTheProductVersion)
{
    VS_FIXEDFILEINFO info = {};
    ASSERT_TRUE(GetFixedFileInfo(nullptr, &info));
    EXPECT_EQ(MAKELONG(22, 2), info.dwProductVersionMS);
    EXPECT_EQ(MAKELONG(31, 8), info.dwProductVersionLS);
    EXPECT_EQ("2.22.08", GetDottedVersion());

    char text[128];
    unsigned size = sizeof text;
    ASSERT_TRUE(GetVersionText(nullptr, text, &size));
    EXPECT_STREQ("2.22 Rev. 8", text);
    EXPECT_EQ(11u, size);
    // Too small: "" and the length needed.
    size = 11;
    EXPECT_FALSE(GetVersionText(nullptr, text, &size));
    EXPECT_STREQ("", text);
    EXPECT_EQ(11u, size);
    // A file without a version resource.
    const std::string helper = ProgramFolder() + "recorder.exe";
    size = sizeof text;
    EXPECT_FALSE(GetFixedFileInfo(helper.c_str(), &info));
    EXPECT_FALSE(GetVersionText(helper.c_str(), text, &size));
    EXPECT_EQ(0u, size);
    EXPECT_EQ("", GetDottedVersion(helper.c_str()));
}

}  // namespace

namespace {

// Damaged settings files, made by cutting, copying, overwriting and
// inserting bytes of a real one. Whatever a file holds, the load either
// refuses it with a reason and leaves the caller's record as it was, or
// takes a record that survives the program's own save: written, read back
// equal, and written again to the same bytes. A record that could be read
// but not saved and read again would be lost at the next exit.
class DamagedFile {
public:
    // pieces: what the format's reader gives a meaning to, inserted among
    // the other damage.
    DamagedFile(unsigned seed, const std::vector<std::string>& pieces)
        : m_state(seed * 2654435761u + 1), m_pieces(pieces)
    {
    }

    std::string From(std::string bytes)
    {
        const unsigned changes = 1 + Below(3);
        for (unsigned i = 0; i < changes; ++i)
            Change(bytes);
        return bytes;
    }

private:
    unsigned Below(unsigned bound)
    {
        m_state ^= m_state << 13;
        m_state ^= m_state >> 17;
        m_state ^= m_state << 5;
        return bound != 0 ? m_state % bound : 0;
    }

    void Change(std::string& bytes)
    {
        const std::size_t size = bytes.size();
        const std::size_t at = Below(static_cast<unsigned>(size + 1));
        switch (Below(6)) {
        case 0:  // a stretch cut out
            bytes.erase(at, 1 + Below(48));
            break;
        case 1: {  // a stretch copied elsewhere
            const std::size_t from = Below(static_cast<unsigned>(size + 1));
            const std::string piece = bytes.substr(from, 1 + Below(200));
            bytes.insert(Below(static_cast<unsigned>(size + 1)), piece);
            break;
        }
        case 2:  // one byte overwritten
            if (at < size)
                bytes[at] = static_cast<char>(Below(256));
            break;
        case 3:  // a piece inserted
            bytes.insert(at, m_pieces[Below(static_cast<unsigned>(m_pieces.size()))]);
            break;
        case 4:  // the file ends early
            bytes.resize(at);
            break;
        default: {  // a text made long
            const std::string run = Below(2) != 0 ? std::string(3000, 'w') : Ansi("表示ソフト");
            bytes.insert(at, run);
            break;
        }
        }
    }

    unsigned m_state;
    const std::vector<std::string>& m_pieces;
};

// Bytes no text of a settings file should hold, whatever its format.
const std::vector<std::string> kOddBytes = {
    std::string(1, '\0'), "\xEF\xBB\xBF", "\xC0\x80", "\xED\xA0\x80", "\xE3\x81", "\xF4\x90\x80\x80",
    "\xFF", "\xE2\x80\xA8", "\xEF\xBF\xBD", "\xE2\x85\xA0", "\xE9\xAB\x99", "\xF0\x9F\x98\x80",
    "\x81", "\x83\x5C", "\t", "\r", "\n", "\r\n"};

std::vector<std::string> Pieces(std::initializer_list<const char*> meaningful)
{
    std::vector<std::string> pieces(meaningful.begin(), meaningful.end());
    pieces.insert(pieces.end(), kOddBytes.begin(), kOddBytes.end());
    return pieces;
}

// A record taken from a damaged file, saved beside it: it must read back
// equal and save again to the same bytes.
void ExpectRecordSurvivesItsSave(const std::string& folder, const CSettings& record)
{
    const std::string again = folder + "\\again.xml", againBackup = folder + "\\again.bak";
    const std::string third = folder + "\\third.xml", thirdBackup = folder + "\\third.bak";
    ASSERT_TRUE(SaveSettingsFile(again, againBackup, record));
    CSettings reread;
    std::string reason;
    ASSERT_EQ(LoadResult::Loaded, LoadSettingsFile(again, reread, &reason)) << reason;
    ExpectSameRecord(record, reread);
    ASSERT_TRUE(SaveSettingsFile(third, thirdBackup, reread));
    EXPECT_EQ(ReadWholeFile(again), ReadWholeFile(third));
}

TEST_F(SettingsFile, ADamagedFileIsRefusedOrReadIntoARecordThatSurvivesItsSave)
{
    const std::vector<std::string> kXmlPieces = Pieces({
        "<command command=\"x\">", "</command>", "<commandline>", "</commandline>", "<commandline/>",
        "<input>", "</input>", "<CommandList>", "</CommandList>", "<InputHistory size=\"255\">",
        "<WindowInfo/>", "<Others/>", "&#0;", "&#1;", "&#x9;", "&#xD;", "&#xFFFF;", "&#x10FFFF;",
        "&#55296;", "&#xFFFE;", "&amp;", "&lt;", "&", "<", ">", "\"", "=", "/", "<!--", "-->",
        "<![CDATA[", "]]>", "<?pi x?>", "<!DOCTYPE x>", "99999999999999999999", "-2147483649",
        "4294967296", "#", "#1234567", "FFFFFFFF", " size=\"-1\"", " x=\"\""});
    CSettings source = KnownRecord();
    source.Commands.Insert(Command("tab\tword", {"a\tb", "  spaced  "}));
    source.Commands.Insert(Command(Ansi("ソフト"), {Ansi("C:\\表\\ソ.exe \"%1\""), "%A%1%a"}));
    for (int i = 0; i < 8; ++i)
        source.History.Add("entry " + std::to_string(i));
    ASSERT_TRUE(SaveSettingsFile(path, backup, source));
    const std::string original = ReadWholeFile(path);

    // What the caller held before a refused load, to be found unchanged.
    CSettings before;
    before.Commands.Insert(Command("keep", {"kept line"}));
    before.Window.x = 77;
    before.HotKey = 0x0642;

    const unsigned kSeeds = 5000;
    int refused = 0, taken = 0;
    for (unsigned seed = 1; seed <= kSeeds; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        WriteFile(path, DamagedFile(seed, kXmlPieces).From(original));
        CSettings record = before;
        std::string reason;
        const LoadResult result = LoadSettingsFile(path, record, &reason);
        ASSERT_NE(LoadResult::Missing, result);
        if (result == LoadResult::Unreadable) {
            ++refused;
            EXPECT_FALSE(reason.empty());
            ExpectSameRecord(before, record);
            continue;
        }
        ++taken;
        ExpectRecordSurvivesItsSave(folder, record);
        if (::testing::Test::HasFailure())
            break;
    }
    // Both ways were taken many times, or the damage was too mild or too wild.
    EXPECT_GT(refused, 2000);
    EXPECT_GT(taken, 200);
}

}  // namespace

namespace {

// The same for the 2.x file the first start imports: whatever it holds, the
// record the import makes of it survives its first save in the new format.
TEST_F(SettingsFile, ARecordImportedFromADamagedLegacyFileSurvivesItsSave)
{
    const std::vector<std::string> kIniPieces = Pieces({
        "Pellor Ver. 2.17\r\n", "Pellor Ver. 2.05\r\n", "[CommandList]\r\n", "[WindowInfo]\r\n", "[Others]\r\n",
        "[", "]", "=", ":", "\r\n:", ":\r\n", "a:\r\n:x\r\n", "w=line\r\n", "x=", "FontFace=", "HotKey=",
        "TextColor=", "Stationed=", "99999999999999999999", "-2147483649", "FFFFFFFFF", "1,024", "SYSTEM"});
    std::string original;
    for (const char* line : {"Pellor Ver. 2.17", "[WindowInfo]", "x=-10", "y=700", "cx=300", "cy=24",
                             "TextColor=FF0000", "BgColor=123456", "FontFace=ＭＳ ゴシック", "FontSize=-12",
                             "FontBold=1", "Transparency=200", "[CommandList]", "mail:",
                             ":\"C:\\Program Files\\Mail\\mail.exe\" %0", "表示:", ":C:\\ソフト\\表示.exe <a&b>",
                             ":notepad", "c :", ":two", "[Others]", "Stationed=0", "HotKey=0641",
                             "IntelliSense=1", "AutoComplete=0"})
        original += Ansi(line) + "\r\n";
    MessageBoxCapture boxes;  // a command refused for want of memory would say so
    const std::string ini = folder + "\\settings.ini";
    int read = 0;
    for (unsigned seed = 1; seed <= 800; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        WriteFile(ini, DamagedFile(seed, kIniPieces).From(original));
        CSettings record;
        ASSERT_EQ(1, ImportLegacySettings(ini, record));
        read += record.Commands.GetCount() != 0 ? 1 : 0;
        // Bytes that are no text of the code page (the file is damaged)
        // cannot be written as they were, but no command and no line may
        // be lost on the way; from then on the record stays as it is.
        const std::string first = folder + "\\first.xml";
        ASSERT_TRUE(SaveSettingsFile(first, folder + "\\first.bak", record));
        CSettings converted;
        ASSERT_EQ(LoadResult::Loaded, LoadSettingsFile(first, converted, nullptr));
        ASSERT_EQ(record.Commands.GetCount(), converted.Commands.GetCount());
        for (std::size_t i = 0; i < record.Commands.GetCount(); ++i) {
            EXPECT_EQ(record.Commands.GetOrder()[i]->lines.GetCount(),
                      converted.Commands.GetOrder()[i]->lines.GetCount()) << i;
        }
        ExpectRecordSurvivesItsSave(folder, converted);
        if (::testing::Test::HasFailure())
            break;
    }
    EXPECT_GT(read, 400);  // most damage leaves commands to carry over
}

}  // namespace
