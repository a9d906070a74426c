// The settings sheet over a real input window: the sheet runs modeless so
// that the test can drive its pages with real messages (text set into the
// fields, keys sent to the list, buttons clicked) and look at the record,
// the input window and the message boxes afterwards.
#include "App.h"
#include "MainWnd.h"
#include "Help.h"
#include "MessageBoxCapture.h"
#include "NotifyIcon.h"
#include "SettingPropSheet.h"
#include "Settings.h"
#include "SettingsFile.h"
#include "TestFiles.h"
#include "resource.h"

#include <gtest/gtest.h>

#include <commctrl.h>
#include <htmlhelp.h>

#include <memory>
#include <string>
#include <vector>

namespace {

int g_saves = 0;
bool g_saveFails = false;

bool CountingSave(const CSettings&)
{
    ++g_saves;
    return !g_saveFails;
}

CCommandLinesEx Lines(std::initializer_list<const char*> lines)
{
    CCommandLinesEx result;
    for (const char* line : lines)
        result.Add(line);
    return result;
}

std::vector<std::string> Words(const CCommandTable& table)
{
    std::vector<std::string> words;
    for (const CCommandEntry* entry : table.GetOrder())
        words.push_back(entry->word);
    return words;
}

class SettingsSheet : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        g_instance = GetModuleHandleA(nullptr);
        Velum::initialize(16, 31, 32);
        LoadLibraryA("RICHED32.DLL");
        InitCommonControls();
        LookUpLayeredWindowEntry();
    }

    void SetUp() override
    {
        g_saves = 0;
        g_saveFails = false;
        settings.Stationed = false;
        settings.Window.x = 100;
        settings.Window.y = 200;
        settings.Window.cx = 300;
        settings.Window.cy = 24;
    }

    void TearDown() override
    {
        if (sheet != nullptr && sheet->IsWindow())
            sheet->DestroyWindow();
        Pump();
        sheet.reset();
        if (window != nullptr && window->IsWindow())
            window->DestroyWindow();
        Pump();
        window.reset();
        for (SettingsFileKind kind : {SETTINGS_XML, SETTINGS_BAK}) {
            char path[MAX_PATH];
            if (GetSettingsFilePath(kind, path, sizeof path))
                DeleteFileA(path);
        }
    }

    void Open(int page = 0)
    {
        window = std::make_unique<CMainWnd>(g_instance, &settings);
        window->RegisterWindowClass(g_instance);
        ASSERT_NE(nullptr, window->Create());
        sheet = std::make_unique<CSettingPropSheet>(&settings);
        sheet->SetSaveFunction(CountingSave);
        sheet->SetTargets(window->GetHwnd(), window->GetEdit().GetHwnd());
        ASSERT_NE(nullptr, sheet->Create(window->GetHwnd()));
        Pump();
        if (page != 0)
            ShowPage(page);
    }

    void Pump()
    {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT)
                continue;
            if (sheet != nullptr && sheet->IsSheetMessage(&message))
                continue;
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }

    void ShowPage(int index)
    {
        sheet->SendMessage(PSM_SETCURSEL, index, 0);
        Pump();
    }
    HWND CurrentPage() { return reinterpret_cast<HWND>(sheet->SendMessage(PSM_GETCURRENTPAGEHWND)); }
    HWND Item(korra::CWindowingA& page, int id) { return page.GetDlgItem(id); }
    void Click(HWND button)
    {
        SendMessageA(button, BM_CLICK, 0, 0);
        Pump();
    }
    void PressSheetButton(int id) { Click(sheet->GetDlgItem(id)); }
    bool ApplyEnabled() { return IsWindowEnabled(sheet->GetDlgItem(CSettingPropSheet::kApplyButton)) != FALSE; }
    std::string Text(HWND control) { return korra::CWindowA(control).GetWindowText(); }
    void SetText(HWND control, const char* text)
    {
        SetWindowTextA(control, text);
        Pump();
    }
    RECT InputWindowRect()
    {
        RECT rect = {};
        window->GetWindowRect(&rect);
        return rect;
    }
    static RECT WorkArea()
    {
        RECT area = {};
        SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
        return area;
    }
    // Rows of the Command page: word, item count, first command line.
    std::vector<std::vector<std::string>> Rows()
    {
        korra::CListViewA& list = sheet->GetCommandPage().GetList();
        std::vector<std::vector<std::string>> rows;
        for (int i = 0; i < list.GetItemCount(); ++i)
            rows.push_back({list.GetItemText(i, 0, 260), list.GetItemText(i, 1, 260), list.GetItemText(i, 2, 260)});
        return rows;
    }
    void SelectRows(std::initializer_list<int> rows)
    {
        korra::CListViewA& list = sheet->GetCommandPage().GetList();
        list.SetItemState(-1, 0, LVIS_SELECTED);
        for (int row : rows)
            list.SetItemState(row, LVIS_SELECTED, LVIS_SELECTED);
        Pump();
    }
    // A key in the list reaches the page as LVN_KEYDOWN, as from the keyboard.
    void ListKey(WORD key)
    {
        HWND list = sheet->GetCommandPage().GetList().GetHwnd();
        SendMessageA(list, WM_KEYDOWN, key, 1);
        SendMessageA(list, WM_KEYUP, key, 0xC0000001);
        Pump();
    }

    CSettings settings;
    std::unique_ptr<CMainWnd> window;
    std::unique_ptr<CSettingPropSheet> sheet;
};

