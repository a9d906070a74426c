// Shared by the library's tests: UTF-16 literals as the library's code
// units, and text for messages.
#pragma once

#include "velum/Velum.h"

#include <string>

// u"..." literals as the library's code units.
inline const Velum::Velum_CHAR* U(const char16_t* text)
{
    return reinterpret_cast<const Velum::Velum_CHAR*>(text);
}

// ASCII rendering of a string, for failure messages ("\\uXXXX" beyond).
inline std::string Ascii(const Velum::VelumString& text)
{
    std::string out;
    const Velum::Velum_CHAR* p = text;
    for (; *p != 0; ++p) {
        if (*p >= 0x20 && *p < 0x7F) {
            out += static_cast<char>(*p);
        } else {
            static const char digits[] = "0123456789ABCDEF";
            out += "\\u";
            for (int shift = 12; shift >= 0; shift -= 4)
                out += digits[(*p >> shift) & 0xF];
        }
    }
    return out;
}

inline std::u16string Utf16(const Velum::VelumString& text)
{
    const Velum::Velum_CHAR* p = text;
    return std::u16string(reinterpret_cast<const char16_t*>(p), text.getLength());
}

// text as UTF-16 bytes, high byte first or low byte first.
inline std::string Utf16Bytes(const std::u16string& text, bool bigEndian)
{
    std::string bytes;
    for (char16_t c : text) {
        const char high = static_cast<char>(c >> 8), low = static_cast<char>(c & 0xFF);
        bytes += bigEndian ? high : low;
        bytes += bigEndian ? low : high;
    }
    return bytes;
}
