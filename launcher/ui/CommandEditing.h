// The rules of the command editing dialogs, apart from their windows: how a
// command line splits into program and options and is put back together
// (CommandEditing.cpp, portable), and what a command must be before it is
// registered (CommandWord.cpp).
#pragma once

#include "Platform.h"

#include <cstddef>
#include <string>

class CCommandTable;

// Characters a command word and a command line may have (a double-byte
// character counts once, as the user sees it).
constexpr std::size_t kWordLimit = 255;
constexpr std::size_t kCommandLineLimit = 255;
// What the program and options fields hold.
constexpr std::size_t kFieldLimit = 259;

// Characters of text in the ANSI code page: a double-byte character is one.
std::size_t CountCharacters(const std::string& text);

struct CommandLineParts {
    std::string program;  // without its double quotes
    std::string options;
};

// A stored line as the two fields show it. A line whose first word ends in
// ".exe" (lower case) splits into the program and the rest from its first
// non-space; any other line, a quoted one without closing quote included,
// goes whole into the options, and so does one whose program holds a double
// quote or begins with a blank, which ComposeCommandLine could not give
// back unchanged.
CommandLineParts SplitCommandLine(const std::string& line);

// The line to store for the two fields: the program in double quotes,
// followed by a space and the options when there are any, or the options
// alone when the program is empty. 0 with *line set, or the id of the
// message that refuses the fields (*line is then unchanged):
// IDS_ENTER_PROGRAM both empty, IDS_PROGRAM_QUOTES a program holding
// double quotes other than one enclosing pair, IDS_COMMAND_LINE_TOO_LONG a
// program line over kCommandLineLimit. Blanks around the program are
// dropped; the options are taken as they are.
UINT ComposeCommandLine(const std::string& program, const std::string& options,
                        std::string* line);

// Whether word may be registered with lineCount command lines: 0, or the id
// of the first rule it breaks, tested in this order: empty, too long, taken
// by another command of table (the word the dialog opened with, in any
// letter case, is the command's own), reserved, holding a blank or another
// control character, no command line. table may be null (nothing taken).
UINT CheckCommandWord(const std::string& word, const std::string& openedWith,
                      const CCommandTable* table, std::size_t lineCount);