TEST_F(SettingsSheet, OpensCentredWithItsCaptionIconAndFourTabs)
{
    Open();
    EXPECT_EQ(Ansi("Pellor 設定"), sheet->GetWindowText());
    EXPECT_NE(0, sheet->SendMessage(WM_GETICON, ICON_BIG));
    EXPECT_NE(0, sheet->SendMessage(WM_GETICON, ICON_SMALL));
    HWND tabs = reinterpret_cast<HWND>(sheet->SendMessage(PSM_GETTABCONTROL));
    std::vector<std::string> titles;
    for (int i = 0; i < TabCtrl_GetItemCount(tabs); ++i) {
        char text[64] = {};
        TCITEMA item = {};
        item.mask = TCIF_TEXT;
        item.pszText = text;
        item.cchTextMax = sizeof text;
        SendMessageA(tabs, TCM_GETITEMA, i, reinterpret_cast<LPARAM>(&item));
        titles.push_back(text);
    }
    EXPECT_EQ((std::vector<std::string>{Ansi("コマンド"), Ansi("ウィンドウ"), Ansi("入力支援"), Ansi("その他")}), titles);
    RECT rect = {};
    sheet->GetWindowRect(&rect);
    const RECT area = WorkArea();
    EXPECT_NEAR((area.left + area.right) / 2, (rect.left + rect.right) / 2, 1);
    EXPECT_NEAR((area.top + area.bottom) / 2, (rect.top + rect.bottom) / 2, 1);
    EXPECT_EQ(window->GetHwnd(), GetWindow(sheet->GetHwnd(), GW_OWNER));
    EXPECT_FALSE(ApplyEnabled());
    // Cancel leaves the record alone and saves nothing.
    PressSheetButton(IDCANCEL);
    EXPECT_TRUE(sheet->IsEnded());
    EXPECT_EQ(0, g_saves);
}

