// The platform's open-file dialog over one path buffer of MAX_PATH bytes.
#pragma once

#include <windows.h>
#include <commdlg.h>

#include <string>

namespace korra {

class CFileDialogA {
public:
    // filter: pairs of description and pattern, each ending in '\0', the
    // whole list in an extra '\0' (as the platform takes it); defaultExt
    // may be null. None of the texts is copied: they must outlive DoModal.
    CFileDialogA(const char* filter, const char* defaultExt, DWORD flags, const char* title)
        : m_filter(filter), m_defaultExt(defaultExt), m_flags(flags), m_title(title)
    {
    }

    // IDOK with GetPath holding the chosen file; IDCANCEL when the user
    // cancelled or the dialog could not be shown (the path is then "").
    INT_PTR DoModal(HWND owner);
    const std::string& GetPath() const { return m_path; }

private:
    const char* m_filter;
    const char* m_defaultExt;
    DWORD m_flags;
    const char* m_title;
    std::string m_path;
};

}  // namespace korra
