// The hyperlink control on real windows: a dialog-class parent with a push
// button and a wide, centred link, keys going through the dialog manager as
// the message loop delivers them, and targets opened by the shell (the
// target is the recorder helper, which writes down each start).
#include "korra/LinkCtrl.h"

#include "TestFiles.h"

#include <gtest/gtest.h>

#include <shellapi.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

const bool g_firstRegistration = korra::RegisterLinkControlClass(::GetModuleHandleA(nullptr));

constexpr int kButtonId = 200;
constexpr int kLinkId = 300;
constexpr DWORD kAboutStyle = WS_VISIBLE | WS_TABSTOP | korra::LCS_CENTER;

// Pixels of the colour in the link's client area as the screen shows it.
int PixelsOf(HWND window, COLORREF color)
{
    RECT client;
    ::GetClientRect(window, &client);
    HDC dc = ::GetDC(window);
    int count = 0;
    for (int y = 0; y < client.bottom; ++y) {
        for (int x = 0; x < client.right; ++x)
            count += ::GetPixel(dc, x, y) == color ? 1 : 0;
    }
    ::ReleaseDC(window, dc);
    return count;
}

class LinkControl : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(g_firstRegistration);
        folder = FreshTempFolder(std::string("korra link ") +
                                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        recorder = folder + "\\rec.exe";
        ASSERT_TRUE(::CopyFileA((ProgramFolder() + "recorder.exe").c_str(), recorder.c_str(), FALSE));
        records = folder + "\\records.txt";
        ::SetEnvironmentVariableA("TARNIC_RECORD_FILE", records.c_str());

        parent = ::CreateWindowExA(0, "#32770", "link parent", WS_POPUP | WS_VISIBLE | WS_CAPTION,
                                   100, 100, 420, 140, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(nullptr, parent);
        button = ::CreateWindowExA(0, "BUTTON", "button", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 10, 10,
                                   80, 24, parent, reinterpret_cast<HMENU>(kButtonId), nullptr,
                                   nullptr);
        ASSERT_TRUE(link.Create(nullptr, "Morrowfield", kAboutStyle, 0, 10, 50, 300, 20,
                                reinterpret_cast<HMENU>(kLinkId), parent));
        ::SetForegroundWindow(parent);
        Pump();
    }

    void TearDown() override
    {
        if (parent != nullptr)
            ::DestroyWindow(parent);
        Pump();
    }

    void Pump()
    {
        MSG message;
        while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (parent != nullptr && ::IsDialogMessageA(parent, &message))
                continue;
            ::TranslateMessage(&message);
            ::DispatchMessageA(&message);
        }
    }

    // A key as the keyboard delivers it: to the focused window, through the
    // dialog manager.
    void KeyDown(WORD key)
    {
        ::PostMessageA(::GetFocus(), WM_KEYDOWN, key, 1);
        Pump();
    }
    void KeyUp(WORD key)
    {
        ::PostMessageA(::GetFocus(), WM_KEYUP, key, 0xC0000001);
        Pump();
    }

    // The mouse at a client point of the link: the real cursor moves there
    // too, since the control compares the two.
    void MouseAt(int x, int y)
    {
        POINT screen = {x, y};
        ::ClientToScreen(link.GetHwnd(), &screen);
        // The link asks GetCursorPos where the mouse is. Under Wine a
        // motion the X server reports late can put the old place back
        // after SetCursorPos; the move is made again until the new place
        // holds (for at most a second).
        for (int tries = 0; tries < 100; ++tries) {
            ::SetCursorPos(screen.x, screen.y);
            POINT now = {};
            ::GetCursorPos(&now);
            if (now.x == screen.x && now.y == screen.y)
                break;
            ::Sleep(10);
        }
        link.SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(x, y));
    }
    void ClickAt(int x, int y)
    {
        MouseAt(x, y);
        link.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
        link.SendMessage(WM_LBUTTONUP, 0, MAKELPARAM(x, y));
        Pump();
    }

    // How many times the link started its target: a start of our own goes
    // last and is waited for, so that starts before it have been written.
    int Openings()
    {
        ::ShellExecuteA(nullptr, nullptr, recorder.c_str(), "sentinel", nullptr, SW_SHOWNORMAL);
        std::vector<RecordedRun> runs;
        for (int wait = 0; wait < 200; ++wait) {
            runs = ParseRecords(ReadWholeFile(records));
            if (!runs.empty() && runs.back().commandLine.find("sentinel") != std::string::npos)
                break;
            ::Sleep(50);
        }
        ::Sleep(300);
        runs = ParseRecords(ReadWholeFile(records));
        ::DeleteFileA(records.c_str());
        int count = 0;
        for (const RecordedRun& run : runs)
            count += run.commandLine.find("sentinel") == std::string::npos ? 1 : 0;
        return count;
    }

    bool TabStop() const { return (link.GetWindowLongPtr(GWL_STYLE) & WS_TABSTOP) != 0; }

    HWND parent = nullptr;
    HWND button = nullptr;
    korra::CLinkCtrlA link;
    std::string folder, recorder, records;
};