TEST_F(SettingsSheet, CommandPageListsSortedDeletesSeveralAndAppliesOnlyOnOk)
{
    settings.Commands.Insert(CCommandEntry("zeta", Lines({"\"C:\\z.exe\" -z", "notes.txt"})));
    settings.Commands.Insert(CCommandEntry("alpha", Lines({"a.txt"})));
    settings.Commands.Insert(CCommandEntry("mid", Lines({"m1", "m2", "m3"})));
    Open();
    using Rows_ = std::vector<std::vector<std::string>>;
    EXPECT_EQ((Rows_{{"alpha", "1", "a.txt"}, {"mid", "3", "m1"}, {"zeta", "2", "\"C:\\z.exe\" -z"}}), Rows());

    // Edit is for one row, Delete for one or more.
    CPropPageCommand& page = sheet->GetCommandPage();
    struct { std::initializer_list<int> rows; bool edit, remove; } selections[] = {
        {{}, false, false}, {{1}, true, true}, {{0, 2}, false, true}};
    for (const auto& selection : selections) {
        SelectRows(selection.rows);
        EXPECT_EQ(selection.edit, IsWindowEnabled(Item(page, IDC_COMMAND_EDIT)) != FALSE);
        EXPECT_EQ(selection.remove, IsWindowEnabled(Item(page, IDC_COMMAND_DELETE)) != FALSE);
    }

    // Del takes every selected row; the record waits for OK.
    ListKey(VK_DELETE);
    EXPECT_EQ((Rows_{{"mid", "3", "m1"}}), Rows());
    EXPECT_EQ((std::vector<std::string>{"mid"}), Words(page.GetWorkingTable()));
    EXPECT_EQ(3u, settings.Commands.GetCount());
    EXPECT_TRUE(ApplyEnabled());
    EXPECT_FALSE(IsWindowEnabled(Item(page, IDC_COMMAND_DELETE)));

    PressSheetButton(IDOK);
    EXPECT_TRUE(sheet->IsEnded());
    EXPECT_EQ((std::vector<std::string>{"mid"}), Words(settings.Commands));
    EXPECT_EQ(1, g_saves);
}

TEST_F(SettingsSheet, CommandPageAddsAndEditsThroughTheEditor)
{
    settings.Commands.Insert(CCommandEntry("first", Lines({"1.txt"})));
    settings.Commands.Insert(CCommandEntry("second", Lines({"2.txt"})));
    Open();
    CPropPageCommand& page = sheet->GetCommandPage();
    // The editor stands in for the editing dialog: it returns what it is told.
    CCommandEntry answer;
    bool confirm = true;
    std::string askedWord = "?";
    page.SetEditor([&](HWND, const std::string& word, const CCommandTable&, CCommandEntry* result) {
        askedWord = word;
        *result = answer;
        return confirm;
    });

    answer = CCommandEntry("added", Lines({"x.exe", "y.txt"}));
    ListKey(VK_INSERT);
    EXPECT_EQ("", askedWord);
    EXPECT_EQ((std::vector<std::string>{"first", "second", "added"}), Words(page.GetWorkingTable()));
    EXPECT_TRUE(ApplyEnabled());

    // The same word in other letters keeps its place in the order; a new
    // word moves to the end.
    SelectRows({1});  // first
    answer = CCommandEntry("FIRST", Lines({"changed"}));
    ListKey(VK_F2);
    EXPECT_EQ("first", askedWord);
    EXPECT_EQ((std::vector<std::string>{"FIRST", "second", "added"}), Words(page.GetWorkingTable()));
    SelectRows({2});  // second
    answer = CCommandEntry("renamed", Lines({"r"}));
    ListKey(VK_F2);
    EXPECT_EQ((std::vector<std::string>{"FIRST", "added", "renamed"}), Words(page.GetWorkingTable()));
    using Rows_ = std::vector<std::vector<std::string>>;
    EXPECT_EQ((Rows_{{"added", "2", "x.exe"}, {"FIRST", "1", "changed"}, {"renamed", "1", "r"}}), Rows());

    // Cancel in the editor changes nothing; Cancel of the sheet drops it all.
    confirm = false;
    ListKey(VK_INSERT);
    EXPECT_EQ(3, page.GetList().GetItemCount());
    PressSheetButton(IDCANCEL);
    EXPECT_EQ((std::vector<std::string>{"first", "second"}), Words(settings.Commands));
    EXPECT_EQ(0, g_saves);
}

