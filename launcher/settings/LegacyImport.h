// Import of the settings file of the 2.x versions: ANSI text with CR LF line
// ends, a "Pellor Ver. d.dd" header line and [WindowInfo], [CommandList] and
// [Others] sections of key=value lines.
#pragma once

#include "LegacyIni.h"
#include "Settings.h"

#include <windows.h>

#include <cstddef>
#include <string>

// ReadIniLine of LegacyIni.h over an open file: a lead byte that would lose
// its second half is left in the file and starts the next line.
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
