// What the settings pages share: reading the numbers of their digit fields
// and the notifications the sheet sends them.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <string>

// The number in text: optional '-' (only when allowSign), then one or more
// decimal digits and nothing else. False for anything else, "" and "-"
// included. Values beyond +-999,999,999 are held there, so a long run of
// digits still reads as "too large".
bool ParseFieldNumber(const std::string& text, bool allowSign, long* value);

// The field's text read as above.
bool ReadFieldNumber(HWND dialog, int id, bool allowSign, long* value);

// Sets a check box and returns the state set.
inline bool SetCheck(HWND dialog, int id, bool checked)
{
    ::CheckDlgButton(dialog, id, checked ? BST_CHECKED : BST_UNCHECKED);
    return checked;
}
inline bool IsChecked(HWND dialog, int id)
{
    return ::IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}
inline void EnableItem(HWND dialog, int id, bool enable)
{
    ::EnableWindow(::GetDlgItem(dialog, id), enable ? TRUE : FALSE);
}
