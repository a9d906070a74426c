// The settings dialog of the input window. It is run modally with the input
// window as owner; while it runs, its window exists and the input window
// refuses a second one and greys the menu items that would close it.
#pragma once

#include <windows.h>

class CSettings;

class CSettingPropSheet {
public:
    explicit CSettingPropSheet(CSettings* settings) : m_settings(settings) {}

    // The input window and its box, which the pages preview on.
    void SetTargets(HWND mainWindow, HWND inputBox)
    {
        m_mainWindow = mainWindow;
        m_inputBox = inputBox;
    }
    // The sheet's window while it runs, else null.
    HWND GetHwnd() const { return m_hWnd; }

    // Runs the sheet; IDOK when settings were applied. The pages come with
    // the settings dialog itself: until then nothing is shown and nothing
    // changes.
    INT_PTR DoModal(HWND /*owner*/) { return IDCANCEL; }

private:
    CSettings* m_settings;  // not owned
    HWND m_mainWindow = nullptr;
    HWND m_inputBox = nullptr;
    HWND m_hWnd = nullptr;
};
