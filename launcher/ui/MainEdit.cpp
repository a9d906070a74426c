#include "MainEdit.h"

#include "IntelliSense.h"
#include "MainWnd.h"
#include "Settings.h"
#include "TextRoutines.h"

#include <richedit.h>

#include <cstring>

CMainEdit* CMainEdit::s_instance = nullptr;
WNDPROC CMainEdit::s_richEditProc = nullptr;

namespace {

// Characters of text before byte offset bytes.
int CharactersBefore(const std::string& text, int bytes)
{
    int characters = 0;
    for (int i = 0; i < bytes && i < static_cast<int>(text.size()); ++i) {
        if (IsDBCSLeadByte(static_cast<BYTE>(text[i])) && i + 1 < static_cast<int>(text.size()))
            ++i;
        ++characters;
    }
    return characters;
}

// Byte offset of character position characters in text (-1 stays -1).
int BytesBefore(const std::string& text, int characters)
{
    if (characters < 0)
        return characters;
    int i = 0;
    for (int n = 0; n < characters && i < static_cast<int>(text.size()); ++n) {
        if (IsDBCSLeadByte(static_cast<BYTE>(text[i])) && i + 1 < static_cast<int>(text.size()))
            ++i;
        ++i;
    }
    return i;
}

}  // namespace

CMainEdit::CMainEdit(CIntelliSense* popup, CSettings* settings, CMainWnd* mainWindow)
    : m_popup(popup), m_settings(settings), m_mainWindow(mainWindow)
{
    s_instance = this;
}

CMainEdit::~CMainEdit()
{
    if (s_instance == this)
        s_instance = nullptr;
}

HWND CMainEdit::Create(HWND parent)
{
    HWND box = CreateWindowExA(0, "RICHEDIT", "",
                               WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL | ES_NOHIDESEL, 0, 0, 0, 0,
                               parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kControlId)),
                               reinterpret_cast<HINSTANCE>(::GetWindowLongPtrA(parent, GWLP_HINSTANCE)),
                               nullptr);
    if (box == nullptr)
        return nullptr;
    m_hWnd = box;
    WNDPROC previous = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrA(box, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(SubclassProc)));
    if (s_richEditProc == nullptr)
        s_richEditProc = previous;
    return box;
}

BOOL CMainEdit::SetWindowText(const char* text)
{
    BOOL result = korra::CEditCtrlA::SetWindowText(text);
    ApplyFormat();
    return result;
}

void CMainEdit::ApplyFormat()
{
    if (m_hWnd != nullptr)
        ApplyCharFormat(m_hWnd, m_settings->Window);
}

void ApplyCharFormat(HWND box, const WindowInfo& info)
{
    korra::CEditCtrlA edit(box);
    CHARFORMATA format = {};
    format.cbSize = sizeof(format);
    format.dwMask = CFM_BOLD | CFM_ITALIC | CFM_UNDERLINE | CFM_STRIKEOUT | CFM_SIZE | CFM_COLOR |
                    CFM_FACE | CFM_CHARSET;
    format.dwEffects = info.FontEffects;
    if (info.FontSize >= 0) {
        format.yHeight = info.FontSize * 20;
    } else {
        HDC dc = edit.GetDC();
        format.yHeight = MulDiv(-info.FontSize, 1440, GetDeviceCaps(dc, LOGPIXELSY));
        edit.ReleaseDC(dc);
    }
    format.crTextColor = info.TextColor;
    format.bCharSet = DEFAULT_CHARSET;
    // A face name longer than the font machinery takes is cut at a
    // character boundary.
    std::size_t faceLength =
        CharacterSafeLength(info.FontFace.c_str(), sizeof(format.szFaceName) - 1);
    std::memcpy(format.szFaceName, info.FontFace.data(), faceLength);
    format.szFaceName[faceLength] = '\0';

    // An empty box has no character to carry the format: a space stands in
    // while it is applied.
    const std::string text = edit.GetWindowText();
    int start = 0, end = 0;
    edit.GetSel(&start, &end);
    if (text.empty())
        edit.SetWindowText(" ");
    edit.SetSel(0, -1);

    edit.SendMessage(EM_SETCHARFORMAT, SCF_ALL, reinterpret_cast<LPARAM>(&format));
    edit.SendMessage(EM_SETCHARFORMAT, SCF_SELECTION | SCF_WORD, reinterpret_cast<LPARAM>(&format));
    edit.SendMessage(EM_SETCHARFORMAT, 0, reinterpret_cast<LPARAM>(&format));
    edit.SendMessage(EM_SETBKGNDCOLOR, 0, info.BgColor);

    edit.SetWindowText(text.c_str());
    edit.SetSel(start, end);
}

void CMainEdit::GetSelection(int* start, int* end) const
{
    int first = 0, last = 0;
    korra::CEditCtrlA::GetSel(&first, &last);
    const std::string text = GetWindowText();
    *start = BytesBefore(text, first);
    *end = BytesBefore(text, last);
}

