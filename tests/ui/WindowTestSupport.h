// What the input-window tests share: the process prepared as start-up
// prepares it, a message pump, and the cleaning up after a closed window.
#pragma once

#include "App.h"
#include "SettingsFile.h"

#include <velum/Velum.h>

#include <windows.h>
#include <commctrl.h>

// The instance, Velum, the rich edit, the common controls and the layered
// window entry, as the launcher's start-up sets them.
inline void PrepareWindowProcess()
{
    g_instance = GetModuleHandleA(nullptr);
    Velum::initialize(16, 31, 32);
    LoadLibraryA("RICHED32.DLL");
    InitCommonControls();
    LookUpLayeredWindowEntry();
}

// Dispatches what is waiting; true when a quit request was among it.
inline bool PumpWaitingMessages()
{
    bool quit = false;
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            quit = true;
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return quit;
}

// Each closed input window wrote the settings beside the test program.
inline void DeleteSettingsFiles()
{
    for (SettingsFileKind kind : {SETTINGS_XML, SETTINGS_BAK}) {
        char path[MAX_PATH];
        if (GetSettingsFilePath(kind, path, sizeof path))
            DeleteFileA(path);
    }
}
