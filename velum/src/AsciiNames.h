// The ASCII part of the name classes as one table, for the code that asks
// per code unit: markup is mostly ASCII, and VelumString::isNameChar beyond
// it is a search of the interval tables.
#pragma once

#include "velum/VelumString.h"

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

}  // namespace AsciiNames
}  // namespace Velum