void CMainEdit::SetSelection(int start, int end)
{
    const std::string text = GetWindowText();
    korra::CEditCtrlA::SetSel(CharactersBefore(text, start),
                              end < 0 ? -1 : CharactersBefore(text, end));
}

void CMainEdit::MoveCaretToEnd()
{
    const int end = static_cast<int>(GetWindowText().size());
    SetSelection(end, end);
}

void CMainEdit::HidePopup()
{
    m_popup->HidePopup();
}

void CMainEdit::Dismiss()
{
    m_mainWindow->Dismiss();
}

void CMainEdit::CloseWindow()
{
    m_mainWindow->SendMessage(WM_CLOSE);
}

void CMainEdit::OpenSettingsSheet()
{
    m_mainWindow->OpenSettingsSheet();
}

void CMainEdit::ShowAboutBox()
{
    m_mainWindow->ShowAboutBox();
}

void CMainEdit::ShowHelp()
{
    m_mainWindow->ShowHelp();
}

CCommandTable& CMainEdit::GetCommands()
{
    return m_settings->Commands;
}

CInputHistory& CMainEdit::GetHistory()
{
    return m_settings->History;
}

LRESULT CALLBACK CMainEdit::SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    CMainEdit* self = s_instance;
    if (self == nullptr || self->m_hWnd != window)
        return CallWindowProcA(s_richEditProc, window, message, wParam, lParam);
    return self->HandleMessage(message, wParam, lParam);
}

LRESULT CMainEdit::CallRichEdit(UINT message, WPARAM wParam, LPARAM lParam)
{
    return CallWindowProcA(s_richEditProc, m_hWnd, message, wParam, lParam);
}

LRESULT CMainEdit::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_KEYDOWN:
        if (wParam == VK_UP) {
            m_popup->HistoryBack();
            return 0;
        }
        if (wParam == VK_DOWN) {
            m_popup->HistoryForward();
            return 0;
        }
        if (wParam == VK_DELETE && GetWindowTextLength() == 0)
            return 0;
        break;
    case WM_KEYUP:
        if (wParam == VK_F1)
            ShowHelp();
        break;
    case WM_CHAR:
        return OnChar(wParam, lParam);
    case WM_IME_CHAR:
        // A double-byte character from the input method: both bytes at once.
        if (wParam > 0xFF) {
            OnChar(HIBYTE(wParam), lParam);
            return OnChar(LOBYTE(wParam), lParam);
        }
        return OnChar(wParam, lParam);
    case WM_LBUTTONDBLCLK:
        OpenSettingsSheet();
        return 0;
    case WM_RBUTTONUP: {
        m_mainWindow->ShowContextMenu(false);
        return CallRichEdit(message, wParam, lParam);
    }
    case WM_NCDESTROY: {
        LRESULT result = CallRichEdit(message, wParam, lParam);
        m_hWnd = nullptr;
        return result;
    }
    }
    return CallRichEdit(message, wParam, lParam);
}

LRESULT CMainEdit::OnChar(WPARAM character, LPARAM lParam)
{
    // A lead byte followed by anything but a second byte is dropped.
    if (m_leadByte != 0 && character < 0x40)
        m_leadByte = 0;
    switch (character) {
    case 0x0D:
        // Dispatch may close the window (EXIT /P): nothing here touches the
        // box afterwards but hiding its parent, which is then gone.
        if (DispatchInput(*this))
            m_mainWindow->ShowWindow(SW_HIDE);
        return 0;
    case 0x1B:
        SetWindowText("");
        HidePopup();
        Dismiss();
        return 0;
    case 0x08: {
        LRESULT result = CallRichEdit(WM_CHAR, character, lParam);
        if (m_settings->AutoComplete && m_settings->IntelliSense)
            m_popup->CompleteInput(0x08);
        return result;
    }
    case 0x20: {
        LRESULT result = CallRichEdit(WM_CHAR, character, lParam);
        HidePopup();
        return result;
    }
    case 0x2E: {
        if (GetWindowTextLength() == 0)
            return 0;
        LRESULT result = CallRichEdit(WM_CHAR, character, lParam);
        if (m_settings->AutoComplete && m_settings->IntelliSense)
            m_popup->CompleteInput(0x2E);
        return result;
    }
    default: {
        LRESULT result = 0;
        if (m_leadByte != 0) {
            // The second byte of a double-byte character: the control gets
            // the whole character at once, as typed text replacing the
            // selection (a rich edit may take WM_CHAR one byte at a time).
            const char bytes[3] = {static_cast<char>(m_leadByte), static_cast<char>(character),
                                   '\0'};
            m_leadByte = 0;
            CallRichEdit(EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(bytes));
        } else if (character < 0x100 && IsDBCSLeadByte(static_cast<BYTE>(character))) {
            // Half a character: kept until its second byte arrives.
            m_leadByte = static_cast<BYTE>(character);
            return 0;
        } else {
            result = CallRichEdit(WM_CHAR, character, lParam);
        }
        if (m_settings->AutoComplete)
            m_popup->CompleteInput(static_cast<int>(character));
        return result;
    }
    }
}