TEST_F(LinkControl, RegistersItsClassOnce)
{
    EXPECT_FALSE(korra::RegisterLinkControlClass(::GetModuleHandleA(nullptr)));
    WNDCLASSEXA info = {};
    info.cbSize = sizeof info;
    ASSERT_TRUE(::GetClassInfoExA(::GetModuleHandleA(nullptr), korra::kLinkClassName, &info));
    EXPECT_EQ(static_cast<int>(sizeof(void*)), info.cbWndExtra);
    EXPECT_EQ(nullptr, info.hCursor);
    EXPECT_EQ(reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1), info.hbrBackground);
}

TEST_F(LinkControl, IsReachedWithTabOnlyWithATarget)
{
    ::SetFocus(button);
    EXPECT_FALSE(TabStop());
    KeyDown(VK_TAB);
    EXPECT_EQ(button, ::GetFocus()) << "a label is no tab stop";

    link.SetTarget(recorder.c_str());
    EXPECT_TRUE(TabStop());
    KeyDown(VK_TAB);
    EXPECT_EQ(link.GetHwnd(), ::GetFocus());
    // The link hands Tab on itself (it asks for every key).
    KeyDown(VK_TAB);
    EXPECT_EQ(button, ::GetFocus());

    // Losing the target while focused: no tab stop, and the focus moves on.
    KeyDown(VK_TAB);
    ASSERT_EQ(link.GetHwnd(), ::GetFocus());
    link.SetTarget("");
    EXPECT_FALSE(TabStop());
    EXPECT_EQ(button, ::GetFocus());
}

TEST_F(LinkControl, OpensOnAReleaseOfTheKeyPressedOnIt)
{
    enum Step { FocusLink, FocusButton, SpaceDown, SpaceUp, EnterDown, EnterUp, NoTarget };
    struct Case {
        const char* name;
        std::vector<Step> steps;
        int openings;
    } cases[] = {
        {"space", {FocusLink, SpaceDown, SpaceUp}, 1},
        {"enter", {FocusLink, EnterDown, EnterUp}, 1},
        {"space released elsewhere", {FocusLink, SpaceDown, FocusButton, SpaceUp}, 0},
        {"enter pressed, space released", {FocusLink, EnterDown, SpaceUp}, 0},
        {"a second release without a press", {FocusLink, SpaceDown, SpaceUp, SpaceUp}, 1},
        {"a focus regained forgets the press", {FocusLink, SpaceDown, FocusButton, FocusLink, SpaceUp}, 0},
        {"a label opens nothing", {NoTarget, FocusLink, SpaceDown, SpaceUp}, 0},
    };
    for (const Case& c : cases) {
        link.SetTarget(recorder.c_str());
        for (Step step : c.steps) {
            switch (step) {
            case FocusLink: ::SetFocus(link.GetHwnd()); break;
            case FocusButton: ::SetFocus(button); break;
            case SpaceDown: KeyDown(VK_SPACE); break;
            case SpaceUp: KeyUp(VK_SPACE); break;
            case EnterDown: KeyDown(VK_RETURN); break;
            case EnterUp: KeyUp(VK_RETURN); break;
            case NoTarget: link.SetTarget(""); break;
            }
        }
        EXPECT_EQ(c.openings, Openings()) << c.name;
    }
}

