// Tab controls: tabs are addressed by index, texts are ANSI.
#pragma once

#include "korra/Windowing.h"

#include <commctrl.h>

namespace korra {

class CTabCtrlA : public CWindowingA {
public:
    explicit CTabCtrlA(HWND window = nullptr) : CWindowingA(window) {}

    int GetItemCount() const { return static_cast<int>(SendMessage(TCM_GETITEMCOUNT)); }
    // The new tab's index, or -1.
    int InsertItem(int index, const char* text);
    // -1 when no tab is selected.
    int GetCurSel() const { return static_cast<int>(SendMessage(TCM_GETCURSEL)); }
    // The previously selected tab, or -1. Sends no TCN_SELCHANGE: the
    // caller shows the matching page itself.
    int SetCurSel(int index) { return static_cast<int>(SendMessage(TCM_SETCURSEL, index)); }
    // larger false: the display area inside a window rectangle; true: the
    // window rectangle around a display area. Both in parent coordinates.
    void AdjustRect(bool larger, RECT* rect) const
    {
        SendMessage(TCM_ADJUSTRECT, larger ? TRUE : FALSE, reinterpret_cast<LPARAM>(rect));
    }
};

}  // namespace korra
