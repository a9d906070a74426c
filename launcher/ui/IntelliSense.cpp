#include "IntelliSense.h"

#include "App.h"
#include "Dispatch.h"
#include "MainEdit.h"
#include "ProgramPath.h"
#include "Settings.h"

#include <shellapi.h>
#include <shlwapi.h>

#include <algorithm>
#include <string>

namespace {

constexpr int kListId = 1;
// Owner data: the rows' texts and icons stay here (the list asks for the
// ones it draws), and the rows are put in order here, since such a list
// sorts nothing itself.
constexpr DWORD kListStyle = WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_SINGLESEL |
                             LVS_SHOWSELALWAYS | LVS_SHAREIMAGELISTS | LVS_NOCOLUMNHEADER |
                             LVS_OWNERDATA;
// Row icon states besides an image index or I_IMAGENONE.
constexpr int kIconUnknown = -100;  // not asked for yet
constexpr int kIconQueued = -101;   // waiting in the queue

// Whether keys or clicks wait in this thread's queue.
bool InputWaiting()
{
    return HIWORD(GetQueueStatus(QS_INPUT)) != 0;
}

// A word's sort key under the user's locale: comparing two keys byte for
// byte orders the words as lstrcmpA does, which is what a list view's
// ascending sort uses.
std::string SortKey(const std::string& word)
{
    char small[256];
    int size = LCMapStringA(LOCALE_USER_DEFAULT, LCMAP_SORTKEY, word.c_str(), -1, small, sizeof small);
    if (size > 0)
        return std::string(small, static_cast<std::size_t>(size));
    size = LCMapStringA(LOCALE_USER_DEFAULT, LCMAP_SORTKEY, word.c_str(), -1, nullptr, 0);
    if (size <= 0)
        return std::string();  // sorted first; never seen with a valid locale
    std::string key(static_cast<std::size_t>(size), '\0');
    LCMapStringA(LOCALE_USER_DEFAULT, LCMAP_SORTKEY, word.c_str(), -1, &key[0], size);
    return key;
}

// The candidates' words in the order of a list view's ascending sort. Each
// word's key is made once: thousands of candidates then sort without
// converting two words for every comparison, as lstrcmpA would.
std::vector<std::string> SortedWords(const std::vector<CCandidate>& candidates)
{
    struct Keyed {
        std::string key;
        const std::string* word;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(candidates.size());
    for (const CCandidate& candidate : candidates)
        keyed.push_back({SortKey(candidate.word), &candidate.word});
    // Stable: words the locale finds equal stay in the table's order.
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](const Keyed& a, const Keyed& b) { return a.key < b.key; });
    std::vector<std::string> words;
    words.reserve(keyed.size());
    for (const Keyed& entry : keyed)
        words.push_back(*entry.word);
    return words;
}

// Made without WS_VISIBLE: an empty list is never shown, and a pop-up made
// visible would be shown, take the activation from the input window still
// being made, and be hidden again at once, which costs the start-up
// several milliseconds. ShowWindow adds the flag at every showing.
constexpr DWORD kPopupStyle = WS_POPUP | WS_BORDER | WS_SYSMENU;

// Version of comctl32 as major << 16 | minor; 4.0 where it cannot tell.
DWORD CommonControlsVersion()
{
    HMODULE module = GetModuleHandleA("comctl32.dll");
    if (module == nullptr)
        return 4u << 16;
    auto getVersion = reinterpret_cast<DLLGETVERSIONPROC>(
        reinterpret_cast<void*>(GetProcAddress(module, "DllGetVersion")));
    DLLVERSIONINFO info = {};
    info.cbSize = sizeof(info);
    if (getVersion == nullptr || FAILED(getVersion(&info)))
        return 4u << 16;
    return (info.dwMajorVersion << 16) | (info.dwMinorVersion & 0xFFFF);
}

// The system's small-icon list, with the index of the program's own icon.
HIMAGELIST SystemSmallIcons(int* ownIcon)
{
    const std::string path = GetProgramPath();
    SHFILEINFOA info = {};
    auto list = reinterpret_cast<HIMAGELIST>(SHGetFileInfoA(
        path.c_str(), 0, &info, sizeof(info), SHGFI_SYSICONINDEX | SHGFI_SMALLICON));
    if (ownIcon != nullptr)
        *ownIcon = list != nullptr ? info.iIcon : I_IMAGENONE;
    return list;
}

