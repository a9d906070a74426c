// Import of the 2.x settings file, from real files in a temporary folder:
// both command-list forms, the value readers, cut lines and double-byte text
// in code page 932.
#include "LegacyImport.h"
#include "MessageBoxCapture.h"
#include "TestFiles.h"
#include "korra/SmallBlocks.h"
#include "resource.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <string>
#include <utility>
#include <vector>

// A command table refuses an entry only when memory runs out: the n-th
// allocation of an entry's size from now fails once (-1: none fails). Armed
// only around the import itself, whose strings here are short enough to live
// inside their objects, so nothing else asks for that size.
// Entries come from korra's small blocks, whose hook sees every request.
namespace {
int entryAllocationsUntilFailure = -1;

bool EntryAllocationFails(std::size_t size)
{
    return size == sizeof(CCommandEntry) && entryAllocationsUntilFailure >= 0 &&
           entryAllocationsUntilFailure-- == 0;
}

const bool g_entriesCounted = (korra::SetSmallBlockFaultHook(EntryAllocationFails), true);
}  // namespace

namespace {

using Commands = std::vector<std::pair<std::string, std::vector<std::string>>>;

// The lines as the file holds them (UTF-8 in the test, CP932 on disk), each
// ended by CR LF unless lastEnded is false.
std::string Text(const std::vector<std::string>& lines, bool lastEnded = true)
{
    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        text += Ansi(lines[i].c_str());
        if (lastEnded || i + 1 < lines.size())
            text += "\r\n";
    }
    return text;
}

std::string SaveFile(const std::string& bytes)
{
    static const std::string folder = FreshTempFolder("tarnic-legacy-import");
    static int count = 0;
    const std::string path = folder + "\\settings" + std::to_string(++count) + ".ini";
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    EXPECT_NE(INVALID_HANDLE_VALUE, file) << path;
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return path;
}

int Import(const std::string& bytes, CSettings& settings)
{
    return ImportLegacySettings(SaveFile(bytes), settings);
}

Commands CommandsOf(const CSettings& settings)
{
    Commands commands;
    for (const CCommandEntry* entry : settings.Commands.GetOrder()) {
        std::vector<std::string> lines;
        for (std::size_t i = 0; i < entry->lines.GetCount(); ++i)
            lines.push_back(korra::ToString(*entry->lines.GetAt(i)));
        commands.emplace_back(entry->word, lines);
    }
    return commands;
}

// The same commands with the test's UTF-8 converted to CP932.
Commands AnsiCommands(const Commands& utf8)
{
    Commands commands;
    for (const auto& command : utf8) {
        std::vector<std::string> lines;
        for (const std::string& line : command.second)
            lines.push_back(Ansi(line.c_str()));
        commands.emplace_back(Ansi(command.first.c_str()), lines);
    }
    return commands;
}

bool Untouched(const CSettings& settings)
{
    const CSettings fresh;
    return settings.Commands.GetCount() == 0 && settings.Window == fresh.Window &&
           settings.HotKey == fresh.HotKey && settings.Stationed == fresh.Stationed &&
           settings.AutoComplete == fresh.AutoComplete && settings.IntelliSense == fresh.IntelliSense;
}

const std::string x277(277, 'x');
const std::string x278(278, 'x');

