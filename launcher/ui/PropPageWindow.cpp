#include "PropPageWindow.h"

#include "App.h"
#include "Help.h"
#include "MainEdit.h"
#include "PropPageTools.h"
#include "TextRoutines.h"

#include "korra/Binding.h"
#include "korra/TrackBarCtrl.h"

#include <richedit.h>

#include <cstring>

namespace {

constexpr int kDefaultWidth = 150;
constexpr int kDefaultHeight = 20;
constexpr int kMinimumGripSize = 5;
constexpr int kFieldLimit = 4;

RECT WorkArea()
{
    RECT area = {};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    return area;
}

int LogPixelsY(HWND window)
{
    HDC dc = ::GetDC(window);
    const int pixels = GetDeviceCaps(dc, LOGPIXELSY);
    ::ReleaseDC(window, dc);
    return pixels > 0 ? pixels : 96;
}

}  // namespace

CPropPageWindow::CPropPageWindow(CSettings* settings)
    : m_settings(settings), m_nt((GetVersion() & 0x80000000u) == 0)
{
}

CPropPageWindow::~CPropPageWindow()
{
    if (m_heldPicture != nullptr)
        DeleteObject(m_heldPicture);
}

POINT CPropPageWindow::GlideStep(POINT current, POINT target, bool nt)
{
    auto step = [nt](LONG from, LONG to) -> LONG {
        const LONG distance = to - from;
        LONG move = nt ? distance * 4 / 5 : distance * 2 / 5;
        if (move == 0 && distance != 0)
            move = distance > 0 ? 1 : -1;
        return from + move;
    };
    return POINT{step(current.x, target.x), step(current.y, target.y)};
}

INT_PTR CPropPageWindow::DialogProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        OnInitDialog();
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_WINDOW_X:
        case IDC_WINDOW_Y:
        case IDC_WINDOW_CX:
        case IDC_WINDOW_CY:
            if (HIWORD(wParam) == EN_CHANGE && !m_initializing)
                OnFieldChanged(LOWORD(wParam));
            return TRUE;
        case IDC_WINDOW_TEXT_COLOR:
        case IDC_WINDOW_BG_COLOR:
            if (HIWORD(wParam) == BN_CLICKED)
                ChooseColor(LOWORD(wParam) == IDC_WINDOW_BG_COLOR);
            return TRUE;
        case IDC_WINDOW_FONT:
            if (HIWORD(wParam) == BN_CLICKED)
                ChooseFont();
            return TRUE;
        }
        return FALSE;
    case WM_HSCROLL:
        if (reinterpret_cast<HWND>(lParam) == GetDlgItem(IDC_WINDOW_TRANSPARENCY))
            OnTransparency(LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    case WM_LBUTTONDOWN:
        return OnButtonDown(POINT{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))})
                   ? TRUE
                   : FALSE;
    case WM_MOUSEMOVE:
        OnMouseMove();
        return TRUE;
    case WM_LBUTTONUP:
        OnButtonUp();
        return TRUE;
    case WM_CAPTURECHANGED:
        // Another window took the mouse (a message box, Alt+Tab): the drag
        // ends where it stands.
        if (m_gripState != GripState::Idle && reinterpret_cast<HWND>(lParam) != m_hWnd)
            EndGrip();
        return TRUE;
    case WM_TIMER:
        if (wParam == kGlideTimer)
            OnGlideTimer();
        return TRUE;
    case WM_HELP:
        ShowContextHelp(m_hWnd, reinterpret_cast<const HELPINFO*>(lParam));
        return TRUE;
    case WM_NOTIFY: {
        const NMHDR* header = reinterpret_cast<NMHDR*>(lParam);
        if (header->code == PSN_APPLY) {
            m_settings->Window = m_info;
            SetModified(false);
            SetMsgResult(PSNRET_NOERROR);
            return TRUE;
        }
        return FALSE;
    }
    case WM_DESTROY:
        if (m_gripState != GripState::Idle)
            EndGrip();
        return FALSE;
    }
    return FALSE;
}

