#include "MainWnd.h"

#include "App.h"
#include "Help.h"
#include "ResourceMessage.h"
#include "Settings.h"
#include "SettingsFile.h"
#include "VersionInfo.h"
#include "resource.h"

namespace {

constexpr DWORD kMainStyle = WS_POPUP | WS_VISIBLE | WS_BORDER | WS_SYSMENU;
constexpr int kHistorySubMenu = 4;

// The notification icon's mouse handlers; the context is the CMainWnd.
LRESULT OnIconDoubleClick(WPARAM, LPARAM, void* context)
{
    static_cast<CMainWnd*>(context)->OpenSettingsSheet();
    return 0;
}

LRESULT OnIconLeftClick(WPARAM, LPARAM, void* context)
{
    CMainWnd* window = static_cast<CMainWnd*>(context);
    window->SetForegroundWindow();
    window->ShowWindow(SW_SHOWNORMAL);
    return 0;
}

LRESULT OnIconRightClick(WPARAM, LPARAM, void* context)
{
    static_cast<CMainWnd*>(context)->ShowContextMenu(true);
    return 0;
}

// text as a menu label shows it: a menu takes "&" for the mark of the
// underlined key, so each one is doubled. Double-byte characters are
// stepped over whole.
std::string MenuLabel(const std::string& text)
{
    std::string label;
    label.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (IsDBCSLeadByte(static_cast<BYTE>(text[i])) && i + 1 < text.size()) {
            label += text[i++];
        } else if (text[i] == '&') {
            label += '&';
        }
        label += text[i];
    }
    return label;
}

}  // namespace

CMainWnd::CMainWnd(HINSTANCE instance, CSettings* settings)
    : m_instance(instance),
      m_edit(&m_popup, settings, this),
      m_popup(&m_edit, settings),
      m_settings(settings),
      m_settingSheet(settings)
{
    m_popup.RegisterWindowClass(instance);
}

CMainWnd::~CMainWnd()
{
    // The window, and with it the icon, went before its object.
    if (m_iconImage != nullptr)
        DestroyIcon(m_iconImage);
}

HWND CMainWnd::Create()
{
    const WindowInfo& info = m_settings->Window;
    HWND window = korra::CWindowImplA<CMainWnd>::Create(
        nullptr, info.x, info.y, info.cx, info.cy, MAIN_WINDOW_CLASS, kMainStyle,
        WS_EX_TOOLWINDOW | LayeredStyle(), nullptr, m_instance);
    if (window != nullptr)
        ApplyTransparency(window, info.Transparency);
    return window;
}

LRESULT CMainWnd::OnCreate()
{
    if (m_edit.Create(m_hWnd) == nullptr)
        return -1;
    m_edit.ApplyFormat();
    if (m_popup.Create(m_hWnd) == nullptr)
        return -1;
    m_settingSheet.SetTargets(m_hWnd, m_edit.GetHwnd());
    SetUpNotifyIcon();
    return 0;
}

void CMainWnd::SetUpNotifyIcon()
{
    m_notifyIcon.SetWindow(m_hWnd);
    m_notifyIcon.RegisterHandler(WM_LBUTTONDBLCLK, OnIconDoubleClick, this);
    m_notifyIcon.RegisterHandler(WM_LBUTTONUP, OnIconLeftClick, this);
    m_notifyIcon.RegisterHandler(WM_RBUTTONUP, OnIconRightClick, this);

    char version[64] = {};
    unsigned size = sizeof version;
    GetVersionText(nullptr, version, &size);  // "" without a version resource
    m_notifyIcon.SetTooltip((std::string("Pellor Ver. ") + version).c_str());

    if (m_iconImage == nullptr)
        m_iconImage = static_cast<HICON>(LoadImageA(m_instance, MAKEINTRESOURCEA(IDI_TARNIC), IMAGE_ICON,
                                                    GetSystemMetrics(SM_CXSMICON),
                                                    GetSystemMetrics(SM_CYSMICON), 0));
    m_notifyIcon.SetIcon(m_iconImage);
    if (!m_settings->Stationed)
        return;
    const bool hotKeyTaken = !RegisterLauncherHotKey(m_hWnd, m_settings->HotKey);
    // Adding the icon waits for the shell's own process to answer: the
    // window is shown first.
    PostMessage(WMU_RESIDENTREADY, hotKeyTaken ? 1 : 0);
}