TEST(LegacyImport, ReadIniLineCutsAtCharacterBoundaries)
{
    const struct {
        const char* name;
        std::string bytes;
        std::size_t limit;
        std::vector<std::pair<std::string, IniLineStatus>> lines;  // then End
    } cases[] = {
        {"CR LF lines", "ab\r\ncd\r\n", 50, {{"ab", IniLineStatus::Complete}, {"cd", IniLineStatus::Complete}}},
        {"last line without CR kept", "ab\r\ncd", 50,
         {{"ab", IniLineStatus::Complete}, {"cd", IniLineStatus::Complete}}},
        {"empty lines", "\r\n\r\n", 50, {{"", IniLineStatus::Complete}, {"", IniLineStatus::Complete}}},
        {"byte after CR discarded unseen", "a\rbc\r\n", 50,
         {{"a", IniLineStatus::Complete}, {"c", IniLineStatus::Complete}}},
        {"rest of a long line is the next line", "abcdef\r\n", 4,
         {{"abc", IniLineStatus::Cut}, {"def", IniLineStatus::Complete}}},
        {"line that just fits is whole", "abc\r\nd\r\n", 4,
         {{"abc", IniLineStatus::Complete}, {"d", IniLineStatus::Complete}}},
        {"line that just fits at the end", "abc", 4, {{"abc", IniLineStatus::Complete}}},
        {"lead byte moves to the next line", Ansi("ab表示\r\n"), 4,
         {{"ab", IniLineStatus::Cut}, {Ansi("表"), IniLineStatus::Cut}, {Ansi("示"), IniLineStatus::Complete}}},
        {"whole character at the cut stays", Ansi("aソフト"), 4,
         {{Ansi("aソ"), IniLineStatus::Cut}, {Ansi("フ"), IniLineStatus::Cut}, {Ansi("ト"), IniLineStatus::Complete}}},
    };
    for (const auto& c : cases) {
        const std::string path = SaveFile(c.bytes);
        HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, file) << c.name;
        char buffer[50];
        for (const auto& expected : c.lines) {
            EXPECT_EQ(expected.second, ReadIniLine(file, buffer, c.limit)) << c.name;
            EXPECT_EQ(expected.first, buffer) << c.name;
        }
        EXPECT_EQ(IniLineStatus::End, ReadIniLine(file, buffer, c.limit)) << c.name;
        EXPECT_STREQ("", buffer) << c.name;
        CloseHandle(file);
    }
}

