// The Others page of the settings sheet: resident mode, start at log-on
// and the hot key that brings the input window back.
#pragma once

#include "resource.h"

#include "korra/PropSheetImpl.h"

class CSettings;

class CPropPageOthers : public korra::CPropSheetPageImplA<CPropPageOthers> {
public:
    enum { IDD = IDD_PROPPAGE_OTHERS };

    explicit CPropPageOthers(CSettings* settings) : m_settings(settings) {}

    // The window the hot key is registered on; not owned.
    void SetTarget(HWND mainWindow) { m_mainWindow = mainWindow; }

protected:
    INT_PTR DialogProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void OnInitDialog();
    void EnableResidentItems();
    bool RefuseToLeave();
    LRESULT Apply();
    void UpdateModified();

    CSettings* m_settings;  // owned by the entry point
    HWND m_mainWindow = nullptr;
    bool m_stationed = true;
    bool m_autoStart = false;
    WORD m_hotKey = 0;
};
