// Reading the settings file of the 2.x versions: ANSI text with CR LF line
// ends, a "Pellor Ver. d.dd" header line and [WindowInfo], [CommandList] and
// [Others] sections. Portable: the bytes come from a source and what is found
// goes to a handler, so that the native build can run it under the fuzzer.
// The import (LegacyImport.h) gives it the file and fills the settings.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Longest lines ReadIniLine is asked for, terminator included.
constexpr std::size_t kLegacyOuterLineLimit = 50;     // header, unknown sections
constexpr std::size_t kLegacyValueLineLimit = 64;     // [WindowInfo], [Others]
constexpr std::size_t kLegacyCommandLineLimit = 280;  // [CommandList]

// Header versions from which [CommandList] holds "word:" lines followed by
// ":command line" lines; below it, one "word=command line" per command.
constexpr int kLegacyMultiLineVersion = 210;

// Longest value of a key=value line handed on: the font machinery takes 31
// bytes of a face name, and no number needs more.
constexpr std::size_t kLegacyValueLimit = 31;

enum class IniLineStatus {
    Complete,  // a whole line, CR LF removed; also the last line of a file without CR
    Cut,       // the first part of a longer line; the rest is read as the next line
    End,       // nothing left to read
};

// The bytes of a legacy file, one at a time.
class CIniByteSource {
public:
    virtual ~CIniByteSource() = default;
    // False at the end of the file or on a read error; c is then unchanged.
    virtual bool ReadByte(char& c) = 0;
    // Gives the last count bytes read (1 or 2) back, to be read again.
    virtual void Unread(unsigned count) = 0;
};

// Reads the next line byte by byte into buffer, at most limit - 1 bytes and
// NUL-terminated. The byte after a CR is taken to be its LF and is discarded
// unseen. A line longer than the buffer is cut at a character boundary: a
// lead byte that would lose its second half is given back and starts the
// next line. On End (or a read error) buffer holds "". limit must be at
// least 3.
IniLineStatus ReadIniLine(CIniByteSource& source, char* buffer, std::size_t limit);

// Where ReadLegacyIni hands what it finds, in file order.
class CLegacyIniHandler {
public:
    virtual ~CLegacyIniHandler() = default;
    // A whole key=value line of [WindowInfo] or [Others]; the key is every
    // byte before the first "=", the value at most kLegacyValueLimit bytes
    // after it, never ending in half a character.
    virtual void OnWindowValue(const std::string& key, const std::string& value) = 0;
    virtual void OnOthersValue(const std::string& key, const std::string& value) = 0;
    // A command and its command lines (at least one). In the one-line form
    // false ends the reading with result 0; in the other form a refused
    // command is passed over.
    virtual bool OnCommand(const std::string& word, const std::vector<std::string>& lines) = 0;
};

// Reads a whole legacy file. 1 when it was read, also when its first line
// lacks the header (then nothing is handed on); 0 when the handler refused a
// command of the one-line form, after which nothing more is read.
int ReadLegacyIni(CIniByteSource& source, CLegacyIniHandler& handler);

// The version of a header line: the digits "d.dd" after its 12 characters as
// d * 100 + dd. Neither the digits nor the point are checked.
int LegacyHeaderVersion(const char* header);

// RRGGBB, as the file writes colours, to a COLORREF value (0x00BBGGRR).
// Missing digits of a short value count as '0'; bytes after the sixth are
// ignored.
std::uint32_t ParseLegacyColour(const std::string& rrggbb);