// Injects one key press (down, then up) into the system input.
void InjectKey(BYTE key)
{
    keybd_event(key, 0, 0, 0);
    keybd_event(key, 0, KEYEVENTF_KEYUP, 0);
}

}  // namespace

CIntelliSense::CIntelliSense(CMainEdit* edit, CSettings* settings)
    : m_edit(edit), m_settings(settings), m_commonControlsVersion(CommonControlsVersion())
{
}

void CIntelliSense::GetWndClassInfo(HINSTANCE instance, WNDCLASSEXA* info)
{
    korra::CWindowImplA<CIntelliSense>::GetWndClassInfo(instance, info);
    info->style = CS_HREDRAW | CS_VREDRAW;
    info->hCursor = LoadCursor(nullptr, IDC_ARROW);
    info->hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(13));
}

HWND CIntelliSense::Create(HWND owner)
{
    HWND popup = korra::CWindowImplA<CIntelliSense>::Create(
        owner, 0, 0, 0, 0, GetWndClassName(), kPopupStyle, LayeredStyle(), nullptr,
        reinterpret_cast<HINSTANCE>(::GetWindowLongPtrA(owner, GWLP_HINSTANCE)));
    if (popup == nullptr)
        return nullptr;
    ApplyTransparency(popup, m_settings->Window.Transparency);
    return popup;
}

BOOL CIntelliSense::ShowWindow(int command)
{
    if (m_list.GetHwnd() == nullptr || m_list.GetItemCount() == 0)
        command = SW_HIDE;
    return korra::CWindowImplA<CIntelliSense>::ShowWindow(command);
}

LRESULT CIntelliSense::OnCreate()
{
    HWND list = CreateWindowExA(0, WC_LISTVIEWA, "IntelliSense", kListStyle, 0, 0, 0, 0, m_hWnd,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(kListId)),
                                reinterpret_cast<HINSTANCE>(GetWindowLongPtr(GWLP_HINSTANCE)),
                                nullptr);
    if (list == nullptr)
        return -1;
    m_list.Attach(list);
    m_list.SetExtendedListViewStyle(LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
    m_list.InsertColumn(0, nullptr, 0);
    return 0;
}

LRESULT CIntelliSense::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        return OnCreate();
    case WM_SIZE:
        m_list.MoveWindow(0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
        return 0;
    case WM_SETFOCUS:
        m_list.SetFocus();
        return 0;
    case WMU_LOADNEXTICON:
        OnLoadNextIcon();
        return 0;
    case WM_NOTIFY:
        return OnNotify(reinterpret_cast<NMHDR*>(lParam));
    case WM_NCDESTROY:
        // The pop-up goes down with the input window, which ends the
        // program once it has saved the settings.
        m_list.Detach();
        return 0;
    }
    return DefWindowProc(message, wParam, lParam);
}

void CIntelliSense::CompleteInput(int c)
{
    int start = 0, end = 0;
    m_edit->GetSelection(&start, &end);
    const std::string text = m_edit->GetWindowText();
    const std::size_t space = text.find(' ');
    // The caret in the arguments: the word is not being typed.
    if (space != std::string::npos && static_cast<int>(space) < start)
        return;
    const std::string head = space == std::string::npos ? text : text.substr(0, space);

    std::vector<CCandidate> candidates =
        m_settings->Commands.FindByPrefix(head, m_settings->ApplyReservedCommand);

    if (!m_settings->IntelliSense) {
        if (candidates.size() == 1)
            Complete(candidates[0].word, static_cast<int>(head.size()));
        return;
    }
    if (candidates.empty()) {
        HidePopup();
    } else if (candidates.size() == 1) {
        if (c < 0x20)
            return;
        Complete(candidates[0].word, static_cast<int>(head.size()));
        HidePopup();
        m_edit->SetFocus();
    } else {
        ShowCandidates(candidates, static_cast<int>(head.size()));
    }
}

void CIntelliSense::Complete(const std::string& word, int typedLength)
{
    const std::string text = m_edit->GetWindowText();
    const std::size_t space = text.find(' ');
    std::string completed = word;
    if (space != std::string::npos)
        completed += " " + text.substr(space + 1);
    m_edit->SetWindowText(completed.c_str());
    m_edit->SetSelection(typedLength, static_cast<int>(word.size()));
}

