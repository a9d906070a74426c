// What the end-to-end tests of resident mode ask of the Windows side, one
// request per run, the answer on standard output:
//
//   shell_probe setting-change WPARAM TEXT   broadcasts WM_SETTINGCHANGE with TEXT
//   shell_probe taskbar-created             broadcasts "TaskbarCreated"
//   shell_probe remove-icon                 takes the launcher's icon away, as a
//                                           shell restart would
//   shell_probe icon-rect                   "x y width height" of the first icon in
//                                           the notification area, on the screen
//   shell_probe tray                        the tray window and its children
//   shell_probe tooltips                    the text of each visible tooltip
//   shell_probe menu-rect                   "x y width height" of the open menu
//   shell_probe foreground                  the title of the foreground window
//   shell_probe cover SECONDS               shows a window of its own in front
//                                           for that long
//   shell_probe set-user-variable NAME VALUE [expand]
//                                           writes HKCU\Environment\NAME (REG_SZ, or
//                                           REG_EXPAND_SZ with "expand")
//   shell_probe delete-user-variable NAME   deletes it
//   shell_probe hold-hotkey MODIFIERS KEY SECONDS
//                                           holds a hot key (RegisterHotKey's
//                                           modifiers and virtual key) for that
//                                           long; prints "held"
//
// Exit code 0 when the answer was found, 1 when not, 2 for a bad request.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const char kLauncher[] = "Pellor by Qel";

void PrintRect(HWND window)
{
    RECT rect = {};
    GetWindowRect(window, &rect);
    std::printf("%ld %ld %ld %ld\n", rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
}

// Where the first notification icon is. Some shells give each icon a small
// window of its own ("__wine_tray_icon", a child of the tray or a top-level
// window over it); others draw the icons into the taskbar itself, from its
// right end, each a small icon with a 2-pixel border, centred in height.
bool IconRect(RECT* rect)
{
    HWND tray = FindWindowA("Shell_TrayWnd", nullptr);
    if (tray == nullptr || !IsWindowVisible(tray))
        return false;
    for (HWND parent : {static_cast<HWND>(nullptr), tray}) {
        HWND icon = nullptr;
        while ((icon = FindWindowExA(parent, icon, "__wine_tray_icon", nullptr)) != nullptr) {
            if (IsWindowVisible(icon))
                return GetWindowRect(icon, rect) != FALSE;
        }
    }
    RECT bar = {};
    GetWindowRect(tray, &bar);
    const int width = GetSystemMetrics(SM_CXSMICON) + 4;
    const int height = GetSystemMetrics(SM_CYSMICON) + 4;
    rect->right = bar.right;
    rect->left = bar.right - width;
    rect->top = bar.top + (bar.bottom - bar.top - height) / 2;
    rect->bottom = rect->top + height;
    return true;
}

BOOL CALLBACK PrintChild(HWND child, LPARAM)
{
    char name[64] = {};
    GetClassNameA(child, name, sizeof name);
    std::printf("%s %s: ", name, IsWindowVisible(child) ? "visible" : "hidden");
    PrintRect(child);
    return TRUE;
}

// Every child of the tray window, for a person reading a failed test.
int ListTray()
{
    HWND tray = FindWindowA("Shell_TrayWnd", nullptr);
    if (tray == nullptr)
        return 1;
    std::printf("tray %s: ", IsWindowVisible(tray) ? "visible" : "hidden");
    PrintRect(tray);
    EnumChildWindows(tray, PrintChild, 0);
    HWND icon = nullptr;
    while ((icon = FindWindowExA(nullptr, icon, "__wine_tray_icon", nullptr)) != nullptr) {
        std::printf("top-level __wine_tray_icon %s: ", IsWindowVisible(icon) ? "visible" : "hidden");
        PrintRect(icon);
    }
    return 0;
}

int Tooltips()
{
    int found = 0;
    HWND tip = nullptr;
    while ((tip = FindWindowExA(nullptr, tip, TOOLTIPS_CLASSA, nullptr)) != nullptr) {
        if (!IsWindowVisible(tip))
            continue;
        char text[512] = {};
        SendMessageTimeoutA(tip, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text),
                            SMTO_ABORTIFHUNG, 2000, nullptr);
        std::printf("%s\n", text);
        ++found;
    }
    return found > 0 ? 0 : 1;
}