TEST_F(SettingsSheet, WindowPageCorrectsItsFieldsAndMovesTheWindowLive)
{
    Open(1);
    CPropPageWindow& page = sheet->GetWindowPage();
    const RECT area = WorkArea();
    const long wide = area.right - area.left;
    struct Case {
        int field;
        const char* typed;
        long shown;  // the field's text afterwards
        int which;   // 0 x, 1 y, 2 cx, 3 cy: the window's value that follows it
    } cases[] = {
        {IDC_WINDOW_X, "40", 40, 0},
        {IDC_WINDOW_X, "", area.left, 0},
        {IDC_WINDOW_X, "-5", area.left, 0},
        {IDC_WINDOW_X, "99999", area.right - 300, 0},
        {IDC_WINDOW_Y, "", area.bottom - 24, 1},
        {IDC_WINDOW_Y, "9999", area.bottom - 24, 1},
        {IDC_WINDOW_X, "0", area.left, 0},
        {IDC_WINDOW_CX, "99999", wide - area.left, 2},
        {IDC_WINDOW_CX, "", 150, 2},
        {IDC_WINDOW_CX, "-3", 150, 2},
        {IDC_WINDOW_CY, "", 20, 3},
        {IDC_WINDOW_CY, "55", 24, 3},  // y sits 24 pixels above the bottom edge
    };
    for (const Case& c : cases) {
        SetText(Item(page, c.field), c.typed);
        EXPECT_EQ(std::to_string(c.shown), Text(Item(page, c.field))) << c.field << " <- \"" << c.typed << "\"";
        const RECT rect = InputWindowRect();
        const long actual[] = {rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
        EXPECT_EQ(c.shown, actual[c.which]) << c.field << " <- \"" << c.typed << "\"";
    }
    EXPECT_TRUE(ApplyEnabled());
    EXPECT_EQ(100, settings.Window.x);  // not before apply

    // Cancel, then what the input window does when the sheet is gone.
    PressSheetButton(IDCANCEL);
    EXPECT_EQ(100, settings.Window.x);
    EXPECT_EQ(300, settings.Window.cx);
}

TEST_F(SettingsSheet, WindowPageTransparencyIsLiveAndApplied)
{
    if (g_setLayeredWindowAttributes == nullptr)
        GTEST_SKIP() << "no layered windows";
    Open(1);
    HWND slider = Item(sheet->GetWindowPage(), IDC_WINDOW_TRANSPARENCY);
    EXPECT_EQ(255, SendMessageA(slider, TBM_GETPOS, 0, 0));
    SendMessageA(slider, WM_KEYDOWN, VK_PRIOR, 1);  // a page to the left
    Pump();
    const LRESULT position = SendMessageA(slider, TBM_GETPOS, 0, 0);
    EXPECT_LT(position, 255);
    BYTE alpha = 0;
    DWORD flags = 0;
    using GetLayered = BOOL(WINAPI*)(HWND, COLORREF*, BYTE*, DWORD*);
    auto get = reinterpret_cast<GetLayered>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("user32.dll"), "GetLayeredWindowAttributes")));
    if (get != nullptr && get(window->GetHwnd(), nullptr, &alpha, &flags)) {
        EXPECT_EQ(position, alpha);
    }
    PressSheetButton(CSettingPropSheet::kApplyButton);
    EXPECT_EQ(position, settings.Window.Transparency);
    EXPECT_FALSE(ApplyEnabled());
    EXPECT_EQ(1, g_saves);
}

TEST_F(SettingsSheet, InputPageCorrectsTheHistorySizeAndClearsTheHistoryAtOnce)
{
    settings.History.Add("one");
    settings.History.Add("two");
    settings.History.Add("three");
    Open(2);
    CPropPageInput& page = sheet->GetInputPage();
    HWND field = Item(page, IDC_INPUT_HISTORY_SIZE);
    struct { const char* typed; const char* shown; bool listEnabled; } cases[] = {
        {"300", "255", true}, {"", "20", true}, {"-", "20", true}, {"-7", "20", true},
        {"99999", "255", true}, {"0", "0", false}, {"2", "2", true},
    };
    for (const auto& c : cases) {
        SetText(field, c.typed);
        EXPECT_EQ(c.shown, Text(field)) << "typed \"" << c.typed << "\"";
        EXPECT_EQ(c.listEnabled, IsWindowEnabled(Item(page, IDC_INPUT_HISTORY_LIST)) != FALSE) << c.typed;
    }
    // Unticking auto-complete takes the two options below it away.
    Click(Item(page, IDC_INPUT_AUTOCOMPLETE));
    EXPECT_FALSE(IsWindowEnabled(Item(page, IDC_INPUT_INTELLISENSE)));
    EXPECT_FALSE(IsWindowEnabled(Item(page, IDC_INPUT_APPLY_RESERVED)));

    PressSheetButton(CSettingPropSheet::kApplyButton);
    EXPECT_EQ(2u, settings.HistorySize);
    EXPECT_FALSE(settings.AutoComplete);
    EXPECT_EQ(2u, settings.History.GetCount());  // the oldest dropped
    EXPECT_EQ("three", settings.History.GetAt(0));

    // Clearing happens now and stays after Cancel.
    EXPECT_TRUE(IsWindowEnabled(Item(page, IDC_INPUT_CLEAR_HISTORY)));
    Click(Item(page, IDC_INPUT_CLEAR_HISTORY));
    EXPECT_EQ(0u, settings.History.GetCount());
    EXPECT_FALSE(IsWindowEnabled(Item(page, IDC_INPUT_CLEAR_HISTORY)));
    PressSheetButton(IDCANCEL);
    EXPECT_EQ(0u, settings.History.GetCount());
}

