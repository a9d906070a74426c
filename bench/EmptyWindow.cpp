// The start-up benchmark's yardstick: the least a Windows program does to
// put a window on the screen. It registers a class, shows one small pop-up
// and runs the message loop until the window is closed.
//
// Linked like Tarnic.exe, with the MinGW runtime as DLLs (the title is
// built with std::string, so libstdc++ is loaded as it is for Tarnic).
//
// Built with EMPTY_WINDOW_LOADS_DLLS it also does what Tarnic does before
// its own windows exist: it carries Tarnic's manifest (version 6 of the
// common controls), imports the DLLs Tarnic imports, initializes Velum,
// loads the rich edit and registers the common controls. The gap from this variant to Tarnic is then Tarnic's
// own work: its settings, its windows and the controls inside them.

#include "EmptyWindow.h"

#include <windows.h>

#include <string>

#ifdef EMPTY_WINDOW_LOADS_DLLS
#include <velum/Velum.h>

#include <commctrl.h>
#include <shellapi.h>
#endif

namespace {

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

#ifdef EMPTY_WINDOW_LOADS_DLLS
void LoadWhatTarnicLoads()
{
    Velum::initialize(16, 31, 32);
    LoadLibraryA("RICHED32.DLL");  // never unloaded, as in Tarnic
    InitCommonControls();
}
#endif

}  // namespace

#ifdef EMPTY_WINDOW_LOADS_DLLS
// Tarnic also imports the shell and GDI, which are loaded at start-up
// whether called or not. Given external linkage, this table of addresses
// stays in the program, and with it the imports.
extern const void* const g_otherImports[];
const void* const g_otherImports[] = {
    reinterpret_cast<const void*>(&SHGetFileInfoA),
    reinterpret_cast<const void*>(&GetStockObject),
};
#endif

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
#ifdef EMPTY_WINDOW_LOADS_DLLS
    LoadWhatTarnicLoads();
#endif
    const std::string title = std::string(kEmptyWindowClass);

    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = kEmptyWindowClass;
    if (RegisterClassExA(&wc) == 0)
        return 1;
    // Tarnic's input window has this size and style by default.
    HWND window = CreateWindowExA(WS_EX_TOOLWINDOW, kEmptyWindowClass, title.c_str(),
                                  WS_POPUP | WS_BORDER | WS_SYSMENU, 0, 0, 150, 20, nullptr, nullptr,
                                  instance, nullptr);
    if (window == nullptr)
        return 1;
    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);

    MSG message = {};
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return static_cast<int>(message.wParam);
}
