// The About box opened from the input window as a user opens it (ABOUT
// typed, the menu item). While it runs modally, a thread timer plays a
// script of steps inside its loop, one per tick: look at it, press keys,
// press Esc. Shell starts go to the recorder helper, registered for the
// https addresses in this prefix for the duration of a test.
#include "AboutDlg.h"
#include "App.h"
#include "MainWnd.h"
#include "Settings.h"
#include "SettingsFile.h"
#include "TestFiles.h"
#include "WebDialog.h"
#include "resource.h"

#include "korra/AxHost.h"
#include "korra/LinkCtrl.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <functional>
#include <string>
#include <vector>

namespace {

using Step = std::function<void(HWND dialog)>;

// The script the timer plays in the modal loop of the dialog with the
// caption; the dialog is closed after the last step, or after a few seconds
// when it never showed.
struct Script {
    const char* caption;
    std::vector<Step> steps;
    std::size_t next = 0;
    int ticks = 0;
    bool sawBox = false;
    bool closedByWatchdog = false;
};
Script* g_script = nullptr;

HWND FindDialog(const char* caption)
{
    return FindWindowA(reinterpret_cast<const char*>(WC_DIALOG), caption);
}

void CALLBACK PlayStep(HWND, UINT, UINT_PTR, DWORD)
{
    if (g_script == nullptr)
        return;
    HWND about = FindDialog(g_script->caption);
    // The watchdog: a box still open after five seconds is closed, so that
    // a box that ignores its keys fails the test instead of hanging it.
    if (++g_script->ticks > 50 && about != nullptr) {
        g_script->closedByWatchdog = true;
        PostMessageA(about, WM_COMMAND, IDCANCEL, 0);
        return;
    }
    // Steps wait until the box is up and active, with the focus in it.
    if (about == nullptr || !IsWindowVisible(about) || GetActiveWindow() != about ||
        GetFocus() == nullptr)
        return;
    g_script->sawBox = true;
    if (g_script->next < g_script->steps.size())
        g_script->steps[g_script->next++](about);
}

ShellEdges g_edges;
void InjectedEdges(ShellEdges* edges)
{
    *edges = g_edges;
}

HWND Link(HWND about)
{
    return GetDlgItem(about, IDC_HOMEPAGE_LINK);
}

// A key as the keyboard delivers it, to the focused window.
void PostKey(WORD key)
{
    PostMessageA(GetFocus(), WM_KEYDOWN, key, 1);
    PostMessageA(GetFocus(), WM_KEYUP, key, 0xC0000001);
}

// Runs open, which shows the dialog modally, with the steps played in it
// and Esc after them.
void RunScripted(const char* caption, std::vector<Step> steps, const std::function<void()>& open)
{
    steps.push_back([](HWND) { PostKey(VK_ESCAPE); });
    Script script{caption, std::move(steps)};
    g_script = &script;
    const UINT_PTR timer = SetTimer(nullptr, 0, 100, PlayStep);
    open();
    KillTimer(nullptr, timer);
    g_script = nullptr;
    EXPECT_TRUE(script.sawBox) << caption << " did not show";
    EXPECT_FALSE(script.closedByWatchdog) << caption << " stayed open after its script";
    EXPECT_EQ(script.steps.size(), script.next) << caption << " closed before the script ended";
    EXPECT_EQ(nullptr, FindDialog(caption));
}

class AboutBox : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        g_instance = GetModuleHandleA(nullptr);
        korra::RegisterLinkControlClass(g_instance);
        Velum::initialize(16, 31, 32);
        LoadLibraryA("RICHED32.DLL");
        InitCommonControls();
        LookUpLayeredWindowEntry();
    }

    void SetUp() override
    {
        folder = FreshTempFolder(std::string("tarnic about ") +
                                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        recorder = folder + "\\rec.exe";
        ASSERT_TRUE(CopyFileA((ProgramFolder() + "recorder.exe").c_str(), recorder.c_str(), FALSE));
        records = folder + "\\records.txt";
        SetEnvironmentVariableA("TARNIC_RECORD_FILE", records.c_str());
        RegisterUrlHandler();
        settings.Stationed = false;

        window = std::make_unique<CMainWnd>(g_instance, &settings);
        window->RegisterWindowClass(g_instance);
        ASSERT_NE(nullptr, window->Create());
        window->ShowWindow(SW_SHOWNORMAL);
        Pump();
    }

    void TearDown() override
    {
        SetShellEdgesReader(nullptr);
        if (window != nullptr && window->IsWindow())
            window->DestroyWindow();
        Pump();
        window.reset();
        RestoreUrlHandler();
        for (SettingsFileKind kind : {SETTINGS_XML, SETTINGS_BAK}) {
            char path[MAX_PATH];
            if (GetSettingsFilePath(kind, path, sizeof path))
                DeleteFileA(path);
        }
    }

    // https addresses start the recorder with the address.
    void RegisterUrlHandler()
    {
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CLASSES_ROOT, "https\\shell\\open\\command", 0,
                                                 nullptr, 0, KEY_ALL_ACCESS, nullptr, &handlerKey,
                                                 nullptr));
        char old[1024] = {};
        DWORD size = sizeof old - 1;
        hadHandler = RegQueryValueExA(handlerKey, nullptr, nullptr, nullptr,
                                      reinterpret_cast<BYTE*>(old), &size) == ERROR_SUCCESS;
        oldHandler = old;
        const std::string command = "\"" + recorder + "\" \"%1\"";
        RegSetValueExA(handlerKey, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                       static_cast<DWORD>(command.size() + 1));
    }
    void RestoreUrlHandler()
    {
        if (handlerKey == nullptr)
            return;
        if (hadHandler)
            RegSetValueExA(handlerKey, nullptr, 0, REG_SZ,
                           reinterpret_cast<const BYTE*>(oldHandler.c_str()),
                           static_cast<DWORD>(oldHandler.size() + 1));
        else
            RegDeleteValueA(handlerKey, nullptr);
        RegCloseKey(handlerKey);
        handlerKey = nullptr;
    }

    void Pump()
    {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT)
                continue;
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }

    HWND Box() { return window->GetEdit().GetHwnd(); }

    enum class Opener { Typed, MenuItem, Own };
    // Opens the box, plays the steps in it, then closes it with Esc.
    // Opener::Own runs ownBox over the input window.
    void RunAboutBox(Opener opener, std::vector<Step> steps, CAboutDlg* ownBox = nullptr)
    {
        // As the menu leaves it (it brings the window forward first) and as
        // typing needs it: the input window is the active one.
        window->SetForegroundWindow();
        Pump();
        RunScripted("About...", std::move(steps), [&] {
            if (opener == Opener::Typed) {
                SetFocus(Box());
                for (char c : std::string("about"))
                    SendMessageA(Box(), WM_CHAR, static_cast<BYTE>(c), 1);
                PostMessageA(Box(), WM_KEYDOWN, VK_RETURN, 1);
                PostMessageA(Box(), WM_KEYUP, VK_RETURN, 0xC0000001);
                Pump();
            } else if (opener == Opener::MenuItem) {
                window->SendMessage(WM_COMMAND, ID_ABOUT);
            } else {
                ownBox->DoModal(window->GetHwnd());
            }
        });
    }

    std::vector<RecordedRun> Runs(int count) { return ParseRecords(WaitForRecords(records, count)); }

    CSettings settings;
    std::unique_ptr<CMainWnd> window;
    std::string folder, recorder, records;
    HKEY handlerKey = nullptr;
    bool hadHandler = false;
    std::string oldHandler;
};

