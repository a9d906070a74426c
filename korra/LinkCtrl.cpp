// The hyperlink control's window procedure and its wrapper.
#include "korra/LinkCtrl.h"

#include <shellapi.h>

#include <cstring>
#include <new>
#include <vector>

namespace korra {

namespace {

// ---- Process-wide ----------------------------------------------------------

bool g_registered = false;
HCURSOR g_handCursor = nullptr;
HINSTANCE g_linkInstance = nullptr;  // the instance the class was registered in

constexpr int kSystemHandCursor = 32649;  // IDC_HAND

// ---- One control -----------------------------------------------------------

// Lives in the window's extra bytes from WM_NCCREATE to WM_NCDESTROY. The
// fonts belong to whoever set them.
struct LinkState {
    std::string target;  // empty: the control is a plain label
    bool hover = false;
    bool captured = false;
    bool focused = false;
    BYTE pendingKey = 0;  // VK_SPACE or VK_RETURN pressed while focused
    HFONT ownFont = nullptr;
    HFONT normalFont = nullptr;
    HFONT focusFont = nullptr;
    HFONT hoverFont = nullptr;
    COLORREF normalColor = 0;
    COLORREF focusColor = 0;
    COLORREF hoverColor = 0;
};

LinkState* StateOf(HWND window)
{
    return reinterpret_cast<LinkState*>(::GetWindowLongPtrA(window, 0));
}

DWORD StyleOf(HWND window)
{
    return static_cast<DWORD>(::GetWindowLongPtrA(window, GWL_STYLE));
}

void SetTabStop(HWND window, bool on)
{
    const DWORD style = StyleOf(window);
    const DWORD changed = on ? (style | WS_TABSTOP) : (style & ~WS_TABSTOP);
    if (changed != style)
        ::SetWindowLongPtrA(window, GWL_STYLE, static_cast<LONG_PTR>(changed));
}

// A transparent control shows its parent through itself: the parent is
// repainted beneath it, and the control (a child) with it.
void Redraw(HWND window)
{
    constexpr UINT flags = RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW;
    HWND parent = ::GetParent(window);
    if (!(StyleOf(window) & LCS_TRANSPARENT) || parent == nullptr) {
        ::RedrawWindow(window, nullptr, nullptr, flags);
        return;
    }
    RECT rect;
    ::GetWindowRect(window, &rect);
    ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
    ::RedrawWindow(parent, &rect, nullptr, flags | RDW_ALLCHILDREN);
}

void DrawFocusFrame(HWND window)
{
    HDC dc = ::GetDC(window);
    RECT client;
    ::GetClientRect(window, &client);
    ::DrawFocusRect(dc, &client);
    ::ReleaseDC(window, dc);
}

void OpenTarget(HWND window, const LinkState& state)
{
    // What the shell makes of the target is its business: a failure shows
    // the shell's own message or nothing.
    ::ShellExecuteA(window, nullptr, state.target.c_str(), "", nullptr, SW_SHOWNORMAL);
}

UINT TextFormat(DWORD style)
{
    UINT format = 0;
    if (style & LCS_CENTER)
        format |= DT_CENTER;
    if (style & LCS_RIGHT)
        format |= DT_RIGHT;
    if (style & LCS_VCENTER)
        format |= DT_VCENTER | DT_SINGLELINE;
    return format;
}

// Nothing is selected for a null font: the DC's own stays.
HGDIOBJ SelectFont(HDC dc, HFONT font)
{
    return font != nullptr ? ::SelectObject(dc, font) : nullptr;
}

void RestoreFont(HDC dc, HGDIOBJ previous)
{
    if (previous != nullptr)
        ::SelectObject(dc, previous);
}

// Whether the client point lies on the link: its measured text for a
// text link, the whole client for the other kinds.
bool InHotArea(HWND window, const LinkState& state, POINT point)
{
    const DWORD style = StyleOf(window);
    if ((style & LCS_KINDMASK) != 0)
        return true;
    const std::string text = CWindowA(window).GetWindowText();
    RECT client;
    ::GetClientRect(window, &client);
    RECT measured = client;
    HDC dc = ::GetDC(window);
    HGDIOBJ previous = SelectFont(dc, state.normalFont);
    ::DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &measured,
                DT_CALCRECT | ((style & LCS_VCENTER) ? DT_SINGLELINE : 0));
    RestoreFont(dc, previous);
    ::ReleaseDC(window, dc);

