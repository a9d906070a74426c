#include "PropPageCommand.h"

#include "Help.h"
#include "ResourceMessage.h"
#include "Settings.h"

#include "korra/Binding.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// Words are at most 255 characters as the dialogs keep them; a hand-edited
// file may hold longer ones, which the list still shows whole up to this.
constexpr int kMaxWordBytes = 4096;

}  // namespace

CPropPageCommand::CPropPageCommand(CSettings* settings) : m_settings(settings)
{
    m_editor = [this](HWND owner, const std::string& word, const CCommandTable& table,
                      CCommandEntry* result) {
        if (m_editDlg.DoModal(owner, word, &table) != IDOK)
            return false;
        *result = m_editDlg.GetCommand();
        return true;
    };
}

INT_PTR CPropPageCommand::DialogProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        OnInitDialog();
        return TRUE;
    case WM_COMMAND:
        if (HIWORD(wParam) != BN_CLICKED)
            return FALSE;
        switch (LOWORD(wParam)) {
        case IDC_COMMAND_ADD:
            AddCommand();
            return TRUE;
        case IDC_COMMAND_EDIT:
            EditCommand();
            return TRUE;
        case IDC_COMMAND_DELETE:
            DeleteCommands();
            return TRUE;
        }
        return FALSE;
    case WM_HELP:
        ShowContextHelp(m_hWnd, reinterpret_cast<const HELPINFO*>(lParam));
        return TRUE;
    case WM_NOTIFY:
        SetMsgResult(OnNotify(reinterpret_cast<NMHDR*>(lParam)));
        return TRUE;
    }
    return FALSE;
}

void CPropPageCommand::OnInitDialog()
{
    m_commands = m_settings->Commands;
    m_list.Attach(GetDlgItem(IDC_COMMAND_LIST));
    m_list.SetExtendedListViewStyle(LVS_EX_FULLROWSELECT | LVS_EX_FLATSB | LVS_EX_DOUBLEBUFFER);

    RECT client = {};
    m_list.GetClientRect(&client);
    const int width = client.right - client.left;
    const int wordWidth = static_cast<int>(width * 0.3);
    const int countWidth = static_cast<int>((width - wordWidth) * 0.1);
    char title[64];
    HINSTANCE instance = korra::GetResourceInstance();
    LoadStringA(instance, IDS_COLUMN_COMMAND, title, sizeof title);
    m_list.InsertColumn(0, title, wordWidth);
    LoadStringA(instance, IDS_COLUMN_ITEM_COUNT, title, sizeof title);
    m_list.InsertColumn(1, title, countWidth);
    LoadStringA(instance, IDS_COLUMN_FIRST_COMMAND_LINE, title, sizeof title);
    m_list.InsertColumn(2, title, width - wordWidth - countWidth);
    FillList();
    UpdateButtons();
}

void CPropPageCommand::FillList()
{
    // Ten thousand commands: the list would search each row's place, which
    // costs it seconds. The rows are put in order here with the comparison
    // of the list's own ascending sort and appended with the sort style off;
    // the style comes back for the rows added later.
    std::vector<const CCommandEntry*> sorted(m_commands.GetOrder().begin(), m_commands.GetOrder().end());
    std::stable_sort(sorted.begin(), sorted.end(), [](const CCommandEntry* a, const CCommandEntry* b) {
        return lstrcmpA(a->word.c_str(), b->word.c_str()) < 0;
    });
    ChangeRowsQuietly([&] {
        m_list.DeleteAllItems();
        m_list.ModifyStyle(LVS_SORTASCENDING, 0);
        m_list.SetItemCount(static_cast<int>(sorted.size()));
        for (const CCommandEntry* entry : sorted)
            AddRow(*entry);
        m_list.ModifyStyle(0, LVS_SORTASCENDING);
    });
}

int CPropPageCommand::AddRow(const CCommandEntry& entry)
{
    // The list sorts itself: the row lands where the word belongs.
    const int row = m_list.InsertItem(m_list.GetItemCount(), entry.word.c_str());
    if (row >= 0)
        SetRowDetails(row, entry);
    return row;
}