TEST_F(AboutBox, OpensNextToTheNotificationAreaOnEveryTaskbarEdge)
{
    struct Case {
        const char* edge;
        bool hasTaskbar;
        RECT taskbar, workArea;
        // Expected corner: right or left, bottom or top of the work area.
        bool right, bottom;
    } cases[] = {
        {"bottom", true, {0, 760, 1280, 800}, {0, 0, 1280, 760}, true, true},
        {"top", true, {0, 0, 1280, 40}, {0, 40, 1280, 800}, true, false},
        {"left", true, {0, 0, 60, 800}, {60, 0, 1280, 800}, false, true},
        {"right", true, {1220, 0, 1280, 800}, {0, 0, 1220, 800}, true, true},
        {"none", false, {}, {0, 0, 1280, 800}, true, true},
    };
    SetShellEdgesReader(InjectedEdges);
    for (Opener opener : {Opener::Typed, Opener::MenuItem}) {
        for (const Case& c : cases) {
            g_edges = {c.hasTaskbar, c.taskbar, c.workArea};
            RECT seen = {};
            window->ShowWindow(SW_SHOWNORMAL);
            RunAboutBox(opener, {[&](HWND about) { GetWindowRect(about, &seen); }});
            const LONG width = seen.right - seen.left, height = seen.bottom - seen.top;
            const LONG x = c.right ? c.workArea.right - width : c.workArea.left;
            const LONG y = c.bottom ? c.workArea.bottom - height : c.workArea.top;
            const char* how = opener == Opener::Typed ? "ABOUT" : "menu item";
            EXPECT_EQ(x, seen.left) << c.edge << " taskbar, " << how;
            EXPECT_EQ(y, seen.top) << c.edge << " taskbar, " << how;
            EXPECT_GT(width, 0);
        }
    }
}

