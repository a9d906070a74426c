// Resident mode on a real input window: the notification icon in Wine's
// notification area, its callback messages, the hot key and its message
// when another program holds the key.
#include "App.h"
#include "MainWnd.h"
#include "MessageBoxCapture.h"
#include "NotifyIcon.h"
#include "Settings.h"
#include "SettingsFile.h"
#include "TestFiles.h"
#include "WindowTestSupport.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// The settings sheet runs modally: while one of these lives, a timer of this
// thread cancels every sheet as soon as its loop runs, so the call returns.
class SheetCanceller {
public:
    SheetCanceller() : m_timer(SetTimer(nullptr, 0, 50, Tick)) {}
    ~SheetCanceller() { KillTimer(nullptr, m_timer); }
    SheetCanceller(const SheetCanceller&) = delete;
    SheetCanceller& operator=(const SheetCanceller&) = delete;

private:
    static BOOL CALLBACK CancelDialog(HWND window, LPARAM)
    {
        char name[16] = {};
        GetClassNameA(window, name, sizeof name);
        if (IsWindowVisible(window) && std::strcmp(name, "#32770") == 0)
            PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
        return TRUE;
    }
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD)
    {
        EnumThreadWindows(GetCurrentThreadId(), CancelDialog, 0);
    }
    UINT_PTR m_timer;
};

class ResidentMode : public ::testing::Test {
protected:
    static void SetUpTestSuite() { PrepareWindowProcess(); }

    void TearDown() override
    {
        if (window != nullptr && window->IsWindow())
            window->DestroyWindow();
        Pump();
        window.reset();
        DeleteSettingsFiles();
    }

    void Open()
    {
        window = std::make_unique<CMainWnd>(g_instance, &settings);
        window->RegisterWindowClass(g_instance);
        ASSERT_NE(nullptr, window->Create());
        window->ShowWindow(SW_SHOWNORMAL);
        Pump();
    }

    void Pump() { PumpWaitingMessages(); }

    LRESULT IconMessage(UINT code)
    {
        const LRESULT result = window->SendMessage(WMU_NOTIFYICON, 1, code);
        Pump();
        return result;
    }
    bool Visible() { return window->IsWindowVisible() != FALSE; }
    bool PopupVisible() { return window->GetPopup().IsWindowVisible() != FALSE; }

    CSettings settings;
    std::unique_ptr<CMainWnd> window;
};

struct Calls {
    int count = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
};

LRESULT CountCall(WPARAM wParam, LPARAM lParam, void* context)
{
    Calls* calls = static_cast<Calls*>(context);
    ++calls->count;
    calls->wParam = wParam;
    calls->lParam = lParam;
    return 0x1234;
}

TEST(NotifyIcon, FilterTakesTheIconsMouseAndNotificationCodesOnly)
{
    struct Row {
        UINT message;
        WPARAM id;
        LPARAM code;
        bool handled;
    } const rows[] = {
        {WMU_NOTIFYICON, 1, WM_MOUSEMOVE, true},
        {WMU_NOTIFYICON, 1, WM_LBUTTONUP, true},
        {WMU_NOTIFYICON, 1, WM_MBUTTONDBLCLK, true},
        {WMU_NOTIFYICON, 1, 0x20A, false},  // the wheel has no slot
        {WMU_NOTIFYICON, 1, 0x3FF, false},
        {WMU_NOTIFYICON, 1, 0x400, true},
        {WMU_NOTIFYICON, 1, 0x405, true},
        {WMU_NOTIFYICON, 1, 0x406, false},
        {WMU_NOTIFYICON, 2, WM_LBUTTONUP, false},  // another icon's
        {WMU_NOTIFYICON + 1, 1, WM_LBUTTONUP, false},
        {WM_HOTKEY, 1, WM_LBUTTONUP, false},
    };
    CNotifyIcon icon;
    std::vector<Calls> calls(0x406 - WM_MOUSEMOVE + 1);
    for (const Row& row : rows)
        icon.RegisterHandler(static_cast<UINT>(row.code), CountCall, &calls[row.code - WM_MOUSEMOVE]);
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::Message() << std::hex << row.message << " " << row.id << " " << row.code);
        Calls& slot = calls[row.code - WM_MOUSEMOVE];
        const int before = slot.count;
        LRESULT result = -1;
        EXPECT_EQ(row.handled, icon.Filter(row.message, row.id, row.code, &result));
        EXPECT_EQ(row.handled ? before + 1 : before, slot.count);
        if (row.handled) {
            EXPECT_EQ(0x1234, result);
            EXPECT_EQ(row.code, slot.lParam);
        }
    }
    // A code without a handler is still the icon's: handled, result 0.
    CNotifyIcon bare;
    LRESULT result = -1;
    EXPECT_TRUE(bare.Filter(WMU_NOTIFYICON, 1, WM_RBUTTONDOWN, &result));
    EXPECT_EQ(0, result);
}

