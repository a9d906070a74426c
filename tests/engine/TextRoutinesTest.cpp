// Searches and parsers over Shift-JIS text. Byte strings are spelled in hex so
// that the tests mean the same bytes on every machine:
//   "\x95\x5C" 表, "\x83\x5C" ソ  (second byte '\\')
//   "\x83\x8B" ル                 (second byte in the lead-byte range)
//   "\x81\x25", "\x81\x2E"        (a lead byte followed by '%' or '.')
#include "TextRoutines.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct SearchCase {
    const char* name;
    const char* text;
    char c;
    int start;
    int expected;
};

TEST(FindChar, StepsOverDoubleByteCharacters)
{
    const SearchCase cases[] = {
        {"second byte 0x5C is not a backslash", "C:\x95\x5C\\x", '\\', 0, 4},
        {"second byte 0x25 is not a percent", "\x81\x25%0", '%', 0, 2},
        {"second byte 0x2E is not a dot", "\x81\x2E.", '.', 0, 2},
        {"only the real separator", "\x83\x5C\x83\x5C", '\\', 0, -1},
        {"start on a second byte moves past it", "\x95\x5C\\", '\\', 1, 2},
        {"start after a second byte that looks like a lead byte", "\x83\x8B%1", '%', 2, 2},
        {"NUL gives the length", "abc", '\0', 0, 3},
        {"start at the length", "abc", 'a', 3, -1},
        {"start past the length", "abc", 'a', 7, -1},
        {"not found", "abc", 'z', 0, -1},
        {"empty text", "", 'a', 0, -1},
    };
    for (const SearchCase& c : cases) {
        SetLastError(123);
        EXPECT_EQ(c.expected, FindChar(c.text, c.c, c.start)) << c.name;
        EXPECT_EQ(0u, GetLastError()) << c.name;
    }
}

TEST(FindLastChar, IgnoresSecondBytes)
{
    const SearchCase cases[] = {
        {"dot after ル (second byte 0x8B)", "\x83\x74\x83\x40\x83\x43\x83\x8B.txt", '.', 0, 8},
        {"second byte 0x2E", "a.b\x81\x2E", '.', 0, 1},
        {"second byte 0x5C", "C:\\\x95\x5C", '\\', 0, 2},
        {"from start", "a.b.c", '.', 2, 1},
        {"start past the end searches all", "a.b.c", '.', 99, 3},
        {"position 0 counts", ".abc", '.', 0, 0},
        {"not found", "abc", '.', 0, -1},
        {"empty", "", '.', 0, -1},
    };
    for (const SearchCase& c : cases)
        EXPECT_EQ(c.expected, FindLastChar(c.text, c.c, c.start)) << c.name;
}

TEST(FindString, MatchesOnlyOnCharacterBoundaries)
{
    EXPECT_EQ(4, FindString("x\x81%a%a", "%a", 0));  // 0x81 0x25 is one character
    EXPECT_EQ(2, FindString("%a%a", "%a", 1));
    EXPECT_EQ(-1, FindString("ab", "abc", 0));
    EXPECT_EQ(-1, FindString("", "a", 0));
    EXPECT_EQ(-1, FindString("abc", "", 0));
    EXPECT_EQ(0, FindString("abc", "abc", 0));
    EXPECT_EQ(3, FindString("\x83\x8B" "a%d", "%d", 2));
}

// A start at or past the end finds nothing and reads nothing beyond the
// text (the sanitizers of the native build watch the bytes after it).
TEST(FindString, StartAtOrPastTheEnd)
{
    const std::string text = "%a%a";
    for (int start : {4, 5, 6, 64, 4096})
        EXPECT_EQ(-1, FindString(text.c_str(), "%a", start)) << start;
    std::vector<char> exact = {'a', '\x83', '\0'};  // nothing after the NUL to hide a read
    EXPECT_EQ(-1, FindString(exact.data(), "a", 3));
    EXPECT_EQ(-1, FindString(exact.data(), "\x83", 40));
}

