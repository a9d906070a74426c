#include "LegacyImport.h"

#include "ResourceMessage.h"
#include "TextRoutines.h"
#include "resource.h"

#include <cstring>

namespace {

const char kHeader[] = "Pellor Ver. ";
constexpr std::size_t kHeaderLength = sizeof kHeader - 1;

// Longest value of a key=value line: the font machinery takes 31 bytes of a
// face name, and no number needs more.
constexpr std::size_t kValueLimit = 31;
// Highest index of the "=" in "word=command line", and longest command line,
// in the one-line form.
constexpr int kOneLineWordEnd = 15;
constexpr std::size_t kOneLineCommandLimit = 259;
// Highest index of the ":" ending a "word:" line.
constexpr int kMultiLineWordEnd = 14;

// Closes the file on every way out.
class CFileHandle {
public:
    explicit CFileHandle(HANDLE handle) : m_handle(handle) {}
    ~CFileHandle()
    {
        if (m_handle != INVALID_HANDLE_VALUE)
            CloseHandle(m_handle);
    }
    CFileHandle(const CFileHandle&) = delete;
    CFileHandle& operator=(const CFileHandle&) = delete;

    HANDLE Get() const { return m_handle; }
    bool IsValid() const { return m_handle != INVALID_HANDLE_VALUE; }

private:
    HANDLE m_handle;
};

bool ReadByte(HANDLE file, char& c)
{
    DWORD got = 0;
    return ReadFile(file, &c, 1, &got, nullptr) && got == 1;
}

// The line most recently read; every section reads into the same one, so
// that the line ending a section is there for the section loop to look at.
struct CLine {
    char text[kLegacyCommandLineLimit] = {};
    IniLineStatus status = IniLineStatus::End;