TEST(LegacyImport, CommandListForms)
{
    const struct {
        const char* name;
        std::vector<std::string> lines;
        Commands expected;
    } cases[] = {
        {"2.09: one line per command",
         {"Pellor Ver. 2.09", "[CommandList]", "note=notepad.exe", "calc=calc.exe /x", "a=b=c"},
         {{"note", {"notepad.exe"}}, {"calc", {"calc.exe /x"}}, {"a", {"b=c"}}}},
        {"2.09 does not know word: lines", {"Pellor Ver. 2.09", "[CommandList]", "a:", ":notepad"}, {}},
        {"2.10: word: then :lines",
         {"Pellor Ver. 2.10", "[CommandList]", "a:", ":notepad", ":c:\\x.exe -y", "", "b:", ":calc"},
         {{"a", {"notepad", "c:\\x.exe -y"}}, {"b", {"calc"}}}},
        {"2.10 does not know word=line", {"Pellor Ver. 2.10", "[CommandList]", "a=notepad"}, {}},
        {"3.00 reads word: lines", {"Pellor Ver. 3.00", "[CommandList]", "a:", ":x"}, {{"a", {"x"}}}},
        {"back-to-back words: the second is discarded",
         {"Pellor Ver. 2.17", "[CommandList]", "a:", ":notepad", "b:", ":calc"}, {{"a", {"notepad"}}}},
        {"a word without lines is dropped",
         {"Pellor Ver. 2.17", "[CommandList]", "a:", "other", "b:", ":calc"}, {{"b", {"calc"}}}},
        {"[ ends the command and the section",
         {"Pellor Ver. 2.17", "[CommandList]", "a:", ":one", "[Elsewhere]", "b:", ":two"}, {{"a", {"one"}}}},
        {"a colon before the last character is no word",
         {"Pellor Ver. 2.17", "[CommandList]", "a:b:", ":one", "c :", ":two"}, {{"c ", {"two"}}}},
        {"word lengths, new form",
         {"Pellor Ver. 2.17", "[CommandList]", "abcdefghijklmn:", ":14", "abcdefghijklmno:", ":15"},
         {{"abcdefghijklmn", {"14"}}}},
        {"word lengths, old form",
         {"Pellor Ver. 2.00", "[CommandList]", "abcdefghijklmno=15", "abcdefghijklmnop=16", "nothing"},
         {{"abcdefghijklmno", {"15"}}}},
        {"Japanese, new form",
         {"Pellor Ver. 2.17", "[CommandList]", "ソフト:", ":C:\\ソフト\\表示.exe", ":表示"},
         {{"ソフト", {"C:\\ソフト\\表示.exe", "表示"}}}},
        {"Japanese, old form", {"Pellor Ver. 2.05", "[CommandList]", "表示=C:\\ソフト\\表示.exe"},
         {{"表示", {"C:\\ソフト\\表示.exe"}}}},
        {"two command lists", {"Pellor Ver. 2.05", "[CommandList]", "a=1", "[Others]", "[CommandList]", "b=2"},
         {{"a", {"1"}}, {"b", {"2"}}}},
        {"unknown sections and lines before a section",
         {"Pellor Ver. 2.05", "a=0", "[Commands]", "b=1", "[commandlist]", "c=2", "[CommandList] ", "d=3"}, {}},
        {"new form: a line of exactly 279 bytes is whole",
         {"Pellor Ver. 2.17", "[CommandList]", "a:", ":" + x278, ":next"}, {{"a", {x278, "next"}}}},
        {"new form: a longer line is taken cut, its rest ends the command",
         {"Pellor Ver. 2.17", "[CommandList]", "a:", ":" + x278 + "rest of the line", ":next", "b:", ":c"},
         {{"a", {x278}}, {"b", {"c"}}}},
        {"new form: the cut leaves no half character",
         {"Pellor Ver. 2.17", "[CommandList]", "a:", ":" + x277 + "表示"}, {{"a", {x277}}}},
        {"old form: a cut line is skipped",
         {"Pellor Ver. 2.09", "[CommandList]", "a=" + std::string(300, 'x'), "b=calc"}, {{"b", {"calc"}}}},
        {"old form: command lines end after 259 bytes",
         {"Pellor Ver. 2.09", "[CommandList]", "a=" + std::string(270, 'y'), "b=" + std::string(258, 'z') + "表"},
         {{"a", {std::string(259, 'y')}}, {"b", {std::string(258, 'z')}}}},
        {"last line without CR, old form", {"Pellor Ver. 2.09", "[CommandList]", "a=notepad"},
         {{"a", {"notepad"}}}},
        // What the settings file could not give back after the first save.
        {"empty lines and words are not taken, new form",
         {"Pellor Ver. 2.17", "[CommandList]", "a:", ":", ":x", "b:", ":", ":", "end", ":", ":y"},
         {{"a", {"x"}}}},
        {"empty lines and words are not taken, old form",
         {"Pellor Ver. 2.09", "[CommandList]", "=x", "b=", "c=z"}, {{"c", {"z"}}}},
    };
    for (const auto& c : cases) {
        CSettings settings;
        EXPECT_EQ(1, Import(Text(c.lines), settings)) << c.name;
        EXPECT_EQ(AnsiCommands(c.expected), CommandsOf(settings)) << c.name;
    }
    // The end of the file ends a command, with or without a last CR LF.
    for (const bool lastEnded : {true, false}) {
        CSettings settings;
        EXPECT_EQ(1, Import(Text({"Pellor Ver. 2.17", "[CommandList]", "a:", ":notepad"}, lastEnded), settings));
        EXPECT_EQ((Commands{{"a", {"notepad"}}}), CommandsOf(settings)) << lastEnded;
    }
}

