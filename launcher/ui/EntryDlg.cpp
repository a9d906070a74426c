#include "EntryDlg.h"

#include "CommandEditing.h"
#include "DialogText.h"
#include "Help.h"
#include "resource.h"

#include "korra/FileDialog.h"

namespace {

constexpr DWORD kBrowseFlags = OFN_FILEMUSTEXIST | OFN_HIDEREADONLY | OFN_READONLY;  // 0x1005
constexpr char kProgramFilter[] = "Executable Files (*.exe)\0*.exe\0All Files (*.*)\0*.*\0";
constexpr char kAnyFileFilter[] = "All Files (*.*)\0*.*\0";

std::string Quoted(const std::string& path)
{
    return "\"" + path + "\"";
}

}  // namespace

INT_PTR CEntryDlg::DoModal(HWND owner, const std::string& line)
{
    m_line = line;
    return korra::CDialogImplA<CEntryDlg, korra::CWindowingA>::DoModal(owner);
}

INT_PTR CEntryDlg::DialogProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        OnInitDialog();
        return TRUE;
    case WM_COMMAND:
        // A paste cut at the limit is told, not cut silently.
        if (HIWORD(wParam) == EN_MAXTEXT) {
            ShowResourceMessage(korra::GetResourceInstance(), m_hWnd, IDS_FIELD_FULL,
                                MB_ICONEXCLAMATION, 0);
            return TRUE;
        }
        switch (LOWORD(wParam)) {
        case IDOK:
            OnOk();
            return TRUE;
        case IDCANCEL:
            EndDialog(IDCANCEL);
            return TRUE;
        case IDC_BROWSE_PROGRAM:
            Browse(IDC_PROGRAM);
            return TRUE;
        case IDC_BROWSE_OPTIONS:
            Browse(IDC_OPTIONS);
            return TRUE;
        }
        return FALSE;
    case WM_DROPFILES:
        OnDropFiles(reinterpret_cast<HDROP>(wParam), reinterpret_cast<HWND>(lParam));
        return TRUE;
    case WM_HELP:
        ShowContextHelp(m_hWnd, reinterpret_cast<const HELPINFO*>(lParam));
        return TRUE;
    }
    return FALSE;
}

void CEntryDlg::OnInitDialog()
{
    const CommandLineParts parts = SplitCommandLine(m_line);
    HWND program = GetDlgItem(IDC_PROGRAM);
    HWND options = GetDlgItem(IDC_OPTIONS);
    ::SendMessageA(program, EM_LIMITTEXT, kFieldLimit, 0);
    ::SendMessageA(options, EM_LIMITTEXT, kFieldLimit, 0);
    ::SetWindowTextA(program, parts.program.c_str());
    ::SetWindowTextA(options, parts.options.c_str());
    m_programDrops.Attach(program);
    m_optionsDrops.Attach(options);
}

void CEntryDlg::OnOk()
{
    const std::string options = DialogItemText(m_hWnd, IDC_OPTIONS);
    std::string line;
    const UINT refusal = ComposeCommandLine(DialogItemText(m_hWnd, IDC_PROGRAM), options, &line);
    if (refusal != 0) {
        const bool atOptions = refusal == IDS_COMMAND_LINE_TOO_LONG && !options.empty();
        RefuseInput(m_hWnd, refusal, atOptions ? IDC_OPTIONS : IDC_PROGRAM);
        return;
    }
    m_line = line;
    EndDialog(IDOK);
}

void CEntryDlg::Browse(int field)
{
    char title[256] = {};
    LoadStringA(korra::GetResourceInstance(), IDS_BROWSE_PROGRAM_TITLE, title, sizeof title);
    const bool program = field == IDC_PROGRAM;
    korra::CFileDialogA dialog(program ? kProgramFilter : kAnyFileFilter, program ? "exe" : nullptr,
                               kBrowseFlags, title);
    if (dialog.DoModal(m_hWnd) != IDOK)
        return;
    ::SetDlgItemTextA(m_hWnd, field, Quoted(dialog.GetPath()).c_str());
}

void CEntryDlg::OnDropFiles(HDROP drop, HWND control)
{
    korra::CDropFilesA files(drop);
    const std::vector<std::string> paths = files.GetFiles();
    if (control == GetDlgItem(IDC_PROGRAM)) {
        // The program is one file: the drop replaces what was there, as
        // browsing does, so the field never holds two paths or a folder.
        if (paths.size() != 1 || korra::IsFolder(paths[0])) {
            RefuseInput(m_hWnd, IDS_DROP_ONE_PROGRAM, IDC_PROGRAM);
            return;
        }
        ::SetWindowTextA(control, Quoted(paths[0]).c_str());
    } else if (control == GetDlgItem(IDC_OPTIONS)) {
        std::string text = DialogItemText(m_hWnd, IDC_OPTIONS);
        for (const std::string& path : paths)
            text += " " + Quoted(path);
        if (CountCharacters(text) > kFieldLimit) {
            RefuseInput(m_hWnd, IDS_DROP_TOO_LONG, IDC_OPTIONS);
            return;
        }
        ::SetWindowTextA(control, text.c_str());
    }
}