    void Read(HANDLE file, std::size_t limit) { status = ReadIniLine(file, text, limit); }
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

// "d.dd" after the header's 12 characters as d * 100 + dd. Neither the digits
// nor the point are checked: a short or odd header gives an odd number, which
// falls to the one-line form when it is below 210.
int HeaderVersion(const char* header)
{
    const std::size_t length = std::strlen(header);
    const auto digit = [&](std::size_t i) { return (i < length ? header[i] : '\0') - '0'; };
    return digit(kHeaderLength) * 100 + digit(kHeaderLength + 2) * 10 + digit(kHeaderLength + 3);
}

// RRGGBB, as the file writes colours, to a COLORREF (0x00BBGGRR). Missing
// digits of a short value count as '0'; bytes after the sixth are ignored.
COLORREF ParseColour(const std::string& rrggbb)
{
    char digits[6];
    for (std::size_t i = 0; i < 6; ++i)
        digits[i] = i < rrggbb.size() ? rrggbb[i] : '0';
    const char bbggrr[] = {digits[4], digits[5], digits[2], digits[3], digits[0], digits[1], '\0'};
    return ParseHex(bbggrr);
}

void SetEffect(std::uint32_t& effects, std::uint32_t bit, const std::string& value)
{
    if (ParseDecimal(value.c_str()) != 0)
        effects |= bit;
    else
        effects &= ~bit;
}

void ApplyWindowInfo(const std::string& key, const std::string& value, WindowInfo& window)
{
    if (key == "x")
        window.x = ParseDecimal(value.c_str());
    else if (key == "y")
        window.y = ParseDecimal(value.c_str());
    else if (key == "cx")
        window.cx = ParseDecimal(value.c_str());
    else if (key == "cy")
        window.cy = ParseDecimal(value.c_str());
    else if (key == "TextColor")
        window.TextColor = ParseColour(value);
    else if (key == "BgColor")
        window.BgColor = ParseColour(value);
    else if (key == "FontFace")
        window.FontFace = value;
    else if (key == "FontSize")
        window.FontSize = ParseDecimal(value.c_str());
    else if (key == "FontBold")
        SetEffect(window.FontEffects, FONT_BOLD, value);
    else if (key == "FontItalic")
        SetEffect(window.FontEffects, FONT_ITALIC, value);
    else if (key == "FontStrike")
        SetEffect(window.FontEffects, FONT_STRIKEOUT, value);
    else if (key == "FontUnderline")
        SetEffect(window.FontEffects, FONT_UNDERLINE, value);
}

void ApplyOthers(const std::string& key, const std::string& value, CSettings& settings)
{
    if (key == "Stationed")
        settings.Stationed = ParseDecimal(value.c_str()) != 0;
    else if (key == "HotKey")
        settings.HotKey = static_cast<std::uint16_t>(ParseHex(value.c_str()) & 0xFFFF);
    else if (key == "AutoComplete")
        settings.AutoComplete = ParseDecimal(value.c_str()) != 0;
    else if (key == "IntelliSense")
        settings.IntelliSense = ParseDecimal(value.c_str()) != 0;
}

// Hands each whole key=value line of the section to apply(key, value); cut
// lines and lines without "=" are passed over. Returns with the line that
// ended the section in line.
template <typename Apply>
void ReadValueSection(HANDLE file, CLine& line, Apply apply)
{
    for (;;) {
        line.Read(file, kLegacyValueLineLimit);
        if (line.EndsSection())
            return;
        if (line.status == IniLineStatus::Cut)
            continue;
        const int equals = FindChar(line.text, '=', 0);
        if (equals < 0)
            continue;
        const char* value = line.text + equals + 1;
        apply(std::string(line.text, equals), std::string(value, CharacterSafeLength(value, kValueLimit)));
    }
}

// "word=command line", each added as soon as it is read. 0 when one cannot be
// added (after telling the user), otherwise 1 with the line that ended the
// section in line.
int ReadOneLineCommands(HANDLE file, CLine& line, CCommandTable& commands)
{
    for (;;) {
        line.Read(file, kLegacyCommandLineLimit);
        if (line.EndsSection())
            return 1;
        if (line.status == IniLineStatus::Cut)
            continue;
        const int equals = FindChar(line.text, '=', 0);
        if (equals < 0 || equals > kOneLineWordEnd)
            continue;
        const char* commandLine = line.text + equals + 1;
        CCommandLinesEx lines;
        lines.Add(std::string(commandLine, CharacterSafeLength(commandLine, kOneLineCommandLimit)));
        if (!commands.Insert(CCommandEntry(std::string(line.text, equals), lines))) {
            ShowResourceMessage(GetModuleHandleA(nullptr), nullptr, IDS_ADD_COMMAND_FAILED, MB_ICONEXCLAMATION, 0);
            return 0;
        }
    }
}

// "word:" followed by ":command line" lines. The first line of any other kind
// ends the command and is discarded, except a section's "[" line and the end
// of the file, which end the section too. A command without lines is dropped;
// one that cannot be added is lost without a word, like the lines after it
// would be in a file cut short. Returns with the line that ended the section
// in line.
void ReadMultiLineCommands(HANDLE file, CLine& line, CCommandTable& commands)
{
    line.Read(file, kLegacyCommandLineLimit);
    for (;;) {
        if (line.EndsSection())
            return;
        const int colon = FindChar(line.text, ':', 0);
        if (colon < 0 || colon > kMultiLineWordEnd || line.text[colon + 1] != '\0') {
            line.Read(file, kLegacyCommandLineLimit);
            continue;
        }
        const std::string word(line.text, colon);
        CCommandLinesEx lines;
        for (;;) {
            line.Read(file, kLegacyCommandLineLimit);
            if (line.status == IniLineStatus::End || line.text[0] != ':')
                break;
            // A cut line is taken as far as it goes; its rest, read as the
            // next line, ends the command unless it starts with ':'.
            lines.Add(line.text + 1);
        }
        if (lines.GetCount() > 0)
            commands.Insert(CCommandEntry(word, lines));
        if (!line.EndsSection())
            line.Read(file, kLegacyCommandLineLimit);
    }
}

}  // namespace

IniLineStatus ReadIniLine(HANDLE file, char* buffer, std::size_t limit)
{
    std::size_t length = 0;
    bool halfCharacter = false;  // the last byte kept is a lead byte
    char c = 0;
    for (;;) {
        if (!ReadByte(file, c)) {
            buffer[length] = '\0';
            // A last line without CR is a line all the same.
            return length > 0 ? IniLineStatus::Complete : IniLineStatus::End;
        }
        if (c == '\r') {
            ReadByte(file, c);  // the LF
            buffer[length] = '\0';
            return IniLineStatus::Complete;
        }
        if (length == limit - 1) {
            // c does not fit. It goes back to the file to start the next
            // line, with a lead byte kept just before it: a string ending in
            // half a character would swallow whatever is appended to it.
            LONG back = 1;
            if (halfCharacter && length > 1) {
                --length;
                ++back;
            }
            buffer[length] = '\0';
            SetFilePointer(file, -back, nullptr, FILE_CURRENT);
            return IniLineStatus::Cut;
        }
        buffer[length++] = c;
        halfCharacter = !halfCharacter && IsDBCSLeadByte(static_cast<BYTE>(c));
    }
}

int ImportLegacySettings(const std::string& path, CSettings& settings)
{
    const CFileHandle file(CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid())
        return -1;

    CLine line;
    line.Read(file.Get(), kLegacyOuterLineLimit);
    if (line.status == IniLineStatus::End || std::strncmp(line.text, kHeader, kHeaderLength) != 0)
        return 1;
    const int version = HeaderVersion(line.text);

    line.Read(file.Get(), kLegacyOuterLineLimit);
    while (line.status != IniLineStatus::End) {
        switch (SectionOf(line.text)) {
        case Section::WindowInfo:
            ReadValueSection(file.Get(), line, [&](const std::string& key, const std::string& value) {
                ApplyWindowInfo(key, value, settings.Window);
            });
            break;
        case Section::Others:
            ReadValueSection(file.Get(), line, [&](const std::string& key, const std::string& value) {
                ApplyOthers(key, value, settings);
            });
            break;
        case Section::CommandList:
            if (version < kLegacyMultiLineVersion) {
                if (ReadOneLineCommands(file.Get(), line, settings.Commands) == 0)
                    return 0;
            } else {
                ReadMultiLineCommands(file.Get(), line, settings.Commands);
            }
            break;
        case Section::Unknown:
            line.Read(file.Get(), kLegacyOuterLineLimit);
            break;
        }
    }
    return 1;
}