TEST_F(SettingsSheet, OthersPageRefusesResidentModeWithoutAHotKey)
{
    Open(3);
    CPropPageOthers& page = sheet->GetOthersPage();
    EXPECT_FALSE(IsWindowEnabled(Item(page, IDC_OTHERS_HOTKEY)));
    Click(Item(page, IDC_OTHERS_STATIONED));
    for (int id : {IDC_OTHERS_AUTOSTART, IDC_OTHERS_HOTKEY, IDC_OTHERS_HOTKEY_LABEL})
        EXPECT_TRUE(IsWindowEnabled(Item(page, id))) << id;
    SendMessageA(Item(page, IDC_OTHERS_HOTKEY), HKM_SETHOTKEY, 0, 0);
    SendMessageA(page.GetHwnd(), WM_COMMAND, MAKEWPARAM(IDC_OTHERS_HOTKEY, EN_CHANGE),
                 reinterpret_cast<LPARAM>(Item(page, IDC_OTHERS_HOTKEY)));

    MessageBoxCapture boxes;
    PressSheetButton(IDOK);
    ASSERT_EQ(1u, boxes.Boxes().size());
    EXPECT_EQ(Ansi("ホットキーが設定されていません"), boxes.Boxes()[0].text);
    EXPECT_FALSE(sheet->IsEnded());
    EXPECT_EQ(page.GetHwnd(), CurrentPage());
    EXPECT_FALSE(settings.Stationed);
    EXPECT_EQ(0, g_saves);  // refused before anything was written
    // Nor can the page be left for another.
    ShowPage(0);
    EXPECT_EQ(page.GetHwnd(), CurrentPage());
    EXPECT_EQ(2u, boxes.Boxes().size());
}

TEST_F(SettingsSheet, AHotKeyHeldElsewhereIsReportedAndTheOldOneKept)
{
    settings.Stationed = true;
    settings.HotKey = CSettings::kDefaultHotKey;
    // Another window holds Ctrl+Alt+K.
    HWND other = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(RegisterHotKey(other, 7, MOD_CONTROL | MOD_ALT, 'K'));
    Open(3);  // the resident input window holds Ctrl+Alt+L
    // A change elsewhere too: the apply stops at the Others page, and what
    // the pages before it wrote is saved all the same.
    ShowPage(2);
    Click(Item(sheet->GetInputPage(), IDC_INPUT_HISTORY_LIST));
    ShowPage(3);
    CPropPageOthers& page = sheet->GetOthersPage();
    const WORD taken = MAKEWORD('K', HOTKEYF_CONTROL | HOTKEYF_ALT);
    SendMessageA(Item(page, IDC_OTHERS_HOTKEY), HKM_SETHOTKEY, taken, 0);
    SendMessageA(page.GetHwnd(), WM_COMMAND, MAKEWPARAM(IDC_OTHERS_HOTKEY, EN_CHANGE),
                 reinterpret_cast<LPARAM>(Item(page, IDC_OTHERS_HOTKEY)));

    MessageBoxCapture boxes;
    PressSheetButton(IDOK);
    ASSERT_EQ(1u, boxes.Boxes().size());
    EXPECT_NE(std::string::npos, boxes.Boxes()[0].text.find("Ctrl+Alt+K")) << boxes.Boxes()[0].text;
    EXPECT_EQ("Pellor Error Information", boxes.Boxes()[0].caption);
    EXPECT_FALSE(sheet->IsEnded());
    EXPECT_EQ(page.GetHwnd(), CurrentPage());
    EXPECT_EQ(CSettings::kDefaultHotKey, settings.HotKey);
    EXPECT_FALSE(settings.HistoryList);  // written by the page before
    EXPECT_EQ(1, g_saves);
    // The old key still belongs to the input window: registering it again fails.
    EXPECT_FALSE(RegisterHotKey(nullptr, 9, MOD_CONTROL | MOD_ALT, 'L'));

    UnregisterHotKey(other, 7);
    DestroyWindow(other);
    PressSheetButton(IDOK);
    EXPECT_TRUE(sheet->IsEnded());
    EXPECT_EQ(taken, settings.HotKey);
    UnregisterHotKey(window->GetHwnd(), kHotKeyId);
}