void Pump(DWORD milliseconds)
{
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < milliseconds) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
}

int Cover(int seconds)
{
    WNDCLASSA info = {};
    info.lpfnWndProc = DefWindowProcA;
    info.hInstance = GetModuleHandleA(nullptr);
    info.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    info.lpszClassName = "Shell probe cover";
    RegisterClassA(&info);
    HWND window = CreateWindowExA(0, info.lpszClassName, "Shell probe cover", WS_OVERLAPPEDWINDOW,
                                  600, 300, 300, 200, nullptr, nullptr, info.hInstance, nullptr);
    if (window == nullptr)
        return 1;
    ShowWindow(window, SW_SHOWNORMAL);
    SetForegroundWindow(window);
    std::printf("covering\n");
    std::fflush(stdout);
    Pump(static_cast<DWORD>(seconds) * 1000);
    DestroyWindow(window);
    return 0;
}

int HoldHotKey(UINT modifiers, UINT key, int seconds)
{
    if (!RegisterHotKey(nullptr, 1, modifiers, key)) {
        std::printf("refused\n");
        return 1;
    }
    std::printf("held\n");
    std::fflush(stdout);
    Pump(static_cast<DWORD>(seconds) * 1000);
    UnregisterHotKey(nullptr, 1);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return 2;
    const std::string request = argv[1];
    if (request == "setting-change" && argc == 4) {
        wchar_t text[256] = {};
        MultiByteToWideChar(CP_ACP, 0, argv[3], -1, text, 256);
        DWORD_PTR result = 0;
        SendMessageTimeoutW(HWND_BROADCAST, WM_SETTINGCHANGE, std::strtoul(argv[2], nullptr, 0),
                            reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000, &result);
        return 0;
    }
    if (request == "taskbar-created") {
        PostMessageA(HWND_BROADCAST, RegisterWindowMessageA("TaskbarCreated"), 0, 0);
        return 0;
    }
    if (request == "remove-icon") {
        NOTIFYICONDATAA data = {};
        data.cbSize = NOTIFYICONDATAA_V2_SIZE;
        data.hWnd = FindWindowA(kLauncher, kLauncher);
        data.uID = 1;
        return data.hWnd != nullptr && Shell_NotifyIconA(NIM_DELETE, &data) ? 0 : 1;
    }
    if (request == "icon-rect") {
        RECT rect = {};
        if (!IconRect(&rect))
            return 1;
        std::printf("%ld %ld %ld %ld\n", rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
        return 0;
    }
    if (request == "tray")
        return ListTray();
    if (request == "tooltips")
        return Tooltips();
    if (request == "menu-rect") {
        HWND menu = FindWindowA("#32768", nullptr);
        if (menu == nullptr || !IsWindowVisible(menu))
            return 1;
        PrintRect(menu);
        return 0;
    }
    if (request == "foreground") {
        char title[256] = {};
        GetWindowTextA(GetForegroundWindow(), title, sizeof title);
        std::printf("%s\n", title);
        return 0;
    }
    if (request == "set-user-variable" && (argc == 4 || argc == 5)) {
        const DWORD type = argc == 5 && std::strcmp(argv[4], "expand") == 0 ? REG_EXPAND_SZ : REG_SZ;
        HKEY key = nullptr;
        if (RegCreateKeyExA(HKEY_CURRENT_USER, "Environment", 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                            &key, nullptr) != ERROR_SUCCESS)
            return 1;
        const LONG result = RegSetValueExA(key, argv[2], 0, type, reinterpret_cast<const BYTE*>(argv[3]),
                                           static_cast<DWORD>(std::strlen(argv[3]) + 1));
        RegCloseKey(key);
        return result == ERROR_SUCCESS ? 0 : 1;
    }
    if (request == "delete-user-variable" && argc == 3) {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, "Environment", 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
            return 1;
        const LONG result = RegDeleteValueA(key, argv[2]);
        RegCloseKey(key);
        return result == ERROR_SUCCESS ? 0 : 1;
    }
    if (request == "cover" && argc == 3)
        return Cover(std::atoi(argv[2]));
    if (request == "hold-hotkey" && argc == 5)
        return HoldHotKey(std::strtoul(argv[2], nullptr, 0), std::strtoul(argv[3], nullptr, 0),
                          std::atoi(argv[4]));
    return 2;
}
