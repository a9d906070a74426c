// The launcher's icon in the notification area, and the global hot key,
// through which resident mode brings the hidden input window back.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <string>

// The icon's callback message to its window.
constexpr UINT WMU_NOTIFYICON = WM_APP + 200;
// The hot key's identifier on the input window.
constexpr int kHotKeyId = 100;

class CNotifyIcon {
public:
    // A mouse or notification code's handler: called with the callback
    // message's wParam and lParam and the context it was registered with;
    // returns the window procedure's result.
    using Handler = LRESULT (*)(WPARAM wParam, LPARAM lParam, void* context);

    // The icon record with identifier 1 and WMU_NOTIFYICON, no window yet;
    // nothing is shown until Add.
    CNotifyIcon();
    ~CNotifyIcon();
    CNotifyIcon(const CNotifyIcon&) = delete;
    CNotifyIcon& operator=(const CNotifyIcon&) = delete;

    void SetWindow(HWND window) { m_data.hWnd = window; }
    // Codes 0x200 to 0x209 (WM_MOUSEMOVE to WM_MBUTTONDBLCLK) and 0x400 to
    // 0x405; other codes have no slot and are ignored.
    void RegisterHandler(UINT code, Handler handler, void* context);
    // At most what the record's tip holds (127 bytes, or 63 for the oldest
    // shells), cut between characters; the shown icon follows at once.
    void SetTooltip(const char* text);
    // The image, which the caller keeps alive; the shown icon follows at once.
    void SetIcon(HICON icon);

    // Shows the icon unless it is shown; false when the shell refused it
    // (it is then tried again only by the next Add).
    bool Add();
    // Takes the icon away when it is shown.
    void Remove();
    bool IsAdded() const { return m_added; }

    // For every message of the window, before the window's own handling:
    // true, with *result, when the message was the icon's callback with a
    // mouse or notification code. "TaskbarCreated" shows the icon again
    // (when it was shown) and counts as not handled.
    bool Filter(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);

    const NOTIFYICONDATAA& GetData() const { return m_data; }
    UINT GetTaskbarMessage() const { return m_taskbarMessage; }

private:
    struct Slot {
        Handler handler;
        void* context;
    };
    static int SlotOf(UINT code);

    Slot m_handlers[19];
    UINT m_taskbarMessage;
    NOTIFYICONDATAA m_data;
    bool m_added;
    WORD m_commonControlsLevel;
};

// The hot-key control's modifier flags (high byte of a hot key: shift 1,
// control 2, alt 4, extended 8) as RegisterHotKey's: alt 1, control 2,
// shift 4; the extended-key flag is dropped.
UINT HotKeyModifiers(WORD hotKey);
// Registers hotKey (virtual key in the low byte) as the window's kHotKeyId.
// False when Windows refuses, for instance because another program has it.
bool RegisterLauncherHotKey(HWND window, WORD hotKey);
// The key as people write it: "Ctrl+Alt+L".
std::string HotKeyName(WORD hotKey);
