// The one settings record: everything the launcher remembers between runs.
#pragma once

#include "CommandTable.h"
#include "InputHistory.h"

#include <windows.h>

#include <cstdint>
#include <string>

// Bits of WindowInfo::FontEffects, the same as the rich edit's effects.
enum : std::uint32_t {
    FONT_BOLD = 1,
    FONT_ITALIC = 2,
    FONT_UNDERLINE = 4,
    FONT_STRIKEOUT = 8,
};

// Place and look of the input window.
struct WindowInfo {
    std::int32_t x = 0;  // screen pixels
    std::int32_t y = 0;
    std::int32_t cx = 150;
    std::int32_t cy = 20;
    COLORREF TextColor = 0;
    COLORREF BgColor = 0xFFFFFF;
    std::string FontFace;  // the font machinery uses at most 31 bytes
    std::uint32_t FontEffects = 0;
    // Points when 0 or more; a negative value is a pixel height, negated.
    // A first run gets 9 points: 3 would draw characters 4 pixels high.
    std::int32_t FontSize = 9;
    std::uint8_t Transparency = 255;  // 255 opaque

    bool operator==(const WindowInfo& other) const;
    bool operator!=(const WindowInfo& other) const { return !(*this == other); }
};

class CSettings {
public:
    // Defaults: the window in the bottom-left corner of the work area with
    // the system's window colours, both completion aids and resident mode
    // on, 20 history entries, hot key Ctrl+Alt+L.
    CSettings();
    // Commands are re-inserted in the source's order; the history keeps its
    // entries and capacity but starts browsing at position 0.
    CSettings(const CSettings& other);
    CSettings& operator=(const CSettings& other);

    static constexpr std::uint16_t kDefaultHotKey = 0x064C;  // Ctrl+Alt+L

    CCommandTable Commands;
    WindowInfo Window;
    bool AutoComplete = true;
    bool IntelliSense = true;
    bool ApplyReservedCommand = true;
    std::uint32_t HistorySize = CInputHistory::kDefaultCapacity;  // 0 to 255
    bool HistoryList = true;
    bool Stationed = true;
    // Whether the Startup-folder shortcut exists; never stored in the file.
    bool AutoStart = false;
    std::uint16_t HotKey = kDefaultHotKey;
    CInputHistory History;
};