void CPropPageCommand::ChangeRowsQuietly(const std::function<void()>& change)
{
    // A list that draws after each call redraws itself once per inserted
    // or deleted row and per text set: with ten thousand rows each redraw
    // costs milliseconds. Undrawn, then drawn once.
    m_list.SendMessage(WM_SETREDRAW, FALSE);
    change();
    m_list.SendMessage(WM_SETREDRAW, TRUE);
    m_list.RedrawWindow(RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
}

void CPropPageCommand::SetRowDetails(int row, const CCommandEntry& entry)
{
    char count[16];
    std::snprintf(count, sizeof count, "%u", static_cast<unsigned>(entry.lines.GetCount()));
    m_list.SetItemText(row, 1, count);
    m_list.SetItemText(row, 2, entry.lines.GetCount() > 0 ? entry.lines.GetAt(0)->c_str() : "");
}

void CPropPageCommand::ShowNewRow(int row)
{
    if (row < 0)
        return;
    // Only the selected rows are visited: asking the list to clear every
    // row's state costs a walk of all of them.
    for (int selected = m_list.GetSelectedIndex(); selected >= 0;
         selected = m_list.GetNextItem(selected, LVNI_SELECTED))
        m_list.SetItemState(selected, 0, LVIS_SELECTED);
    m_list.SetItemState(row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    m_list.EnsureVisible(row);
}

std::string CPropPageCommand::RowWord(int row) const
{
    return m_list.GetItemText(row, 0, kMaxWordBytes);
}

void CPropPageCommand::UpdateButtons()
{
    const int selected = m_list.GetSelectedCount();
    ::EnableWindow(GetDlgItem(IDC_COMMAND_EDIT), selected == 1);
    ::EnableWindow(GetDlgItem(IDC_COMMAND_DELETE), selected >= 1);
}

void CPropPageCommand::UpdateModified()
{
    SetModified(!m_commands.IsEqual(m_settings->Commands));
}

void CPropPageCommand::AddCommand()
{
    CCommandEntry entry;
    if (!m_editor || !m_editor(m_hWnd, std::string(), m_commands, &entry))
        return;
    if (m_commands.Insert(entry) == 0) {
        ShowResourceMessage(korra::GetResourceInstance(), m_hWnd, IDS_ADD_COMMAND_FAILED,
                            MB_ICONEXCLAMATION, 0);
    } else {
        ChangeRowsQuietly([&] { ShowNewRow(AddRow(entry)); });
    }
    UpdateButtons();
    UpdateModified();
}

void CPropPageCommand::EditCommand()
{
    if (m_list.GetSelectedCount() != 1)
        return;
    const int row = m_list.GetSelectedIndex();
    const std::string oldWord = RowWord(row);
    CCommandEntry edited;
    if (!m_editor || !m_editor(m_hWnd, oldWord, m_commands, &edited))
        return;
    CCommandEntry* entry = m_commands.Find(oldWord);
    if (entry != nullptr && IsSameWord(edited.word, oldWord)) {
        // Same word, perhaps in another letter case: the command keeps its
        // place in the table's order.
        entry->word = edited.word;
        entry->lines = edited.lines;
        m_list.SetItemText(row, 0, entry->word.c_str());
        SetRowDetails(row, *entry);
    } else {
        m_commands.Remove(oldWord);
        // A failed insert leaves the old command removed: the user sees
        // the message and the row gone, and Cancel brings both back.
        const bool inserted = m_commands.Insert(edited) != 0;
        ChangeRowsQuietly([&] {
            m_list.DeleteItem(row);
            if (inserted)
                ShowNewRow(AddRow(edited));
        });
        if (!inserted)
            ShowResourceMessage(korra::GetResourceInstance(), m_hWnd, IDS_ADD_COMMAND_FAILED,
                                MB_ICONEXCLAMATION, 0);
    }
    UpdateButtons();
    UpdateModified();
}

void CPropPageCommand::DeleteCommands()
{
    // Each selected row in turn, from the top; no confirmation: Cancel
    // undoes it.
    bool failed = false;
    ChangeRowsQuietly([&] {
        for (int row = m_list.GetSelectedIndex(); row >= 0; row = m_list.GetSelectedIndex()) {
            if (m_commands.Remove(RowWord(row)) == 0) {
                failed = true;
                break;
            }
            m_list.DeleteItem(row);
        }
    });
    if (failed)
        ShowResourceMessage(korra::GetResourceInstance(), m_hWnd, IDS_REMOVE_COMMAND_FAILED,
                            MB_ICONEXCLAMATION, 0);
    UpdateButtons();
    UpdateModified();
}

LRESULT CPropPageCommand::OnNotify(NMHDR* header)
{
    if (header->idFrom == IDC_COMMAND_LIST) {
        switch (header->code) {
        case LVN_ITEMCHANGED:
            if (reinterpret_cast<NMLISTVIEW*>(header)->uChanged & LVIF_STATE)
                UpdateButtons();
            return 0;
        case LVN_KEYDOWN:
            switch (reinterpret_cast<NMLVKEYDOWN*>(header)->wVKey) {
            case VK_INSERT:
                AddCommand();
                break;
            case VK_F2:
                EditCommand();
                break;
            case VK_DELETE:
                DeleteCommands();
                break;
            }
            return 0;
        case NM_DBLCLK:
            EditCommand();
            return 0;
        }
        return 0;
    }
    if (header->code == PSN_APPLY) {
        m_settings->Commands = m_commands;
        SetModified(false);
        return PSNRET_NOERROR;
    }
    return 0;
}
