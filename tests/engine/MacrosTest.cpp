// The tokenizer and the macro language. Byte strings in hex as in
// TextRoutinesTest: "\x83\x5C" ソ, "\x83\x8B" ル, "\x95\x5C" 表,
// "\x83\x81\x83\x82" メモ (second bytes in the lead-byte range).
#include "Macros.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

namespace {

struct Arguments {
    std::string values[MACRO_ARGUMENT_COUNT];
    bool used[MACRO_ARGUMENT_COUNT] = {};

    Arguments(std::initializer_list<const char*> typed = {})
    {
        int i = 0;
        for (const char* value : typed)
            values[i++] = value;
    }
};

std::string Expand(std::string text, DWORD flags, Arguments& arguments)
{
    ExpandCommandMacros(text, flags, arguments.values, arguments.used);
    return text;
}

std::string Expand(const std::string& text, DWORD flags = MACROS_COMMAND_LINE,
                   std::initializer_list<const char*> typed = {})
{
    Arguments arguments(typed);
    return Expand(text, flags, arguments);
}

std::string Directory(UINT(WINAPI* get)(char*, UINT))
{
    char buffer[MAX_PATH] = {};
    get(buffer, MAX_PATH);
    return buffer;
}

std::string WithoutTrailingBackslash(std::string path)
{
    if (!path.empty() && path.back() == '\\')
        path.pop_back();
    return path;
}

struct MacroCase {
    const char* name;
    const char* text;
    std::initializer_list<const char*> typed;
    const char* expected;
};

TEST(ExpandCommandMacros, CommandLinePreset)
{
    const MacroCase cases[] = {
        {"block kept with an argument", "app.exe %A-open %0%a%D-new%d", {"x"}, "app.exe -open x"},
        {"other block without one", "app.exe %A-open %0%a%D-new%d", {}, "app.exe -new"},
        {"unclosed %A block without argument cuts the rest", "a %A rest %0", {}, "a "},
        {"unclosed %A block with argument keeps the rest", "a %A rest %0", {"x"}, "a  rest x"},
        {"unclosed %D block with argument cuts the rest", "a %D rest", {"x"}, "a "},
        {"macros inside a kept block expand", "%A[%0|%1]%a", {"v", "w"}, "[v|w]"},
        {"nested blocks", "%A%D-n%d%0%a", {"x"}, "x"},
        {"percent at the end", "100%", {}, "100"},
        {"doubled percent", "50%% off", {}, "50% off"},
        {"unknown pairs go", "%x%B%?a", {}, "a"},
        {"lone closing markers go", "a%ab%dc", {}, "abc"},
        {"space macro", "a%_b", {}, "a b"},
        {"argument text is not expanded again", "%0%1", {"%1", "y"}, "%1y"},
        {"environment reference needs doubled percents", "%%PATH%%", {}, "%PATH%"},
        {"missing arguments are empty", "x.exe %1", {"a"}, "x.exe "},
    };
    for (const MacroCase& c : cases)
        EXPECT_EQ(c.expected, Expand(c.text, MACROS_COMMAND_LINE, c.typed)) << c.name;
}

TEST(ExpandCommandMacros, AllTenArgumentsAndTheirUsedFlags)
{
    Arguments arguments({"0", "1", "2", "3", "4", "5", "6", "7", "8", "9"});
    EXPECT_EQ("9876543210", Expand("%9%8%7%6%5%4%3%2%1%0", MACROS_COMMAND_LINE, arguments));
    for (bool used : arguments.used)
        EXPECT_TRUE(used);

    Arguments some({"a", "b", "c"});
    Expand("%2 only", MACROS_COMMAND_LINE, some);
    EXPECT_FALSE(some.used[0]);
    EXPECT_FALSE(some.used[1]);
    EXPECT_TRUE(some.used[2]);

    // Without EXPAND_ARGS nothing is marked used.
    Arguments dropped({"a"});
    EXPECT_EQ("", Expand("%0", DROP_ARGS, dropped));
    EXPECT_FALSE(dropped.used[0]);

    std::string text = "%0";
    EXPECT_TRUE(ExpandCommandMacros(text, MACROS_COMMAND_LINE, Arguments({"z"}).values, nullptr));
    EXPECT_EQ("z", text);
}

TEST(ExpandCommandMacros, Directories)
{
    const std::string system = Directory(GetSystemDirectoryA);
    const std::string windows = Directory(GetWindowsDirectoryA);
    ASSERT_FALSE(system.empty());
    EXPECT_EQ(WithoutTrailingBackslash(system) + "\\x.exe", Expand("%S\\x.exe"));
    EXPECT_EQ(system, Expand("%s"));
    EXPECT_EQ(WithoutTrailingBackslash(windows) + "\\notepad.exe", Expand("%W\\notepad.exe"));
    EXPECT_EQ(windows, Expand("%w"));
    EXPECT_EQ("x", Expand("%Sx", DROP_SYSTEM_DIR));
    EXPECT_EQ("%Wx", Expand("%Wx", DROP_SYSTEM_DIR));
}

TEST(ExpandCommandMacros, EachFlagAlone)
{
    // Every kind: expanded by its own bit, removed by its drop bit, left in
    // place with neither.
    const struct {
        const char* text;
        DWORD expand;
        DWORD drop;
        const char* expanded;
    } kinds[] = {
        {"%%", EXPAND_PERCENT, DROP_PERCENT, "%"},
        {"%_", EXPAND_SPACE, DROP_SPACE, " "},
        {"%0", EXPAND_ARGS, DROP_ARGS, "arg"},
        {"%Ak%a", EXPAND_IF_ARGS, DROP_IF_ARGS, "k"},
    };
    for (const auto& kind : kinds) {
        EXPECT_EQ(kind.expanded, Expand(kind.text, kind.expand, {"arg"})) << kind.text;
        EXPECT_EQ("", Expand(kind.text, kind.drop, {"arg"})) << kind.text;
    }
    EXPECT_EQ("%%", Expand("%%", 0));
    EXPECT_EQ("%_", Expand("%_", 0));
    EXPECT_EQ("%0", Expand("%0", 0, {"arg"}));
    EXPECT_EQ("%Dk", Expand("%Dk%d", 0));  // the opening marker stays, the closing one is unknown
    EXPECT_EQ("k", Expand("%Dk%d", EXPAND_IF_NO_ARGS));
    EXPECT_EQ("", Expand("%Dk%d", EXPAND_IF_NO_ARGS, {"arg"}));
    EXPECT_EQ("", Expand("%Dk%d", DROP_IF_NO_ARGS));
    // An expanding bit wins over its drop bit.
    EXPECT_EQ("k", Expand("%Ak%a", EXPAND_IF_ARGS | DROP_IF_ARGS, {"arg"}));
}

TEST(ExpandCommandMacros, Presets)
{
    const std::string windows = Directory(GetWindowsDirectoryA);
    // A typed argument: directories, spaces and percents only.
    EXPECT_EQ(WithoutTrailingBackslash(windows), Expand("%W", MACROS_TYPED_ARGUMENT));
    EXPECT_EQ("", Expand("%1", MACROS_TYPED_ARGUMENT));
    EXPECT_EQ("a b%", Expand("a%_b%%%Ax%a%Dy%d", MACROS_TYPED_ARGUMENT));

    // Icon lookup: as if run without arguments.
    EXPECT_EQ("-d  %", Expand("%A-a%a%D-d%d %0 %%", MACROS_ICON_LOOKUP));

    // After SYSTEM: argument references, spaces and opening markers stay.
    EXPECT_EQ("%0 %_ %Ax %Dy %", Expand("%0 %_ %Ax%a %Dy%d %%", MACROS_SYSTEM_COMMAND));
}

TEST(ExpandCommandMacros, NeverSplitsDoubleByteCharacters)
{
    // A '%' that is the second byte of a character is no macro.
    EXPECT_EQ("\x81%0", Expand("\x81%0", MACROS_COMMAND_LINE, {"x"}));
    // A '%' before a double-byte character goes with the whole character,
    // leaving no stray second byte behind.
    EXPECT_EQ("ab", Expand("a%\x95\x5C" "b"));
    // An argument ending in ル (0x83 0x8B) does not hide the macro after it.
    EXPECT_EQ("\x83\x74\x83\x40\x83\x43\x83\x8B" "b",
              Expand("%0%1", MACROS_COMMAND_LINE, {"\x83\x74\x83\x40\x83\x43\x83\x8B", "b"}));
    EXPECT_EQ("C:\\\x83\x5C\x83\x74\x83\x67\\x.exe",
              Expand("%AC:\\\x83\x5C\x83\x74\x83\x67\\x.exe%a", MACROS_COMMAND_LINE, {"y"}));
}

TEST(ExpandCommandMacros, KeptBlockContentIsCutTo519Bytes)
{
    const std::string content(600, 'x');
    EXPECT_EQ(std::string(519, 'x'), Expand("%A" + content + "%a", MACROS_COMMAND_LINE, {"y"}));
    // The cut falls before a character that would straddle it.
    const std::string straddling = std::string(518, 'x') + "\x95\x5C" + "tail";
    EXPECT_EQ(std::string(518, 'x'), Expand("%A" + straddling + "%a", MACROS_COMMAND_LINE, {"y"}));
    // Text after the block is not part of the limit.
    EXPECT_EQ(std::string(519, 'x') + std::string(300, 'z'),
              Expand("%A" + content + "%a" + std::string(300, 'z'), MACROS_COMMAND_LINE, {"y"}));
}

TEST(ExpandCommandMacros, LongLinesExpandWhole)
{
    std::string line;
    std::string expected;
    for (int i = 0; i < 2000; ++i) {
        line += "%0%%";
        expected += "argument%";
    }
    EXPECT_EQ(expected, Expand(line, MACROS_COMMAND_LINE, {"argument"}));
}

struct TokenCase {
    const char* name;
    const char* text;
    const char* token;
    const char* rest;  // null: no rest
};

template <std::size_t N>
void ExpectTokens(const TokenCase (&cases)[N])
{
    for (const TokenCase& c : cases) {
        const char* rest = "unset";
        EXPECT_EQ(c.token, NextToken(c.text, &rest)) << c.name;
        if (c.rest == nullptr)
            EXPECT_EQ(nullptr, rest) << c.name;
        else
            EXPECT_STREQ(c.rest, rest) << c.name;
    }
}

TEST(NextToken, SplitsQuotedAndPlainTokens)
{
    const TokenCase cases[] = {
        {"quoted path with a space", "\"C:\\My Tools\\x.exe\" -a", "C:\\My Tools\\x.exe", "-a"},
        {"tab separates", "a\tb", "a", "b"},
        {"trailing blanks leave no rest", "abc \t ", "abc", nullptr},
        {"unterminated quote runs to the end", "\"open end", "open end", nullptr},
        {"backslash escapes a quote", "\"a\\\"b\" c", "a\\\"b", "c"},
        {"backslash at the very end", "\"ends\\", "ends\\", nullptr},
        {"empty quotes", "\"\" x", "", "x"},
        {"leading blank gives an empty token", " x", "", "x"},
        {"empty text", "", "", nullptr},
        {"ソ (second byte 0x5C) does not escape the quote",
         "\"C:\\\x83\x5C\x83\x74\x83\x67\" -a", "C:\\\x83\x5C\x83\x74\x83\x67", "-a"},
        {"quote directly after a token", "\"a\"b c", "a", "b c"},
    };
    ExpectTokens(cases);
    const char* rest = "unset";
    EXPECT_EQ("", NextToken(nullptr, &rest));
    EXPECT_EQ(nullptr, rest);
    EXPECT_EQ("x", NextToken("x y", nullptr));
}

// A backslash escapes a whole character: after "\\メ" the scan must not be one
// byte out, or it reads 0x81 0x83 and then 0x82 '"' as characters and runs
// past the closing quote.
TEST(NextToken, JapaneseAfterABackslash)
{
    const TokenCase cases[] = {
        {"メモ after a backslash", "\"C:\\\x83\x81\x83\x82\" x", "C:\\\x83\x81\x83\x82", "x"},
        {"one character before the quote", "\"\\\x83\x8B\" -a", "\\\x83\x8B", "-a"},
        {"ソ after a backslash", "\"C:\\\x83\x5C\" y", "C:\\\x83\x5C", "y"},
        {"folders of 表 and メモ", "\"D:\\\x95\x5C\\\x83\x81\x83\x82\\a.txt\" b",
         "D:\\\x95\x5C\\\x83\x81\x83\x82\\a.txt", "b"},
        {"escaped quote still escapes", "\"a\\\"\x83\x81\" z", "a\\\"\x83\x81", "z"},
        {"backslash before a lone lead byte at the end", "\"a\\\x83", "a\\\x83", nullptr},
    };
    ExpectTokens(cases);
}

TEST(NamesExeProgram, ProgramPartDecides)
{
    const struct {
        const char* line;
        bool exe;
    } cases[] = {
        {"notepad.exe", true},
        {"notepad.EXE -a", true},
        {"notepad", false},
        {"a.exe.txt", false},
        {"doc.txt b.exe", false},  // only the part before the first space
        {"x.exe\tb", false},        // a tab does not end it
        {"\"C:\\My Tools\\x.exe\" -a", true},
        {"\"C:\\x.exe", true},  // no closing quote: the whole line
        {"\"C:\\exe\"", false},
        // The quoted folder メ is no program; the ".exe" is an argument.
        {"\"C:\\\x83\x81\" a.exe", false},
        {"\"C:\\\x83\x81\x83\x82\\\x83\x8B.exe\" x", true},
        // A dot that is the second byte of a character is no dot.
        {"\"C:\\exe\x81\x2E\" .txt", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.exe, NamesExeProgram(c.line)) << c.line;
}

// Callers without typed arguments may pass none: every preset then reads
// ten empty ones instead of a null array.
TEST(ExpandCommandMacros, NoArgumentArrayMeansTenEmptyOnes)
{
    const struct {
        DWORD flags;
        const char* text;
        const char* expected;
    } cases[] = {
        {MACROS_SYSTEM_COMMAND, "x.exe %0 %9 %A%a %D%d", "x.exe %0 %9 %A %D"},
        {MACROS_COMMAND_LINE, "x.exe %0%9 %Aa%a%Dd%d", "x.exe  d"},
        {MACROS_TYPED_ARGUMENT, "%0%A%a%Dd%d%%", "%"},
        {MACROS_ICON_LOOKUP, "%A-a%a%D-d%d %5", "-d "},
    };
    for (const auto& c : cases) {
        std::string text = c.text;
        bool used[MACRO_ARGUMENT_COUNT] = {};
        EXPECT_TRUE(ExpandCommandMacros(text, c.flags, nullptr, used)) << c.text;
        EXPECT_EQ(c.expected, text) << c.text;
    }
}

}  // namespace
