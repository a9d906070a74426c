#include "WideToAnsi.h"

#include <cstdint>
#include <new>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Copies the plain ASCII units of wide from start on to out, one byte
// each, up to the first other unit or units; returns where that is. Most
// of a command line is ASCII (paths, switches, macros), so runs of eight
// go at once where the processor can.
std::size_t CopyAscii(const wchar_t* wide, std::size_t start, std::size_t units, char* out)
{
    std::size_t i = start;
#if defined(__SSE2__)
    const __m128i high = _mm_set1_epi16(static_cast<short>(0xFF80));
    const __m128i zero = _mm_setzero_si128();
    for (; i + 8 <= units; i += 8) {
        const __m128i eight = _mm_loadu_si128(reinterpret_cast<const __m128i*>(wide + i));
        if (_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_and_si128(eight, high), zero)) != 0xFFFF)
            break;
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + (i - start)), _mm_packus_epi16(eight, eight));
    }
#endif
    for (; i < units && wide[i] < 0x80; ++i)
        out[i - start] = static_cast<char>(wide[i]);
    return i;
}

bool IsSurrogate(wchar_t unit)
{
    return unit >= 0xD800 && unit <= 0xDFFF;
}

// The bytes of every code unit but the surrogates in one code page: the
// byte itself up to 0xFF, else a lead byte in the high half and its trail
// byte in the low one. Made from one conversion of all those units once
// enough texts that are not plain ASCII came to pay for it (a settings file
// of a few commands never needs it); kept for the life of the program (a
// process has one ANSI code page, so one table is made in practice;
// another code page starts over).
class UnitTable {
public:
    // True when the next text of codePage goes through the table. It does
    // not when too few texts came yet, when codePage is not a single- or
    // double-byte code page, when the system's output could not be told
    // apart unit by unit, or when there was no memory for the table: the
    // text then goes to the system call, and a table that could not be made
    // is not tried again for that code page.
    bool Ready(UINT codePage)
    {
        if (codePage != m_codePage || !m_counted) {
            m_codePage = codePage;
            m_counted = true;
            m_texts = 0;
            m_bytes.clear();
        }
        if (m_texts <= kTextsBeforeTable && ++m_texts > kTextsBeforeTable) {
            try {
                if (!Build(codePage))
                    m_bytes.clear();
            } catch (const std::bad_alloc&) {
                m_bytes.clear();
            }
        }
        return !m_bytes.empty();
    }

    // Converts wide from unit start on, the units before it being plain
    // ASCII already copied to ansi's first start bytes (ansi holds at least
    // two bytes a unit). False, with ansi in any state, at the first
    // surrogate: the system call then converts the whole text, pairs and
    // all.
    bool Convert(const wchar_t* wide, std::size_t start, std::size_t units, std::string& ansi) const
    {
        char* out = &ansi[start];
        for (std::size_t i = start; i < units; ++i) {
            if (wide[i] < 0x80) {
                const std::size_t end = CopyAscii(wide, i, units, out);
                out += end - i;
                i = end;
                if (i == units)
                    break;
            }
            const std::uint16_t value = m_bytes[wide[i]];
            if (value == kSurrogate)
                return false;
            // Both bytes are stored; a one-byte unit's second byte is
            // written over by the next unit or cut off at the end.
            const bool two = value > 0xFF;
            out[0] = static_cast<char>(two ? value >> 8 : value);
            out[1] = static_cast<char>(value & 0xFF);
            out += two ? 2 : 1;
        }
        ansi.resize(static_cast<std::size_t>(out - ansi.data()));
        return true;
    }

private:
    bool Build(UINT codePage)
    {
        CPINFO info = {};
        if (!GetCPInfo(codePage, &info) || info.MaxCharSize < 1 || info.MaxCharSize > 2)
            return false;
        bool lead[256] = {};
        for (int i = 0; i + 1 < MAX_LEADBYTES && info.LeadByte[i] != 0; i += 2) {
            for (unsigned b = info.LeadByte[i]; b <= info.LeadByte[i + 1]; ++b)
                lead[b] = true;
        }
        // The surrogates' mark would be taken for a lead byte 0xFF.
        if (lead[0xFF])
            return false;
        std::vector<wchar_t> units;
        units.reserve(0x10000);
        for (unsigned u = 0; u < 0x10000; ++u) {
            if (!IsSurrogate(static_cast<wchar_t>(u)))
                units.push_back(static_cast<wchar_t>(u));
        }
        std::string bytes(units.size() * 2, '\0');
        const int length = WideCharToMultiByte(codePage, 0, units.data(), static_cast<int>(units.size()),
                                               &bytes[0], static_cast<int>(bytes.size()), nullptr, nullptr);
        if (length <= 0)
            return false;
        const std::size_t end = static_cast<std::size_t>(length);
        m_bytes.assign(0x10000, kSurrogate);
        std::size_t at = 0;
        for (const wchar_t unit : units) {
            if (at >= end)
                return false;
            const unsigned char first = static_cast<unsigned char>(bytes[at++]);
            std::uint16_t value = first;
            if (lead[first]) {
                if (at >= end)
                    return false;
                value = static_cast<std::uint16_t>(first << 8 | static_cast<unsigned char>(bytes[at++]));
            }
            m_bytes[unit] = value;
        }
        // Every byte must belong to one unit, or the split above went wrong
        // somewhere and the table cannot be trusted.
        return at == end;
    }