TEST_F(LinkControl, OpensOnAClickOnItsTextOnly)
{
    link.SetTarget(recorder.c_str());
    HCURSOR hand = ::LoadCursorA(nullptr, MAKEINTRESOURCEA(32649));
    HCURSOR arrow = ::LoadCursorA(nullptr, IDC_ARROW);
    // The text "Morrowfield" sits in the middle of a 300-pixel-wide link.
    // Over it the link shows its hover look, which wins over the focused one.
    const COLORREF hoverColor = RGB(200, 0, 200), focusColor = RGB(255, 0, 0);
    link.SetHoverColor(hoverColor);
    link.SetFocusColor(focusColor);
    ::SetFocus(link.GetHwnd());
    MouseAt(150, 10);
    EXPECT_EQ(hand, ::GetCursor());
    EXPECT_GT(PixelsOf(link.GetHwnd(), hoverColor), 0);
    EXPECT_EQ(0, PixelsOf(link.GetHwnd(), focusColor));
    MouseAt(5, 10);
    EXPECT_EQ(arrow, ::GetCursor()) << "the empty part left of the text";
    EXPECT_EQ(0, PixelsOf(link.GetHwnd(), hoverColor));
    EXPECT_GT(PixelsOf(link.GetHwnd(), focusColor), 0);

    struct Case {
        int x;
        int openings;
    } cases[] = {{150, 1}, {5, 0}, {295, 0}};
    for (const Case& c : cases) {
        ClickAt(c.x, 10);
        EXPECT_EQ(c.openings, Openings()) << "click at x = " << c.x;
    }
    // A click takes the focus, and a mouse gone from the link lets go.
    EXPECT_EQ(link.GetHwnd(), ::GetFocus());
    MouseAt(-50, 10);
    EXPECT_NE(link.GetHwnd(), ::GetCapture());
}

TEST_F(LinkControl, CopiesItsTargetWithinTheBuffer)
{
    link.SetTarget("0123456789");
    EXPECT_EQ(10, link.GetTargetLength());
    EXPECT_EQ("0123456789", link.GetTarget());
    struct Case {
        int size;
        int copied;
        const char* text;
    } cases[] = {{0, 0, "#"}, {1, 0, ""}, {5, 4, "0123"}, {10, 9, "012345678"},
                 {11, 10, "0123456789"}, {64, 10, "0123456789"}};
    for (const Case& c : cases) {
        std::vector<char> buffer(80, '#');
        EXPECT_EQ(c.copied, link.GetTarget(buffer.data(), c.size)) << "size " << c.size;
        EXPECT_EQ(std::string(c.text), std::string(buffer.data(), std::strlen(c.text)));
        EXPECT_EQ('#', buffer[static_cast<std::size_t>(c.size)]) << "written past size " << c.size;
    }
    // A long target is kept whole.
    const std::string longTarget(5000, 'x');
    link.SetTarget(longTarget.c_str());
    EXPECT_EQ(longTarget, link.GetTarget());
    EXPECT_EQ(0, link.GetTarget(nullptr, 10));
}

TEST_F(LinkControl, StartsWithThePlatformColoursAndItsParentsFont)
{
    EXPECT_EQ(0u, link.GetNormalColor());
    EXPECT_EQ(::GetSysColor(COLOR_HIGHLIGHT), link.GetFocusColor());
    EXPECT_EQ(::GetSysColor(COLOR_HOTLIGHT), link.GetHoverColor());
    const HFONT parentFont = reinterpret_cast<HFONT>(::SendMessageA(parent, WM_GETFONT, 0, 0));
    EXPECT_EQ(parentFont, link.GetNormalFont());
    EXPECT_EQ(parentFont, link.GetFocusFont());
    EXPECT_EQ(parentFont, link.GetHoverFont());

    // Each setter answers the previous value.
    EXPECT_EQ(0u, link.SetNormalColor(RGB(1, 2, 3)));
    EXPECT_EQ(RGB(1, 2, 3), link.SetNormalColor(RGB(4, 5, 6)));
    HFONT font = static_cast<HFONT>(::GetStockObject(ANSI_FIXED_FONT));
    EXPECT_EQ(parentFont, link.SetHoverFont(font, FALSE));
    EXPECT_EQ(font, link.GetHoverFont());
    // WM_SETFONT keeps a font of its own.
    link.SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    EXPECT_EQ(font, reinterpret_cast<HFONT>(link.SendMessage(WM_GETFONT)));
}