TEST_F(SettingsSheet, AFailedSaveKeepsTheSheetOpenWithTheChanges)
{
    settings.Commands.Insert(CCommandEntry("gone", Lines({"g"})));
    Open();
    SelectRows({0});
    ListKey(VK_DELETE);
    g_saveFails = true;
    PressSheetButton(IDOK);
    EXPECT_FALSE(sheet->IsEnded());
    EXPECT_EQ(0u, settings.Commands.GetCount());  // applied to the record
    EXPECT_TRUE(ApplyEnabled());                   // and can be saved again
    g_saveFails = false;
    PressSheetButton(IDOK);
    EXPECT_TRUE(sheet->IsEnded());
    EXPECT_EQ(2, g_saves);
}

// F1 (WM_HELP) on a control of any page asks HTML Help for the pop-up whose
// text is the string with the control's id.
struct HelpCall {
    UINT command;
    DWORD_PTR data;
    std::string text;
};
std::vector<HelpCall> g_helpCalls;

HWND WINAPI RecordHelp(HWND, LPCSTR, UINT command, DWORD_PTR data)
{
    HelpCall call = {command, data, ""};
    if (command == HH_DISPLAY_TEXT_POPUP) {
        const auto* popup = reinterpret_cast<const HH_POPUP*>(data);
        call.data = popup->idString;
    }
    g_helpCalls.push_back(call);
    return nullptr;
}

TEST_F(SettingsSheet, F1OnAControlAsksForItsOwnHelpText)
{
    Open();
    const HtmlHelpProcA previous = SetHtmlHelpProc(RecordHelp);
    struct { int page; int control; } cases[] = {
        {0, IDC_COMMAND_LIST}, {1, IDC_WINDOW_CX}, {1, IDC_WINDOW_TRANSPARENCY},
        {2, IDC_INPUT_HISTORY_SIZE}, {2, IDC_INPUT_APPLY_RESERVED}, {3, IDC_OTHERS_HOTKEY},
    };
    korra::CWindowingA* pages[] = {&sheet->GetCommandPage(), &sheet->GetWindowPage(), &sheet->GetInputPage(),
                                   &sheet->GetOthersPage()};
    for (const auto& c : cases) {
        ShowPage(c.page);
        HWND control = Item(*pages[c.page], c.control);
        HELPINFO info = {};
        info.cbSize = sizeof info;
        info.iContextType = HELPINFO_WINDOW;
        info.iCtrlId = c.control;
        info.hItemHandle = control;
        g_helpCalls.clear();
        SendMessageA(pages[c.page]->GetHwnd(), WM_HELP, 0, reinterpret_cast<LPARAM>(&info));
        ASSERT_EQ(1u, g_helpCalls.size()) << c.control;
        EXPECT_EQ(static_cast<UINT>(HH_DISPLAY_TEXT_POPUP), g_helpCalls[0].command) << c.control;
        EXPECT_EQ(static_cast<DWORD_PTR>(c.control), g_helpCalls[0].data);
        char text[512] = {};
        EXPECT_GT(LoadStringA(g_instance, c.control, text, sizeof text), 20) << "no help text " << c.control;
    }
    SetHtmlHelpProc(previous);
}

}  // namespace
