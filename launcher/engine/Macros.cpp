#include "Macros.h"

#include "TextRoutines.h"

#include <algorithm>

namespace {

using GetDirectory = UINT(WINAPI*)(char*, UINT);

// The directory as Windows reports it, however long.
std::string ReadDirectory(GetDirectory get)
{
    std::string buffer(MAX_PATH, '\0');
    for (;;) {
        const UINT length = get(&buffer[0], static_cast<UINT>(buffer.size()));
        if (length == 0)
            return std::string();
        if (length < buffer.size()) {
            buffer.resize(length);
            return buffer;
        }
        buffer.resize(length + 1);  // too small: length is the size it needs
    }
}

// "%S" and "%W" drop one trailing backslash, "%s" and "%w" keep the text.
std::string DirectoryMacro(GetDirectory get, bool dropTrailingBackslash)
{
    std::string directory = ReadDirectory(get);
    if (dropTrailingBackslash && EndsWithChar(directory, '\\'))
        directory.pop_back();
    return directory;
}

// The next '%' at or after `from`, which must be a character boundary;
// double-byte characters are stepped over whole, so their second bytes are
// never taken for '%'. -1 when there is none. (FindChar would do, but it
// measures the whole text on every call, which long lines full of macros
// pay for quadratically.)
int NextPercent(const std::string& text, int from)
{
    const char* p = text.c_str();
    for (std::size_t i = static_cast<std::size_t>(from); i < text.size() && p[i] != '\0';
         i += IsLeadByteAt(p, i) ? 2 : 1) {
        if (p[i] == '%')
            return static_cast<int>(i);
    }
    return -1;
}

struct MacroKind {
    DWORD expand;
    DWORD drop;
};

// Where a quoted token that starts at p ends: at its closing quote, or at the
// end of the text. A backslash escapes the whole character after it, so in
// "C:\メモ" neither the second byte of メ nor anything after it is taken
// for a lead byte that could swallow the closing quote; and a double-byte
// character is stepped over whole, so the second byte of "ソ" (0x5C) is no
// backslash.
const char* QuotedEnd(const char* p)
{
    while (*p != '\0' && *p != '"') {
        if (*p == '\\') {
            ++p;
            if (*p == '\0')
                break;  // a backslash at the very end stays in the token
        }
        p += IsLeadByteAt(p, 0) ? 2 : 1;
    }
    return p;
}

// Ten empty arguments, for callers that have none.
const std::string kNoArguments[MACRO_ARGUMENT_COUNT];

}  // namespace

std::string NextToken(const char* text, const char** rest)
{
    std::string token;
    if (text == nullptr) {
        if (rest != nullptr)
            *rest = nullptr;
        return token;
    }
    const char* p = text;
    if (*p == '"') {
        const char* begin = ++p;
        p = QuotedEnd(begin);
        token.assign(begin, p);
        if (*p == '"')
            ++p;
    } else {
        const char* begin = p;
        while (*p != '\0' && *p != ' ' && *p != '\t')
            ++p;
        token.assign(begin, p);
    }
    while (*p == ' ' || *p == '\t')
        ++p;
    if (rest != nullptr)
        *rest = (*p == '\0') ? nullptr : p;
    return token;
}

bool NamesExeProgram(const char* line)
{
    std::string program;
    if (line[0] == '"') {
        program.assign(line, QuotedEnd(line + 1));  // up to the closing quote, or all of it
    } else {
        const int space = FindChar(line, ' ', 0);  // a tab does not end it
        program = space < 0 ? std::string(line) : std::string(line, static_cast<std::size_t>(space));
    }
    const int dot = FindLastChar(program.c_str(), '.', 0);
    const std::string extension = dot < 0 ? program : program.substr(dot + 1);
    if (extension.size() != 3)
        return false;
    return FoldAscii(extension[0]) == 'E' && FoldAscii(extension[1]) == 'X' &&
           FoldAscii(extension[2]) == 'E';
}