void CIntelliSense::UseSystemIcons()
{
    // Asked for at the first showing, not at start-up: the first request
    // for the system's icon list takes tens of milliseconds.
    if (!m_systemIcons) {
        m_list.SetImageList(SystemSmallIcons(nullptr), LVSIL_SMALL);
        m_systemIcons = true;
    }
}

void CIntelliSense::SetRows(std::vector<std::string> rows)
{
    // A list with nothing selected or focused, scrolled to the top, is
    // only told the new count: typing refills it at every key, and emptying
    // it first would make it redo its scroll bar twice. Otherwise it is
    // emptied first, so that it forgets the selection and the scroll
    // position, and asks for no row of the old ones.
    const bool clean = !rows.empty() && m_list.GetItemCount() > 0 &&
                       m_list.GetNextItem(-1, LVNI_SELECTED) < 0 &&
                       m_list.GetNextItem(-1, LVNI_FOCUSED) < 0 &&
                       m_list.SendMessage(LVM_GETTOPINDEX) == 0;
    if (!clean && m_list.GetItemCount() > 0)
        m_list.DeleteAllItems();
    m_rows.swap(rows);
    m_images.assign(m_rows.size(), kIconUnknown);
    m_iconQueue.clear();
    // Every row is painted anew either way (PlacePopup redraws the list).
    if (!m_rows.empty())
        m_list.SendMessage(LVM_SETITEMCOUNT, m_rows.size(), LVSICF_NOINVALIDATEALL);
}

void CIntelliSense::ShowCandidates(const std::vector<CCandidate>& candidates, int typedLength)
{
    UseSystemIcons();
    m_popupMode = POPUP_CANDIDATES;
    m_firstKey = true;
    if (candidates.empty()) {
        SetRows({});
        ShowWindow(SW_HIDE);
        return;
    }
    // Ascending by text, with the comparison a sorting list view uses.
    std::vector<std::string> rows = SortedWords(candidates);
    SetRows(std::move(rows));
    PlacePopup();
    m_typedLength = typedLength;
    ShowWindow(SW_SHOWNA);
    UpdateWindow();
}

