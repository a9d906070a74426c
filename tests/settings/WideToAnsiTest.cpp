// The table conversion of UTF-16 text to ANSI bytes must give exactly what
// the system call gives, for every code unit and for texts the table
// leaves to the system call.
#include "WideToAnsi.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

namespace {

std::string SystemBytes(UINT codePage, const std::wstring& wide)
{
    if (wide.empty())
        return std::string();
    const int units = static_cast<int>(wide.size());
    const int length = WideCharToMultiByte(codePage, 0, wide.data(), units, nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(length > 0 ? length : 0), '\0');
    if (length > 0)
        WideCharToMultiByte(codePage, 0, wide.data(), units, &bytes[0], length, nullptr, nullptr);
    return bytes;
}

std::string TableBytes(UINT codePage, const std::wstring& wide)
{
    std::string bytes = "left over from before";
    WideToAnsi(codePage, wide.data(), wide.size(), bytes);
    return bytes;
}

// Single- and double-byte code pages go through the table once enough
// texts came, UTF-8 always through the system call; each is asked in turn,
// so every code page starts without a table.
const UINT kCodePages[] = {932, 1252, 437, 936, 949, 950, CP_UTF8, 932};

const std::wstring kTexts[] = {
    L"",
    L"notepad.exe",
    std::wstring(L"\0", 1),
    std::wstring(L"a\0b", 3),
    L"\"C:\\Program Files\\\x30E1\x30E2\\notepad.exe\" /a %1",
    // Trail bytes that are a backslash or a letter in code page 932.
    L"\x30BD\x8868\x80FD\x30C0\\\x30BD",
    L"\xFF76\xFF85 half-width kana",
    L"\x00E9\x00FC\x03B1\x03C9\xFF41\xFF3A unmappable and folded",
    // A pair, a lone lead and a lone trail surrogate, also after ASCII and
    // after a double-byte character.
    L"\xD83D\xDE00",
    L"x\xD83D",
    L"\x65E5\xDE00y",
    L"\xFFFF\xFFFE\xFEFF",
    std::wstring(5000, L'\x65E5') + std::wstring(5000, L'a'),
};

void ExpectTextsAsTheSystem(UINT codePage, const char* when)
{
    for (const std::wstring& text : kTexts)
        EXPECT_EQ(SystemBytes(codePage, text), TableBytes(codePage, text))
            << "code page " << codePage << " " << when << ", text of " << text.size() << " units";
}

TEST(WideToAnsi, EveryUnitAndTextAsTheSystemConvertsThem)
{
    for (UINT codePage : kCodePages) {
        ExpectTextsAsTheSystem(codePage, "before its table");
        int differing = 0;
        for (unsigned unit = 1; unit < 0x10000; ++unit) {
            // Between ASCII and a double-byte character, so that a unit's
            // bytes cannot run into its neighbours' unnoticed.
            const std::wstring text = std::wstring(L"a") + static_cast<wchar_t>(unit) + L"\x65E5z";
            if (TableBytes(codePage, text) != SystemBytes(codePage, text) && ++differing <= 5)
                ADD_FAILURE() << "code page " << codePage << ", unit " << std::hex << unit;
        }
        EXPECT_EQ(0, differing) << "code page " << codePage;
        ExpectTextsAsTheSystem(codePage, "with its table");
    }
}

TEST(WideToAnsi, UnitsBeforeTheFirstNull)
{
    const struct {
        std::wstring text;
        std::size_t expected;
    } cases[] = {
        {L"", 0},
        {L"abc", 3},
        {std::wstring(L"\0abc", 4), 0},
        {std::wstring(L"abcdefg\0", 8), 7},
        {std::wstring(L"abcdefgh\0", 9), 8},
        {std::wstring(L"abcdefghijklmnopq\0rs\0", 21), 17},
        {std::wstring(40, L'\x65E5'), 40},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.expected, UnitsBeforeNull(c.text.data(), c.text.size())) << c.text.size();
}

}  // namespace