// Text cut after a lead byte: the lone byte is a character of its own, the
// NUL after it is never stepped over, and nothing pairs it with what
// follows the text.
TEST(TextRoutines, TextEndingInALoneLeadByte)
{
    const char* const lone = "a\\\x83";  // a \ and half of a character
    EXPECT_EQ(1, FindChar(lone, '\\', 0));
    EXPECT_EQ(2, FindChar(lone, '\x83', 0));
    EXPECT_EQ(-1, FindChar(lone, 'z', 2));
    EXPECT_EQ(3, FindChar(lone, '\0', 0));
    EXPECT_EQ(1, FindLastChar(lone, '\\', 0));
    EXPECT_EQ(2, FindLastChar(lone, '\x83', 0));
    EXPECT_EQ(2, FindString(lone, "\x83", 0));
    EXPECT_EQ(-1, FindString(lone, "\x83\x40", 0));
    EXPECT_EQ(2, FindFirstOf(lone, "\x83", 0));
    EXPECT_EQ(-1, FindFirstOf(lone, "\x83\x40", 0));  // a double-byte member needs both bytes
    EXPECT_EQ(2, FindFirstNotOf(lone, "a\\", 0));
    EXPECT_EQ(-1, FindFirstNotOf(lone, "a\\\x83", 1));  // a lone lead byte as the last member
    EXPECT_EQ(12, ParseDecimal("12\x83"));
    EXPECT_EQ(0u, GetLastError());
    EXPECT_EQ(-5, ParseDecimal("-5\x83"));
    EXPECT_EQ(0x1Fu, ParseHex("1F\x83"));
    EXPECT_EQ(0u, ParseHex("\x83"));
    EXPECT_EQ(TEXT_ERROR_MISSING, GetLastError());
    EXPECT_EQ(2u, CharacterSafeLength(lone, 10));
    EXPECT_TRUE(EndsWithChar(lone, '\x83'));
    EXPECT_FALSE(EndsWithChar(lone, '\\'));
}

TEST(FindFirstOf, DoubleByteMembersMatchWhole)
{
    // あ is 0x82 0xA0; い is 0x82 0xA2.
    EXPECT_EQ(2, FindFirstOf("\x82\xA2\x82\xA0", "\x82\xA0", 0));
    EXPECT_EQ(-1, FindFirstOf("\x82\xA2", "\x82\xA0", 0));
    EXPECT_EQ(2, FindFirstOf("\x95\x5C\\", "\\", 0));
    EXPECT_EQ(1, FindFirstOf("a,b", ",;", 0));
    EXPECT_EQ(-1, FindFirstOf("", "a", 0));
    EXPECT_EQ(-1, FindFirstOf("abc", "", 0));
    EXPECT_EQ(3, FindFirstOf("a,b,", ",", 2));

    EXPECT_EQ(2, FindFirstNotOf("  abc", " ", 0));
    EXPECT_EQ(0, FindFirstNotOf("\x95\x5C", "\\", 0));
    EXPECT_EQ(2, FindFirstNotOf("\x82\xA0x", "\x82\xA0", 0));
    EXPECT_EQ(-1, FindFirstNotOf("   ", " ", 0));
    EXPECT_EQ(-1, FindFirstNotOf("", " ", 0));
}

TEST(TextRoutines, MissingArgumentsSetTheErrorBit)
{
    EXPECT_EQ(-1, FindChar(nullptr, 'a', 0));
    EXPECT_EQ(TEXT_ERROR_MISSING, GetLastError());
    EXPECT_EQ(-1, FindLastChar(nullptr, 'a', 0));
    EXPECT_EQ(TEXT_ERROR_MISSING, GetLastError());
    EXPECT_EQ(-1, FindString("a", nullptr, 0));
    EXPECT_EQ(TEXT_ERROR_MISSING, GetLastError());
    EXPECT_EQ(-1, FindFirstOf(nullptr, "a", 0));
    EXPECT_EQ(TEXT_ERROR_MISSING, GetLastError());
    EXPECT_EQ(-1, FindFirstNotOf("a", nullptr, 0));
    EXPECT_EQ(TEXT_ERROR_MISSING, GetLastError());
    EXPECT_EQ(-1, FindFirstOfW(nullptr, L"a", 0));
    EXPECT_EQ(TEXT_ERROR_MISSING, GetLastError());
    EXPECT_EQ(0, ParseDecimal(nullptr));
    EXPECT_EQ(TEXT_ERROR_MISSING, GetLastError());
    EXPECT_EQ(0u, ParseHex(nullptr));
    EXPECT_EQ(TEXT_ERROR_MISSING, GetLastError());
}

