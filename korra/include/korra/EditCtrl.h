// Edit controls, rich edit included: the selection is in bytes of the
// control's ANSI text.
#pragma once

#include "korra/Windowing.h"

#include <richedit.h>

namespace korra {

class CEditCtrlA : public CWindowingA {
public:
    explicit CEditCtrlA(HWND window = nullptr) : CWindowingA(window) {}

    void GetSel(int* start, int* end) const
    {
        DWORD first = 0, last = 0;
        SendMessage(EM_GETSEL, reinterpret_cast<WPARAM>(&first), reinterpret_cast<LPARAM>(&last));
        *start = static_cast<int>(first);
        *end = static_cast<int>(last);
    }
    // -1 as end selects to the end of the text.
    void SetSel(int start, int end) { SendMessage(EM_SETSEL, start, end); }
    void ReplaceSel(const char* text, bool canUndo = false)
    {
        SendMessage(EM_REPLACESEL, canUndo, reinterpret_cast<LPARAM>(text));
    }
    void LimitText(int bytes) { SendMessage(EM_LIMITTEXT, bytes); }
};

}  // namespace korra