TEST(LegacyImport, WindowAndOthers)
{
    CSettings settings;
    settings.Window.FontEffects = FONT_ITALIC;
    settings.Window.Transparency = 128;
    settings.HistorySize = 7;
    settings.ApplyReservedCommand = false;
    const std::vector<std::string> lines = {
        "Pellor Ver. 2.17",
        "[WindowInfo]",
        "x=-10",
        "y=1,024",
        "cx=300",
        "cy=24",
        "TextColor=FF0000",
        "BgColor=123456",
        "FontFace=ＭＳ ゴシック",
        "FontSize=-12",
        "FontBold=1",
        "FontItalic=0",
        "FontStrike=2",
        "FontUnderline=1",
        "X=99",
        "x =99",
        "no equals sign",
        "[Others]",
        "Stationed=0",
        "HotKey=1234F",
        "IntelliSense=5",
        "Transparency=10",
        "AutoComplete=0",  // the last line, without CR LF
    };
    ASSERT_EQ(1, Import(Text(lines, false), settings));
    EXPECT_EQ(-10, settings.Window.x);
    EXPECT_EQ(1024, settings.Window.y);
    EXPECT_EQ(300, settings.Window.cx);
    EXPECT_EQ(24, settings.Window.cy);
    EXPECT_EQ(0x000000FFu, settings.Window.TextColor);
    EXPECT_EQ(0x00563412u, settings.Window.BgColor);
    EXPECT_EQ(Ansi("ＭＳ ゴシック"), settings.Window.FontFace);
    EXPECT_EQ(-12, settings.Window.FontSize);
    EXPECT_EQ(static_cast<std::uint32_t>(FONT_BOLD | FONT_STRIKEOUT | FONT_UNDERLINE), settings.Window.FontEffects);
    EXPECT_FALSE(settings.Stationed);
    EXPECT_EQ(0x234F, settings.HotKey);
    EXPECT_FALSE(settings.AutoComplete);
    EXPECT_TRUE(settings.IntelliSense);
    // Not in the file's vocabulary: kept.
    EXPECT_EQ(128, settings.Window.Transparency);
    EXPECT_EQ(7u, settings.HistorySize);
    EXPECT_FALSE(settings.ApplyReservedCommand);
}

TEST(LegacyImport, ValueReaders)
{
    const struct {
        const char* line;  // in [WindowInfo] or [Others]
        std::int32_t fontSize;
        std::uint16_t hotKey;
        COLORREF textColor;
        const char* fontFace;  // UTF-8
    } cases[] = {
        {"FontSize=1,234", 1234, 0, 0, ""},
        {"FontSize=- 12", -12, 0, 0, ""},
        {"FontSize=x 5", 5, 0, 0, ""},
        {"FontSize=12 34", 12, 0, 0, ""},
        {"FontSize=none", 0, 0, 0, ""},
        {"FontSize=", 0, 0, 0, ""},
        {"HotKey=0x1F", 0, 0x1F, 0, ""},
        {"HotKey=1f", 0, 0x1F, 0, ""},
        {"HotKey=  ab", 0, 0xAB, 0, ""},
        {"HotKey=0x", 0, 0, 0, ""},
        {"HotKey=zz", 0, 0, 0, ""},
        {"TextColor=0000FF", 0, 0, 0x00FF0000, ""},
        {"TextColor=00FF00", 0, 0, 0x0000FF00, ""},
        {"TextColor=FF", 0, 0, 0x000000FF, ""},
        {"FontFace=0123456789012345678901234567890123", 0, 0, 0, "0123456789012345678901234567890"},
        {"FontFace=012345678901234567890123456789表", 0, 0, 0, "012345678901234567890123456789"},
        {"FontFace=ソフト表示", 0, 0, 0, "ソフト表示"},
        // Longer than 63 bytes: skipped, and its rest has no "=".
        {"FontFace=0123456789012345678901234567890123456789012345678901234567890123456789", 0, 0, 0, ""},
    };
    for (const auto& c : cases) {
        CSettings settings;
        settings.Window.FontSize = 0;
        settings.HotKey = 0;
        settings.Window.TextColor = 0;
        const char* section = std::string(c.line).rfind("HotKey", 0) == 0 ? "[Others]" : "[WindowInfo]";
        ASSERT_EQ(1, Import(Text({"Pellor Ver. 2.17", section, c.line}), settings)) << c.line;
        EXPECT_EQ(c.fontSize, settings.Window.FontSize) << c.line;
        EXPECT_EQ(c.hotKey, settings.HotKey) << c.line;
        EXPECT_EQ(c.textColor, settings.Window.TextColor) << c.line;
        EXPECT_EQ(Ansi(c.fontFace), settings.Window.FontFace) << c.line;
    }
}

