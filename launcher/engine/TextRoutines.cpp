#include "TextRoutines.h"

#include <cstring>
#include <cwchar>

namespace {

// Bytes taken by the character at text[i]: 2 for a complete double-byte
// character, else 1.
std::size_t CharSize(const char* text, std::size_t i)
{
    return IsLeadByteAt(text, i) ? 2 : 1;
}

// The character boundary at or just after start. Whether a byte is the second
// half of a double-byte character cannot be told from the byte before it
// alone: second bytes share values with lead bytes ("ル" is 0x83 0x8B). But
// the byte before a run of lead-valued bytes always ends a character, so
// the run pairs up from its start: start is a second byte exactly when an
// odd number of lead-valued bytes precede it.
std::size_t AlignToCharacter(const char* text, std::size_t start)
{
    std::size_t leadValued = 0;
    while (leadValued < start && IsDBCSLeadByte(static_cast<BYTE>(text[start - leadValued - 1])))
        ++leadValued;
    return (leadValued % 2 == 1) ? start + 1 : start;
}

int Fail()
{
    SetLastError(TEXT_ERROR_MISSING);
    return -1;
}

// The character at text[i] (one or two bytes) is one of the characters of
// set. Members are walked the same way, so a double-byte member matches only
// both of its bytes.
bool InSet(const char* text, std::size_t i, std::size_t size, const char* set)
{
    for (std::size_t j = 0; set[j] != '\0';) {
        const std::size_t memberSize = CharSize(set, j);
        if (memberSize == size && std::memcmp(text + i, set + j, size) == 0)
            return true;
        j += memberSize;
    }
    return false;
}

int FindFirstInOrOut(const char* text, const char* set, int start, bool wantMember)
{
    if (text == nullptr || set == nullptr)
        return Fail();
    SetLastError(0);
    if (text[0] == '\0' || (wantMember && set[0] == '\0'))
        return -1;
    const std::size_t length = std::strlen(text);
    if (start < 0)
        start = 0;
    if (static_cast<std::size_t>(start) >= length)
        return -1;
    for (std::size_t i = AlignToCharacter(text, start); text[i] != '\0';) {
        const std::size_t size = CharSize(text, i);
        if (InSet(text, i, size, set) == wantMember)
            return static_cast<int>(i);
        i += size;
    }
    return -1;
}

template <typename Char>
int FindFirstInOrOutW(const Char* text, const Char* set, int start, bool wantMember)
{
    if (text == nullptr || set == nullptr)
        return Fail();
    SetLastError(0);
    if (text[0] == 0 || (wantMember && set[0] == 0))
        return -1;
    if (start < 0)
        start = 0;
    for (std::size_t i = 0; text[i] != 0; ++i) {
        if (i < static_cast<std::size_t>(start))
            continue;
        bool member = false;
        for (const Char* s = set; *s != 0; ++s) {
            if (*s == text[i]) {
                member = true;
                break;
            }
        }
        if (member == wantMember)
            return static_cast<int>(i);
    }
    return -1;
}

// Reads the run of digits ending at `end` backwards, as the decimal parsers
// describe: commas inside the run are skipped; after a space only spaces and
// one minus sign may follow. Digits, commas, spaces and '-' are all below
// 0x40 and so can never be the second byte of a double-byte character.
template <typename Char>
std::int32_t ReadDecimalBackwards(const Char* text, int end)
{
    std::uint32_t sum = 0;
    std::uint32_t scale = 1;
    bool negative = false;
    bool spaceSeen = false;
    for (int i = end; i >= 0; --i) {
        const Char c = text[i];
        if (!spaceSeen && c >= '0' && c <= '9') {
            sum += static_cast<std::uint32_t>(c - '0') * scale;
            scale *= 10;
        } else if (!spaceSeen && c == ',') {
            continue;
        } else if (c == ' ') {
            spaceSeen = true;
        } else if (c == '-') {
            negative = true;
            break;
        } else {
            break;
        }
    }
    SetLastError(0);
    if (negative)
        sum = 0u - sum;
    return static_cast<std::int32_t>(sum);
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

const char kDigits[] = "0123456789";
const char kDigitsAndCommas[] = ",0123456789";
const char kHexDigits[] = "0123456789ABCDEFabcdef";

}  // namespace

int FindChar(const char* text, char c, int start)
{
    if (text == nullptr)
        return Fail();
    SetLastError(0);
    const std::size_t length = std::strlen(text);
    if (c == '\0')
        return static_cast<int>(length);
    if (start < 0)
        start = 0;
    if (static_cast<std::size_t>(start) >= length)
        return -1;
    for (std::size_t i = AlignToCharacter(text, start); text[i] != '\0'; i += CharSize(text, i)) {
        if (text[i] == c)
            return static_cast<int>(i);
    }
    return -1;
}

int FindLastChar(const char* text, char c, int start)
{
    if (text == nullptr)
        return Fail();
    SetLastError(0);
    const std::size_t length = std::strlen(text);
    if (c == '\0')
        return static_cast<int>(length);
    const std::size_t last =
        (start > 0 && static_cast<std::size_t>(start) < length) ? start : length - 1;
    // Walk forward along the characters so that a second byte is never taken
    // for c, and keep the last hit.
    int found = -1;
    for (std::size_t i = 0; i < length && i <= last; i += CharSize(text, i)) {
        if (text[i] == c)
            found = static_cast<int>(i);
    }
    return found;
}

int FindString(const char* text, const char* pattern, int start)
{
    if (text == nullptr || pattern == nullptr)
        return Fail();
    SetLastError(0);
    const std::size_t length = std::strlen(text);
    const std::size_t patternLength = std::strlen(pattern);
    if (length == 0 || patternLength == 0)
        return -1;
    if (start < 0)
        start = 0;
    // Past the end there is nothing to align to (and no byte to look at).
    if (static_cast<std::size_t>(start) >= length)
        return -1;
    for (std::size_t i = AlignToCharacter(text, start); i + patternLength <= length;
         i += CharSize(text, i)) {
        if (std::memcmp(text + i, pattern, patternLength) == 0)
            return static_cast<int>(i);
    }
    return -1;
}

int FindFirstOf(const char* text, const char* set, int start)
{
    return FindFirstInOrOut(text, set, start, true);
}

int FindFirstNotOf(const char* text, const char* set, int start)
{
    return FindFirstInOrOut(text, set, start, false);
}

std::int32_t ParseDecimal(const char* text)
{
    const int first = FindFirstOf(text, kDigits, 0);
    if (first < 0) {
        SetLastError(TEXT_ERROR_MISSING);
        return 0;
    }
    const int after = FindFirstNotOf(text, kDigitsAndCommas, first);
    const int end = after < 0 ? static_cast<int>(std::strlen(text)) - 1 : after - 1;
    return ReadDecimalBackwards(text, end);
}

std::uint32_t ParseHex(const char* text)
{
    int first = FindFirstOf(text, kHexDigits, 0);
    if (first < 0) {
        SetLastError(TEXT_ERROR_MISSING);
        return 0;
    }
    if (text[first] == '0' && text[first + 1] == 'x') {
        first += 2;
        if (text[first] == '\0') {
            SetLastError(TEXT_ERROR_MISSING);
            return 0;
        }
    }
    int end = first;
    while (HexValue(text[end]) >= 0)
        ++end;
    std::uint32_t sum = 0;
    std::uint32_t scale = 1;
    // Only ASCII hex digits are taken, and those bytes are never the second
    // half of a double-byte character here: the run starts on a character
    // boundary found by FindFirstOf.
    for (int i = end - 1; i >= first; --i) {
        sum += static_cast<std::uint32_t>(HexValue(text[i])) * scale;
        scale *= 16;
    }
    SetLastError(0);
    return sum;
}

int FindFirstOfW(const wchar_t* text, const wchar_t* set, int start)
{
    return FindFirstInOrOutW(text, set, start, true);
}

int FindFirstNotOfW(const wchar_t* text, const wchar_t* set, int start)
{
    return FindFirstInOrOutW(text, set, start, false);
}

std::int32_t ParseDecimalW(const wchar_t* text)
{
    const int first = FindFirstOfW(text, L"0123456789", 0);
    if (first < 0) {
        SetLastError(TEXT_ERROR_MISSING);
        return 0;
    }
    const int after = FindFirstNotOfW(text, L",0123456789", first);
    const int end = after < 0 ? static_cast<int>(std::wcslen(text)) - 1 : after - 1;
    return ReadDecimalBackwards(text, end);
}

std::size_t CharacterSafeLength(const char* text, std::size_t limit)
{
    std::size_t i = 0;
    while (text[i] != '\0') {
        // A lead byte always needs its second byte: one left dangling at the
        // end (by an earlier cut) goes too.
        const std::size_t next = i + (IsDBCSLeadByte(static_cast<BYTE>(text[i])) ? 2 : 1);
        if (next > limit || (next == i + 2 && text[i + 1] == '\0'))
            break;
        i = next;
    }
    return i;
}

bool EndsWithChar(const std::string& text, char c)
{
    if (text.empty())
        return false;
    return FindLastChar(text.c_str(), c, 0) == static_cast<int>(text.size()) - 1;
}