bool ExpandCommandMacros(std::string& text, DWORD flags, const std::string* arguments, bool* used)
{
    if (arguments == nullptr)
        arguments = kNoArguments;
    int pos = NextPercent(text, 0);
    while (pos >= 0) {
        const std::size_t at = static_cast<std::size_t>(pos);
        const char c = text.c_str()[at + 1];

        // Replaces the two bytes of the macro by value; returns where the
        // search goes on (just past the value when skipValue).
        auto replace = [&](const std::string& value, bool skipValue) {
            text.replace(at, 2, value);
            return skipValue ? pos + static_cast<int>(value.size()) : pos;
        };
        // The simple macros: expand, remove, or leave in place.
        auto simple = [&](MacroKind kind, const std::string& value, bool skipValue) {
            if (flags & kind.expand)
                return replace(value, skipValue);
            if (flags & kind.drop) {
                text.erase(at, 2);
                return pos;
            }
            return pos + 2;
        };

        if (c == '%') {
            pos = simple({EXPAND_PERCENT, DROP_PERCENT}, "%", true);
        } else if (c == '_') {
            pos = simple({EXPAND_SPACE, DROP_SPACE}, " ", true);
        } else if (c >= '0' && c <= '9') {
            const int n = c - '0';
            if ((flags & EXPAND_ARGS) && used != nullptr)
                used[n] = true;
            pos = simple({EXPAND_ARGS, DROP_ARGS}, arguments[n], true);
        } else if (c == 'S' || c == 's') {
            const MacroKind kind{EXPAND_SYSTEM_DIR, DROP_SYSTEM_DIR};
            pos = simple(kind, (flags & kind.expand) ? DirectoryMacro(GetSystemDirectoryA, c == 'S')
                                                     : std::string(),
                         true);
        } else if (c == 'W' || c == 'w') {
            const MacroKind kind{EXPAND_WINDOWS_DIR, DROP_WINDOWS_DIR};
            pos = simple(kind, (flags & kind.expand) ? DirectoryMacro(GetWindowsDirectoryA, c == 'W')
                                                     : std::string(),
                         true);
        } else if (c == 'A' || c == 'D') {
            const bool ifArgs = (c == 'A');
            const MacroKind kind = ifArgs ? MacroKind{EXPAND_IF_ARGS, DROP_IF_ARGS}
                                          : MacroKind{EXPAND_IF_NO_ARGS, DROP_IF_NO_ARGS};
            if (!(flags & (kind.expand | kind.drop))) {
                pos += 2;
            } else {
                const int close = FindString(text.c_str(), ifArgs ? "%a" : "%d", pos + 2);
                const bool typed = !arguments[0].empty();
                const bool keep = (flags & kind.expand) && (ifArgs ? typed : !typed);
                if (!keep) {
                    if (close < 0) {
                        text.erase(at);
                        break;
                    }
                    text.erase(at, static_cast<std::size_t>(close) + 2 - at);
                } else {
                    const std::size_t contentEnd = close < 0 ? text.size() : static_cast<std::size_t>(close);
                    std::string content = text.substr(at + 2, contentEnd - (at + 2));
                    content.resize(CharacterSafeLength(content.c_str(), MACRO_BLOCK_LIMIT));
                    const std::size_t blockEnd = close < 0 ? text.size() : contentEnd + 2;
                    text.replace(at, blockEnd - at, content);
                }
            }
        } else {
            // An unknown pair goes, and so does a "%" at the very end. A
            // double-byte character after the "%" goes whole, so that no
            // stray second byte (which may be a '\\') is left behind.
            const std::size_t pairLength = (c == '\0') ? 1 : (IsLeadByteAt(text.c_str(), at + 1) ? 3 : 2);
            text.erase(at, pairLength);
        }
        pos = NextPercent(text, pos);
    }
    return true;
}
