// Import of the settings file of the 2.x versions: ANSI text with CR LF line
// ends, a "Pellor Ver. d.dd" header line and [WindowInfo], [CommandList] and
// [Others] sections of key=value lines.
#pragma once

#include "Settings.h"

#include <windows.h>

#include <cstddef>
#include <string>

// Longest lines ReadIniLine is asked for, terminator included.
constexpr std::size_t kLegacyOuterLineLimit = 50;     // header, unknown sections
constexpr std::size_t kLegacyValueLineLimit = 64;     // [WindowInfo], [Others]
constexpr std::size_t kLegacyCommandLineLimit = 280;  // [CommandList]

// Header versions from which [CommandList] holds "word:" lines followed by
// ":command line" lines; below it, one "word=command line" per command.
constexpr int kLegacyMultiLineVersion = 210;

enum class IniLineStatus {
    Complete,  // a whole line, CR LF removed; also the last line of a file without CR
    Cut,       // the first part of a longer line; the rest is read as the next line
    End,       // nothing left to read
};

// Reads the next line of file byte by byte into buffer, at most limit - 1
// bytes and NUL-terminated. The byte after a CR is taken to be its LF and is
// discarded unseen. A line longer than the buffer is cut at a character
// boundary: a lead byte that would lose its second half is left in the file
// and starts the next line. On End (or a read error) buffer holds "".
// limit must be at least 3.
IniLineStatus ReadIniLine(HANDLE file, char* buffer, std::size_t limit);

// Reads the legacy settings file at path into settings: the window's place,
// colours and font, the resident mode, hot key and completion switches, and
// the commands, added after those already registered (words are not checked
// against existing or reserved ones). Fields the file does not name keep
// their values.
// Returns 1 when the file was read, also when it is not a settings file at
// all (its first line lacks the header, and settings is untouched); -1 when it
// cannot be opened (missing, or in use: it is opened without sharing); 0 when
// a one-line-per-command file could not add a command: message
// IDS_ADD_COMMAND_FAILED has been shown (no owner) and settings holds what
// was read before it.
int ImportLegacySettings(const std::string& path, CSettings& settings);
