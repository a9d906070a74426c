// The tokenizer for typed input and the launcher's own macro language inside
// stored command lines: "%0" to "%9" (the typed arguments), "%S"/"%s" and
// "%W"/"%w" (system and Windows directories), "%_" (a space), "%%" (a
// percent sign), and blocks "%A...%a" (kept when arguments were typed) and
// "%D...%d" (kept when none were).
#pragma once

#include "Platform.h"

#include <string>

// Each macro kind has a bit that expands it and, for when it is not expanded,
// a bit that removes it; with neither the macro stays as typed.
enum MacroFlags : DWORD {
    EXPAND_ARGS = 0x1,
    EXPAND_IF_ARGS = 0x2,
    EXPAND_IF_NO_ARGS = 0x4,
    EXPAND_SYSTEM_DIR = 0x8,
    EXPAND_WINDOWS_DIR = 0x10,
    EXPAND_SPACE = 0x20,
    EXPAND_PERCENT = 0x8000,
    DROP_ARGS = 0x10000,
    DROP_IF_ARGS = 0x20000,
    DROP_IF_NO_ARGS = 0x40000,
    DROP_SYSTEM_DIR = 0x80000,
    DROP_WINDOWS_DIR = 0x100000,
    DROP_SPACE = 0x200000,
    DROP_PERCENT = 0x80000000,
};

// A stored command line about to run: everything expands.
constexpr DWORD MACROS_COMMAND_LINE = 0xFFFF;
// One typed argument: directories, spaces and percent signs expand; argument
// references and blocks are removed.
constexpr DWORD MACROS_TYPED_ARGUMENT = 0x78038;
// The first command line when looking up its icon: as if run with no
// arguments.
constexpr DWORD MACROS_ICON_LOOKUP = 0x3803C;
// The line typed after SYSTEM: only "%%" and the directories expand.
constexpr DWORD MACROS_SYSTEM_COMMAND = 0x8018;

constexpr int MACRO_ARGUMENT_COUNT = 10;
// Kept block content beyond this many bytes is cut off.
constexpr std::size_t MACRO_BLOCK_LIMIT = 519;

// Splits the first token off text: a double-quoted token runs to the next
// unescaped quote (a backslash escapes the whole character after it and stays
// in the token) or to the end, any
// other token to the first space or tab. *rest is set past the token and the
// blanks after it, or to null at the end of the text. A null text gives an
// empty token and a null rest.
std::string NextToken(const char* text, const char** rest);

// Whether a trimmed command line names an ".exe" program (any letter case):
// the program part is the quoted path up to its closing quote (the whole line
// without one), or the text up to the first space.
bool NamesExeProgram(const char* line);

// Rewrites text in place. arguments holds MACRO_ARGUMENT_COUNT strings, or is
// null for ten empty ones; used, when not null, gets used[n] set for every
// "%n" expanded. A "%" followed by anything else is removed with that
// character; a "%" at the end alone. Always returns true.
bool ExpandCommandMacros(std::string& text, DWORD flags, const std::string* arguments,
                         bool* used);
