// The About box: the program's version, the maker's home page and the
// version check; run modally with the input window as owner.
#pragma once

#include "resource.h"

#include "korra/DialogImpl.h"

#include <windows.h>

#include <string>

class CAboutDlg : public korra::CDialogImplA<CAboutDlg> {
public:
    enum { IDD = IDD_ABOUT };

    // Loads the program's icons (group 160) from the resource instance.
    CAboutDlg();
    ~CAboutDlg() override;

    // Opens the version-check page: in the "Connect..." dialog when a
    // browser can be embedded, else in the user's default browser.
    void CheckLatestVersion();

    // The file whose version resource the box reads: the program's own
    // unless set ("" restores that).
    void SetVersionModule(const std::string& path) { m_versionModule = path; }

protected:
    INT_PTR DialogProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    const char* VersionModule() const
    {
        return m_versionModule.empty() ? nullptr : m_versionModule.c_str();
    }
    BOOL OnInitDialog();
    void SetUpLink();

    HFONT m_linkFont = nullptr;   // ours
    HICON m_smallIcon = nullptr;  // ours
    HICON m_largeIcon = nullptr;  // the shared resource icon: never destroyed
    std::string m_versionModule;  // "" for the program itself
};

// The maker's home page, the link's target.
extern const char kHomePageAddress[];

// The version-check address for a product version ("...&version=2.22.8.31");
// without a version (null) the version is left empty.
std::string VersionCheckAddress(const VS_FIXEDFILEINFO* version);

// Where the taskbar lies and what is left of the screen. hasTaskbar is
// false when the shell reports no taskbar.
struct ShellEdges {
    bool hasTaskbar = false;
    RECT taskbar = {};
    RECT workArea = {};
};
using ShellEdgesReader = void (*)(ShellEdges* edges);
// Replaces the shell's answer (tests put a taskbar on each edge); null
// restores it.
void SetShellEdgesReader(ShellEdgesReader reader);

// The top-left corner that puts a window of the size next to the
// notification area: the top-right corner of the work area for a taskbar
// at the top, the bottom-left for one on the left, else (bottom, right, or
// no taskbar at all) the bottom-right.
POINT NearNotificationArea(const ShellEdges& edges, SIZE size);
// Moves the window there, keeping its size and without repainting; a null
// window is left alone.
void PlaceNearNotificationArea(HWND window);