    const LONG textWidth = measured.right - measured.left;
    const LONG textHeight = measured.bottom - measured.top;
    const LONG clientWidth = client.right - client.left;
    const LONG clientHeight = client.bottom - client.top;
    RECT hot = measured;
    if ((style & LCS_CENTER) && clientWidth > textWidth) {
        hot.left = (clientWidth - textWidth) / 2;
        hot.right = client.right - hot.left;
    } else if ((style & LCS_RIGHT) && clientWidth > textWidth) {
        // Right-aligned text ends at the client's right edge.
        hot.left = client.right - textWidth;
        hot.right = client.right;
    }
    if ((style & LCS_VCENTER) && clientHeight > textHeight) {
        hot.top = (clientHeight - textHeight) / 2;
        hot.bottom = client.bottom - hot.top;
    }
    return hot.left <= point.x && point.x <= hot.right && hot.top <= point.y &&
           point.y <= hot.bottom;
}

// ---- Painting --------------------------------------------------------------

using IsThemeActiveProc = BOOL(WINAPI*)();
using OpenThemeDataProc = HANDLE(WINAPI*)(HWND, LPCWSTR);
using CloseThemeDataProc = HRESULT(WINAPI*)(HANDLE);
using DrawThemeTextProc = HRESULT(WINAPI*)(HANDLE, HDC, int, int, LPCWSTR, int, DWORD, DWORD,
                                           LPCRECT);
constexpr DWORD kThemeTextGrayed = 0x0001;  // DTT_GRAYED

// Greyed text the way the visual styles draw it; false when no theme is
// active (or the library is missing) and the caller draws it classically.
bool DrawThemedDisabledText(HWND window, HDC dc, const std::string& text, RECT rect, UINT format)
{
    // Loaded once, never unloaded: painting must not load a library each time.
    static HMODULE theme = ::LoadLibraryA("UxTheme.dll");
    if (theme == nullptr)
        return false;
    auto isActive = reinterpret_cast<IsThemeActiveProc>(
        reinterpret_cast<void*>(::GetProcAddress(theme, "IsThemeActive")));
    auto open = reinterpret_cast<OpenThemeDataProc>(
        reinterpret_cast<void*>(::GetProcAddress(theme, "OpenThemeData")));
    auto close = reinterpret_cast<CloseThemeDataProc>(
        reinterpret_cast<void*>(::GetProcAddress(theme, "CloseThemeData")));
    auto draw = reinterpret_cast<DrawThemeTextProc>(
        reinterpret_cast<void*>(::GetProcAddress(theme, "DrawThemeText")));
    if (isActive == nullptr || open == nullptr || close == nullptr || draw == nullptr ||
        !isActive())
        return false;
    HANDLE data = open(window, L"STATIC");
    if (data == nullptr)
        return false;
    UINT codePage = ::GetACP();
    if (codePage == 0)
        codePage = ::GetOEMCP();
    if (codePage == 1)
        codePage = 0;
    std::vector<wchar_t> wide(text.size() + 1, L'\0');
    const int length = ::MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()),
                                             wide.data(), static_cast<int>(wide.size()));
    draw(data, dc, 0, 0, wide.data(), length, format, kThemeTextGrayed, &rect);
    close(data);
    return true;
}

void DrawDisabledText(HWND window, HDC dc, const std::string& text, RECT rect, UINT format)
{
    const int length = static_cast<int>(text.size());
    if (StyleOf(window) & LCS_GRAYED) {
        ::SetTextColor(dc, ::GetSysColor(COLOR_GRAYTEXT));
        ::DrawTextA(dc, text.c_str(), length, &rect, format);
        return;
    }
    if (DrawThemedDisabledText(window, dc, text, rect, format))
        return;
    // Embossed: the highlight one pixel down and right, the grey on top.
    RECT shifted = rect;
    ::OffsetRect(&shifted, 1, 1);
    ::SetTextColor(dc, ::GetSysColor(COLOR_3DHILIGHT));
    ::DrawTextA(dc, text.c_str(), length, &shifted, format);
    ::SetTextColor(dc, ::GetSysColor(COLOR_GRAYTEXT));
    ::DrawTextA(dc, text.c_str(), length, &rect, format);
}

