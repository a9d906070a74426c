#include "StartUp.h"

#include "App.h"
#include "MainWnd.h"
#include "ResourceMessage.h"
#include "Settings.h"
#include "SettingsFile.h"
#include "resource.h"

#include "korra/LinkCtrl.h"

#include <velum/Velum.h>

#include <commctrl.h>

#include <cstring>
#include <memory>

namespace {

void ShowInitFailure()
{
    ShowResourceMessage(g_instance, nullptr, IDS_INIT_FAILED, MB_ICONHAND, 0);
}

int RunMessageLoop()
{
    MSG message = {};
    BOOL result;
    while ((result = GetMessageA(&message, nullptr, 0, 0)) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return static_cast<int>(message.wParam);
}

}  // namespace

bool HasStartupSwitch(int argc, char** argv)
{
    for (int i = 0; i < argc; ++i) {
        if (argv[i] != nullptr &&
            (std::strcmp(argv[i], "/startup") == 0 || std::strcmp(argv[i], "-startup") == 0))
            return true;
    }
    return false;
}

int RunLauncher(HINSTANCE instance, int argc, char** argv)
{
    // The handle stays open for the life of the process: it is the marker
    // a second start looks for.
    HANDLE mutex = CreateMutexA(nullptr, TRUE, kInstanceName);
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        HWND first = FindWindowA(kInstanceName, kInstanceName);
        SetForegroundWindow(first);
        ShowWindow(first, SW_SHOWNORMAL);
        return 0;
    }

    g_instance = instance;
    korra::SetResourceInstance(instance);
    korra::RegisterLinkControlClass(instance);  // the About box's link
    Velum::initialize(16, 31, 32);
    LoadLibraryA("RICHED32.DLL");  // the "RICHEDIT" class of the input box; never unloaded
    InitCommonControls();
    if (!LookUpLayeredWindowEntry())
        return 0;
    const bool startHidden = HasStartupSwitch(argc, argv);

    // The settings file is read into a record of its own and copied over;
    // a missing or unreadable file leaves the defaults.
    auto settings = std::make_unique<CSettings>();
    {
        CSettings loaded;
        if (LoadSettings(loaded) == 0) {
            ShowInitFailure();
            return 0;
        }
        *settings = loaded;
    }

    auto mainWindow = std::make_unique<CMainWnd>(instance, settings.get());
    mainWindow->RegisterWindowClass(instance);
    if (mainWindow->Create() == nullptr) {
        // A window destroyed half-made has asked to quit as it went: that
        // request would close the message at once.
        MSG quit;
        PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
        ShowInitFailure();
        return 0;
    }
    if (startHidden) {
        mainWindow->ShowWindow(SW_HIDE);
    } else {
        mainWindow->ShowWindow(SW_SHOWNORMAL);
        mainWindow->UpdateWindow();
    }

    const int exitCode = RunMessageLoop();
    CloseHandle(mutex);
    mainWindow.reset();
    settings.reset();
    return exitCode;
}