TEST(NotifyIcon, TooltipIsCutBetweenCharactersToWhatTheRecordHolds)
{
    CNotifyIcon icon;
    const std::size_t room = icon.GetData().cbSize >= NOTIFYICONDATAA_V2_SIZE ? 127 : 63;
    const std::string wide = Ansi("あ");  // two bytes
    struct Row {
        std::string text;
        std::size_t length;
    } const rows[] = {
        {"Pellor Ver. 2.22 Rev. 8", 23},
        {std::string(300, 'x'), room},
        {[&] { std::string t; for (int i = 0; i < 100; ++i) t += wide; return t; }(), room / 2 * 2},
        {"x" + [&] { std::string t; for (int i = 0; i < 100; ++i) t += wide; return t; }(), room},
        {"", 0},
    };
    for (const Row& row : rows) {
        icon.SetTooltip(row.text.c_str());
        EXPECT_EQ(row.length, std::strlen(icon.GetData().szTip));
        EXPECT_EQ(row.text.substr(0, row.length), icon.GetData().szTip);
    }
}

TEST(NotifyIcon, HotKeyModifiersAndNames)
{
    struct Row {
        WORD hotKey;
        UINT modifiers;
        const char* name;
    } const rows[] = {
        {0x064C, MOD_CONTROL | MOD_ALT, "Ctrl+Alt+L"},
        {0x0141, MOD_SHIFT, "Shift+A"},
        {0x0830, 0, "0"},  // only the extended-key flag: no modifiers
        {0x0F5A, MOD_CONTROL | MOD_ALT | MOD_SHIFT, "Ctrl+Alt+Shift+Z"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(row.modifiers, HotKeyModifiers(row.hotKey)) << std::hex << row.hotKey;
        EXPECT_EQ(row.name, HotKeyName(row.hotKey));
    }
    // Other keys get a name of some kind, never an empty one.
    EXPECT_EQ(0u, HotKeyName(0x0270).find("Ctrl+"));
    EXPECT_GT(HotKeyName(0x0270).size(), 5u);
}

TEST_F(ResidentMode, StationedShowsTheIconWithTheVersionTipAndHoldsTheHotKey)
{
    settings.Stationed = true;
    Open();
    const NOTIFYICONDATAA& data = window->GetNotifyIcon().GetData();
    EXPECT_TRUE(window->GetNotifyIcon().IsAdded());
    EXPECT_STREQ("Pellor Ver. 2.22 Rev. 8", data.szTip);
    EXPECT_EQ(window->GetHwnd(), data.hWnd);
    EXPECT_EQ(0x80C8u, data.uCallbackMessage);
    EXPECT_NE(nullptr, data.hIcon);
    // Held by the window: nobody else gets it.
    EXPECT_FALSE(RegisterHotKey(nullptr, 7, MOD_CONTROL | MOD_ALT, 'L'));

    window->DestroyWindow();
    Pump();
    EXPECT_FALSE(window->GetNotifyIcon().IsAdded());
}

TEST_F(ResidentMode, NotStationedHasNeitherIconNorHotKey)
{
    settings.Stationed = false;
    Open();
    EXPECT_FALSE(window->GetNotifyIcon().IsAdded());
    ASSERT_TRUE(RegisterHotKey(nullptr, 7, MOD_CONTROL | MOD_ALT, 'L'));
    UnregisterHotKey(nullptr, 7);
}

TEST_F(ResidentMode, AHotKeyHeldElsewhereIsToldOnceAndTheIconStillWorks)
{
    struct Row {
        bool heldElsewhere;
        std::size_t boxes;
    } const rows[] = {{true, 1}, {false, 0}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.heldElsewhere ? "held elsewhere" : "free");
        if (row.heldElsewhere) {
            ASSERT_TRUE(RegisterHotKey(nullptr, 7, MOD_CONTROL | MOD_ALT, 'L'));
        }
        MessageBoxCapture capture;
        settings.Stationed = true;
        Open();
        Pump();
        ASSERT_EQ(row.boxes, capture.Boxes().size());
        if (row.boxes == 1) {
            const CapturedMessageBox& box = capture.Boxes()[0];
            EXPECT_NE(std::string::npos, box.text.find("Ctrl+Alt+L")) << box.text;
            EXPECT_NE(std::string::npos, box.text.find(Ansi("設定ダイアログ"))) << box.text;
            EXPECT_EQ("Pellor Error Information", box.caption);
            EXPECT_EQ(static_cast<UINT>(MB_ICONWARNING), box.type & MB_ICONMASK);
        }
        EXPECT_TRUE(window->GetNotifyIcon().IsAdded());
        window->ShowWindow(SW_HIDE);
        IconMessage(WM_LBUTTONUP);
        EXPECT_TRUE(Visible());
        window->DestroyWindow();
        Pump();
        if (row.heldElsewhere)
            UnregisterHotKey(nullptr, 7);
    }
}