TEST(LegacyImport, SectionNamesAreExact)
{
    for (const char* header : {"[windowinfo]", "[WindowInfo] ", " [WindowInfo]", "[WindowInfo", "[Window]"}) {
        CSettings settings;
        EXPECT_EQ(1, Import(Text({"Pellor Ver. 2.17", header, "x=77", "[Others]", "HotKey=41"}), settings));
        EXPECT_NE(77, settings.Window.x) << header;
        EXPECT_EQ(0x41, settings.HotKey) << header;
    }
}

TEST(LegacyImport, FilesThatAreNotSettings)
{
    const CSettings fresh;
    CSettings settings;
    EXPECT_EQ(-1, ImportLegacySettings(FreshTempFolder("tarnic-legacy-missing") + "\\none.ini", settings));
    EXPECT_TRUE(Untouched(settings));

    for (const std::string& bytes :
         {Text({"Pellor ver. 2.17", "[Others]", "HotKey=41"}), Text({"[Others]", "HotKey=41"}),
          Text({"Pellor Ver.2.17", "[Others]", "HotKey=41"}), std::string()}) {
        EXPECT_EQ(1, Import(bytes, settings)) << bytes;
        EXPECT_TRUE(Untouched(settings)) << bytes;
    }

    // Opened without sharing: a file someone has open cannot be read.
    const std::string path = SaveFile(Text({"Pellor Ver. 2.17", "[Others]", "HotKey=41"}));
    HANDLE open = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, open);
    EXPECT_EQ(-1, ImportLegacySettings(path, settings));
    CloseHandle(open);
    EXPECT_TRUE(Untouched(settings));
    EXPECT_EQ(1, ImportLegacySettings(path, settings));
    EXPECT_EQ(0x41, settings.HotKey);
}

TEST(LegacyImport, RefusedCommand)
{
    const std::string oneLine =
        Text({"Pellor Ver. 2.09", "[CommandList]", "a=notepad", "b=calc", "[Others]", "HotKey=41"});
    const struct {
        int failingEntry;
        Commands kept;
    } cases[] = {
        {0, {}},
        {1, {{"a", {"notepad"}}}},
    };
    for (const auto& c : cases) {
        const std::string path = SaveFile(oneLine);
        MessageBoxCapture capture;
        CSettings settings;
        entryAllocationsUntilFailure = c.failingEntry;
        EXPECT_EQ(0, ImportLegacySettings(path, settings)) << c.failingEntry;
        entryAllocationsUntilFailure = -1;
        EXPECT_EQ(c.kept, CommandsOf(settings)) << c.failingEntry;
        EXPECT_EQ(CSettings::kDefaultHotKey, settings.HotKey) << "the import stops at the failure";
        ASSERT_EQ(1u, capture.Boxes().size()) << c.failingEntry;
        const CapturedMessageBox& box = capture.Boxes()[0];
        EXPECT_EQ(nullptr, box.owner);
        EXPECT_EQ(static_cast<UINT>(MB_ICONEXCLAMATION), box.type);
        EXPECT_EQ(Ansi("コマンドの追加に失敗しました\nメモリが不足している可能性があります"), box.text);
    }

    // The newer form loses the command and reads on, silently.
    const std::string path = SaveFile(
        Text({"Pellor Ver. 2.10", "[CommandList]", "a:", ":notepad", "", "b:", ":calc", "[Others]", "HotKey=41"}));
    MessageBoxCapture capture;
    CSettings settings;
    entryAllocationsUntilFailure = 0;
    EXPECT_EQ(1, ImportLegacySettings(path, settings));
    entryAllocationsUntilFailure = -1;
    EXPECT_EQ((Commands{{"b", {"calc"}}}), CommandsOf(settings));
    EXPECT_EQ(0x41, settings.HotKey);
    EXPECT_TRUE(capture.Boxes().empty());
}

}  // namespace