    // The mark of the surrogates, which no unit of a usable table maps to.
    static constexpr std::uint16_t kSurrogate = 0xFFFF;
    // The system calls that cost about as much as making the table.
    static constexpr unsigned kTextsBeforeTable = 64;

    bool m_counted = false;  // m_codePage and m_texts are set
    UINT m_codePage = 0;
    unsigned m_texts = 0;    // texts of m_codePage so far, up to one past the above
    std::vector<std::uint16_t> m_bytes;  // empty: not usable
};

// The system call, whole however long; "" when it converts nothing.
void SystemConvert(UINT codePage, const wchar_t* wide, std::size_t units, std::string& ansi)
{
    // Two bytes a unit hold any double-byte code page in one call; UTF-8
    // and the like may need more, and then the length is asked for first.
    ansi.resize(units * 2);
    int length = WideCharToMultiByte(codePage, 0, wide, static_cast<int>(units), &ansi[0],
                                     static_cast<int>(ansi.size()), nullptr, nullptr);
    if (length <= 0 && GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
        length = WideCharToMultiByte(codePage, 0, wide, static_cast<int>(units), nullptr, 0, nullptr, nullptr);
        ansi.resize(static_cast<std::size_t>(length > 0 ? length : 0));
        length = WideCharToMultiByte(codePage, 0, wide, static_cast<int>(units), &ansi[0], length, nullptr,
                                     nullptr);
    }
    ansi.resize(static_cast<std::size_t>(length > 0 ? length : 0));
}

}  // namespace

void WideToAnsi(UINT codePage, const wchar_t* wide, std::size_t units, std::string& ansi)
{
    // Plain ASCII is the same bytes in every ANSI and OEM code page and
    // needs no table; it is copied as far as it goes.
    ansi.resize(units * 2);
    const std::size_t ascii = CopyAscii(wide, 0, units, &ansi[0]);
    if (ascii == units) {
        ansi.resize(units);
        return;
    }
    // The launcher's one thread is the only caller.
    static UnitTable table;
    if (table.Ready(codePage) && table.Convert(wide, ascii, units, ansi))
        return;
    SystemConvert(codePage, wide, units, ansi);
}

std::size_t UnitsBeforeNull(const wchar_t* wide, std::size_t units)
{
    // Every text read is scanned: eight units at a time where the processor
    // can.
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    for (; i + 8 <= units; i += 8) {
        const __m128i eight = _mm_loadu_si128(reinterpret_cast<const __m128i*>(wide + i));
        if (_mm_movemask_epi8(_mm_cmpeq_epi16(eight, zero)) != 0)
            break;
    }
#endif
    while (i < units && wide[i] != 0)
        ++i;
    return i;
}
