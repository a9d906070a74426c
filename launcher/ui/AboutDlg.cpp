#include "AboutDlg.h"

#include "VersionInfo.h"
#include "WebDialog.h"

#include "korra/LinkCtrl.h"

#include <shellapi.h>

#include <cstdio>

const char kHomePageAddress[] = "https://morrowfield.example/";

namespace {

constexpr char kVersionCheckAddress[] =
    "https://morrowfield.example/service/version_check?product=Pellor&version_check=&version=";
constexpr int kVersionTextBytes = 128;

void ReadShellEdges(ShellEdges* edges)
{
    APPBARDATA bar = {};
    bar.cbSize = sizeof bar;
    edges->hasTaskbar = SHAppBarMessage(ABM_GETTASKBARPOS, &bar) != 0;
    edges->taskbar = bar.rc;
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &edges->workArea, 0);
}

ShellEdgesReader g_readShellEdges = ReadShellEdges;

}  // namespace

void SetShellEdgesReader(ShellEdgesReader reader)
{
    g_readShellEdges = reader != nullptr ? reader : ReadShellEdges;
}

POINT NearNotificationArea(const ShellEdges& edges, SIZE size)
{
    const RECT& task = edges.taskbar;
    const RECT& work = edges.workArea;
    // Without a taskbar its rectangle is empty at 0,0, which would read as
    // a taskbar at the top: such a screen counts as one with it below.
    if (edges.hasTaskbar && task.bottom <= work.top)
        return {work.right - size.cx, work.top};
    if (edges.hasTaskbar && task.right <= work.left)
        return {work.left, work.bottom - size.cy};
    return {work.right - size.cx, work.bottom - size.cy};
}

void PlaceNearNotificationArea(HWND window)
{
    if (window == nullptr)
        return;
    ShellEdges edges;
    g_readShellEdges(&edges);
    RECT rect;
    GetWindowRect(window, &rect);
    const POINT place = NearNotificationArea(edges, {rect.right - rect.left, rect.bottom - rect.top});
    SetWindowPos(window, nullptr, place.x, place.y, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOREDRAW);
}

std::string VersionCheckAddress(const VS_FIXEDFILEINFO* version)
{
    std::string address = kVersionCheckAddress;
    if (version != nullptr) {
        char parts[24];
        std::snprintf(parts, sizeof parts, "%u.%u.%u.%u", HIWORD(version->dwProductVersionMS),
                      LOWORD(version->dwProductVersionMS), HIWORD(version->dwProductVersionLS),
                      LOWORD(version->dwProductVersionLS));
        address += parts;
    }
    return address;
}

CAboutDlg::CAboutDlg()
{
    HINSTANCE instance = korra::GetResourceInstance();
    m_smallIcon = static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(IDI_TARNIC), IMAGE_ICON,
                                                GetSystemMetrics(SM_CXSMICON),
                                                GetSystemMetrics(SM_CYSMICON), 0));
    m_largeIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_TARNIC));
}

CAboutDlg::~CAboutDlg()
{
    if (m_linkFont != nullptr)
        DeleteObject(m_linkFont);
    if (m_smallIcon != nullptr)
        DestroyIcon(m_smallIcon);
}

INT_PTR CAboutDlg::DialogProc(UINT message, WPARAM wParam, LPARAM /*lParam*/)
{
    switch (message) {
    case WM_INITDIALOG:
        return OnInitDialog();
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_CHECK_VERSION:
            if (HIWORD(wParam) != BN_CLICKED)
                return FALSE;
            CheckLatestVersion();
            return TRUE;
        case IDOK:
        case IDCANCEL:
            EndDialog(LOWORD(wParam));
            return TRUE;
        }
        return FALSE;
    }
    return FALSE;
}

BOOL CAboutDlg::OnInitDialog()
{
    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_largeIcon));
    SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_smallIcon));

    char version[kVersionTextBytes] = {};
    unsigned size = sizeof version;
    if (!GetVersionText(VersionModule(), version, &size)) {
        // No version resource (or a text that does not fit): say so rather
        // than show nothing or a guess.
        if (LoadStringA(korra::GetResourceInstance(), IDS_VERSION_UNKNOWN, version,
                        sizeof version) <= 0)
            lstrcpynA(version, "?", sizeof version);
    }
    SetDlgItemTextA(m_hWnd, IDC_VERSION_TEXT, version);

    PlaceNearNotificationArea(m_hWnd);
    SetUpLink();
    // The dialog manager gives the focus to the first control that takes it.
    return TRUE;
}

void CAboutDlg::SetUpLink()
{
    korra::CLinkCtrlA link;
    if (!link.Attach(m_hWnd, IDC_HOMEPAGE_LINK))
        return;  // the class was not registered: the text stays a plain label
    link.SetTarget(kHomePageAddress);
    link.SetNormalColor(GetSysColor(COLOR_HIGHLIGHT));
    link.SetFocusColor(RGB(255, 0, 0));
    link.SetHoverColor(GetSysColor(COLOR_HOTLIGHT));
    if (m_linkFont == nullptr) {
        // The link's own font with the underline turned over: the states
        // that invite a click look different from the resting link.
        HFONT own = reinterpret_cast<HFONT>(link.SendMessage(WM_GETFONT));
        LOGFONTA face = {};
        if (GetObjectA(own != nullptr ? static_cast<HGDIOBJ>(own) : GetStockObject(DEFAULT_GUI_FONT),
                       sizeof face, &face) != 0) {
            face.lfUnderline = face.lfUnderline ? FALSE : TRUE;
            m_linkFont = CreateFontIndirectA(&face);
        }
    }
    if (m_linkFont != nullptr) {
        link.SetFocusFont(m_linkFont, FALSE);
        link.SetHoverFont(m_linkFont, FALSE);
    }
}

void CAboutDlg::CheckLatestVersion()
{
    VS_FIXEDFILEINFO info = {};
    const std::string address =
        VersionCheckAddress(GetFixedFileInfo(VersionModule(), &info) ? &info : nullptr);
    if (ShowWebDialog(korra::GetResourceInstance(), IDD_CONNECT, m_hWnd, 0, address.c_str(),
                      m_smallIcon, m_largeIcon) == 0)
        return;
    // No embedded browser: the user's default browser shows the page.
    SHELLEXECUTEINFOA exec = {};
    exec.cbSize = sizeof exec;
    exec.hwnd = m_hWnd;
    exec.lpFile = address.c_str();
    exec.nShow = SW_SHOWNORMAL;
    ShellExecuteExA(&exec);
}
