// The ASCII part of the name classes as one table, for the code that asks
// per code unit: markup is mostly ASCII, and VelumString::isNameChar beyond
// it is a search of the interval tables.
#pragma once

#include "velum/VelumString.h"

#if defined(__SSE2__)
#  include <emmintrin.h>
#endif

namespace Velum {
namespace AsciiNames {

enum Class : unsigned char { START = 1, CHAR = 2 };

struct Table {
    unsigned char classes[128];
};

constexpr Table Build()
{
    Table table{};
    for (unsigned c = 0; c < 128; ++c) {
        const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
        const bool start = letter || c == '_' || c == ':';
        const bool name = start || (c >= '0' && c <= '9') || c == '.' || c == '-';
        table.classes[c] = static_cast<unsigned char>((start ? START : 0) | (name ? CHAR : 0));
    }
    return table;
}

inline constexpr Table kTable = Build();

// Both for c below 0x80 only.
inline bool isStart(Velum_CHAR c)
{
    return (kTable.classes[c] & START) != 0;
}

inline bool isChar(Velum_CHAR c)
{
    return (kTable.classes[c] & CHAR) != 0;
}

// The first of [p, end) that is not an ASCII name character (letters,
// digits, ".", "-", "_", ":"); end when there is none. Other characters
// stop it too: the caller looks at them one by one.
inline const Velum_CHAR* skipChars(const Velum_CHAR* p, const Velum_CHAR* end)
{
#if defined(__SSE2__)
    // Signed compares: every code unit from 0x8000 up is negative and fails
    // the lower bounds, every other one past "z" fails the upper ones.
    const __m128i belowDash = _mm_set1_epi16('-' - 1);
    const __m128i pastColon = _mm_set1_epi16(':' + 1);
    const __m128i slash = _mm_set1_epi16('/');
    const __m128i lowerCase = _mm_set1_epi16(0x20);
    const __m128i belowA = _mm_set1_epi16('a' - 1);
    const __m128i pastZ = _mm_set1_epi16('z' + 1);
    const __m128i underscore = _mm_set1_epi16('_');
    for (; end - p >= 8; p += 8) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        // "-" to ":" holds ".", the digits and "/", which is no name character.
        const __m128i punctuation =
            _mm_andnot_si128(_mm_cmpeq_epi16(v, slash),
                             _mm_and_si128(_mm_cmpgt_epi16(v, belowDash), _mm_cmpgt_epi16(pastColon, v)));
        // A capital with 0x20 set is its small letter; "@" and "[" to "_"
        // become "`" and "{" to 0x7F, outside a to z.
        const __m128i folded = _mm_or_si128(v, lowerCase);
        const __m128i letter = _mm_and_si128(_mm_cmpgt_epi16(folded, belowA), _mm_cmpgt_epi16(pastZ, folded));
        const __m128i name = _mm_or_si128(_mm_or_si128(punctuation, letter), _mm_cmpeq_epi16(v, underscore));
        const int mask = _mm_movemask_epi8(name) ^ 0xFFFF;
        if (mask != 0)
            return p + (__builtin_ctz(static_cast<unsigned>(mask)) >> 1);
    }
#endif
    while (p < end && *p < 0x80 && isChar(*p))
        ++p;
    return p;
}

}  // namespace AsciiNames
}  // namespace Velum
