// Calls the double-byte text routines on arbitrary bytes (lone lead bytes at
// the end, second bytes that look like digits, separators or lead bytes,
// starts before the text and past its end) and compares each result and
// each last-error value with a plain reference. The reference never looks
// at a byte on its own: it walks the text from its first byte, a lead byte
// and the byte after it (when there is one) making one character, and asks
// only which characters begin where. Every text lives in a heap block of
// exactly its size, so that a read past its terminator trips the sanitizer.
#include "TextRoutines.h"

#include "HexBytes.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

[[noreturn]] void Finding(const char* routine, const std::string& text, const std::string& other, long long start,
                          long long got, long long expected)
{
    fprintf(stderr, "FINDING: %s on text [%s] with [%s], start %lld: got %lld, the reference %lld\n", routine,
            HexBytes(text).c_str(), HexBytes(other).c_str(), start, got, expected);
    abort();
}

// ---------------------------------------------------------------------------
// The reference
// ---------------------------------------------------------------------------

bool Lead(char byte)
{
    const unsigned char b = static_cast<unsigned char>(byte);
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

// Where the characters of text begin, walking from its first byte.
std::vector<size_t> Starts(const std::string& text)
{
    std::vector<size_t> starts;
    for (size_t i = 0; i < text.size(); i += (Lead(text[i]) && i + 1 < text.size()) ? 2 : 1)
        starts.push_back(i);
    return starts;
}

// The characters of text, each one or two bytes.
std::vector<std::string> Characters(const std::string& text)
{
    std::vector<std::string> characters;
    const std::vector<size_t> starts = Starts(text);
    for (size_t k = 0; k < starts.size(); ++k) {
        const size_t end = k + 1 < starts.size() ? starts[k + 1] : text.size();
        characters.push_back(text.substr(starts[k], end - starts[k]));
    }
    return characters;
}

size_t SizeAt(const std::string& text, size_t start)
{
    return (Lead(text[start]) && start + 1 < text.size()) ? 2 : 1;
}

bool Member(const std::string& character, const std::string& set)
{
    for (const std::string& member : Characters(set)) {
        if (member == character)
            return true;
    }
    return false;
}

int RefFindChar(const std::string& text, char c, int start)
{
    if (c == '\0')
        return static_cast<int>(text.size());
    const size_t from = start < 0 ? 0 : static_cast<size_t>(start);
    if (from >= text.size())
        return -1;
    for (size_t at : Starts(text)) {
        if (at >= from && text[at] == c)
            return static_cast<int>(at);
    }
    return -1;
}

int RefFindLastChar(const std::string& text, char c, int start)
{
    if (c == '\0')
        return static_cast<int>(text.size());
    if (text.empty())
        return -1;
    const size_t last = (start > 0 && static_cast<size_t>(start) < text.size()) ? start : text.size() - 1;
    int found = -1;
    for (size_t at : Starts(text)) {
        if (at <= last && text[at] == c)
            found = static_cast<int>(at);
    }
    return found;
}

int RefFindString(const std::string& text, const std::string& pattern, int start)
{
    if (text.empty() || pattern.empty())
        return -1;
    const size_t from = start < 0 ? 0 : static_cast<size_t>(start);
    if (from >= text.size())
        return -1;
    for (size_t at : Starts(text)) {
        if (at >= from && text.compare(at, pattern.size(), pattern) == 0 && at + pattern.size() <= text.size())
            return static_cast<int>(at);
    }
    return -1;
}

int RefFindFirst(const std::string& text, const std::string& set, int start, bool member)
{
    if (text.empty() || (member && set.empty()))
        return -1;
    const size_t from = start < 0 ? 0 : static_cast<size_t>(start);
    for (size_t at : Starts(text)) {
        if (at >= from && Member(text.substr(at, SizeAt(text, at)), set) == member)
            return static_cast<int>(at);
    }
    return -1;
}

// The decimal reader, over any text of one-unit characters (bytes, or UTF-16
// code units): the run of digits and commas from the first digit, read
// backwards; commas skipped; after a space only spaces and one "-" may
// come; anything else, or a position inside a character, ends the reading.
template <typename Text>
std::int32_t RefReadDecimal(const Text& text, const std::vector<bool>& starts, bool& found)
{
    const auto digit = [](long c) { return c >= '0' && c <= '9'; };
    size_t first = 0;
    while (first < text.size() && !(starts[first] && digit(text[first])))
        ++first;
    found = first < text.size();
    if (!found)
        return 0;
    size_t end = first;
    while (end + 1 < text.size() && (digit(text[end + 1]) || text[end + 1] == ','))
        ++end;
    std::uint32_t sum = 0, scale = 1;
    bool negative = false, space = false;
    for (size_t i = end + 1; i-- > 0;) {
        const long c = text[i];
        if (!starts[i])
            break;
        if (!space && digit(c)) {
            sum += static_cast<std::uint32_t>(c - '0') * scale;
            scale *= 10;
        } else if (!space && c == ',') {
        } else if (c == ' ') {
            space = true;
        } else {
            negative = c == '-';
            break;
        }
    }
    return static_cast<std::int32_t>(negative ? 0u - sum : sum);
}

std::vector<bool> StartFlags(const std::string& text)
{
    std::vector<bool> flags(text.size(), false);
    for (size_t at : Starts(text))
        flags[at] = true;
    return flags;
}

int HexDigit(char c)
{
    const char* digits = "0123456789abcdef";
    const char lower = (c >= 'A' && c <= 'F') ? static_cast<char>(c + 32) : c;
    const char* at = c != '\0' ? std::strchr(digits, lower) : nullptr;
    return at != nullptr ? static_cast<int>(at - digits) : -1;
}

std::uint32_t RefParseHex(const std::string& text, bool& found)
{
    size_t first = text.size();
    for (size_t at : Starts(text)) {
        if (HexDigit(text[at]) >= 0) {
            first = at;
            break;
        }
    }
    found = first < text.size();
    if (!found)
        return 0;
    if (text[first] == '0' && first + 1 < text.size() && text[first + 1] == 'x') {
        first += 2;
        if (first >= text.size()) {
            found = false;
            return 0;
        }
    }
    std::uint32_t value = 0;
    for (size_t i = first; i < text.size() && HexDigit(text[i]) >= 0; ++i)
        value = value * 16 + static_cast<std::uint32_t>(HexDigit(text[i]));
    return value;
}

size_t RefCharacterSafeLength(const std::string& text, size_t limit)
{
    size_t length = 0;
    for (const std::string& character : Characters(text)) {
        // A lead byte with nothing after it is half a character.
        if (length + character.size() > limit || (character.size() == 1 && Lead(character[0])))
            break;
        length += character.size();
    }
    return length;
}

// ---------------------------------------------------------------------------
// The calls
// ---------------------------------------------------------------------------

// A copy of text in a block of exactly its size, terminator included.
std::unique_ptr<char[]> Exact(const std::string& text)
{
    std::unique_ptr<char[]> copy(new char[text.size() + 1]);
    std::memcpy(copy.get(), text.c_str(), text.size() + 1);
    return copy;
}

std::unique_ptr<wchar_t[]> Exact(const std::wstring& text)
{
    std::unique_ptr<wchar_t[]> copy(new wchar_t[text.size() + 1]);
    std::memcpy(copy.get(), text.c_str(), (text.size() + 1) * sizeof(wchar_t));
    return copy;
}

// Separators, digits, signs, hex letters, lead bytes of both ranges and
// second bytes that look like ASCII or like lead bytes.
const unsigned char kBytes[] = {'0', '1', '5', '9', ',', '-', ' ', 'x', 'X', '%', '\\', '.', 'a', 'A', 'f', 'F', 'g', 'z',
                                0x81, 0x83, 0x95, 0x9F, 0xE0, 0xFC, 0x40, 0x5C, 0x7E, 0x80, 0x8B, 0xA0, 0xFD, 0x7F};
const wchar_t kUnits[] = {L'0', L'1', L'9', L',', L'-', L' ', L'x', L'a', 0x3000, 0xFF10, 0x0660, 0xFFFF, 0x8000};

class Player {
public:
    explicit Player(FuzzedDataProvider& input) : m_in(input) {}

    void Run()
    {
        while (m_in.remaining_bytes() != 0)
            Step();
    }

private:
    char Byte()
    {
        const std::uint8_t pick = m_in.ConsumeIntegral<std::uint8_t>();
        if (pick < 0xC0)
            return static_cast<char>(kBytes[pick % sizeof kBytes]);
        const char raw = static_cast<char>(m_in.ConsumeIntegral<std::uint8_t>());
        return raw != '\0' ? raw : 'q';
    }

    std::string Bytes(size_t longest)
    {
        std::string text(m_in.ConsumeIntegralInRange<size_t>(0, longest), '\0');
        for (char& c : text)
            c = Byte();
        return text;
    }

    std::wstring Wide(size_t longest)
    {
        std::wstring text(m_in.ConsumeIntegralInRange<size_t>(0, longest), L'\0');
        for (wchar_t& c : text) {
            const std::uint8_t pick = m_in.ConsumeIntegral<std::uint8_t>();
            c = pick < 0xC0 ? kUnits[pick % (sizeof kUnits / sizeof kUnits[0])]
                            : static_cast<wchar_t>(m_in.ConsumeIntegralInRange<unsigned>(1, 0xFFFF));
        }
        return text;
    }

    int Start(size_t length)
    {
        const int n = static_cast<int>(length);
        switch (m_in.ConsumeIntegralInRange<int>(0, 7)) {
        case 0: return m_in.ConsumeIntegralInRange<int>(-3, -1);
        case 1: return INT_MIN;
        case 2: return INT_MAX;
        case 3: return n;
        case 4: return n + m_in.ConsumeIntegralInRange<int>(1, 64);
        default: return m_in.ConsumeIntegralInRange<int>(0, n);
        }
    }

    // A null argument now and then: -1 (or 0) with the error bit.
    bool None() { return m_in.ConsumeIntegralInRange<int>(0, 15) == 0; }

    static void CheckError(const char* routine, const std::string& text, const std::string& other, long long start,
                           DWORD expected)
    {
        const DWORD got = GetLastError();
        if (got != expected)
            Finding((std::string(routine) + " (last error)").c_str(), text, other, start, got, expected);
    }

    static void Compare(const char* routine, const std::string& text, const std::string& other, long long start,
                        long long got, long long expected)
    {
        if (got != expected)
            Finding(routine, text, other, start, got, expected);
    }

    void Step()
    {
        const int op = m_in.ConsumeIntegralInRange<int>(0, 10);
        const std::string text = Bytes(24);
        const auto exact = Exact(text);
        const bool none = None();
        const char* argument = none ? nullptr : exact.get();
        const DWORD ok = none ? TEXT_ERROR_MISSING : 0;
        SetLastError(0x1234);
        switch (op) {
        case 0:
        case 1: {
            char c = m_in.ConsumeIntegralInRange<int>(0, 7) == 0 ? '\0' : Byte();
            if (!text.empty() && m_in.ConsumeBool())
                c = text[m_in.ConsumeIntegralInRange<size_t>(0, text.size() - 1)];
            const int start = Start(text.size());
            const std::string shown(1, c);
            if (op == 0) {
                const int got = FindChar(argument, c, start);
                CheckError("FindChar", text, shown, start, ok);
                Compare("FindChar", text, shown, start, got, none ? -1 : RefFindChar(text, c, start));
            } else {
                const int got = FindLastChar(argument, c, start);
                CheckError("FindLastChar", text, shown, start, ok);
                Compare("FindLastChar", text, shown, start, got, none ? -1 : RefFindLastChar(text, c, start));
            }
            break;
        }
        case 2: {
            // Often a piece of the text itself, so that it is there to find.
            std::string pattern = Bytes(4);
            if (!text.empty() && m_in.ConsumeBool()) {
                const size_t from = m_in.ConsumeIntegralInRange<size_t>(0, text.size() - 1);
                pattern = text.substr(from, m_in.ConsumeIntegralInRange<size_t>(0, text.size() - from));
            }
            const auto exactPattern = Exact(pattern);
            const bool noPattern = None();
            const int start = Start(text.size());
            const int got = FindString(argument, noPattern ? nullptr : exactPattern.get(), start);
            const bool missing = none || noPattern;
            CheckError("FindString", text, pattern, start, missing ? TEXT_ERROR_MISSING : 0);
            Compare("FindString", text, pattern, start, got, missing ? -1 : RefFindString(text, pattern, start));
            break;
        }
        case 3:
        case 4: {
            const std::string set = Bytes(6);
            const auto exactSet = Exact(set);
            const bool noSet = None();
            const int start = Start(text.size());
            const bool member = op == 3;
            const char* routine = member ? "FindFirstOf" : "FindFirstNotOf";
            const char* setArgument = noSet ? nullptr : exactSet.get();
            const int got = member ? FindFirstOf(argument, setArgument, start)
                                   : FindFirstNotOf(argument, setArgument, start);
            const bool missing = none || noSet;
            CheckError(routine, text, set, start, missing ? TEXT_ERROR_MISSING : 0);
            Compare(routine, text, set, start, got, missing ? -1 : RefFindFirst(text, set, start, member));
            break;
        }
        case 5: {
            const std::int32_t got = ParseDecimal(argument);
            bool found = false;
            const std::int32_t expected = none ? 0 : RefReadDecimal(text, StartFlags(text), found);
            CheckError("ParseDecimal", text, "", 0, found ? 0 : TEXT_ERROR_MISSING);
            // Left alone: the reading backwards takes a digit that is the
            // second byte of a double-byte character ("\x83" "12" reads as
            // 12). Shift-JIS has no such characters (second bytes are 0x40
            // and up), so the result is compared on such text only.
            bool shiftJis = true;
            for (size_t at : Starts(text))
                shiftJis = shiftJis && !(SizeAt(text, at) == 2 && static_cast<unsigned char>(text[at + 1]) < 0x40);
            if (shiftJis)
                Compare("ParseDecimal", text, "", 0, got, expected);
            break;
        }
        case 6: {
            const std::uint32_t got = ParseHex(argument);
            bool found = false;
            const std::uint32_t expected = none ? 0 : RefParseHex(text, found);
            CheckError("ParseHex", text, "", 0, found ? 0 : TEXT_ERROR_MISSING);
            Compare("ParseHex", text, "", 0, got, expected);
            break;
        }
        case 7:
            Wides();
            break;
        case 8: {
            size_t limit;
            switch (m_in.ConsumeIntegralInRange<int>(0, 2)) {
            case 0: limit = SIZE_MAX; break;
            case 1: limit = text.size() + m_in.ConsumeIntegralInRange<size_t>(0, 3); break;
            default: limit = m_in.ConsumeIntegralInRange<size_t>(0, text.size()); break;
            }
            Compare("CharacterSafeLength", text, "", static_cast<long long>(limit),
                    static_cast<long long>(CharacterSafeLength(exact.get(), limit)),
                    static_cast<long long>(RefCharacterSafeLength(text, limit)));
            break;
        }
        case 9: {
            // At the start of each character and at the terminator.
            std::vector<size_t> starts = Starts(text);
            starts.push_back(text.size());
            for (size_t at : starts) {
                const bool expected = at + 1 < text.size() && Lead(text[at]);
                Compare("IsLeadByteAt", text, "", static_cast<long long>(at), IsLeadByteAt(exact.get(), at), expected);
            }
            const char c = (!text.empty() && m_in.ConsumeBool()) ? text.back() : Byte();
            const std::vector<std::string> characters = Characters(text);
            const bool ends = !characters.empty() && characters.back() == std::string(1, c);
            Compare("EndsWithChar", text, std::string(1, c), 0, EndsWithChar(text, c), ends);
            break;
        }
        default:
            for (char c : text) {
                const char folded = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
                Compare("FoldAscii", text, std::string(1, c), 0, FoldAscii(c), folded);
            }
            break;
        }
    }

    // The UTF-16 forms: one code unit is one character, and no start moves.
    void Wides()
    {
        const std::wstring text = Wide(16);
        const auto exact = Exact(text);
        const bool none = None();
        const wchar_t* argument = none ? nullptr : exact.get();
        std::string shown;  // for a finding: the low bytes only
        for (wchar_t c : text)
            shown += static_cast<char>(c);
        SetLastError(0x1234);
        if (m_in.ConsumeBool()) {
            const std::int32_t got = ParseDecimalW(argument);
            bool found = false;
            const std::int32_t expected = none ? 0 : RefReadDecimal(text, std::vector<bool>(text.size(), true), found);
            CheckError("ParseDecimalW", shown, "", 0, found ? 0 : TEXT_ERROR_MISSING);
            Compare("ParseDecimalW", shown, "", 0, got, expected);
            return;
        }
        const std::wstring set = Wide(4);
        const auto exactSet = Exact(set);
        const bool noSet = None();
        const int start = Start(text.size());
        const bool member = m_in.ConsumeBool();
        const wchar_t* setArgument = noSet ? nullptr : exactSet.get();
        const int got =
            member ? FindFirstOfW(argument, setArgument, start) : FindFirstNotOfW(argument, setArgument, start);
        int expected = -1;
        if (!none && !noSet && !text.empty() && !(member && set.empty())) {
            for (size_t i = start < 0 ? 0 : static_cast<size_t>(start); i < text.size(); ++i) {
                if ((set.find(text[i]) != std::wstring::npos) == member) {
                    expected = static_cast<int>(i);
                    break;
                }
            }
        }
        const char* routine = member ? "FindFirstOfW" : "FindFirstNotOfW";
        CheckError(routine, shown, "", start, (none || noSet) ? TEXT_ERROR_MISSING : 0);
        Compare(routine, shown, "", start, got, expected);
    }

    FuzzedDataProvider& m_in;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider input(data, size);
    Player(input).Run();
    return 0;
}