struct DecimalCase {
    const char* text;
    std::int32_t expected;
    DWORD error;
};

TEST(ParseDecimal, ReadsTheFirstRunOfDigits)
{
    const DecimalCase cases[] = {
        {"- 1,234", -1234, 0},
        {"x 5", 5, 0},
        {"12 34", 12, 0},
        {"-12", -12, 0},
        {"--5", -5, 0},
        {"5-3", 5, 0},
        {"1,000,000", 1000000, 0},
        {"a-5", -5, 0},
        {"-x5", 5, 0},
        {", 5", 5, 0},
        {"\x83\x8B" "5", 5, 0},  // a digit after ル still counts
        {"4294967297", 1, 0},      // wraps at 32 bits
        {"", 0, TEXT_ERROR_MISSING},
        {"abc", 0, TEXT_ERROR_MISSING},
    };
    for (const DecimalCase& c : cases) {
        EXPECT_EQ(c.expected, ParseDecimal(c.text)) << c.text;
        EXPECT_EQ(c.error, GetLastError()) << c.text;
    }
}

TEST(ParseHex, ReadsTheFirstRunOfHexDigits)
{
    const struct {
        const char* text;
        std::uint32_t expected;
        DWORD error;
    } cases[] = {
        {"1F", 31, 0},
        {"0x1F", 31, 0},
        {"0X1F", 0, 0},
        {"0x", 0, TEXT_ERROR_MISSING},
        {"ff", 255, 0},
        {"0xffffffff", 0xFFFFFFFFu, 0},
        {"  ABCDEF;", 0xABCDEF, 0},
        {"zz", 0, TEXT_ERROR_MISSING},
        {"", 0, TEXT_ERROR_MISSING},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.expected, ParseHex(c.text)) << c.text;
        EXPECT_EQ(c.error, GetLastError()) << c.text;
    }
}

TEST(WideRoutines, OneCodeUnitIsOneCharacter)
{
    EXPECT_EQ(2, FindFirstOfW(L"ab,c", L",;", 1));
    EXPECT_EQ(-1, FindFirstOfW(L"abc", L"", 0));
    EXPECT_EQ(3, FindFirstNotOfW(L"   x", L" ", 0));
    EXPECT_EQ(-1, FindFirstNotOfW(L"   ", L" ", 0));
    EXPECT_EQ(-1234, ParseDecimalW(L"- 1,234"));
    EXPECT_EQ(12, ParseDecimalW(L"12 34"));
    EXPECT_EQ(0, ParseDecimalW(L"none"));
    EXPECT_EQ(TEXT_ERROR_MISSING, GetLastError());
}

TEST(CharacterSafeLength, NeverSplitsACharacter)
{
    EXPECT_EQ(3u, CharacterSafeLength("abcdef", 3));
    EXPECT_EQ(1u, CharacterSafeLength("a\x95\x5C", 2));
    EXPECT_EQ(3u, CharacterSafeLength("a\x95\x5C", 3));
    EXPECT_EQ(2u, CharacterSafeLength("ab", 10));
    EXPECT_TRUE(EndsWithChar("C:\\", '\\'));
    EXPECT_FALSE(EndsWithChar("C:\\\x83\x5C", '\\'));
    EXPECT_FALSE(EndsWithChar("", '\\'));
}

}  // namespace
