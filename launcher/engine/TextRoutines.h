// Searches and number parsing over byte strings in the ANSI code page, which
// may be a double-byte one (Shift-JIS): the second byte of a double-byte
// character can look like '\\', '%' or '.', and these routines never take it
// for a character of its own.
//
// All take NUL-terminated text and byte indices. A search returns an index
// into the text, or -1 when nothing is found. Every routine sets the thread's
// last-error value: TEXT_ERROR_MISSING when an argument is null (and, for the
// parsers, when there is no digit at all), otherwise 0.
#pragma once

#include "Platform.h"

#include <cstddef>
#include <cstdint>
#include <string>

// The application-defined error bit: "no text" or "nothing to parse".
constexpr DWORD TEXT_ERROR_MISSING = 0x20000000;

// Forward searches start at `start`, moved one byte on when that byte is the
// second half of a double-byte character.

// Position of the first c at or after start; the length of text when c is 0;
// -1 when not found or when start lies at or past the end.
int FindChar(const char* text, char c, int start);

// Position of the last c at or before start (the whole text when start is 0,
// negative or past the end); -1 when not found.
int FindLastChar(const char* text, char c, int start);

// Position of the first occurrence of pattern at or after start; -1 when text
// or pattern is empty or pattern does not occur.
int FindString(const char* text, const char* pattern, int start);

// Position of the first character at or after start that is (is not) one of
// the characters of set. A double-byte member matches only both its bytes.
// -1 when there is none, or when text (for FindFirstOf also set) is empty.
int FindFirstOf(const char* text, const char* set, int start);
int FindFirstNotOf(const char* text, const char* set, int start);

// The first run of decimal digits in text, commas inside it ignored, negative
// when a minus sign stands before it (spaces between allowed): "- 1,234" is
// -1234, "x 5" is 5, "12 34" is 12. 0 with TEXT_ERROR_MISSING when text has
// no digit. Wraps at 32 bits.
std::int32_t ParseDecimal(const char* text);

// The first run of hexadecimal digits, after a leading "0x" (lower-case x
// only): "1F" and "0x1F" are 31, "0X1F" is 0. 0 with TEXT_ERROR_MISSING when
// there is no digit, or nothing after "0x".
std::uint32_t ParseHex(const char* text);

// The same on UTF-16 text, where one code unit is one character.
int FindFirstOfW(const wchar_t* text, const wchar_t* set, int start);
int FindFirstNotOfW(const wchar_t* text, const wchar_t* set, int start);
std::int32_t ParseDecimalW(const wchar_t* text);

// Helpers for the rest of the engine.

// True when the byte at index starts a double-byte character.
inline bool IsLeadByteAt(const char* text, std::size_t index)
{
    return IsDBCSLeadByte(static_cast<BYTE>(text[index])) && text[index + 1] != '\0';
}

// The largest length not above limit at which text can be cut without
// splitting a double-byte character.
std::size_t CharacterSafeLength(const char* text, std::size_t limit);

// True when the last character of text is c (a trailing byte of a
// double-byte character never counts).
bool EndsWithChar(const std::string& text, char c);

// 'a' to 'z' folded to capitals, every other byte as it is.
inline char FoldAscii(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - ('a' - 'A')) : c;
}