void CMainWnd::OnResidentReady(bool hotKeyTaken)
{
    if (m_settings->Stationed)
        m_notifyIcon.Add();
    // Without its key a hidden launcher is reachable only through the icon.
    if (hotKeyTaken) {
        const std::string key = HotKeyName(m_settings->HotKey);
        ShowResourceMessage(m_instance, m_hWnd, IDS_HOT_KEY_TAKEN, MB_ICONWARNING, 0, key.c_str());
    }
}

void CMainWnd::OnHotKey(WPARAM id)
{
    if (id != kHotKeyId)
        return;
    // Never hides: a visible window only comes to the front.
    ShowWindow(SW_SHOWNORMAL);
    SetForegroundWindow();
    m_popup.ShowWindow(SW_SHOWNA);  // stays hidden when it holds nothing
}

LRESULT CMainWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT iconResult = 0;
    if (m_notifyIcon.Filter(message, wParam, lParam, &iconResult))
        return iconResult;
    switch (message) {
    case WM_CREATE:
        return OnCreate();
    case WM_SIZE:
        m_edit.MoveWindow(0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
        return 0;
    case WM_COMMAND:
        OnCommand(LOWORD(wParam));
        return 0;
    case WM_SETFOCUS:
        m_edit.SetFocus();
        return 0;
    case WM_ACTIVATEAPP:
        // In resident mode the window gets out of the way of the program
        // it started; not while the settings sheet, its child, is open.
        if (m_settings->Stationed && !wParam && m_settingSheet.GetHwnd() == nullptr) {
            ShowWindow(SW_HIDE);
            m_popup.ShowWindow(SW_HIDE);  // its items stay
        }
        return 0;
    case WM_SETTINGCHANGE:
        return OnEnvironmentSettingChange(m_environment, wParam, lParam);
    case WM_HOTKEY:
        OnHotKey(wParam);
        return 0;
    case WMU_RESIDENTREADY:
        OnResidentReady(wParam != 0);
        return 0;
    case WM_DISPLAYCHANGE:
        FitToWorkArea();
        return 0;
    case WM_QUERYENDSESSION:
        OnFinalDestroy();
        return TRUE;
    case WM_NCDESTROY:
        OnFinalDestroy();
        // Only now: a quit message posted earlier would close at once the
        // message box of a failed save, before the user could read it.
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProc(message, wParam, lParam);
}

void CMainWnd::OnFinalDestroy()
{
    m_notifyIcon.Remove();
    SaveSettings(*m_settings);
}

void CMainWnd::OnCommand(WORD id)
{
    if (id >= ID_HISTORY_BASE) {
        RunHistoryEntry(id - ID_HISTORY_BASE);
        return;
    }
    switch (id) {
    case ID_SETTING:
        OpenSettingsSheet();
        break;
    case ID_ABOUT:
        ShowAboutBox();
        break;
    case ID_QUIT:
        SendMessage(WM_CLOSE);
        break;
    case ID_HELP:
        ShowHelp();
        break;
    }
}

void CMainWnd::RunHistoryEntry(std::size_t index)
{
    const CInputHistory& history = m_settings->History;
    const std::string text = index < history.GetCount() ? history.GetAt(index) : std::string();
    m_edit.SetWindowText(text.c_str());
    m_edit.SendMessage(WM_CHAR, 0x0D, 1);
}

void CMainWnd::Dismiss()
{
    if (m_settings->Stationed)
        ShowWindow(SW_HIDE);
    else
        SendMessage(WM_CLOSE);
}

void CMainWnd::OpenSettingsSheet()
{
    if (m_settingSheet.GetHwnd() != nullptr)
        return;
    m_popup.HidePopup();
    ShowWindow(SW_SHOWNORMAL);
    m_settingSheet.DoModal(m_hWnd);
    if (m_hWnd == nullptr)
        return;
    // Undo the sheet's previews: the record holds what was applied.
    const WindowInfo& info = m_settings->Window;
    ApplyTransparency(m_hWnd, info.Transparency);
    ApplyTransparency(m_popup.GetHwnd(), info.Transparency);
    m_edit.ApplyFormat();
    MoveWindow(info.x, info.y, info.cx, info.cy, TRUE);
    // The sheet may have switched resident mode; it moves the hot key itself.
    if (m_settings->Stationed)
        m_notifyIcon.Add();
    else
        m_notifyIcon.Remove();
}

void CMainWnd::ShowAboutBox()
{
    m_popup.HidePopup();
    m_aboutDlg.DoModal(m_hWnd);
    m_edit.SetFocus();
}

void CMainWnd::ShowHelp()
{
    ShowHelpContents(m_hWnd);
    m_edit.SetFocus();
}

bool CMainWnd::IsModalOpen() const
{
    return m_settingSheet.GetHwnd() != nullptr || m_aboutDlg.GetHwnd() != nullptr;
}

void CMainWnd::ShowContextMenu(bool fromIcon)
{
    // The window must be in the foreground, or the menu stays open when
    // the user clicks elsewhere.
    SetForegroundWindow();
    HMENU menu = LoadMenuA(m_instance, MAKEINTRESOURCEA(IDR_CONTEXT_MENU));
    if (menu == nullptr)
        return;
    HMENU popup = GetSubMenu(menu, 0);
    SetMenuDefaultItem(popup, ID_SETTING, FALSE);
    if (IsModalOpen()) {
        EnableMenuItem(popup, ID_SETTING, MF_BYCOMMAND | MF_GRAYED);
        EnableMenuItem(popup, ID_QUIT, MF_BYCOMMAND | MF_GRAYED);
        EnableMenuItem(popup, ID_ABOUT, MF_BYCOMMAND | MF_GRAYED);
    }
    const CInputHistory& history = m_settings->History;
    HMENU historyMenu = GetSubMenu(popup, kHistorySubMenu);
    if (history.GetCount() > 0 && historyMenu != nullptr) {
        DeleteMenu(historyMenu, 0, MF_BYPOSITION);
        for (std::size_t i = 0; i < history.GetCount(); ++i) {
            AppendMenuA(historyMenu, MF_STRING, ID_HISTORY_BASE + i,
                        MenuLabel(history.GetAt(i)).c_str());
        }
    } else {
        EnableMenuItem(popup, kHistorySubMenu, MF_BYPOSITION | MF_GRAYED);
    }

    POINT cursor = {};
    GetCursorPos(&cursor);
    if (fromIcon) {
        UINT id = static_cast<UINT>(TrackPopupMenu(popup, TPM_RETURNCMD | TPM_NONOTIFY, cursor.x,
                                                   cursor.y, 0, m_hWnd, nullptr));
        PostMessage(WM_COMMAND, id);
    } else {
        TrackPopupMenu(popup, 0, cursor.x, cursor.y, 0, m_hWnd, nullptr);
    }
    DestroyMenu(menu);
    PostMessage(WM_NULL);
}

void CMainWnd::FitToWorkArea()
{
    RECT area = {};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    const WindowInfo& info = m_settings->Window;
    const int width = info.cx < area.right - area.left ? info.cx : area.right - area.left;
    const int height = info.cy < area.bottom - area.top ? info.cy : area.bottom - area.top;
    int x = info.x;
    if (area.left > x)
        x = area.left;
    else if (x + width > area.right)
        x = area.right - width;
    int y = info.y;
    if (area.top > y)
        y = area.top;
    else if (y + height > area.bottom)
        y = area.bottom - height;
    SetWindowPos(nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}