void CPropPageWindow::OnInitDialog()
{
    m_info = m_settings->Window;
    m_gripState = GripState::Idle;
    m_initializing = true;
    for (int id : {IDC_WINDOW_X, IDC_WINDOW_Y, IDC_WINDOW_CX, IDC_WINDOW_CY})
        ::SendDlgItemMessageA(m_hWnd, id, EM_LIMITTEXT, kFieldLimit, 0);
    SetField(IDC_WINDOW_X, m_info.x);
    SetField(IDC_WINDOW_Y, m_info.y);
    SetField(IDC_WINDOW_CX, m_info.cx);
    SetField(IDC_WINDOW_CY, m_info.cy);
    m_initializing = false;

    SetDlgItemTextA(m_hWnd, IDC_WINDOW_SAMPLE, "Pellor");
    ApplyCharFormat(GetDlgItem(IDC_WINDOW_SAMPLE), m_info);

    korra::CTrackBarCtrlA transparency(GetDlgItem(IDC_WINDOW_TRANSPARENCY));
    transparency.SetRange(0, 255);
    transparency.SetPageSize(16);
    transparency.SetPos(m_info.Transparency);
    if (g_setLayeredWindowAttributes == nullptr) {
        for (int id : {IDC_WINDOW_TRANSPARENCY, IDC_WINDOW_TRANSPARENT_LABEL, IDC_WINDOW_OPAQUE_LABEL})
            EnableItem(m_hWnd, id, false);
    }
}

void CPropPageWindow::SetField(int id, long value)
{
    SetDlgItemInt(m_hWnd, id, static_cast<UINT>(value), TRUE);
}

// Each handler either corrects the field, whose change then comes back
// through here with the corrected value, or stores the value and moves the
// input window.
void CPropPageWindow::OnFieldChanged(int id)
{
    const RECT area = WorkArea();
    switch (id) {
    case IDC_WINDOW_X:
        OnXChanged(area);
        break;
    case IDC_WINDOW_Y:
        OnYChanged(area);
        break;
    case IDC_WINDOW_CX:
        OnCxChanged(area);
        break;
    case IDC_WINDOW_CY:
        OnCyChanged(area);
        break;
    }
}

void CPropPageWindow::OnXChanged(const RECT& area)
{
    long typed = 0;
    if (!ReadFieldNumber(m_hWnd, IDC_WINDOW_X, true, &typed)) {
        SetField(IDC_WINDOW_X, area.left);
        return;
    }
    // Both edges in one pass: a window wider than the work area settles on
    // the left edge instead of swinging between the two.
    long x = typed;
    if (x + m_info.cx > area.right)
        x = area.right - m_info.cx;
    if (x < area.left)
        x = area.left;
    if (x != typed) {
        SetField(IDC_WINDOW_X, x);
        return;
    }
    m_info.x = static_cast<std::int32_t>(x);
    MoveTarget();
}

void CPropPageWindow::OnYChanged(const RECT& area)
{
    long typed = 0;
    if (!ReadFieldNumber(m_hWnd, IDC_WINDOW_Y, true, &typed)) {
        long y = area.bottom - m_info.cy;
        SetField(IDC_WINDOW_Y, y < area.top ? area.top : y);
        return;
    }
    long y = typed;
    if (y + m_info.cy > area.bottom)
        y = area.bottom - m_info.cy;
    if (y < area.top)
        y = area.top;
    if (y != typed) {
        SetField(IDC_WINDOW_Y, y);
        return;
    }
    m_info.y = static_cast<std::int32_t>(y);
    MoveTarget();
}

// Width and height are digits only: a minus sign makes them no number.
void CPropPageWindow::OnCxChanged(const RECT& area)
{
    long typed = 0;
    if (!ReadFieldNumber(m_hWnd, IDC_WINDOW_CX, false, &typed)) {
        const long room = area.right - m_info.x;
        SetField(IDC_WINDOW_CX, room < kDefaultWidth ? room : kDefaultWidth);
        return;
    }
    if (m_info.x + typed > area.right) {
        SetField(IDC_WINDOW_CX, area.right - m_info.x);
        return;
    }
    m_info.cx = static_cast<std::int32_t>(typed);
    MoveTarget();
}

