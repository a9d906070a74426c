// The bytes of a text as hexadecimal pairs, for the findings of the
// launcher's fuzz targets: their texts are double-byte and often binary.
#pragma once

#include <cstdio>
#include <string>

inline std::string HexBytes(const std::string& bytes)
{
    std::string text;
    char unit[4];
    for (unsigned char byte : bytes) {
        snprintf(unit, sizeof unit, "%02X ", byte);
        text += unit;
    }
    return text;
}
