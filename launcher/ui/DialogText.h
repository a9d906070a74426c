// What the command editing dialogs share: reading a control's text and
// refusing what the user entered without losing any of it.
#pragma once

#include "ResourceMessage.h"

#include "korra/Binding.h"
#include "korra/Windowing.h"

#include <string>

// The whole text of control id of dialog; "" when there is no such control.
inline std::string DialogItemText(HWND dialog, int id)
{
    return korra::CWindowA(::GetDlgItem(dialog, id)).GetWindowText();
}

// Shows message (warning icon) over dialog, then puts the focus on the
// control at fault with its text selected, so the user can mend it; the
// dialog stays open and every field keeps its text.
inline void RefuseInput(HWND dialog, UINT message, int control)
{
    ShowResourceMessage(korra::GetResourceInstance(), dialog, message, MB_ICONEXCLAMATION, 0);
    HWND field = ::GetDlgItem(dialog, control);
    if (field == nullptr)
        return;
    ::SendMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(field), TRUE);
    char className[16] = {};
    ::GetClassNameA(field, className, sizeof className);
    if (lstrcmpiA(className, "Edit") == 0)
        ::SendMessageA(field, EM_SETSEL, 0, -1);
}
