// Hot-key controls: the key is one word, low byte the virtual-key code,
// high byte the HOTKEYF_ modifier flags.
#pragma once

#include "korra/Windowing.h"

#include <commctrl.h>

namespace korra {

class CHotKeyCtrlA : public CWindowingA {
public:
    explicit CHotKeyCtrlA(HWND window = nullptr) : CWindowingA(window) {}

    // 0 when the control is empty.
    WORD GetHotKey() const { return LOWORD(SendMessage(HKM_GETHOTKEY)); }
    void SetHotKey(WORD hotKey)
    {
        SendMessage(HKM_SETHOTKEY, hotKey);
    }
    // Combinations matching invalid (HKCOMB_ flags) are replaced by the
    // key with the modifiers (HOTKEYF_ flags).
    void SetRules(WORD invalid, WORD modifiers)
    {
        SendMessage(HKM_SETRULES, invalid, MAKELPARAM(modifiers, 0));
    }
};

}  // namespace korra
