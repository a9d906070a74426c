// The input window: a small borderless pop-up holding the input box.
#pragma once

#include "AboutDlg.h"
#include "IntelliSense.h"
#include "MainEdit.h"
#include "ProgramNames.h"
#include "SettingPropSheet.h"

#include "korra/WindowImpl.h"

class CSettings;

class CMainWnd : public korra::CWindowImplA<CMainWnd> {
public:
    static const char* GetWndClassName() { return MAIN_WINDOW_CLASS; }

    // Also registers the pop-up list's window class.
    CMainWnd(HINSTANCE instance, CSettings* settings);
    ~CMainWnd() override;

    using korra::CWindowImplA<CMainWnd>::Create;
    // Creates the input window where the settings place it; null on failure.
    virtual HWND Create();

    // Resident: hide. Otherwise close, which ends the program.
    void Dismiss();
    void OpenSettingsSheet();
    void ShowAboutBox();
    void ShowHelp();
    void ShowContextMenu(bool fromIcon);
    // Keeps the stored place inside the work area (the record is unchanged).
    void FitToWorkArea();

    CMainEdit& GetEdit() { return m_edit; }
    CIntelliSense& GetPopup() { return m_popup; }
    CSettings& GetSettings() { return *m_settings; }

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    LRESULT OnCreate();
    void OnCommand(WORD id);
    void RunHistoryEntry(std::size_t index);
    // The window goes or the session ends: the settings are written back.
    // The window stays bound: a log-off may still be cancelled.
    void OnFinalDestroy();
    bool IsModalOpen() const;

    HINSTANCE m_instance;
    CMainEdit m_edit;
    CIntelliSense m_popup;
    CSettings* m_settings;  // owned by the entry point
    CSettingPropSheet m_settingSheet;
    CAboutDlg m_aboutDlg;
};
