// The hyperlink control: a child window that shows its text like a static
// label and, once it has a target, opens that target with the shell when it
// is clicked or when Space or Enter is released on it. It is driven by the
// private messages below; CLinkCtrlA sends them.
#pragma once

#include "korra/Windowing.h"

#include <string>

namespace korra {

inline constexpr char kLinkClassName[] = "Link Control Class - Morrowfield";

// Private messages: wParam, lParam -> result.
enum : UINT {
    LCM_SETTARGET = 0x9F00,          // 0, text -> 1
    LCM_GETTARGET = 0x9F01,          // buffer size, buffer -> bytes copied
    LCM_GETTARGETLENGTH = 0x9F02,    // -> bytes
    LCM_SETNORMALCOLOR = 0x9F08,     // colour -> previous colour
    LCM_GETNORMALCOLOR = 0x9F09,
    LCM_SETFOCUSCOLOR = 0x9F0A,
    LCM_GETFOCUSCOLOR = 0x9F0B,
    LCM_SETHOVERCOLOR = 0x9F0C,
    LCM_GETHOVERCOLOR = 0x9F0D,
    LCM_SETNORMALFONT = 0x9F0E,      // font, redraw flag -> previous font
    LCM_GETNORMALFONT = 0x9F0F,
    LCM_SETFOCUSFONT = 0x9F10,
    LCM_GETFOCUSFONT = 0x9F11,
    LCM_SETHOVERFONT = 0x9F12,
    LCM_GETHOVERFONT = 0x9F13,
};

// Style bits (low word of the window style).
enum : DWORD {
    LCS_KINDMASK = 0x000F,     // 0: a text link; other kinds: the whole client is hot
    LCS_CENTER = 0x0010,
    LCS_RIGHT = 0x0020,
    LCS_VCENTER = 0x0040,      // single line, centred vertically
    LCS_GRAYED = 0x4000,       // drawn disabled even when enabled
    LCS_TRANSPARENT = 0x8000,  // no background; redraws repaint the parent beneath
};

// Registers the class in instance on the first call (true when that
// worked); later calls register nothing and return false. A failed first
// registration may be tried again.
bool RegisterLinkControlClass(HINSTANCE instance);

// The layer of the wrapper that holds the handle.
class CLinkCtrlWindowingA : public CWindowingA {
public:
    explicit CLinkCtrlWindowingA(HWND window = nullptr) : CWindowingA(window) {}
};

// Each operation sends its message to the held window and returns the
// result (0 for an unbound wrapper). The control never owns its fonts:
// whoever sets one deletes it after the control is gone.
class CLinkCtrlA : public CLinkCtrlWindowingA {
public:
    explicit CLinkCtrlA(HWND window = nullptr) : CLinkCtrlWindowingA(window) {}

    virtual BOOL SetTarget(const char* target)
    {
        return static_cast<BOOL>(SendMessage(LCM_SETTARGET, 0, reinterpret_cast<LPARAM>(target)));
    }
    // "" when there is none.
    virtual std::string GetTarget() const;
    // Copies at most size - 1 bytes and a terminator; the bytes copied.
    virtual int GetTarget(char* buffer, int size) const
    {
        return static_cast<int>(SendMessage(LCM_GETTARGET, static_cast<WPARAM>(size),
                                            reinterpret_cast<LPARAM>(buffer)));
    }
    virtual int GetTargetLength() const { return static_cast<int>(SendMessage(LCM_GETTARGETLENGTH)); }
    virtual COLORREF SetNormalColor(COLORREF color)
    {
        return static_cast<COLORREF>(SendMessage(LCM_SETNORMALCOLOR, color));
    }
    virtual COLORREF GetNormalColor() const
    {
        return static_cast<COLORREF>(SendMessage(LCM_GETNORMALCOLOR));
    }
    virtual COLORREF SetFocusColor(COLORREF color)
    {
        return static_cast<COLORREF>(SendMessage(LCM_SETFOCUSCOLOR, color));
    }
    virtual COLORREF GetFocusColor() const
    {
        return static_cast<COLORREF>(SendMessage(LCM_GETFOCUSCOLOR));
    }
    virtual COLORREF SetHoverColor(COLORREF color)
    {
        return static_cast<COLORREF>(SendMessage(LCM_SETHOVERCOLOR, color));
    }
    virtual COLORREF GetHoverColor() const
    {
        return static_cast<COLORREF>(SendMessage(LCM_GETHOVERCOLOR));
    }
    virtual HFONT SetNormalFont(HFONT font, BOOL redraw = TRUE)
    {
        return SetFont(LCM_SETNORMALFONT, font, redraw);
    }
    virtual HFONT GetNormalFont() const { return GetFont(LCM_GETNORMALFONT); }
    virtual HFONT SetFocusFont(HFONT font, BOOL redraw = TRUE)
    {
        return SetFont(LCM_SETFOCUSFONT, font, redraw);
    }
    virtual HFONT GetFocusFont() const { return GetFont(LCM_GETFOCUSFONT); }
    virtual HFONT SetHoverFont(HFONT font, BOOL redraw = TRUE)
    {
        return SetFont(LCM_SETHOVERFONT, font, redraw);
    }
    virtual HFONT GetHoverFont() const { return GetFont(LCM_GETHOVERFONT); }

    // The control id of dialog; false, and the wrapper unchanged, when it
    // is not a link control.
    virtual bool Attach(HWND dialog, int id) { return Attach(::GetDlgItem(dialog, id)); }
    // False, and the wrapper unchanged, unless window is a link control.
    virtual bool Attach(HWND window);
    // A child link control (WS_CHILD is added to style); false when the
    // wrapper already holds a live window or the window was not made.
    virtual bool Create(HINSTANCE instance, const char* text, DWORD style, DWORD exStyle, int x,
                        int y, int width, int height, HMENU menuOrId, HWND parent);

private:
    HFONT SetFont(UINT message, HFONT font, BOOL redraw)
    {
        return reinterpret_cast<HFONT>(
            SendMessage(message, reinterpret_cast<WPARAM>(font), redraw ? TRUE : FALSE));
    }
    HFONT GetFont(UINT message) const { return reinterpret_cast<HFONT>(SendMessage(message)); }
};

}  // namespace korra