void Paint(HWND window, const LinkState& state)
{
    PAINTSTRUCT paint;
    HDC dc = ::BeginPaint(window, &paint);
    const DWORD style = StyleOf(window);
    RECT client;
    ::GetClientRect(window, &client);
    const DWORD kind = style & LCS_KINDMASK;
    // Kinds 1 and 2 show no text: only their background and the focus.
    if (kind != 1 && kind != 2) {
        const std::string text = CWindowA(window).GetWindowText();
        const UINT format = TextFormat(style);
        HGDIOBJ previous = nullptr;
        if (::IsWindowEnabled(window)) {
            if (state.target.empty()) {
                previous = SelectFont(dc, state.ownFont);
                ::SendMessageA(::GetParent(window), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                               reinterpret_cast<LPARAM>(window));
            } else if (state.hover) {
                previous = SelectFont(dc, state.hoverFont);
                ::SetTextColor(dc, state.hoverColor);
            } else if (state.focused) {
                previous = SelectFont(dc, state.focusFont);
                ::SetTextColor(dc, state.focusColor);
            } else {
                previous = SelectFont(dc, state.normalFont);
                ::SetTextColor(dc, state.normalColor);
            }
            ::SetBkMode(dc, TRANSPARENT);
            RECT rect = client;
            ::DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &rect, format);
        } else {
            previous = SelectFont(dc, state.target.empty() ? state.ownFont : state.normalFont);
            ::SetBkMode(dc, TRANSPARENT);
            DrawDisabledText(window, dc, text, client, format);
        }
        RestoreFont(dc, previous);
    }
    if (state.focused)
        ::DrawFocusRect(dc, &client);
    ::EndPaint(window, &paint);
}

LRESULT EraseBackground(HWND window, HDC dc)
{
    if (StyleOf(window) & LCS_TRANSPARENT) {
        ::SetBkMode(dc, TRANSPARENT);
        return 1;
    }
    HBRUSH brush = reinterpret_cast<HBRUSH>(::SendMessageA(
        ::GetParent(window), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
        reinterpret_cast<LPARAM>(window)));
    if (brush == nullptr)
        brush = ::GetSysColorBrush(COLOR_BTNFACE);
    RECT client;
    ::GetClientRect(window, &client);
    ::FillRect(dc, &client, brush);
    return 1;
}

// ---- Input -----------------------------------------------------------------

void MoveFocusAlong(HWND window, bool backwards)
{
    HWND parent = ::GetParent(window);
    if (parent == nullptr)
        return;
    // A dialog moves the focus itself, so that the button that gets it also
    // becomes the default one (Enter then presses it, not IDOK). Other
    // parents ignore the message, and the focus is set here.
    ::SendMessageA(parent, WM_NEXTDLGCTL, backwards ? TRUE : FALSE, FALSE);
    if (::GetFocus() != window)
        return;
    HWND next = ::GetNextDlgTabItem(parent, window, backwards ? TRUE : FALSE);
    if (next != nullptr && next != window)
        ::SetFocus(next);
}

void OnMouseMove(HWND window, LinkState& state, LPARAM lParam)
{
    POINT screen;
    ::GetCursorPos(&screen);
    RECT bounds;
    ::GetWindowRect(window, &bounds);
    if (!::PtInRect(&bounds, screen)) {
        if (state.hover) {
            state.hover = false;
            Redraw(window);
        }
        state.captured = false;
        ::ReleaseCapture();
        return;
    }
    // Held until the mouse leaves, so that the leaving is seen.
    if (!state.captured) {
        ::SetCapture(window);
        state.captured = true;
    }
    const POINT point = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
    if (!state.target.empty() && InHotArea(window, state, point)) {
        ::SetCursor(g_handCursor);
        if (!state.hover) {
            state.hover = true;
            Redraw(window);
        }
    } else if (state.hover) {
        ::SetCursor(::LoadCursorA(nullptr, IDC_ARROW));
        state.hover = false;
        Redraw(window);
    }
}

LRESULT OnSetTarget(HWND window, LinkState& state, const char* text)
{
    state.target = text != nullptr ? text : "";
    if (state.target.empty()) {
        SetTabStop(window, false);
        if (state.focused) {
            MoveFocusAlong(window, false);
            Redraw(window);
        } else if (state.hover) {
            Redraw(window);
        }
    } else {
        SetTabStop(window, true);
        if (!state.hover)
            Redraw(window);
    }
    return 1;
}

