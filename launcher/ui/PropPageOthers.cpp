#include "PropPageOthers.h"

#include "Help.h"
#include "NotifyIcon.h"
#include "PropPageTools.h"
#include "ResourceMessage.h"
#include "Settings.h"

#include "korra/Binding.h"
#include "korra/HotKeyCtrl.h"

INT_PTR CPropPageOthers::DialogProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        OnInitDialog();
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_OTHERS_STATIONED:
            if (HIWORD(wParam) != BN_CLICKED)
                return FALSE;
            m_stationed = IsChecked(m_hWnd, IDC_OTHERS_STATIONED);
            EnableResidentItems();
            UpdateModified();
            return TRUE;
        case IDC_OTHERS_AUTOSTART:
            if (HIWORD(wParam) != BN_CLICKED)
                return FALSE;
            m_autoStart = IsChecked(m_hWnd, IDC_OTHERS_AUTOSTART);
            UpdateModified();
            return TRUE;
        case IDC_OTHERS_HOTKEY:
            if (HIWORD(wParam) != EN_CHANGE)
                return FALSE;
            m_hotKey = korra::CHotKeyCtrlA(GetDlgItem(IDC_OTHERS_HOTKEY)).GetHotKey();
            UpdateModified();
            return TRUE;
        }
        return FALSE;
    case WM_HELP:
        ShowContextHelp(m_hWnd, reinterpret_cast<const HELPINFO*>(lParam));
        return TRUE;
    case WM_NOTIFY:
        switch (reinterpret_cast<NMHDR*>(lParam)->code) {
        case PSN_KILLACTIVE:
            SetMsgResult(RefuseToLeave() ? TRUE : FALSE);
            return TRUE;
        case PSN_APPLY:
            SetMsgResult(Apply());
            return TRUE;
        }
        return FALSE;
    }
    return FALSE;
}

void CPropPageOthers::OnInitDialog()
{
    m_stationed = m_settings->Stationed;
    m_autoStart = m_settings->AutoStart;
    m_hotKey = m_settings->HotKey;
    korra::CHotKeyCtrlA hotKey(GetDlgItem(IDC_OTHERS_HOTKEY));
    // A key pressed alone becomes Ctrl+Alt with that key.
    hotKey.SetRules(HKCOMB_NONE, HOTKEYF_CONTROL | HOTKEYF_ALT);
    hotKey.SetHotKey(m_hotKey);
    SetCheck(m_hWnd, IDC_OTHERS_STATIONED, m_stationed);
    SetCheck(m_hWnd, IDC_OTHERS_AUTOSTART, m_autoStart);
    EnableResidentItems();
}

void CPropPageOthers::EnableResidentItems()
{
    for (int id : {IDC_OTHERS_AUTOSTART, IDC_OTHERS_HOTKEY, IDC_OTHERS_HOTKEY_LABEL})
        EnableItem(m_hWnd, id, m_stationed);
}

void CPropPageOthers::UpdateModified()
{
    SetModified(m_stationed != m_settings->Stationed || m_autoStart != m_settings->AutoStart ||
                m_hotKey != m_settings->HotKey);
}

// Resident mode without a hot key would leave a hidden window nobody can
// call back: the page is not left until there is one.
bool CPropPageOthers::RefuseToLeave()
{
    if (!m_stationed || m_hotKey != 0)
        return false;
    ShowResourceMessage(korra::GetResourceInstance(), m_hWnd, IDS_NO_HOT_KEY, MB_ICONEXCLAMATION, 0);
    ::SetFocus(GetDlgItem(IDC_OTHERS_HOTKEY));
    return true;
}

LRESULT CPropPageOthers::Apply()
{
    const bool wasResident = m_settings->Stationed;
    const WORD oldKey = m_settings->HotKey;
    const bool keyChanged = m_hotKey != oldKey;
    bool released = false;
    if (wasResident && (!m_stationed || keyChanged)) {
        ::UnregisterHotKey(m_mainWindow, kHotKeyId);
        released = true;
    }
    if (m_stationed && (!wasResident || keyChanged)) {
        if (!RegisterLauncherHotKey(m_mainWindow, m_hotKey)) {
            // Another program holds the key. The old key comes back so that
            // the hidden window stays reachable, the record keeps the old
            // values, and the page stays open for another choice.
            if (released && oldKey != 0)
                RegisterLauncherHotKey(m_mainWindow, oldKey);
            ShowResourceMessage(korra::GetResourceInstance(), m_hWnd, IDS_SHEET_HOT_KEY_TAKEN,
                                MB_ICONEXCLAMATION, 0, HotKeyName(m_hotKey).c_str());
            ::SetFocus(GetDlgItem(IDC_OTHERS_HOTKEY));
            return PSNRET_INVALID_NOCHANGEPAGE;
        }
    }
    m_settings->Stationed = m_stationed;
    m_settings->AutoStart = m_autoStart;
    m_settings->HotKey = m_hotKey;
    SetModified(false);
    return PSNRET_NOERROR;
}