TEST_F(AboutBox, ShowsTheVersionAndALinkInItsColoursAndFonts)
{
    std::string version, caption;
    COLORREF normal = 0, focus = 0, hover = 0;
    HFONT own = nullptr, focusFont = nullptr, hoverFont = nullptr, normalFont = nullptr;
    HWND focused = nullptr;
    HFONT secondFocusFont = nullptr;
    LOGFONTA ownFace = {}, stateFace = {};
    RunAboutBox(Opener::MenuItem, {[&](HWND about) {
                    char text[64] = {};
                    GetDlgItemTextA(about, IDC_VERSION_TEXT, text, sizeof text);
                    version = text;
                    GetWindowTextA(about, text, sizeof text);
                    caption = text;
                    korra::CLinkCtrlA link(Link(about));
                    normal = link.GetNormalColor();
                    focus = link.GetFocusColor();
                    hover = link.GetHoverColor();
                    own = reinterpret_cast<HFONT>(link.SendMessage(WM_GETFONT));
                    normalFont = link.GetNormalFont();
                    focusFont = link.GetFocusFont();
                    hoverFont = link.GetHoverFont();
                    focused = GetFocus() == link.GetHwnd() ? link.GetHwnd() : nullptr;
                    // The dialog's font goes with the dialog: read it now.
                    GetObjectA(own, sizeof ownFace, &ownFace);
                }});
    EXPECT_EQ("2.22 Rev. 8", version);
    EXPECT_EQ("About...", caption);
    EXPECT_EQ(GetSysColor(COLOR_HIGHLIGHT), normal);
    EXPECT_EQ(RGB(255, 0, 0), focus);
    EXPECT_EQ(GetSysColor(COLOR_HOTLIGHT), hover);
    EXPECT_NE(nullptr, focused) << "the link, the first tab stop, has the focus";

    // Focused and hover: the link's own font with the underline turned over.
    ASSERT_NE(nullptr, own);
    ASSERT_NE(0, GetObjectA(focusFont, sizeof stateFace, &stateFace));
    EXPECT_EQ(ownFace.lfUnderline ? 0 : 1, stateFace.lfUnderline ? 1 : 0);
    EXPECT_STREQ(ownFace.lfFaceName, stateFace.lfFaceName);
    EXPECT_EQ(ownFace.lfHeight, stateFace.lfHeight);
    EXPECT_EQ(focusFont, hoverFont);
    EXPECT_NE(focusFont, normalFont);

    // A second opening reuses the font made at the first.
    RunAboutBox(Opener::MenuItem, {[&](HWND about) {
                    secondFocusFont = korra::CLinkCtrlA(Link(about)).GetFocusFont();
                }});
    EXPECT_EQ(focusFont, secondFocusFont);
}