void CIntelliSense::ShowHistory()
{
    const CInputHistory& history = m_settings->History;
    UseSystemIcons();
    m_popupMode = POPUP_HISTORY;
    // The oldest entry at the top, the newest at the bottom.
    std::vector<std::string> rows;
    rows.reserve(history.GetCount());
    for (std::size_t i = history.GetCount(); i-- > 0;)
        rows.push_back(history.GetAt(i));
    SetRows(std::move(rows));
    const int selected = static_cast<int>(history.GetCount() - history.GetPosition());
    m_list.EnsureVisible(selected);
    m_list.SetItemState(selected, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    PlacePopup();
    ShowWindow(SW_SHOWNA);
    UpdateWindow();
}

void CIntelliSense::HidePopup()
{
    SetRows({});
    ShowWindow(SW_HIDE);
}

void CIntelliSense::PlacePopup()
{
    const WindowInfo& info = m_settings->Window;
    m_list.SetBkColor(info.BgColor);
    m_list.SetTextBkColor(info.BgColor);
    m_list.SetTextColor(info.TextColor);

    HWND inputWindow = m_edit->GetParent();
    RECT input = {};
    ::GetWindowRect(inputWindow, &input);
    RECT client = {};
    ::GetClientRect(inputWindow, &client);

    const int count = m_list.GetItemCount();

    const int rows = count < kMaxRows ? count : kMaxRows;
    int height = 0;
    if (rows > 0) {
        RECT last = {};
        POINT first = {};
        m_list.GetItemRect(rows - 1, &last, LVIR_BOUNDS);
        m_list.GetItemPosition(0, &first);
        const int frame = (m_commonControlsVersion >> 16) >= 6
                              ? 2 * GetSystemMetrics(SM_CYBORDER)
                              : 2 * (GetSystemMetrics(SM_CYEDGE) + GetSystemMetrics(SM_CYBORDER));
        height = last.bottom - first.y + frame;
    }

    const int x = input.left;
    const int width = input.right - input.left;
    int y = input.bottom - 1;
    RECT workArea = {};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &workArea, 0);
    if (y + height > workArea.bottom)
        y = input.top - height + 1;
    // Moved and sized only when that changes: while typing the pop-up
    // mostly stays where it is, and a move costs the window system more
    // than the whole refill.
    RECT now = {};
    GetWindowRect(&now);
    const bool placed =
        now.left != x || now.top != y || now.right - now.left != width || now.bottom - now.top != height;
    if (placed)
        SetWindowPos(nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    // The column is sized once the list has its size: a list still empty
    // of room would take scroll bars for it and keep them.
    int columnWidth = client.right - client.left - 2;
    if (count > kMaxRows)
        columnWidth -= GetSystemMetrics(SM_CXVSCROLL);
    if (m_list.GetColumnWidth(0) != columnWidth)
        m_list.SetColumnWidth(0, columnWidth);
    // The list covers the pop-up's whole client area: where the pop-up
    // stayed in place only the list has anything new to show, and painting
    // the pop-up as well (a layered window) costs a keystroke a third more.
    if (placed)
        RedrawWindow(RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    else
        ::RedrawWindow(m_list.GetHwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

void CIntelliSense::HistoryBack()
{
    CInputHistory& history = m_settings->History;
    if (!history.Back(m_edit->GetWindowText()))
        return;
    if (m_settings->HistoryList) {
        ShowHistory();
    } else {
        m_edit->SetWindowText(history.GetCurrent().c_str());
        m_edit->MoveCaretToEnd();
    }
}

void CIntelliSense::HistoryForward()
{
    CInputHistory& history = m_settings->History;
    if (!history.Forward())
        return;
    if (history.GetPosition() != 0 && m_settings->HistoryList) {
        ShowHistory();
        return;
    }
    // Back at the text being typed: a history list would show an entry
    // that is no longer in the box.
    if (m_popupMode == POPUP_HISTORY)
        HidePopup();
    m_edit->SetWindowText(history.GetCurrent().c_str());
    m_edit->MoveCaretToEnd();
}

void CIntelliSense::RequestIcon(int row)
{
    if (m_images[row] != kIconUnknown)
        return;
    m_images[row] = kIconQueued;
    m_iconQueue.push_back(row);
    if (!m_iconPosted)
        m_iconPosted = PostMessage(WMU_LOADNEXTICON) != FALSE;
}

void CIntelliSense::OnLoadNextIcon()
{
    m_iconPosted = false;
    if (InputWaiting()) {
        // Posted messages come before keys in the message loop: loading on
        // now would hold the keys back. The rows go back to unknown and the
        // list is repainted, which happens only once no input waits, and
        // that repaint asks for their icons again.
        for (int row : m_iconQueue) {
            if (row < static_cast<int>(m_images.size()) && m_images[row] == kIconQueued)
                m_images[row] = kIconUnknown;
        }
        m_iconQueue.clear();
        ::InvalidateRect(m_list.GetHwnd(), nullptr, FALSE);
        return;
    }
    // Rows of an earlier filling are skipped: theirs went with it.
    int row = -1;
    while (row < 0 && !m_iconQueue.empty()) {
        const int next = m_iconQueue.front();
        m_iconQueue.erase(m_iconQueue.begin());
        if (next < static_cast<int>(m_images.size()) && m_images[next] == kIconQueued)
            row = next;
    }
    if (row < 0)
        return;
    const std::string& text = m_rows[row];
    int image = I_IMAGENONE;
    if (IsReservedWord(text)) {
        SystemSmallIcons(&image);
    } else if (CCommandEntry* entry = m_settings->Commands.Find(text)) {
        int index = entry->lines.GetIconIndex(true, false, nullptr);
        if (index >= 0)
            image = index;
    }
    m_images[row] = image;
    m_list.SendMessage(LVM_REDRAWITEMS, row, row);
    if (!m_iconQueue.empty())
        m_iconPosted = PostMessage(WMU_LOADNEXTICON) != FALSE;
}

void CIntelliSense::OnGetDispInfo(LVITEMA* item)
{
    if (item->iItem < 0 || item->iItem >= static_cast<int>(m_rows.size()))
        return;
    const std::string& text = m_rows[item->iItem];
    if ((item->mask & LVIF_TEXT) && item->pszText != nullptr && item->cchTextMax > 0)
        lstrcpynA(item->pszText, text.c_str(), item->cchTextMax);
    if (item->mask & LVIF_IMAGE) {
        const int image = m_images[item->iItem];
        item->iImage = image >= 0 ? image : I_IMAGENONE;
        // Asked for as the row is drawn: rows scrolled into view get theirs
        // then, rows never shown never cost a look-up.
        RequestIcon(item->iItem);
    }
}

int CIntelliSense::GetRowIcon(int row) const
{
    if (row < 0 || row >= static_cast<int>(m_images.size()) || m_images[row] < 0)
        return I_IMAGENONE;
    return m_images[row];
}

int CIntelliSense::FindRow(const char* text, int start, bool wrap) const
{
    const int count = static_cast<int>(m_rows.size());
    if (text == nullptr || count == 0)
        return -1;
    const int length = lstrlenA(text);
    if (start < 0 || start >= count)
        start = 0;
    for (int i = 0; i < count; ++i) {
        const int row = start + i;
        if (row >= count && !wrap)
            break;
        const std::string& word = m_rows[row % count];
        if (static_cast<int>(word.size()) >= length &&
            CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, word.c_str(), length, text, length) ==
                CSTR_EQUAL)
            return row % count;
    }
    return -1;
}

LRESULT CIntelliSense::OnNotify(NMHDR* header)
{
    if (header->idFrom != kListId)
        return 0;
    switch (header->code) {
    case LVN_GETDISPINFOA:
        OnGetDispInfo(&reinterpret_cast<NMLVDISPINFOA*>(header)->item);
        break;
    case LVN_ODFINDITEMA: {
        // Letters typed into the list select the next row starting with
        // them, as in a list that holds its own texts.
        auto* find = reinterpret_cast<NMLVFINDITEMA*>(header);
        if (!(find->lvfi.flags & (LVFI_STRING | LVFI_PARTIAL)))
            return -1;
        return FindRow(find->lvfi.psz, find->iStart, (find->lvfi.flags & LVFI_WRAP) != 0);
    }
    case LVN_ITEMCHANGED: {
        auto* change = reinterpret_cast<NMLISTVIEW*>(header);
        if ((change->uChanged & LVIF_STATE) && (change->uNewState & LVIS_SELECTED) &&
            !(change->uOldState & LVIS_SELECTED))
            OnSelectionChanged(change->iItem);
        break;
    }
    case LVN_KEYDOWN:
        OnListKeyDown(reinterpret_cast<NMLVKEYDOWN*>(header)->wVKey);
        break;
    case NM_DBLCLK:
        // The Enter reaches the list, which hands it on to the box.
        InjectKey(VK_RETURN);
        break;
    }
    return 0;
}

void CIntelliSense::OnSelectionChanged(int index)
{
    if (index < 0 || index >= static_cast<int>(m_rows.size()))
        return;
    const std::string word = m_rows[index];
    if (m_popupMode == POPUP_CANDIDATES) {
        Complete(word, m_typedLength);
    } else {
        m_edit->SetWindowText(word.c_str());
        m_edit->MoveCaretToEnd();
        m_settings->History.SetPosition(
            static_cast<std::size_t>(m_list.GetItemCount() - index));
    }
    m_firstKey = false;
}

void CIntelliSense::PostKeyToBox(WORD key)
{
    m_edit->PostMessage(WM_KEYDOWN, key, 1);
}

void CIntelliSense::OnListKeyDown(WORD key)
{
    const bool moves = key == VK_UP || key == VK_DOWN || key == VK_HOME || key == VK_END;
    const bool selected = m_list.GetSelectedIndex() >= 0;
    if (m_popupMode == POPUP_CANDIDATES) {
        if (key == VK_UP && m_firstKey) {
            InjectKey(VK_END);
        } else if (moves) {
            // the list moves its selection itself
        } else if (key == VK_LEFT || key == VK_RIGHT) {
            if (selected) {
                PostKeyToBox(key);
                HidePopup();
            }
        } else {
            PostKeyToBox(key);
        }
        return;
    }
    const int bottom = m_list.GetItemCount() - 1;
    if (key == VK_DOWN && m_list.GetSelectedIndex() == bottom) {
        HidePopup();
        CInputHistory& history = m_settings->History;
        history.SetPosition(0);
        m_edit->SetWindowText(history.GetSavedInput().c_str());
        m_edit->MoveCaretToEnd();
    } else if (!moves && selected) {
        PostKeyToBox(key);
        HidePopup();
    }
}
