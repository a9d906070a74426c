#include "App.h"

#include "ProgramPath.h"
#include "TextRoutines.h"

#include <string>

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

namespace {

using HtmlHelpProc = HWND(WINAPI*)(HWND, LPCSTR, UINT, DWORD_PTR);
constexpr UINT kHelpDisplayToc = 0x0001;  // HH_DISPLAY_TOC

}  // namespace

void ShowHelpFile(HWND owner)
{
    // hhctrl.ocx is loaded on the first request and stays loaded.
    static HtmlHelpProc htmlHelp = [] {
        HMODULE module = LoadLibraryA("hhctrl.ocx");
        return module == nullptr ? nullptr
                                 : reinterpret_cast<HtmlHelpProc>(reinterpret_cast<void*>(
                                       GetProcAddress(module, "HtmlHelpA")));
    }();
    if (htmlHelp == nullptr)
        return;
    std::string path = GetProgramPath();
    int dot = FindLastChar(path.c_str(), '.', 0);
    if (dot < 0)
        return;
    path.resize(static_cast<std::size_t>(dot) + 1);
    path += "chm";
    htmlHelp(owner, path.c_str(), kHelpDisplayToc, 0);
}
