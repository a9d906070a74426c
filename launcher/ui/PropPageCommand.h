// The Command page of the settings sheet: the registered commands in a
// sorted list, added, edited and deleted on a working copy of the table
// that goes into the record only on apply.
#pragma once

#include "CommandTable.h"
#include "EditCmdDlg.h"
#include "resource.h"

#include "korra/ListView.h"
#include "korra/PropSheetImpl.h"

#include <functional>
#include <string>

class CSettings;

class CPropPageCommand : public korra::CPropSheetPageImplA<CPropPageCommand> {
public:
    enum { IDD = IDD_PROPPAGE_COMMAND };

    // Edits one command modally over owner: word is "" for a new command,
    // table the working table (for the duplicate test). True with *result
    // holding the edited word and lines when the user confirmed.
    using Editor = std::function<bool(HWND owner, const std::string& word,
                                      const CCommandTable& table, CCommandEntry* result)>;

    // The editor is the page's own CEditCmdDlg.
    explicit CPropPageCommand(CSettings* settings);

    // Tests and tools put another editor in place of the editing dialog.
    void SetEditor(Editor editor) { m_editor = std::move(editor); }

    const CCommandTable& GetWorkingTable() const { return m_commands; }
    korra::CListViewA& GetList() { return m_list; }

    void AddCommand();
    void EditCommand();
    void DeleteCommands();

protected:
    INT_PTR DialogProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void OnInitDialog();
    void FillList();
    // The row's index in the sorted list, or -1.
    int AddRow(const CCommandEntry& entry);
    void SetRowDetails(int row, const CCommandEntry& entry);
    // Runs change with the list's drawing off, then draws it once.
    void ChangeRowsQuietly(const std::function<void()>& change);
    // Selects row alone and scrolls it into view; nothing for -1.
    void ShowNewRow(int row);
    void UpdateButtons();
    void UpdateModified();
    std::string RowWord(int row) const;
    LRESULT OnNotify(NMHDR* header);

    CSettings* m_settings;  // owned by the entry point
    CCommandTable m_commands;
    korra::CListViewA m_list;
    CEditCmdDlg m_editDlg;
    Editor m_editor;
};