TEST_F(AboutBox, EscClosesItWithTheFocusOnTheLinkAndTheBoxGetsTheFocusBack)
{
    int focusedId = 0;
    RunAboutBox(Opener::MenuItem, {[&](HWND) { focusedId = GetDlgCtrlID(GetFocus()); }});
    // The Esc of the script went to the link, which has the focus at first.
    EXPECT_EQ(IDC_HOMEPAGE_LINK, focusedId);
    EXPECT_EQ(Box(), GetFocus());
}

TEST_F(AboutBox, TheLinkOpensTheHomePageWithSpaceAndEnter)
{
    RunAboutBox(Opener::MenuItem, {[](HWND) { PostKey(VK_SPACE); },
                                   [](HWND) { PostKey(VK_RETURN); }});
    const std::vector<RecordedRun> runs = Runs(2);
    ASSERT_EQ(2u, runs.size());
    for (const RecordedRun& run : runs)
        EXPECT_NE(std::string::npos, run.commandLine.find(std::string("\"") + kHomePageAddress + "\""))
            << run.commandLine;
}

TEST_F(AboutBox, CheckingTheVersionTwiceOpensTheSameAddressInTheDefaultBrowser)
{
    // Where the HTML engine loads, the page would show in the box's own
    // browser and wait for a person: that is not a test for this machine.
    HMODULE engine = LoadLibraryA("mshtml.dll");
    if (engine != nullptr) {
        FreeLibrary(engine);
        GTEST_SKIP() << "the HTML engine is installed: the version check embeds a browser";
    }
    auto click = [](HWND about) {
        SendMessageA(GetDlgItem(about, IDC_CHECK_VERSION), BM_CLICK, 0, 0);
    };
    bool boxStillOpen = false;
    RunAboutBox(Opener::MenuItem, {click, click, [&](HWND about) {
                                       boxStillOpen = IsWindowVisible(about) != FALSE;
                                   }});
    EXPECT_TRUE(boxStillOpen);
    const std::vector<RecordedRun> runs = Runs(2);
    ASSERT_EQ(2u, runs.size());
    const std::string expected =
        "\"https://morrowfield.example/service/version_check?product=Pellor&version_check=&version=2.22.8.31\"";
    for (const RecordedRun& run : runs)
        EXPECT_NE(std::string::npos, run.commandLine.find(expected)) << run.commandLine;
}

TEST_F(AboutBox, WithoutAVersionResourceSaysSoAndChecksWithoutAVersion)
{
    HMODULE engine = LoadLibraryA("mshtml.dll");
    if (engine != nullptr) {
        FreeLibrary(engine);
        GTEST_SKIP() << "the HTML engine is installed: the version check embeds a browser";
    }
    CAboutDlg box;
    box.SetVersionModule(recorder);  // a program without a version resource
    std::string version;
    RunAboutBox(Opener::Own,
                {[&](HWND about) {
                     char text[64] = {};
                     GetDlgItemTextA(about, IDC_VERSION_TEXT, text, sizeof text);
                     version = text;
                     SendMessageA(GetDlgItem(about, IDC_CHECK_VERSION), BM_CLICK, 0, 0);
                 }},
                &box);
    EXPECT_EQ(Ansi("(不明)"), version);
    const std::vector<RecordedRun> runs = Runs(1);
    ASSERT_EQ(1u, runs.size());
    EXPECT_NE(std::string::npos, runs[0].commandLine.find("&version=\"")) << runs[0].commandLine;
}

