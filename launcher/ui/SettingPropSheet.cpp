#include "SettingPropSheet.h"

#include "Settings.h"
#include "SettingsFile.h"
#include "resource.h"

#include "korra/Binding.h"

CSettingPropSheet::CSettingPropSheet(CSettings* settings)
    : m_settings(settings),
      m_save(SaveSettings),
      m_command(settings),
      m_window(settings),
      m_input(settings),
      m_others(settings)
{
    AddPage(m_command);
    AddPage(m_window);
    AddPage(m_input);
    AddPage(m_others);
}

CSettingPropSheet::~CSettingPropSheet()
{
    if (m_largeIcon != nullptr)
        DestroyIcon(m_largeIcon);
    if (m_smallIcon != nullptr)
        DestroyIcon(m_smallIcon);
}

void CSettingPropSheet::SetTargets(HWND mainWindow, HWND inputBox)
{
    m_window.SetTargets(mainWindow, inputBox);
    m_others.SetTarget(mainWindow);
}

void CSettingPropSheet::Prepare()
{
    HINSTANCE instance = korra::GetResourceInstance();
    // The window page's sample is a rich edit; the input box loaded the
    // library already in the program, not necessarily elsewhere.
    LoadLibraryA("RICHED32.DLL");
    char caption[128] = {};
    LoadStringA(instance, IDS_SETTINGS_CAPTION, caption, sizeof caption);
    SetTitle(caption);
    if (m_largeIcon == nullptr) {
        m_largeIcon = static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(IDI_TARNIC), IMAGE_ICON,
                                                    GetSystemMetrics(SM_CXICON),
                                                    GetSystemMetrics(SM_CYICON), 0));
        m_smallIcon = static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(IDI_TARNIC), IMAGE_ICON,
                                                    GetSystemMetrics(SM_CXSMICON),
                                                    GetSystemMetrics(SM_CYSMICON), 0));
    }
    SetIcons(m_largeIcon, m_smallIcon);
    SetActivePage(0);
}

INT_PTR CSettingPropSheet::DoModal(HWND owner)
{
    Prepare();
    return korra::CPropSheetImplA<CSettingPropSheet>::DoModal(owner);
}

HWND CSettingPropSheet::Create(HWND owner)
{
    Prepare();
    return korra::CPropSheetImplA<CSettingPropSheet>::Create(owner);
}

void CSettingPropSheet::OnSheetInitialized()
{
    RECT area = {}, rect = {};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    GetWindowRect(&rect);
    const int x = area.left + ((area.right - area.left) - (rect.right - rect.left)) / 2;
    const int y = area.top + ((area.bottom - area.top) - (rect.bottom - rect.top)) / 2;
    SetWindowPos(nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT CSettingPropSheet::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_COMMAND: {
        const WORD id = LOWORD(wParam);
        if (HIWORD(wParam) != BN_CLICKED || (id != IDOK && id != kApplyButton))
            break;
        if (!Apply())
            return 0;
        if (id == kApplyButton) {
            // Apply greys itself once saved; the keyboard, left on it, would
            // reach nothing (not even Escape), so it moves to OK.
            if (!::IsWindowEnabled(::GetFocus()))
                SendMessage(WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(IDOK)), TRUE);
            return 0;
        }
        // OK: the sheet's own handling closes it; its apply finds every
        // page equal to the record.
        break;
    }
    case PSM_PRESSBUTTON:
        // Pressed by a program: the same road as a click.
        if (wParam == PSBTN_OK || wParam == PSBTN_APPLYNOW) {
            const int id = wParam == PSBTN_OK ? IDOK : kApplyButton;
            SendMessage(WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(id)));
            return 0;
        }
        break;
    }
    return DefWindowProc(message, wParam, lParam);
}

LRESULT CSettingPropSheet::Notify(HWND page, UINT code)
{
    PSHNOTIFY notify = {};
    notify.hdr.hwndFrom = m_hWnd;
    notify.hdr.idFrom = 0;
    notify.hdr.code = code;
    // A dialog answers WM_NOTIFY through DWLP_MSGRESULT, which SendMessage
    // hands back.
    return ::SendMessageA(page, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&notify));
}

bool CSettingPropSheet::Apply()
{
    HWND current = reinterpret_cast<HWND>(SendMessage(PSM_GETCURRENTPAGEHWND));
    if (current != nullptr && Notify(current, PSN_KILLACTIVE) != FALSE)
        return false;
    bool refused = false;
    HWND pages[] = {m_command.GetHwnd(), m_window.GetHwnd(), m_input.GetHwnd(), m_others.GetHwnd()};
    for (int i = 0; i < 4 && !refused; ++i) {
        if (pages[i] == nullptr)
            continue;  // never shown: nothing to write back
        if (Notify(pages[i], PSN_APPLY) != PSNRET_NOERROR) {
            refused = true;
            if (pages[i] != current)
                SendMessage(PSM_SETCURSEL, i, 0);
        }
    }
    // What the pages before a refusal wrote is saved all the same.
    if (!m_save(*m_settings)) {
        // The record holds the changes but the file does not: Apply stays
        // on so that the user can try again, and nothing is lost.
        current = reinterpret_cast<HWND>(SendMessage(PSM_GETCURRENTPAGEHWND));
        if (current != nullptr)
            SendMessage(PSM_CHANGED, reinterpret_cast<WPARAM>(current), 0);
        return false;
    }
    return !refused;
}