LRESULT OnGetTarget(const LinkState& state, WPARAM size, char* buffer)
{
    // No room for even the terminator: nothing is written.
    if (buffer == nullptr || size == 0)
        return 0;
    std::size_t count = state.target.size();
    if (count > size - 1)
        count = size - 1;
    state.target.copy(buffer, count);
    buffer[count] = '\0';
    return static_cast<LRESULT>(count);
}

LRESULT SetStoredFont(HWND window, HFONT& field, WPARAM font, LPARAM redraw)
{
    HFONT previous = field;
    field = reinterpret_cast<HFONT>(font);
    if (redraw)
        Redraw(window);
    return reinterpret_cast<LRESULT>(previous);
}

LRESULT SetStoredColor(COLORREF& field, WPARAM color)
{
    COLORREF previous = field;
    field = static_cast<COLORREF>(color);
    return static_cast<LRESULT>(previous);
}

bool CreateState(HWND window)
{
    auto* state = new (std::nothrow) LinkState;
    if (state == nullptr)
        return false;
    HWND parent = ::GetParent(window);
    HFONT parentFont = parent != nullptr
                           ? reinterpret_cast<HFONT>(::SendMessageA(parent, WM_GETFONT, 0, 0))
                           : nullptr;
    state->normalFont = parentFont;
    state->focusFont = parentFont;
    state->hoverFont = parentFont;
    state->focusColor = ::GetSysColor(COLOR_HIGHLIGHT);
    state->hoverColor = ::GetSysColor(COLOR_HOTLIGHT);
    ::SetWindowLongPtrA(window, 0, reinterpret_cast<LONG_PTR>(state));
    // Reached with Tab only once it has a target.
    SetTabStop(window, false);
    return true;
}

LRESULT CALLBACK LinkWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        if (!CreateState(window))
            return FALSE;
        return ::DefWindowProcA(window, message, wParam, lParam);
    }
    LinkState* state = StateOf(window);
    if (state == nullptr)
        return ::DefWindowProcA(window, message, wParam, lParam);

    switch (message) {
    case WM_NCDESTROY:
        ::SetWindowLongPtrA(window, 0, 0);
        delete state;
        break;
    case LCM_SETTARGET:
        return OnSetTarget(window, *state, reinterpret_cast<const char*>(lParam));
    case LCM_GETTARGET:
        return OnGetTarget(*state, wParam, reinterpret_cast<char*>(lParam));
    case LCM_GETTARGETLENGTH:
        return static_cast<LRESULT>(state->target.size());
    case LCM_SETNORMALCOLOR:
        return SetStoredColor(state->normalColor, wParam);
    case LCM_GETNORMALCOLOR:
        return state->normalColor;
    case LCM_SETFOCUSCOLOR:
        return SetStoredColor(state->focusColor, wParam);
    case LCM_GETFOCUSCOLOR:
        return state->focusColor;
    case LCM_SETHOVERCOLOR:
        return SetStoredColor(state->hoverColor, wParam);
    case LCM_GETHOVERCOLOR:
        return state->hoverColor;
    case LCM_SETNORMALFONT:
        return SetStoredFont(window, state->normalFont, wParam, lParam);
    case LCM_GETNORMALFONT:
        return reinterpret_cast<LRESULT>(state->normalFont);
    case LCM_SETFOCUSFONT:
        return SetStoredFont(window, state->focusFont, wParam, lParam);
    case LCM_GETFOCUSFONT:
        return reinterpret_cast<LRESULT>(state->focusFont);
    case LCM_SETHOVERFONT:
        return SetStoredFont(window, state->hoverFont, wParam, lParam);
    case LCM_GETHOVERFONT:
        return reinterpret_cast<LRESULT>(state->hoverFont);
    case WM_SETFONT:
        return SetStoredFont(window, state->ownFont, wParam, LOWORD(lParam));
    case WM_GETFONT:
        return reinterpret_cast<LRESULT>(state->ownFont);

    case WM_ERASEBKGND:
        return EraseBackground(window, reinterpret_cast<HDC>(wParam));
    case WM_PAINT:
        Paint(window, *state);
        return 0;

    case WM_MOUSEMOVE:
        OnMouseMove(window, *state, lParam);
        return 0;
    case WM_CAPTURECHANGED:
        state->captured = false;
        if (state->hover) {
            state->hover = false;
            Redraw(window);
        }
        return 0;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_XBUTTONDOWN:
        ::SetFocus(window);
        break;
    case WM_LBUTTONUP:
        if (state->hover && !state->target.empty())
            OpenTarget(window, *state);
        return 0;

    case WM_GETDLGCODE: {
        LRESULT code = ::DefWindowProcA(window, message, wParam, lParam) | DLGC_BUTTON |
                       (state->focused ? DLGC_DEFPUSHBUTTON : DLGC_UNDEFPUSHBUTTON);
        // Every key but Esc: the dialog manager must still see Esc, or a
        // box whose focus rests on the link could not be closed with it.
        const MSG* queried = reinterpret_cast<const MSG*>(lParam);
        if (queried == nullptr || queried->message != WM_KEYDOWN || queried->wParam != VK_ESCAPE)
            code |= DLGC_WANTALLKEYS;
        return code;
    }
    case WM_SETFOCUS:
        state->focused = true;
        state->pendingKey = 0;
        if (state->hover)
            DrawFocusFrame(window);
        else
            Redraw(window);
        return 0;
    case WM_KILLFOCUS:
        state->focused = false;
        if (state->hover)
            DrawFocusFrame(window);
        else
            Redraw(window);
        return 0;
    case WM_KEYDOWN:
        if (wParam == VK_TAB)
            MoveFocusAlong(window, ::GetKeyState(VK_SHIFT) < 0);
        else if ((wParam == VK_SPACE || wParam == VK_RETURN) && state->focused &&
                 !state->target.empty())
            state->pendingKey = static_cast<BYTE>(wParam);
        return 0;
    case WM_KEYUP:
        if (wParam == VK_SPACE || wParam == VK_RETURN) {
            // One press opens once: a second release without a press does not.
            if (state->pendingKey == wParam && state->focused && !state->target.empty()) {
                state->pendingKey = 0;
                OpenTarget(window, *state);
            }
        }
        return 0;
    }
    return ::DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