TEST_F(ResidentMode, HotKeyShowsTheWindowAndItsListAndNeverHides)
{
    settings.Stationed = true;
    settings.Commands.Insert(CCommandEntry("alpha", CCommandLinesEx()));
    settings.Commands.Insert(CCommandEntry("also", CCommandLinesEx()));
    Open();
    SendMessageA(window->GetEdit().GetHwnd(), WM_CHAR, 'a', 1);
    Pump();
    ASSERT_TRUE(PopupVisible());
    // Losing the activation hides both; the list keeps its items.
    window->SendMessage(WM_ACTIVATEAPP, FALSE, 0);
    ASSERT_FALSE(Visible());
    ASSERT_FALSE(PopupVisible());

    struct Row {
        WPARAM id;
        bool visible;
    } const rows[] = {{101, false}, {kHotKeyId, true}, {kHotKeyId, true}};
    for (const Row& row : rows) {
        window->SendMessage(WM_HOTKEY, row.id, MAKELPARAM(MOD_CONTROL | MOD_ALT, 'L'));
        Pump();
        EXPECT_EQ(row.visible, Visible()) << row.id;
        EXPECT_EQ(row.visible, PopupVisible()) << row.id;
    }

    // Esc empties the list: the hot key brings the window back alone.
    SendMessageA(window->GetEdit().GetHwnd(), WM_CHAR, 0x1B, 1);
    Pump();
    ASSERT_FALSE(Visible());
    window->SendMessage(WM_HOTKEY, kHotKeyId, 0);
    Pump();
    EXPECT_TRUE(Visible());
    EXPECT_FALSE(PopupVisible());
}

TEST_F(ResidentMode, IconClicksShowTheWindowOrReachTheSettings)
{
    settings.Stationed = true;
    settings.Window.x = 40;
    settings.Window.y = 50;
    Open();
    // A left click shows the window where it is.
    window->SetWindowPos(nullptr, 300, 300, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    window->ShowWindow(SW_HIDE);
    EXPECT_EQ(0, IconMessage(WM_LBUTTONUP));
    EXPECT_TRUE(Visible());
    RECT rect;
    window->GetWindowRect(&rect);
    EXPECT_EQ(300, rect.left);
    // A double click goes through the settings sheet, after which the window
    // is shown at the place the settings hold.
    window->ShowWindow(SW_HIDE);
    {
        SheetCanceller cancel;
        EXPECT_EQ(0, IconMessage(WM_LBUTTONDBLCLK));
    }
    EXPECT_TRUE(Visible());
    window->GetWindowRect(&rect);
    EXPECT_EQ(40, rect.left);
    EXPECT_EQ(50, rect.top);
}

TEST_F(ResidentMode, TheIconFollowsResidentModeWhenTheSheetCloses)
{
    settings.Stationed = true;
    Open();
    ASSERT_TRUE(window->GetNotifyIcon().IsAdded());
    SheetCanceller cancel;
    const bool states[] = {false, false, true, true, false};
    for (bool stationed : states) {
        settings.Stationed = stationed;
        window->OpenSettingsSheet();
        EXPECT_EQ(stationed, window->GetNotifyIcon().IsAdded());
    }
    // A new taskbar: the window carries on, the icon stays counted as shown.
    settings.Stationed = true;
    window->OpenSettingsSheet();
    window->SendMessage(window->GetNotifyIcon().GetTaskbarMessage(), 0, 0);
    EXPECT_TRUE(window->GetNotifyIcon().IsAdded());
}

}  // namespace
