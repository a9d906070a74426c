// The input window: a small borderless pop-up holding the input box.
#pragma once

#include "AboutDlg.h"
#include "Environment.h"
#include "IntelliSense.h"
#include "MainEdit.h"
#include "NotifyIcon.h"
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
    CNotifyIcon& GetNotifyIcon() { return m_notifyIcon; }
    CEnvEx& GetEnvironment() { return m_environment; }

    // Posted to itself at creation in resident mode: the icon is added, and
    // when wParam is nonzero (the hot key could not be registered) the user
    // is told, once the window runs rather than inside its creation.
    static constexpr UINT WMU_RESIDENTREADY = WM_APP + 201;

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
    // Resident mode: the icon and the hot key; the icon's mouse handlers.
    void SetUpNotifyIcon();
    void OnHotKey(WPARAM id);
    void OnResidentReady(bool hotKeyTaken);

    HINSTANCE m_instance;
    CMainEdit m_edit;
    CIntelliSense m_popup;
    CSettings* m_settings;  // owned by the entry point
    CNotifyIcon m_notifyIcon;
    HICON m_iconImage = nullptr;  // the icon's image, ours until the window object goes
    CSettingPropSheet m_settingSheet;
    CAboutDlg m_aboutDlg;
    // Refreshes the process environment once when constructed, so before
    // the window exists.
    CEnvEx m_environment;
};
