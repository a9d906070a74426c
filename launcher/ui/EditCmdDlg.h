// "コマンドの編集": the word of one registered command and its command lines,
// in the order they run.
#pragma once

#include "CommandTable.h"
#include "EntryDlg.h"

#include "korra/DialogImpl.h"
#include "korra/DropFiles.h"
#include "korra/ListView.h"

#include <string>
#include <vector>

class CEditCmdDlg : public korra::CDialogImplA<CEditCmdDlg, korra::CWindowingA> {
public:
    enum { IDD = 103 };

    // Runs modally over owner. word: the command being edited ("" for a new
    // one); table: the Command page's working table (not owned), used for
    // the duplicate test only. IDOK when GetCommand() holds the edited word
    // and lines; anything else changes nothing.
    INT_PTR DoModal(HWND owner, const std::string& word, const CCommandTable* table);
    const CCommandEntry& GetCommand() const { return m_command; }

protected:
    INT_PTR DialogProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    // The word box: Insert there adds a line, as the Add button does.
    class CWordBox : public korra::CSubclassA {
    protected:
        LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    };
    // The list: takes dropped files for its parent; Alt+Up and Alt+Down
    // move the selected line.
    class CLineList : public korra::CDropForwarderA {
    protected:
        LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    };

    void OnInitDialog();
    bool OnCommand(int id);
    void OnNotify(const NMHDR* header);
    void AddLine();
    void EditLine();
    void DeleteLines();
    void MoveLine(int step);
    void OnDropFiles(HDROP drop);
    void OnOk();
    void UpdateButtons();
    void AppendRow(const std::string& line);

    std::string m_openedWith;
    const CCommandTable* m_table = nullptr;  // the caller's
    CCommandEntry m_command;
    std::vector<std::string> m_lines;  // the rows, top to bottom
    korra::CListViewA m_list;
    CWordBox m_wordBox;
    CLineList m_lineList;
    CEntryDlg m_entryDlg;
};
