#include "EditCmdDlg.h"

#include "CommandEditing.h"
#include "DialogText.h"
#include "Help.h"
#include "resource.h"

namespace {

void Click(HWND dialog, int button)
{
    ::PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(dialog, button)));
}

}  // namespace

LRESULT CEditCmdDlg::CWordBox::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_KEYDOWN && wParam == VK_INSERT) {
        Click(GetParent(), IDC_ADD_LINE);
        return 0;
    }
    return CSubclassA::WindowProc(message, wParam, lParam);
}

LRESULT CEditCmdDlg::CLineList::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    // Bit 29 of a system key: Alt is down.
    const bool alt = (lParam & (1 << 29)) != 0;
    if (message == WM_SYSKEYDOWN && alt && (wParam == VK_UP || wParam == VK_DOWN)) {
        Click(GetParent(), wParam == VK_UP ? IDC_MOVE_LINE_UP : IDC_MOVE_LINE_DOWN);
        return 0;
    }
    return CDropForwarderA::WindowProc(message, wParam, lParam);
}

INT_PTR CEditCmdDlg::DoModal(HWND owner, const std::string& word, const CCommandTable* table)
{
    m_openedWith = word;
    m_table = table;
    m_lines.clear();
    const CCommandEntry* entry = table != nullptr && !word.empty() ? table->Find(word) : nullptr;
    if (entry != nullptr) {
        for (std::size_t i = 0; i < entry->lines.GetCount(); ++i)
            m_lines.push_back(korra::ToString(*entry->lines.GetAt(i)));
    }
    return korra::CDialogImplA<CEditCmdDlg, korra::CWindowingA>::DoModal(owner);
}

INT_PTR CEditCmdDlg::DialogProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        OnInitDialog();
        return TRUE;
    case WM_COMMAND:
        // A paste cut at the limit is told, not cut silently.
        if (HIWORD(wParam) == EN_MAXTEXT && LOWORD(wParam) == IDC_COMMAND_WORD) {
            ShowResourceMessage(korra::GetResourceInstance(), m_hWnd, IDS_COMMAND_WORD_TOO_LONG,
                                MB_ICONEXCLAMATION, 0);
            return TRUE;
        }
        return OnCommand(LOWORD(wParam)) ? TRUE : FALSE;
    case WM_NOTIFY:
        OnNotify(reinterpret_cast<const NMHDR*>(lParam));
        return TRUE;
    case WM_DROPFILES:
        OnDropFiles(reinterpret_cast<HDROP>(wParam));
        return TRUE;
    case WM_HELP:
        ShowContextHelp(m_hWnd, reinterpret_cast<const HELPINFO*>(lParam));
        return TRUE;
    }
    return FALSE;
}

