// The shortcut in the user's Startup folder that starts the launcher, hidden,
// at log-on.
#pragma once

#include "Settings.h"

#include <string>

// The user's Startup folder as the shell names it (never created), or the
// registry's "Shell Folders" entry on shells that do not export the call;
// "" when neither knows one.
std::string GetStartupFolder();

// The "Startup" string value under the current user's Explorer "Shell
// Folders" key: the fallback of GetStartupFolder. "" when missing or not a
// string.
std::string StartupFolderFromRegistry();

// The shortcut's full path in the Startup folder; "" when the folder is
// unknown or the path would not fit the ANSI file calls.
std::string GetAutoStartShortcutPath();

// The shortcut's path in folder; "" when folder is "" or the result is longer
// than MAX_PATH - 1 bytes (cutting it would name some other file).
std::string AutoStartShortcutPathIn(const std::string& folder);

// The folder a shortcut to programPath starts in: programPath up to its last
// backslash, with a backslash added when none is left ("C:" becomes "C:\").
std::string ShortcutWorkingFolder(const std::string& programPath);

// True when a file (not a folder) stands at the shortcut's path; false also
// when the Startup folder is unknown.
bool IsAutoStartShortcutPresent();

// Makes the Startup folder agree with settings: the shortcut is wanted only
// when AutoStart and Stationed are both on. A file already there is kept as
// it is while wanted (the user may have pointed it elsewhere) and deleted
// when not. An unknown folder gets the IDS_AUTOSTART_FAILED message; a
// shortcut that cannot be made gets none.
void SyncAutoStartShortcut(const CSettings& settings);

// The same on the given Startup folder ("" for unknown).
void SyncAutoStartShortcutIn(const std::string& folder, const CSettings& settings);
