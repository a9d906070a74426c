// "コマンドアイテムの編集": one command line as a program and its options,
// with file browsing and dropped files.
#pragma once

#include "korra/DialogImpl.h"
#include "korra/DropFiles.h"

#include <string>

class CEntryDlg : public korra::CDialogImplA<CEntryDlg, korra::CWindowingA> {
public:
    enum { IDD = 102 };

    // Runs modally over owner with line split into the two fields ("" for
    // a new line). IDOK when GetLine holds the line the fields make;
    // anything else leaves GetLine at line.
    INT_PTR DoModal(HWND owner, const std::string& line);
    const std::string& GetLine() const { return m_line; }

protected:
    INT_PTR DialogProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void OnInitDialog();
    void OnOk();
    // The open-file dialog for field; the chosen path, in double quotes,
    // replaces the field's text. Cancel leaves the field as it was.
    void Browse(int field);
    void OnDropFiles(HDROP drop, HWND control);

    std::string m_line;
    korra::CDropForwarderA m_programDrops;
    korra::CDropForwarderA m_optionsDrops;
};