void CEditCmdDlg::OnInitDialog()
{
    HWND word = GetDlgItem(IDC_COMMAND_WORD);
    ::SendMessageA(word, EM_LIMITTEXT, kWordLimit, 0);
    ::SetWindowTextA(word, m_openedWith.c_str());
    m_wordBox.Subclass(word);

    m_list.Attach(GetDlgItem(IDC_COMMAND_LINES));
    m_lineList.Attach(m_list.GetHwnd());
    m_list.SetExtendedListViewStyle(LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
    char heading[256] = {};
    LoadStringA(korra::GetResourceInstance(), IDS_COLUMN_COMMAND_LINE, heading, sizeof heading);
    RECT client = {};
    m_list.GetClientRect(&client);
    m_list.InsertColumn(0, heading, client.right - client.left);
    for (std::size_t i = 0; i < m_lines.size(); ++i)
        m_list.InsertItem(static_cast<int>(i), m_lines[i].c_str());
    UpdateButtons();
}

bool CEditCmdDlg::OnCommand(int id)
{
    switch (id) {
    case IDOK:
        OnOk();
        return true;
    case IDCANCEL:
        EndDialog(IDCANCEL);
        return true;
    case IDC_ADD_LINE:
        AddLine();
        return true;
    case IDC_EDIT_LINE:
        EditLine();
        return true;
    case IDC_DELETE_LINE:
        DeleteLines();
        return true;
    case IDC_MOVE_LINE_UP:
        MoveLine(-1);
        return true;
    case IDC_MOVE_LINE_DOWN:
        MoveLine(1);
        return true;
    }
    return false;
}

void CEditCmdDlg::OnNotify(const NMHDR* header)
{
    if (header->idFrom != IDC_COMMAND_LINES)
        return;
    switch (header->code) {
    case LVN_ITEMCHANGED:
        UpdateButtons();
        break;
    case NM_DBLCLK:
        EditLine();
        break;
    case LVN_KEYDOWN:
        switch (reinterpret_cast<const NMLVKEYDOWN*>(header)->wVKey) {
        case VK_INSERT:
            AddLine();
            break;
        case VK_F2:
            EditLine();
            break;
        case VK_DELETE:
            DeleteLines();
            break;
        }
        break;
    }
}

void CEditCmdDlg::UpdateButtons()
{
    const int selected = m_list.GetSelectedCount();
    const int index = m_list.GetSelectedIndex();
    const bool one = selected == 1;
    ::EnableWindow(GetDlgItem(IDC_EDIT_LINE), one);
    ::EnableWindow(GetDlgItem(IDC_DELETE_LINE), selected > 0);
    ::EnableWindow(GetDlgItem(IDC_MOVE_LINE_UP), one && index > 0);
    ::EnableWindow(GetDlgItem(IDC_MOVE_LINE_DOWN),
                   one && index + 1 < static_cast<int>(m_lines.size()));
}

void CEditCmdDlg::AppendRow(const std::string& line)
{
    m_lines.push_back(line);
    m_list.InsertItem(static_cast<int>(m_lines.size()) - 1, line.c_str());
}

void CEditCmdDlg::AddLine()
{
    if (m_entryDlg.DoModal(m_hWnd, std::string()) != IDOK)
        return;
    AppendRow(m_entryDlg.GetLine());
    m_list.SelectOnly(static_cast<int>(m_lines.size()) - 1);
    m_list.SetFocus();
}

void CEditCmdDlg::EditLine()
{
    if (m_list.GetSelectedCount() != 1)
        return;
    const int index = m_list.GetSelectedIndex();
    if (m_entryDlg.DoModal(m_hWnd, m_lines[static_cast<std::size_t>(index)]) != IDOK)
        return;
    m_lines[static_cast<std::size_t>(index)] = m_entryDlg.GetLine();
    m_list.DeleteItem(index);
    m_list.InsertItem(index, m_entryDlg.GetLine().c_str());
    m_list.SelectOnly(index);
    m_list.SetFocus();
}

void CEditCmdDlg::DeleteLines()
{
    std::vector<int> selected;
    for (int i = m_list.GetNextItem(-1, LVNI_SELECTED); i >= 0;
         i = m_list.GetNextItem(i, LVNI_SELECTED))
        selected.push_back(i);
    // From the bottom up, so the indices still to delete stay valid.
    for (auto i = selected.rbegin(); i != selected.rend(); ++i) {
        m_list.DeleteItem(*i);
        m_lines.erase(m_lines.begin() + *i);
    }
    UpdateButtons();
    m_list.SetFocus();
}

void CEditCmdDlg::MoveLine(int step)
{
    if (m_list.GetSelectedCount() != 1)
        return;
    const int from = m_list.GetSelectedIndex();
    const int to = from + step;
    if (to < 0 || to >= static_cast<int>(m_lines.size()))
        return;
    std::swap(m_lines[static_cast<std::size_t>(from)], m_lines[static_cast<std::size_t>(to)]);
    m_list.SetItemText(from, 0, m_lines[static_cast<std::size_t>(from)].c_str());
    m_list.SetItemText(to, 0, m_lines[static_cast<std::size_t>(to)].c_str());
    m_list.SelectOnly(to);
    UpdateButtons();
    // A line moved to the top or bottom disables the button just pressed:
    // the keyboard would be left on a dead control, so it goes to the list.
    if (!::IsWindowEnabled(::GetFocus()))
        m_list.SetFocus();
}

void CEditCmdDlg::OnDropFiles(HDROP drop)
{
    korra::CDropFilesA files(drop);
    // Each file (a folder opens in its window) is a line of its own; a path
    // too long for a command line is left out and the user told.
    bool tooLong = false;
    for (const std::string& path : files.GetFiles()) {
        const std::string line = "\"" + path + "\"";
        if (CountCharacters(line) > kCommandLineLimit)
            tooLong = true;
        else
            AppendRow(line);
    }
    if (tooLong)
        RefuseInput(m_hWnd, IDS_COMMAND_LINE_TOO_LONG, IDC_COMMAND_LINES);
}

void CEditCmdDlg::OnOk()
{
    const std::string word = DialogItemText(m_hWnd, IDC_COMMAND_WORD);
    const UINT refusal = CheckCommandWord(word, m_openedWith, m_table, m_lines.size());
    if (refusal != 0) {
        RefuseInput(m_hWnd, refusal, refusal == IDS_ENTER_PROGRAM ? IDC_ADD_LINE : IDC_COMMAND_WORD);
        return;
    }
    m_command.word = word;
    m_command.lines.Clear();
    for (const std::string& line : m_lines)
        m_command.lines.Add(line);
    EndDialog(IDOK);
}