TEST_F(LinkControl, ShowsANewColourAtTheNextRedrawAndANewFontAtOnce)
{
    link.SetTarget(recorder.c_str());
    ::SetFocus(button);
    const COLORREF blue = RGB(0, 0, 255), green = RGB(0, 160, 0);
    link.SetNormalColor(blue);
    link.RedrawWindow(RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    EXPECT_GT(PixelsOf(link.GetHwnd(), blue), 0);

    link.SetNormalColor(green);
    RECT update;
    EXPECT_FALSE(::GetUpdateRect(link.GetHwnd(), &update, FALSE)) << "a colour repaints nothing";
    EXPECT_EQ(0, PixelsOf(link.GetHwnd(), green));
    link.RedrawWindow(RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    EXPECT_GT(PixelsOf(link.GetHwnd(), green), 0);

    // The focused look: its own colour.
    const COLORREF red = RGB(255, 0, 0);
    link.SetFocusColor(red);
    ::SetFocus(link.GetHwnd());
    EXPECT_GT(PixelsOf(link.GetHwnd(), red), 0);
    EXPECT_EQ(0, PixelsOf(link.GetHwnd(), green));

    // A font with the redraw flag shows at once: the wide font widens the text.
    ::SetFocus(button);
    const int before = PixelsOf(link.GetHwnd(), green);
    link.SetNormalFont(static_cast<HFONT>(::GetStockObject(ANSI_FIXED_FONT)), TRUE);
    EXPECT_FALSE(::GetUpdateRect(link.GetHwnd(), &update, FALSE));
    EXPECT_NE(before, PixelsOf(link.GetHwnd(), green));
}

bool ThemeActive()
{
    HMODULE theme = ::LoadLibraryA("UxTheme.dll");
    auto isActive = theme == nullptr ? nullptr
                                     : reinterpret_cast<BOOL(WINAPI*)()>(reinterpret_cast<void*>(
                                           ::GetProcAddress(theme, "IsThemeActive")));
    return isActive != nullptr && isActive();
}

TEST_F(LinkControl, DrawsEachLookInItsOwnColours)
{
    const COLORREF normal = RGB(0, 0, 255);
    const COLORREF gray = ::GetSysColor(COLOR_GRAYTEXT);
    const COLORREF light = ::GetSysColor(COLOR_3DHILIGHT);
    ASSERT_NE(gray, light);
    struct Case {
        const char* name;
        DWORD style;
        bool enabled;
        bool target;
        int normalPixels;  // -1: none, 1: some
        int grayPixels;
        int lightPixels;  // 0: not looked at
    } cases[] = {
        {"a link", 0, true, true, 1, -1, 0},
        {"kind 1 draws no text", 1, true, true, -1, -1, 0},
        {"kind 2 draws no text", 2, true, true, -1, -1, 0},
        {"disabled, grey style: flat grey", korra::LCS_GRAYED, false, true, -1, 1, -1},
        {"disabled: embossed grey", 0, false, true, -1, 1, 1},
    };
    const bool themed = ThemeActive();
    for (const Case& c : cases) {
        if (themed && c.lightPixels > 0)
            continue;  // the theme draws its own disabled text
        korra::CLinkCtrlA looks;
        ASSERT_TRUE(looks.Create(nullptr, "Morrowfield", WS_VISIBLE | c.style, 0, 10, 80, 300, 20,
                                 nullptr, parent));
        looks.SetTarget(c.target ? recorder.c_str() : "");
        looks.SetNormalColor(normal);
        looks.EnableWindow(c.enabled ? TRUE : FALSE);
        looks.RedrawWindow(RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
        const auto seen = [&](COLORREF color) { return PixelsOf(looks.GetHwnd(), color) > 0 ? 1 : -1; };
        EXPECT_EQ(c.normalPixels, seen(normal)) << c.name;
        EXPECT_EQ(c.grayPixels, seen(gray)) << c.name;
        if (c.lightPixels != 0) {
            EXPECT_EQ(c.lightPixels, seen(light)) << c.name;
        }
        looks.DestroyWindow();
    }
}

TEST_F(LinkControl, WrapsOnlyLinkControls)
{
    korra::CLinkCtrlA other;
    EXPECT_FALSE(other.Attach(button));
    EXPECT_EQ(nullptr, other.GetHwnd());
    EXPECT_TRUE(other.Attach(parent, kLinkId));
    EXPECT_EQ(link.GetHwnd(), other.GetHwnd());
    EXPECT_FALSE(other.Attach(parent, kButtonId));
    EXPECT_EQ(link.GetHwnd(), other.GetHwnd()) << "a failed attach changes nothing";
    // One window per wrapper.
    EXPECT_FALSE(link.Create(nullptr, "again", kAboutStyle, 0, 0, 0, 10, 10, nullptr, parent));
    korra::CLinkCtrlA fresh;
    ASSERT_TRUE(fresh.Create(nullptr, "fresh", 0, 0, 0, 0, 10, 10, nullptr, parent));
    EXPECT_TRUE(fresh.GetWindowLongPtr(GWL_STYLE) & WS_CHILD);
}

}  // namespace
