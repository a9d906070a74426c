#include "NotifyIcon.h"

#include "Environment.h"
#include "TextRoutines.h"

#include <commctrl.h>

#include <cstring>

namespace {

constexpr UINT kIconId = 1;
constexpr UINT kAddFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;

}  // namespace

CNotifyIcon::CNotifyIcon()
    : m_handlers(),
      m_taskbarMessage(RegisterWindowMessageA("TaskbarCreated")),
      m_data(),
      m_added(false),
      m_commonControlsLevel(GetCommonControlsLevel())
{
    // The record as this build's headers lay it out: the shell reads cbSize
    // bytes, so a size taken from another platform's layout (a 32-bit one
    // in a 64-bit program) would make it refuse the icon or read past it.
    m_data.cbSize = m_commonControlsLevel >= 0x500 ? NOTIFYICONDATAA_V2_SIZE : NOTIFYICONDATAA_V1_SIZE;
    m_data.uID = kIconId;
    m_data.uCallbackMessage = WMU_NOTIFYICON;
}

CNotifyIcon::~CNotifyIcon() { Remove(); }

int CNotifyIcon::SlotOf(UINT code)
{
    if (code >= WM_MOUSEMOVE && code <= WM_MBUTTONDBLCLK)
        return static_cast<int>(code - WM_MOUSEMOVE);
    if (code >= 0x400 && code <= 0x405)
        return static_cast<int>(code - 0x400) + 13;
    return -1;
}

void CNotifyIcon::RegisterHandler(UINT code, Handler handler, void* context)
{
    const int slot = SlotOf(code);
    if (slot >= 0)
        m_handlers[slot] = {handler, context};
}

void CNotifyIcon::SetTooltip(const char* text)
{
    // The oldest shells read only the first 64 bytes of the tip.
    const std::size_t room =
        (m_data.cbSize >= NOTIFYICONDATAA_V2_SIZE ? sizeof m_data.szTip : 64) - 1;
    const std::size_t length = CharacterSafeLength(text, room);
    std::memcpy(m_data.szTip, text, length);
    m_data.szTip[length] = '\0';
    if (m_added) {
        m_data.uFlags = NIF_TIP;
        Shell_NotifyIconA(NIM_MODIFY, &m_data);
    }
}

void CNotifyIcon::SetIcon(HICON icon)
{
    m_data.hIcon = icon;
    if (m_added) {
        m_data.uFlags = NIF_ICON;
        Shell_NotifyIconA(NIM_MODIFY, &m_data);
    }
}

bool CNotifyIcon::Add()
{
    if (m_added)
        return true;
    m_data.uFlags = kAddFlags;
    m_added = Shell_NotifyIconA(NIM_ADD, &m_data) != FALSE;
    return m_added;
}

void CNotifyIcon::Remove()
{
    if (!m_added)
        return;
    m_added = false;
    m_data.uFlags = 0;
    Shell_NotifyIconA(NIM_DELETE, &m_data);
}

bool CNotifyIcon::Filter(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    if (message == m_taskbarMessage && m_taskbarMessage != 0) {
        // A new taskbar knows nothing of the icons of the old one.
        if (m_added) {
            m_data.uFlags = kAddFlags;
            Shell_NotifyIconA(NIM_ADD, &m_data);
        }
        return false;
    }
    if (message != WMU_NOTIFYICON || wParam != kIconId)
        return false;
    const int slot = SlotOf(static_cast<UINT>(lParam));
    if (slot < 0)
        return false;
    const Slot& entry = m_handlers[slot];
    *result = entry.handler != nullptr ? entry.handler(wParam, lParam, entry.context) : 0;
    return true;
}

UINT HotKeyModifiers(WORD hotKey)
{
    const BYTE flags = HIBYTE(hotKey);
    UINT modifiers = 0;
    if (flags & HOTKEYF_ALT)
        modifiers |= MOD_ALT;
    if (flags & HOTKEYF_CONTROL)
        modifiers |= MOD_CONTROL;
    if (flags & HOTKEYF_SHIFT)
        modifiers |= MOD_SHIFT;
    return modifiers;
}

bool RegisterLauncherHotKey(HWND window, WORD hotKey)
{
    return RegisterHotKey(window, kHotKeyId, HotKeyModifiers(hotKey), LOBYTE(hotKey)) != FALSE;
}

std::string HotKeyName(WORD hotKey)
{
    const BYTE flags = HIBYTE(hotKey);
    const BYTE key = LOBYTE(hotKey);
    std::string name;
    if (flags & HOTKEYF_CONTROL)
        name += "Ctrl+";
    if (flags & HOTKEYF_ALT)
        name += "Alt+";
    if (flags & HOTKEYF_SHIFT)
        name += "Shift+";
    if ((key >= '0' && key <= '9') || (key >= 'A' && key <= 'Z')) {
        name += static_cast<char>(key);
        return name;
    }
    // Other keys by the keyboard layout's own name ("F5", "Space").
    LONG scan = static_cast<LONG>(MapVirtualKeyA(key, MAPVK_VK_TO_VSC)) << 16;
    if (flags & HOTKEYF_EXT)
        scan |= 1 << 24;
    char text[64] = {};
    if (scan != 0 && GetKeyNameTextA(scan, text, sizeof text) > 0) {
        name += text;
    } else {
        char code[8];
        wsprintfA(code, "0x%02X", key);
        name += code;
    }
    return name;
}
