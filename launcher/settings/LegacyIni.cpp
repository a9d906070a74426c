#include "LegacyIni.h"

#include "TextRoutines.h"

#include <cstring>

namespace {

const char kHeader[] = "Pellor Ver. ";
constexpr std::size_t kHeaderLength = sizeof kHeader - 1;

// Highest index of the "=" in "word=command line", and longest command line,
// in the one-line form.
constexpr int kOneLineWordEnd = 15;
constexpr std::size_t kOneLineCommandLimit = 259;
// Highest index of the ":" ending a "word:" line.
constexpr int kMultiLineWordEnd = 14;

// The line most recently read; every section reads into the same one, so
// that the line ending a section is there for the section loop to look at.
struct CLine {
    char text[kLegacyCommandLineLimit] = {};
    IniLineStatus status = IniLineStatus::End;

    void Read(CIniByteSource& source, std::size_t limit) { status = ReadIniLine(source, text, limit); }
    bool EndsSection() const { return status == IniLineStatus::End || text[0] == '['; }
};

enum class Section { Unknown, WindowInfo, CommandList, Others };

Section SectionOf(const char* line)
{
    if (std::strcmp(line, "[WindowInfo]") == 0)
        return Section::WindowInfo;
    if (std::strcmp(line, "[CommandList]") == 0)
        return Section::CommandList;
    if (std::strcmp(line, "[Others]") == 0)
        return Section::Others;
    return Section::Unknown;
}

// Hands each whole key=value line of the section to the handler; cut lines
// and lines without "=" are passed over. Returns with the line that ended
// the section in line.
void ReadValueSection(CIniByteSource& source, CLine& line, CLegacyIniHandler& handler, Section section)
{
    for (;;) {
        line.Read(source, kLegacyValueLineLimit);
        if (line.EndsSection())
            return;
        if (line.status == IniLineStatus::Cut)
            continue;
        const int equals = FindChar(line.text, '=', 0);
        if (equals < 0)
            continue;
        const char* value = line.text + equals + 1;
        const std::string key(line.text, equals);
        const std::string cut(value, CharacterSafeLength(value, kLegacyValueLimit));
        if (section == Section::WindowInfo)
            handler.OnWindowValue(key, cut);
        else
            handler.OnOthersValue(key, cut);
    }
}

// "word=command line", each handed on as soon as it is read. 0 when the
// handler refuses one, otherwise 1 with the line that ended the section in
// line.
int ReadOneLineCommands(CIniByteSource& source, CLine& line, CLegacyIniHandler& handler)
{
    for (;;) {
        line.Read(source, kLegacyCommandLineLimit);
        if (line.EndsSection())
            return 1;
        if (line.status == IniLineStatus::Cut)
            continue;
        const int equals = FindChar(line.text, '=', 0);
        if (equals < 0 || equals > kOneLineWordEnd)
            continue;
        const char* commandLine = line.text + equals + 1;
        const std::vector<std::string> lines = {
            std::string(commandLine, CharacterSafeLength(commandLine, kOneLineCommandLimit))};
        if (!handler.OnCommand(std::string(line.text, equals), lines))
            return 0;
    }
}

// "word:" followed by ":command line" lines. The first line of any other kind
// ends the command and is discarded, except a section's "[" line and the end
// of the file, which end the section too. A command without lines is dropped;
// one the handler refuses is lost without a word, like the lines after it
// would be in a file cut short. Returns with the line that ended the section
// in line.
void ReadMultiLineCommands(CIniByteSource& source, CLine& line, CLegacyIniHandler& handler)
{
    line.Read(source, kLegacyCommandLineLimit);
    for (;;) {
        if (line.EndsSection())
            return;
        const int colon = FindChar(line.text, ':', 0);
        if (colon < 0 || colon > kMultiLineWordEnd || line.text[colon + 1] != '\0') {
            line.Read(source, kLegacyCommandLineLimit);
            continue;
        }
        const std::string word(line.text, colon);
        std::vector<std::string> lines;
        for (;;) {
            line.Read(source, kLegacyCommandLineLimit);
            if (line.status == IniLineStatus::End || line.text[0] != ':')
                break;
            // A cut line is taken as far as it goes; its rest, read as the
            // next line, ends the command unless it starts with ':'.
            lines.emplace_back(line.text + 1);
        }
        if (!lines.empty())
            handler.OnCommand(word, lines);
        if (!line.EndsSection())
            line.Read(source, kLegacyCommandLineLimit);
    }
}

}  // namespace

IniLineStatus ReadIniLine(CIniByteSource& source, char* buffer, std::size_t limit)
{
    std::size_t length = 0;
    bool halfCharacter = false;  // the last byte kept is a lead byte
    char c = 0;
    for (;;) {
        if (!source.ReadByte(c)) {
            buffer[length] = '\0';
            // A last line without CR is a line all the same.
            return length > 0 ? IniLineStatus::Complete : IniLineStatus::End;
        }
        if (c == '\r') {
            source.ReadByte(c);  // the LF
            buffer[length] = '\0';
            return IniLineStatus::Complete;
        }
        if (length == limit - 1) {
            // c does not fit. It goes back to start the next line, with a
            // lead byte kept just before it: a string ending in half a
            // character would swallow whatever is appended to it.
            unsigned back = 1;
            if (halfCharacter && length > 1) {
                --length;
                ++back;
            }
            buffer[length] = '\0';
            source.Unread(back);
            return IniLineStatus::Cut;
        }
        buffer[length++] = c;
        halfCharacter = !halfCharacter && IsDBCSLeadByte(static_cast<BYTE>(c));
    }
}

int LegacyHeaderVersion(const char* header)
{
    const std::size_t length = std::strlen(header);
    const auto digit = [&](std::size_t i) { return (i < length ? header[i] : '\0') - '0'; };
    return digit(kHeaderLength) * 100 + digit(kHeaderLength + 2) * 10 + digit(kHeaderLength + 3);
}

std::uint32_t ParseLegacyColour(const std::string& rrggbb)
{
    char digits[6];
    for (std::size_t i = 0; i < 6; ++i)
        digits[i] = i < rrggbb.size() ? rrggbb[i] : '0';
    const char bbggrr[] = {digits[4], digits[5], digits[2], digits[3], digits[0], digits[1], '\0'};
    return ParseHex(bbggrr);
}

int ReadLegacyIni(CIniByteSource& source, CLegacyIniHandler& handler)
{
    CLine line;
    line.Read(source, kLegacyOuterLineLimit);
    if (line.status == IniLineStatus::End || std::strncmp(line.text, kHeader, kHeaderLength) != 0)
        return 1;
    // A short or odd header gives an odd number, which falls to the one-line
    // form when it is below 210.
    const int version = LegacyHeaderVersion(line.text);

    line.Read(source, kLegacyOuterLineLimit);
    while (line.status != IniLineStatus::End) {
        const Section section = SectionOf(line.text);
        switch (section) {
        case Section::WindowInfo:
        case Section::Others:
            ReadValueSection(source, line, handler, section);
            break;
        case Section::CommandList:
            if (version < kLegacyMultiLineVersion) {
                if (ReadOneLineCommands(source, line, handler) == 0)
                    return 0;
            } else {
                ReadMultiLineCommands(source, line, handler);
            }
            break;
        case Section::Unknown:
            line.Read(source, kLegacyOuterLineLimit);
            break;
        }
    }
    return 1;
}
