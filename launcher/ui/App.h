// Process-wide values set at start-up and read by the windows.
#pragma once

#include <windows.h>

using SetLayeredWindowAttributesProc = BOOL(WINAPI*)(HWND, COLORREF, BYTE, DWORD);

// The instance handle of the program (resources, window classes).
extern HINSTANCE g_instance;
// SetLayeredWindowAttributes from user32, or null where the system has none:
// windows are then opaque and created without WS_EX_LAYERED.
extern SetLayeredWindowAttributesProc g_setLayeredWindowAttributes;

// Looks SetLayeredWindowAttributes up in user32; false when user32 itself
// cannot be found.
bool LookUpLayeredWindowEntry();

// WS_EX_LAYERED when transparency can be applied, else 0.
inline DWORD LayeredStyle()
{
    return g_setLayeredWindowAttributes != nullptr ? WS_EX_LAYERED : 0;
}

// Applies the opacity (255 opaque) where the system can.
void ApplyTransparency(HWND window, BYTE opacity);