bool RegisterLinkControlClass(HINSTANCE instance)
{
    if (g_registered)
        return false;
    g_handCursor = ::LoadCursorA(nullptr, MAKEINTRESOURCEA(kSystemHandCursor));
    if (g_handCursor == nullptr)
        g_handCursor = ::LoadCursorA(instance, MAKEINTRESOURCEA(kSystemHandCursor));
    g_linkInstance = instance;

    WNDCLASSEXA info = {};
    info.cbSize = sizeof info;
    info.style = 0;
    info.lpfnWndProc = LinkWindowProc;
    info.cbWndExtra = sizeof(LinkState*);
    info.hInstance = instance;
    info.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
    info.lpszClassName = kLinkClassName;
    g_registered = ::RegisterClassExA(&info) != 0;
    return g_registered;
}

std::string CLinkCtrlA::GetTarget() const
{
    const int length = GetTargetLength();
    if (length <= 0)
        return std::string();
    std::vector<char> buffer(static_cast<std::size_t>(length) + 1, '\0');
    const int copied = GetTarget(buffer.data(), length + 1);
    return std::string(buffer.data(), static_cast<std::size_t>(copied > 0 ? copied : 0));
}

bool CLinkCtrlA::Attach(HWND window)
{
    char className[64] = {};
    if (window == nullptr || ::GetClassNameA(window, className, sizeof className) == 0 ||
        std::strcmp(className, kLinkClassName) != 0)
        return false;
    m_hWnd = window;
    return true;
}

bool CLinkCtrlA::Create(HINSTANCE instance, const char* text, DWORD style, DWORD exStyle, int x,
                        int y, int width, int height, HMENU menuOrId, HWND parent)
{
    if (IsWindow())
        return false;
    HWND window = ::CreateWindowExA(exStyle, kLinkClassName, text, style | WS_CHILD, x, y, width,
                                    height, parent, menuOrId, instance, nullptr);
    if (window == nullptr)
        return false;
    m_hWnd = window;
    return true;
}

}  // namespace korra
