// Header controls (a report list view's column titles among them): items
// are addressed by index, texts are ANSI.
#pragma once

#include "korra/Windowing.h"

#include <commctrl.h>

#include <string>

namespace korra {

class CHeaderCtrlA : public CWindowingA {
public:
    explicit CHeaderCtrlA(HWND window = nullptr) : CWindowingA(window) {}

    // -1 when the handle is not a header.
    int GetItemCount() const { return static_cast<int>(SendMessage(HDM_GETITEMCOUNT)); }
    // The new item's index, or -1. format: HDF_LEFT, HDF_RIGHT, HDF_CENTER.
    int InsertItem(int index, const char* text, int width, int format = HDF_LEFT);
    // The item's text, at most maxBytes long; "" for an item that does not exist.
    std::string GetItemText(int index, int maxBytes = 260) const;
    // In the header's client coordinates; FALSE for an item that does not exist.
    BOOL GetItemRect(int index, RECT* rect) const
    {
        return static_cast<BOOL>(SendMessage(HDM_GETITEMRECT, index, reinterpret_cast<LPARAM>(rect)));
    }
};

}  // namespace korra
