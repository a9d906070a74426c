// The input box: a one-line Rich Edit 1.0 control whose keys are handled
// here (subclassing) before the control sees them.
#pragma once

#include "Dispatch.h"

#include "korra/EditCtrl.h"

#include <string>

class CIntelliSense;
class CMainWnd;
class CSettings;
struct WindowInfo;

// The font, effects and colours of info on a rich edit (the input box, or
// a preview of it), kept also by an empty box; its text and selection are
// left as they were.
void ApplyCharFormat(HWND box, const WindowInfo& info);

class CMainEdit : public korra::CEditCtrlA, public CDispatchTarget {
public:
    static constexpr int kControlId = 1001;

    CMainEdit(CIntelliSense* popup, CSettings* settings, CMainWnd* mainWindow);
    ~CMainEdit() override;
    CMainEdit(const CMainEdit&) = delete;
    CMainEdit& operator=(const CMainEdit&) = delete;

    // Creates the box as child 1001 of parent and subclasses it; null on
    // failure.
    HWND Create(HWND parent);

    // Sets the text, then the configured character format.
    BOOL SetWindowText(const char* text) override;
    // The font, effects and colours of the settings, kept also by an empty
    // box; the text and selection are left as they were.
    void ApplyFormat();

    // The selection in bytes of the ANSI text. The control counts
    // characters: a double-byte character is one position there.
    void GetSelection(int* start, int* end) const;
    void SetSelection(int start, int end);
    void MoveCaretToEnd();

    // CDispatchTarget
    std::string GetInputText() override { return GetWindowText(); }
    void SetInputText(const char* text) override { SetWindowText(text); }
    void HidePopup() override;
    void Dismiss() override;
    void CloseWindow() override;
    void OpenSettingsSheet() override;
    void ShowAboutBox() override;
    void ShowHelp() override;
    CCommandTable& GetCommands() override;
    CInputHistory& GetHistory() override;

private:
    static LRESULT CALLBACK SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnChar(WPARAM character, LPARAM lParam);
    LRESULT CallRichEdit(UINT message, WPARAM wParam, LPARAM lParam);

    CIntelliSense* m_popup;  // these three are owned by the input window
    CSettings* m_settings;
    CMainWnd* m_mainWindow;
    BYTE m_leadByte = 0;  // first byte of a double-byte character typed

    // One box per process: its subclass procedure finds it here, and the
    // rich edit's own procedure is kept from the first box created.
    static CMainEdit* s_instance;
    static WNDPROC s_richEditProc;
};