TEST(VersionCheck, AddressCarriesTheFourPartsOfTheProductVersion)
{
    struct Case {
        DWORD ms, ls;
        const char* version;
    } cases[] = {
        {MAKELONG(22, 2), MAKELONG(31, 8), "2.22.8.31"},
        {MAKELONG(5, 3), MAKELONG(0, 12), "3.5.12.0"},
        {0xFFFFFFFF, 0xFFFFFFFF, "65535.65535.65535.65535"},
    };
    const std::string base =
        "https://morrowfield.example/service/version_check?product=Pellor&version_check=&version=";
    for (const Case& c : cases) {
        VS_FIXEDFILEINFO info = {};
        info.dwProductVersionMS = c.ms;
        info.dwProductVersionLS = c.ls;
        EXPECT_EQ(base + c.version, VersionCheckAddress(&info));
    }
    // Without a version resource the version is left empty, not made up.
    EXPECT_EQ(base, VersionCheckAddress(nullptr));
}

// The dialog around the browser control, where the control can be made:
// Wine makes it even with its HTML engine off, so the engine check is
// passed over and an address that needs no engine or network is shown.
TEST(WebDialog, KeepsTheBrowserFillingItAndEndsWithZeroOnEsc)
{
    SetHtmlEngineCheck([] { return true; });
    struct Fill {
        SIZE client, host;
    };
    std::vector<Fill> seen;
    auto look = [&](HWND dialog) {
        HWND host = FindWindowExA(dialog, nullptr, korra::CAxHostA::GetWndClassName(), nullptr);
        RECT client = {}, hostRect = {};
        GetClientRect(dialog, &client);
        GetWindowRect(host, &hostRect);
        seen.push_back({{client.right, client.bottom},
                        {hostRect.right - hostRect.left, hostRect.bottom - hostRect.top}});
    };
    auto resize = [](int width, int height) {
        return [=](HWND dialog) {
            SetWindowPos(dialog, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER);
        };
    };
    int result = -5;
    RunScripted("Connect...", {look, resize(500, 300), look, resize(260, 160), look}, [&] {
        result = ShowWebDialog(GetModuleHandleA(nullptr), IDD_CONNECT, nullptr, 0, "about:blank",
                               nullptr, nullptr);
    });
    SetHtmlEngineCheck(nullptr);
    if (result == 1)
        GTEST_SKIP() << "no web-browser control on this system";
    EXPECT_EQ(0, result) << "Esc ends the dialog with 0";
    ASSERT_EQ(3u, seen.size());
    for (const Fill& fill : seen) {
        EXPECT_EQ(fill.client.cx, fill.host.cx);
        EXPECT_EQ(fill.client.cy, fill.host.cy);
    }
    EXPECT_GT(seen[1].client.cx, seen[2].client.cx);
}

TEST(WebDialog, DeclinesWhatItCannotShow)
{
    // Flags: nothing is done. A missing template: nothing shows, and the
    // caller opens the address elsewhere.
    EXPECT_EQ(2, ShowWebDialog(GetModuleHandleA(nullptr), IDD_CONNECT, nullptr, 1,
                               "https://morrowfield.example/", nullptr, nullptr));
    EXPECT_EQ(-1, ShowWebDialog(GetModuleHandleA(nullptr), 9999, nullptr, 0,
                                "https://morrowfield.example/", nullptr, nullptr));
    HMODULE engine = LoadLibraryA("mshtml.dll");
    if (engine != nullptr) {
        FreeLibrary(engine);
        return;  // the dialog would show a page and wait for a person
    }
    // No HTML engine: 1, at once, whatever the address is.
    const std::string longAddress = "https://morrowfield.example/" + std::string(10000, 'a');
    EXPECT_EQ(1, ShowWebDialog(GetModuleHandleA(nullptr), IDD_CONNECT, nullptr, 0,
                               longAddress.c_str(), nullptr, nullptr));
    EXPECT_EQ(1, ShowWebDialog(GetModuleHandleA(nullptr), IDD_CONNECT, nullptr, 0, nullptr,
                               nullptr, nullptr));
}

}  // namespace
