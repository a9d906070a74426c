// Thin wrappers over window handles.
//
// CWindowingA holds an HWND it does not own and offers one virtual
// operation per window call it wraps, so that a derived window may change
// what one call means (the launcher's input box re-applies its character
// format whenever its text is set). Nothing here creates or destroys a
// window on its own: the implementation templates (WindowImpl.h,
// DialogImpl.h, PropSheetImpl.h) do that.
#pragma once

#include <windows.h>

#include <string>

namespace korra {

class CWindowingA {
public:
    explicit CWindowingA(HWND window = nullptr) : m_hWnd(window) {}
    virtual ~CWindowingA() = default;

    CWindowingA(const CWindowingA&) = default;
    CWindowingA& operator=(const CWindowingA&) = default;

    HWND GetHwnd() const { return m_hWnd; }
    void Attach(HWND window) { m_hWnd = window; }
    HWND Detach()
    {
        HWND window = m_hWnd;
        m_hWnd = nullptr;
        return window;
    }
    // False for an unbound wrapper and for a handle that was destroyed.
    bool IsWindow() const { return m_hWnd != nullptr && ::IsWindow(m_hWnd) != FALSE; }

    virtual LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const
    {
        return ::SendMessageA(m_hWnd, message, wParam, lParam);
    }
    virtual BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const
    {
        return ::PostMessageA(m_hWnd, message, wParam, lParam);
    }
    virtual BOOL SetWindowText(const char* text) { return ::SetWindowTextA(m_hWnd, text); }
    // The whole text; "" for an unbound wrapper or an empty window.
    virtual std::string GetWindowText() const;
    virtual int GetWindowTextLength() const { return ::GetWindowTextLengthA(m_hWnd); }
    virtual BOOL ShowWindow(int command) { return ::ShowWindow(m_hWnd, command); }
    virtual BOOL IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }
    virtual BOOL UpdateWindow() { return ::UpdateWindow(m_hWnd); }
    virtual BOOL RedrawWindow(UINT flags = RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN)
    {
        return ::RedrawWindow(m_hWnd, nullptr, nullptr, flags);
    }
    virtual BOOL MoveWindow(int x, int y, int width, int height, BOOL repaint = TRUE)
    {
        return ::MoveWindow(m_hWnd, x, y, width, height, repaint);
    }
    virtual BOOL SetWindowPos(HWND insertAfter, int x, int y, int width, int height, UINT flags)
    {
        return ::SetWindowPos(m_hWnd, insertAfter, x, y, width, height, flags);
    }
    virtual BOOL GetWindowRect(RECT* rect) const { return ::GetWindowRect(m_hWnd, rect); }
    virtual BOOL GetClientRect(RECT* rect) const { return ::GetClientRect(m_hWnd, rect); }
    // The window that had the focus before, or null.
    virtual HWND SetFocus() { return ::SetFocus(m_hWnd); }
    virtual BOOL SetForegroundWindow() { return ::SetForegroundWindow(m_hWnd); }
    virtual BOOL EnableWindow(BOOL enable = TRUE) { return ::EnableWindow(m_hWnd, enable); }
    virtual BOOL DestroyWindow() { return ::DestroyWindow(m_hWnd); }
    virtual HWND GetDlgItem(int id) const { return ::GetDlgItem(m_hWnd, id); }
    virtual HWND GetParent() const { return ::GetParent(m_hWnd); }
    virtual LONG_PTR GetWindowLongPtr(int index) const { return ::GetWindowLongPtrA(m_hWnd, index); }
    virtual LONG_PTR SetWindowLongPtr(int index, LONG_PTR value)
    {
        return ::SetWindowLongPtrA(m_hWnd, index, value);
    }
    virtual HDC GetDC() const { return ::GetDC(m_hWnd); }
    virtual int ReleaseDC(HDC dc) const { return ::ReleaseDC(m_hWnd, dc); }

    // Adds and removes style bits; the frame is not recalculated.
    void ModifyStyle(DWORD remove, DWORD add)
    {
        LONG_PTR style = GetWindowLongPtr(GWL_STYLE);
        SetWindowLongPtr(GWL_STYLE, (style & ~static_cast<LONG_PTR>(remove)) | add);
    }

    HWND m_hWnd;  // not owned
};

// A handle to any window, for calls on windows this program does not
// implement (another instance's input window, a control of a dialog).
class CWindowA : public CWindowingA {
public:
    explicit CWindowA(HWND window = nullptr) : CWindowingA(window) {}
};

}  // namespace korra
