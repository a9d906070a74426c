#include "LegacyImport.h"

#include "ResourceMessage.h"
#include "TextRoutines.h"
#include "resource.h"

namespace {

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

// The bytes of an open file, read one at a time; the file is not ours to close.
class CFileByteSource : public CIniByteSource {
public:
    explicit CFileByteSource(HANDLE file) : m_file(file) {}

    bool ReadByte(char& c) override
    {
        DWORD got = 0;
        return ReadFile(m_file, &c, 1, &got, nullptr) && got == 1;
    }
    void Unread(unsigned count) override
    {
        SetFilePointer(m_file, -static_cast<LONG>(count), nullptr, FILE_CURRENT);
    }

private:
    HANDLE m_file;
};

void SetEffect(std::uint32_t& effects, std::uint32_t bit, const std::string& value)
{
    if (ParseDecimal(value.c_str()) != 0)
        effects |= bit;
    else
        effects &= ~bit;
}

// Fills the settings with what the file holds.
class CSettingsFiller : public CLegacyIniHandler {
public:
    explicit CSettingsFiller(CSettings& settings) : m_settings(settings) {}

    void OnWindowValue(const std::string& key, const std::string& value) override
    {
        WindowInfo& window = m_settings.Window;
        if (key == "x")
            window.x = ParseDecimal(value.c_str());
        else if (key == "y")
            window.y = ParseDecimal(value.c_str());
        else if (key == "cx")
            window.cx = ParseDecimal(value.c_str());
        else if (key == "cy")
            window.cy = ParseDecimal(value.c_str());
        else if (key == "TextColor")
            window.TextColor = ParseLegacyColour(value);
        else if (key == "BgColor")
            window.BgColor = ParseLegacyColour(value);
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

    void OnOthersValue(const std::string& key, const std::string& value) override
    {
        if (key == "Stationed")
            m_settings.Stationed = ParseDecimal(value.c_str()) != 0;
        else if (key == "HotKey")
            m_settings.HotKey = static_cast<std::uint16_t>(ParseHex(value.c_str()) & 0xFFFF);
        else if (key == "AutoComplete")
            m_settings.AutoComplete = ParseDecimal(value.c_str()) != 0;
        else if (key == "IntelliSense")
            m_settings.IntelliSense = ParseDecimal(value.c_str()) != 0;
    }

    // The table refuses a command only when memory runs out. An empty word
    // or line is not taken: the settings file this record is saved to next
    // could not give it back (an empty line is written without text and read
    // as none, an empty word as no command), so the record would change at
    // the first save. A command left without a line is dropped, as one that
    // collected none is.
    bool OnCommand(const std::string& word, const std::vector<std::string>& lines) override
    {
        if (word.empty())
            return true;
        CCommandLinesEx list;
        for (const std::string& line : lines) {
            if (!line.empty())
                list.Add(line);
        }
        if (list.GetCount() == 0)
            return true;
        return m_settings.Commands.Insert(CCommandEntry(word, list));
    }

private:
    CSettings& m_settings;
};

}  // namespace

IniLineStatus ReadIniLine(HANDLE file, char* buffer, std::size_t limit)
{
    CFileByteSource source(file);
    return ReadIniLine(source, buffer, limit);
}

int ImportLegacySettings(const std::string& path, CSettings& settings)
{
    const CFileHandle file(CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid())
        return -1;
    CFileByteSource source(file.Get());
    CSettingsFiller filler(settings);
    if (ReadLegacyIni(source, filler) == 0) {
        // Only the one-line form stops at a refused command.
        ShowResourceMessage(GetModuleHandleA(nullptr), nullptr, IDS_ADD_COMMAND_FAILED, MB_ICONEXCLAMATION, 0);
        return 0;
    }
    return 1;
}