void CPropPageWindow::OnCyChanged(const RECT& area)
{
    long typed = 0;
    if (!ReadFieldNumber(m_hWnd, IDC_WINDOW_CY, false, &typed)) {
        const long room = area.bottom - m_info.y;
        SetField(IDC_WINDOW_CY, room < kDefaultHeight ? room : kDefaultHeight);
        return;
    }
    if (m_info.y + typed > area.bottom) {
        SetField(IDC_WINDOW_CY, area.bottom - m_info.y);
        return;
    }
    m_info.cy = static_cast<std::int32_t>(typed);
    MoveTarget();
}

void CPropPageWindow::MoveTarget()
{
    if (m_mainWindow != nullptr)
        ::MoveWindow(m_mainWindow, m_info.x, m_info.y, m_info.cx, m_info.cy, TRUE);
    UpdateModified();
}

void CPropPageWindow::UpdateModified()
{
    SetModified(m_info != m_settings->Window);
}

void CPropPageWindow::ShowFormat()
{
    if (m_inputBox != nullptr) {
        ApplyCharFormat(m_inputBox, m_info);
        ::RedrawWindow(m_inputBox, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE);
    }
    HWND sample = GetDlgItem(IDC_WINDOW_SAMPLE);
    ApplyCharFormat(sample, m_info);
    ::RedrawWindow(sample, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE);
}

void CPropPageWindow::ChooseColor(bool background)
{
    COLORREF& color = background ? m_info.BgColor : m_info.TextColor;
    COLORREF chosen = color;
    if (!m_colors.Choose(m_hWnd, &chosen))
        return;
    color = chosen;
    ShowFormat();
    UpdateModified();
}

void CPropPageWindow::ChooseFont()
{
    const int pixelsY = LogPixelsY(m_hWnd);
    const long twips = m_info.FontSize >= 0 ? m_info.FontSize * 20L
                                            : MulDiv(-m_info.FontSize, 1440, pixelsY);
    LOGFONTA font = {};
    font.lfHeight = -(twips * pixelsY / 1440);
    font.lfWeight = (m_info.FontEffects & FONT_BOLD) ? FW_BOLD : FW_NORMAL;
    font.lfItalic = (m_info.FontEffects & FONT_ITALIC) ? TRUE : FALSE;
    font.lfUnderline = (m_info.FontEffects & FONT_UNDERLINE) ? TRUE : FALSE;
    font.lfStrikeOut = (m_info.FontEffects & FONT_STRIKEOUT) ? TRUE : FALSE;
    font.lfCharSet = DEFAULT_CHARSET;
    const std::size_t faceLength =
        CharacterSafeLength(m_info.FontFace.c_str(), sizeof(font.lfFaceName) - 1);
    std::memcpy(font.lfFaceName, m_info.FontFace.data(), faceLength);

    int pointTenths = 0;
    if (!korra::CFontChooserA::Choose(m_hWnd, &font, &pointTenths))
        return;
    std::uint32_t effects = 0;
    if (font.lfWeight >= FW_BOLD)
        effects |= FONT_BOLD;
    if (font.lfItalic)
        effects |= FONT_ITALIC;
    if (font.lfStrikeOut)
        effects |= FONT_STRIKEOUT;
    if (font.lfUnderline)
        effects |= FONT_UNDERLINE;
    const long chosenTwips = (pointTenths / 10) * 20;
    m_info.FontSize = static_cast<std::int32_t>(chosenTwips / 20);  // whole points
    m_info.FontEffects = effects;
    font.lfFaceName[sizeof(font.lfFaceName) - 1] = '\0';
    m_info.FontFace.assign(font.lfFaceName,
                           CharacterSafeLength(font.lfFaceName, sizeof(font.lfFaceName) - 1));
    ShowFormat();
    UpdateModified();
}

void CPropPageWindow::OnTransparency(WORD code, WORD position)
{
    // The position comes with the drag notifications; for keys and page
    // clicks the control has it.
    int value = (code == TB_THUMBTRACK || code == TB_THUMBPOSITION)
                    ? position
                    : korra::CTrackBarCtrlA(GetDlgItem(IDC_WINDOW_TRANSPARENCY)).GetPos();
    if (value < 0)
        value = 0;
    if (value > 255)
        value = 255;
    if (m_mainWindow != nullptr)
        ApplyTransparency(m_mainWindow, static_cast<BYTE>(value));
    m_info.Transparency = static_cast<std::uint8_t>(value);
    UpdateModified();
}

