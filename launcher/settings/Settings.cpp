#include "Settings.h"

bool WindowInfo::operator==(const WindowInfo& other) const
{
    return x == other.x && y == other.y && cx == other.cx && cy == other.cy &&
           TextColor == other.TextColor && BgColor == other.BgColor &&
           FontFace == other.FontFace && FontEffects == other.FontEffects &&
           FontSize == other.FontSize && Transparency == other.Transparency;
}

CSettings::CSettings()
{
    RECT workArea = {};
    if (SystemParametersInfoA(SPI_GETWORKAREA, 0, &workArea, 0)) {
        Window.x = workArea.left;
        Window.y = workArea.bottom - 20;
    }
    Window.TextColor = GetSysColor(COLOR_WINDOWTEXT);
    Window.BgColor = GetSysColor(COLOR_WINDOW);
}

CSettings::CSettings(const CSettings& other)
{
    *this = other;
}

CSettings& CSettings::operator=(const CSettings& other)
{
    if (this == &other)
        return *this;
    Commands.Clear();
    for (const CCommandEntry* entry : other.Commands.GetOrder())
        Commands.Insert(*entry);
    Window = other.Window;
    AutoComplete = other.AutoComplete;
    IntelliSense = other.IntelliSense;
    ApplyReservedCommand = other.ApplyReservedCommand;
    HistorySize = other.HistorySize;
    HistoryList = other.HistoryList;
    Stationed = other.Stationed;
    AutoStart = other.AutoStart;
    HotKey = other.HotKey;
    History = other.History;
    History.SetPosition(0);
    return *this;
}
