#include "App.h"

HINSTANCE g_instance = nullptr;
SetLayeredWindowAttributesProc g_setLayeredWindowAttributes = nullptr;

bool LookUpLayeredWindowEntry()
{
    HMODULE user32 = GetModuleHandleA("user32.dll");
    if (user32 == nullptr)
        return false;
    g_setLayeredWindowAttributes = reinterpret_cast<SetLayeredWindowAttributesProc>(
        reinterpret_cast<void*>(GetProcAddress(user32, "SetLayeredWindowAttributes")));
    return true;
}

void ApplyTransparency(HWND window, BYTE opacity)
{
    if (g_setLayeredWindowAttributes != nullptr && window != nullptr)
        g_setLayeredWindowAttributes(window, 0, opacity, LWA_ALPHA);
}