// ---- Grips -----------------------------------------------------------------

bool CPropPageWindow::OnButtonDown(POINT client)
{
    if (m_gripState != GripState::Idle)
        return true;
    // The pictures are plain statics, transparent to the mouse: the page
    // gets the click and finds the grip under it.
    int grip = 0;
    for (int id : {IDC_WINDOW_MOVE_GRIP, IDC_WINDOW_SIZE_GRIP}) {
        RECT rect = {};
        ::GetWindowRect(GetDlgItem(id), &rect);
        ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&rect), 2);
        if (::PtInRect(&rect, client))
            grip = id;
    }
    if (grip == 0)
        return false;
    m_grip = grip;
    SetCapture(m_hWnd);
    SetCursor(LoadCursorA(nullptr, grip == IDC_WINDOW_MOVE_GRIP ? IDC_SIZEALL : IDC_SIZENWSE));
    if (m_heldPicture == nullptr)
        m_heldPicture = static_cast<HBITMAP>(LoadImageA(korra::GetResourceInstance(),
                                                        MAKEINTRESOURCEA(IDB_GRIP_HELD),
                                                        IMAGE_BITMAP, 0, 0, 0));
    m_gripPicture = reinterpret_cast<HBITMAP>(::SendDlgItemMessageA(
        m_hWnd, grip, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(m_heldPicture)));
    m_target = grip == IDC_WINDOW_MOVE_GRIP ? POINT{m_info.x, m_info.y}
                                            : POINT{m_info.x + m_info.cx, m_info.y + m_info.cy};
    m_gripState = GripState::GlidingOut;
    SetTimer(m_hWnd, kGlideTimer, kGlideMs, nullptr);
    return true;
}

void CPropPageWindow::OnGlideTimer()
{
    POINT cursor = {};
    GetCursorPos(&cursor);
    if (cursor.x != m_target.x || cursor.y != m_target.y) {
        const POINT next = GlideStep(cursor, m_target, m_nt);
        SetCursorPos(next.x, next.y);
        return;
    }
    KillTimer(m_hWnd, kGlideTimer);
    if (m_gripState == GripState::GlidingOut)
        m_gripState = GripState::Dragging;
    else if (m_gripState == GripState::GlidingBack)
        EndGrip();
}

void CPropPageWindow::OnMouseMove()
{
    if (m_gripState != GripState::Dragging)
        return;
    POINT cursor = {};
    GetCursorPos(&cursor);
    if (m_grip == IDC_WINDOW_MOVE_GRIP) {
        SetField(IDC_WINDOW_X, cursor.x);
        SetField(IDC_WINDOW_Y, cursor.y);
    } else {
        const long cx = cursor.x - m_info.x;
        const long cy = cursor.y - m_info.y;
        SetField(IDC_WINDOW_CX, cx < kMinimumGripSize ? kMinimumGripSize : cx);
        SetField(IDC_WINDOW_CY, cy < kMinimumGripSize ? kMinimumGripSize : cy);
    }
}

void CPropPageWindow::OnButtonUp()
{
    if (m_gripState == GripState::Idle || m_gripState == GripState::GlidingBack)
        return;
    RECT rect = {};
    ::GetWindowRect(GetDlgItem(m_grip), &rect);
    m_target = POINT{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
    m_gripState = GripState::GlidingBack;
    SetTimer(m_hWnd, kGlideTimer, kGlideMs, nullptr);
}

void CPropPageWindow::EndGrip()
{
    const int grip = m_grip;
    m_gripState = GripState::Idle;
    m_grip = 0;
    KillTimer(m_hWnd, kGlideTimer);
    if (grip != 0)
        ::SendDlgItemMessageA(m_hWnd, grip, STM_SETIMAGE, IMAGE_BITMAP,
                              reinterpret_cast<LPARAM>(m_gripPicture));
    m_gripPicture = nullptr;
    if (GetCapture() == m_hWnd)
        ReleaseCapture();
    SetCursor(LoadCursorA(nullptr, IDC_ARROW));
}
