// The About box: run modally with the input window as owner.
#pragma once

#include <windows.h>

class CAboutDlg {
public:
    // The box's window while it runs, else null.
    HWND GetHwnd() const { return m_hWnd; }
    // The box comes with the version utilities; until then nothing is shown.
    INT_PTR DoModal(HWND /*owner*/) { return IDCANCEL; }

private:
    HWND m_hWnd = nullptr;
};
