// Up-down controls ("spin buttons"), usually bound to an edit as buddy.
#pragma once

#include "korra/Windowing.h"

#include <commctrl.h>

namespace korra {

class CUpDownCtrlA : public CWindowingA {
public:
    explicit CUpDownCtrlA(HWND window = nullptr) : CWindowingA(window) {}

    void SetRange(int lower, int upper) { SendMessage(UDM_SETRANGE32, lower, upper); }
    void GetRange(int* lower, int* upper) const
    {
        SendMessage(UDM_GETRANGE32, reinterpret_cast<WPARAM>(lower), reinterpret_cast<LPARAM>(upper));
    }
    // The previous buddy, or null.
    HWND SetBuddy(HWND buddy)
    {
        return reinterpret_cast<HWND>(SendMessage(UDM_SETBUDDY, reinterpret_cast<WPARAM>(buddy)));
    }
    HWND GetBuddy() const { return reinterpret_cast<HWND>(SendMessage(UDM_GETBUDDY)); }
};

}  // namespace korra
