// The settings file: the settings record as an XML document beside the
// program, one per user and Windows version, with the previous file kept
// as a backup.
#pragma once

#include "Settings.h"

#include <velum/Velum.h>

#include <cstddef>
#include <cstdint>
#include <string>

enum SettingsFileKind {
    SETTINGS_XML = 0,  // the settings
    SETTINGS_INI = 1,  // the legacy file, read when there is no XML file
    SETTINGS_BAK = 2,  // the previous XML file, never read
};

// Writes the path of kind (folder of the program, "Tarnic-user@pmm" and the
// extension) into buffer. A path that does not fit size bytes is never cut
// into another name: buffer gets "" and the result is false.
bool GetSettingsFilePath(SettingsFileKind kind, char* buffer, std::size_t size);

// "2.22.08" as 0x02160800: up to four components of 8 bits each.
std::uint32_t ParseSettingsVersion(const Velum::VelumString& text);

// 0 when equal after folding a-z, the Greek small letters and the
// full-width a-z to capitals; null and empty compare equal and below any
// other text; otherwise the difference of the first differing units.
int CompareNoCaseW(const Velum::Velum_CHAR* a, const Velum::Velum_CHAR* b);

// Fills settings from the XML file (or, without one, the legacy file):
// 1 read, -1 no file (the defaults stay), 0 the legacy command list failed.
// A file that exists but cannot be opened or read also leaves the defaults
// (-1): the user is told which file and why, and saves leave that file
// alone, saying so at the first of them.
int LoadSettings(CSettings& settings);

// Writes settings, keeping the previous file as the backup, then brings the
// auto-start shortcut in line. A file that cannot be written is reported,
// and the result is false; true also when an unreadable file is kept as the
// user was told at start-up.
bool SaveSettings(const CSettings& settings);

// The pieces of the two above, on given paths (tests, benchmarks).
Velum::Document BuildSettingsDocument(const CSettings& settings);
// The record from a parsed document; VelumException for a tree that is
// not one (a node of the wrong kind where the walk expects another).
void ReadSettingsDocument(const Velum::Document& document, CSettings& settings);

enum class LoadResult { Loaded, Missing, Unreadable };
// Missing only when the system says the file or its folder is not there; a
// file it cannot open (shared, denied, a folder) is Unreadable. reason gets
// the system's or the parser's message (with line and column when the
// parser knows them) when Unreadable.
LoadResult LoadSettingsFile(const std::string& path, CSettings& settings, std::string* reason);
// Writes settings to path, the previous file kept at backupPath. The new
// file is written complete beside path first and then renamed over it, so
// path always holds a whole file: the previous one until the rename, the
// new one after. False when any step failed: path then still holds the
// previous file (or is still absent) and backupPath a complete copy of it
// or the backup from before. Shows no message.
bool SaveSettingsFile(const std::string& path, const std::string& backupPath,
                      const CSettings& settings);

// The steps of SaveSettingsFile, in order, for tests that make one fail.
enum class SaveStep {
    CreateTemporary,  // create the new file beside the settings file
    WriteTemporary,   // lock it and write the document
    FlushTemporary,   // make it reach the disk
    WaitForReaders,   // take the settings file's lock from whoever reads it
    LinkBackup,       // link the settings file to the backup path (a failure
                      // here is a file system without links: the copy follows)
    KeepBackup,       // copy the settings file to the backup path, when it
                      // could not be linked
    PutInPlace,       // rename the new file over the settings file
};
// Asked before each step; a non-zero result is a system error code the
// step then fails with instead of running. Null (the default) injects
// nothing.
using SaveFaultHook = unsigned long (*)(SaveStep step);
void SetSaveFaultHook(SaveFaultHook hook);
// The name the new file is written under before it is put in place: the
// settings file's with the extension ".tmp". For the backup's path, the
// name its new link is made under before it replaces the backup (".tmp"
// added to the whole name).
std::string TemporarySettingsPath(const std::string& path);
