// The input window and its pop-up list, driven through their real windows:
// characters and keys go to the rich edit as WM_CHAR and WM_KEYDOWN, through
// its key handling, exactly as the message loop delivers them.
#include "App.h"
#include "MainWnd.h"
#include "MessageBoxCapture.h"
#include "Settings.h"
#include "SettingsFile.h"
#include "TestFiles.h"
#include "WindowTestSupport.h"
#include "resource.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

class InputWindow : public ::testing::Test {
protected:
    static void SetUpTestSuite() { PrepareWindowProcess(); }

    void SetUp() override
    {
        folder = FreshTempFolder(std::string("tarnic ui ") +
                                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        recorder = folder + "\\rec.exe";
        ASSERT_TRUE(CopyFileA((ProgramFolder() + "recorder.exe").c_str(), recorder.c_str(), FALSE));
        records = folder + "\\records.txt";
        SetEnvironmentVariableA("TARNIC_RECORD_FILE", records.c_str());
        settings.Stationed = false;
        settings.ApplyReservedCommand = false;
    }

    void TearDown() override
    {
        if (window != nullptr && window->IsWindow())
            window->DestroyWindow();
        Pump();
        window.reset();
        DeleteSettingsFiles();
    }

    void Register(const std::string& word, const std::string& arguments = "")
    {
        CCommandLinesEx lines;
        lines.Add("\"" + recorder + "\" " + word + (arguments.empty() ? "" : " " + arguments));
        settings.Commands.Insert(CCommandEntry(word, lines));
    }

    void Open()
    {
        window = std::make_unique<CMainWnd>(g_instance, &settings);
        window->RegisterWindowClass(g_instance);
        ASSERT_NE(nullptr, window->Create());
        window->ShowWindow(SW_SHOWNORMAL);
        window->UpdateWindow();
        Pump();
    }

    // Dispatches what is waiting; remembers a quit request.
    void Pump()
    {
        if (PumpWaitingMessages())
            quitPosted = true;
    }

    HWND Box() { return window->GetEdit().GetHwnd(); }
    void Type(const std::string& text)
    {
        for (char c : text) {
            SendMessageA(Box(), WM_CHAR, static_cast<BYTE>(c), 1);
            Pump();
        }
    }
    void Key(WPARAM key)
    {
        SendMessageA(Box(), WM_KEYDOWN, key, 1);
        Pump();
    }
    // A key press as the keyboard makes it: the message loop's
    // TranslateMessage adds the character (Backspace, Enter, Esc).
    void Press(WORD key)
    {
        PostMessageA(Box(), WM_KEYDOWN, key, 1);
        PostMessageA(Box(), WM_KEYUP, key, 0xC0000001);
        Pump();
    }
    void Enter() { Press(VK_RETURN); }

    std::string Text() { return window->GetEdit().GetWindowText(); }
    std::pair<int, int> Selection()
    {
        int start = 0, end = 0;
        window->GetEdit().GetSelection(&start, &end);
        return {start, end};
    }
    std::vector<std::string> ListItems()
    {
        korra::CListViewA& list = window->GetPopup().GetList();
        std::vector<std::string> items;
        for (int i = 0; i < list.GetItemCount(); ++i)
            items.push_back(list.GetItemText(i));
        return items;
    }
    bool PopupVisible() { return window->GetPopup().IsWindowVisible() != FALSE; }
    std::vector<std::string> History()
    {
        std::vector<std::string> entries;
        for (std::size_t i = 0; i < settings.History.GetCount(); ++i)
            entries.push_back(settings.History.GetAt(i));
        return entries;
    }
    std::vector<RecordedRun> Runs(int count) { return ParseRecords(WaitForRecords(records, count)); }

    CSettings settings;
    std::unique_ptr<CMainWnd> window;
    std::string folder, recorder, records;
    bool quitPosted = false;
};

using Strings = std::vector<std::string>;

TEST_F(InputWindow, IsCreatedWhereAndAsTheSettingsSay)
{
    settings.Window.x = 40;
    settings.Window.y = 50;
    settings.Window.cx = 300;
    settings.Window.cy = 24;
    Open();
    RECT rect;
    window->GetWindowRect(&rect);
    EXPECT_EQ(40, rect.left);
    EXPECT_EQ(50, rect.top);
    EXPECT_EQ(300, rect.right - rect.left);
    EXPECT_EQ(24, rect.bottom - rect.top);
    EXPECT_EQ(window->GetHwnd(), FindWindowA("Pellor by Qel", "Pellor by Qel"));
    const LONG_PTR exStyle = window->GetWindowLongPtr(GWL_EXSTYLE);
    EXPECT_TRUE(exStyle & WS_EX_TOOLWINDOW);
    EXPECT_FALSE(exStyle & WS_EX_TOPMOST);
    // Windows adds WS_CLIPSIBLINGS to every pop-up.
    EXPECT_EQ(0x90880000u, static_cast<DWORD>(window->GetWindowLongPtr(GWL_STYLE)) & ~WS_CLIPSIBLINGS & 0xFFFF0000u);
    char className[64] = {};
    GetClassNameA(Box(), className, sizeof className);
    EXPECT_STREQ("RICHEDIT", className);
    EXPECT_EQ(CMainEdit::kControlId, GetDlgCtrlID(Box()));
    // The box fills the client area.
    RECT client, box;
    window->GetClientRect(&client);
    GetClientRect(Box(), &box);
    EXPECT_EQ(client.right, box.right);
    EXPECT_FALSE(PopupVisible());
}

// Top-level windows shown (true) or hidden on this thread while hooked.
std::vector<std::pair<HWND, bool>> g_showings;

LRESULT CALLBACK RecordShowing(int code, WPARAM wParam, LPARAM lParam)
{
    const CWPSTRUCT* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && call->message == WM_SHOWWINDOW &&
        !(GetWindowLongPtrA(call->hwnd, GWL_STYLE) & WS_CHILD))
        g_showings.emplace_back(call->hwnd, call->wParam != 0);
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// Only the input window appears at start-up, in and out of resident mode:
// the empty pop-up list is made hidden, not shown and hidden again (a flash
// that took the activation from the window being made).
TEST_F(InputWindow, StartUpShowsOnlyTheInputWindow)
{
    for (bool stationed : {false, true}) {
        settings.Stationed = stationed;
        g_showings.clear();
        HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROC, RecordShowing, nullptr, GetCurrentThreadId());
        Open();
        UnhookWindowsHookEx(hook);
        const std::vector<std::pair<HWND, bool>> expected = {{window->GetHwnd(), true}};
        EXPECT_EQ(expected, g_showings) << "resident " << stationed;
        EXPECT_FALSE(PopupVisible());
        window->DestroyWindow();
        Pump();
    }
}

TEST_F(InputWindow, CompletesAUniqueWordAndSelectsItsUntypedTail)
{
    Register("notepad");
    settings.ApplyReservedCommand = false;
    Open();
    Type("n");
    EXPECT_EQ("notepad", Text());
    EXPECT_EQ(std::make_pair(1, 7), Selection());
    EXPECT_FALSE(PopupVisible());
    // The next letter replaces the selection and completes again.
    Type("o");
    EXPECT_EQ("notepad", Text());
    EXPECT_EQ(std::make_pair(2, 7), Selection());
    // Backspace removes the tail and never completes again.
    Press(VK_BACK);
    EXPECT_EQ("no", Text());
    Press(VK_BACK);
    EXPECT_EQ("n", Text());
}

TEST_F(InputWindow, CompletesJapaneseWordsByCharacterNotByByte)
{
    const std::string word = Ansi("メモ帳");
    Register(word);
    settings.IntelliSense = false;
    Open();
    // The box counts characters; a completion selects the untyped tail.
    SendMessageA(Box(), WM_CHAR, static_cast<BYTE>(word[0]), 1);
    SendMessageA(Box(), WM_CHAR, static_cast<BYTE>(word[1]), 1);
    Pump();
    EXPECT_EQ(word, Text());
    EXPECT_EQ(std::make_pair(2, 6), Selection());
}

TEST_F(InputWindow, ListsSeveralCandidatesSortedWithTheFocusKept)
{
    Register("notes");
    Register("notepad");
    Register("nslookup");
    settings.ApplyReservedCommand = false;
    Open();
    SetFocus(Box());
    Type("n");
    EXPECT_TRUE(PopupVisible());
    EXPECT_EQ((Strings{"notepad", "notes", "nslookup"}), ListItems());
    EXPECT_EQ(Box(), GetFocus());
    EXPECT_EQ("n", Text());
    // Narrowing to one candidate completes it and closes the list.
    Type("s");
    EXPECT_EQ("nslookup", Text());
    EXPECT_FALSE(PopupVisible());
    EXPECT_TRUE(ListItems().empty());
}

TEST_F(InputWindow, CandidatesComeInTheOrderOfTheListsOwnSort)
{
    // Signs the locale sorts apart from their code (hyphen, apostrophe),
    // numbers, half- and full-width forms: the list's order is the locale's.
    const std::vector<std::string> words = {"mb",      "MA",       "m_x",       "Mz",        "m1",
                                            "mあ",     Ansi("mア"), "mB",        Ansi("m表"), "m-a",
                                            "M",       "m-b",      "m'c",       "mc",        "m10",
                                            "m9",      Ansi("mｶ"), Ansi("mＡ"), Ansi("mａ"), "m~"};
    for (const std::string& word : words)
        Register(word);
    Open();
    Type("m");
    // The same candidates inserted one by one into a list that sorts itself.
    HWND reference = CreateWindowExA(0, WC_LISTVIEWA, "", WS_POPUP | LVS_REPORT | LVS_SORTASCENDING,
                                     0, 0, 100, 100, nullptr, nullptr, nullptr, nullptr);
    korra::CListViewA sorted(reference);
    sorted.InsertColumn(0, nullptr, 80);
    // Each item carries its candidate's index: the order is read back from
    // those, since such a list hands back a word that is not valid in the
    // code page ("mあ" in UTF-8) changed by its round trip through UTF-16.
    const std::vector<CCandidate> candidates = settings.Commands.FindByPrefix("m", false);
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        LVITEMA item = {};
        item.mask = LVIF_TEXT | LVIF_PARAM;
        item.iItem = sorted.GetItemCount();
        item.pszText = const_cast<char*>(candidates[i].word.c_str());
        item.lParam = static_cast<LPARAM>(i);
        sorted.SendMessage(LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
    }
    Strings expected;
    for (int i = 0; i < sorted.GetItemCount(); ++i) {
        LVITEMA item = {};
        item.mask = LVIF_PARAM;
        item.iItem = i;
        sorted.SendMessage(LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
        expected.push_back(candidates[static_cast<std::size_t>(item.lParam)].word);
    }
    DestroyWindow(reference);
    EXPECT_EQ(expected, ListItems());
}

TEST_F(InputWindow, IconsLoadForTheRowsOnScreenAndForRowsScrolledIntoView)
{
    for (int i = 0; i < 300; ++i) {
        char word[8];
        std::snprintf(word, sizeof word, "k%03d", i);
        Register(word);
    }
    settings.ApplyReservedCommand = true;
    Open();
    Type("k");
    CIntelliSense& popup = window->GetPopup();
    ASSERT_EQ(300, popup.GetList().GetItemCount());
    auto loaded = [&](int first, int last) {
        int count = 0;
        for (int row = first; row <= last; ++row)
            count += popup.GetRowIcon(row) != I_IMAGENONE ? 1 : 0;
        return count;
    };
    // The ten rows shown have theirs; rows far below were never looked up.
    EXPECT_EQ(10, loaded(0, 9));
    EXPECT_EQ(0, loaded(50, 299));
    popup.GetList().EnsureVisible(250);
    Pump();
    EXPECT_NE(I_IMAGENONE, popup.GetRowIcon(250));
    EXPECT_EQ(0, loaded(100, 200));

    // Reserved words get the program's own icon.
    window->GetEdit().SetWindowText("");
    Type("s");
    ASSERT_EQ(Strings({"SETTING", "SYSTEM"}), ListItems());
    EXPECT_EQ(2, loaded(0, 1));
}

TEST_F(InputWindow, ChoosingACandidateFillsTheWordAndKeepsTheArguments)
{
    Register("notes");
    Register("notepad");
    settings.ApplyReservedCommand = false;
    Open();
    Type("n");
    // As a click in the list does: select the item.
    korra::CListViewA& list = window->GetPopup().GetList();
    list.SetItemState(0, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    Pump();
    EXPECT_EQ("notepad", Text());
    EXPECT_EQ(std::make_pair(1, 7), Selection());
    // The selection follows the list.
    list.SetItemState(1, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    Pump();
    EXPECT_EQ("notes", Text());
}

TEST_F(InputWindow, ReservedWordsTakePartOnlyWhenAskedTo)
{
    struct Case {
        bool reserved;
        Strings listed;
    };
    for (const Case& c : {Case{true, Strings{"SETTING", "SYSTEM"}}, Case{false, Strings{}}}) {
        settings.ApplyReservedCommand = c.reserved;
        Open();
        Type("s");
        EXPECT_EQ(c.listed, ListItems()) << c.reserved;
        EXPECT_EQ(c.reserved, PopupVisible());
        EXPECT_EQ("s", Text());
        window->DestroyWindow();
        Pump();
    }
}

TEST_F(InputWindow, NothingIsCompletedWithTheCaretInTheArguments)
{
    Register("notepad");
    settings.IntelliSense = false;
    Open();
    window->GetEdit().SetWindowText("n foo");
    // Caret right after the word: completed, one space and the rest kept.
    window->GetEdit().SetSelection(1, 1);
    Type("");
    SendMessageA(Box(), WM_CHAR, 'o', 1);
    Pump();
    EXPECT_EQ("notepad foo", Text());

    window->GetEdit().SetWindowText("n foo");
    window->GetEdit().SetSelection(5, 5);
    Type("x");
    EXPECT_EQ("n foox", Text());
}

TEST_F(InputWindow, AutoCompleteOffShowsNeitherCompletionNorList)
{
    Register("notes");
    Register("notepad");
    settings.AutoComplete = false;
    Open();
    Type("n");
    EXPECT_EQ("n", Text());
    EXPECT_FALSE(PopupVisible());
    Type("otep");
    EXPECT_EQ("notep", Text());
}

TEST_F(InputWindow, DotAndDeleteInAnEmptyBoxDoNothing)
{
    Open();
    Type(".");
    EXPECT_EQ("", Text());
    Key(VK_DELETE);
    EXPECT_EQ("", Text());
    Type("a.b");
    EXPECT_EQ("a.b", Text());
    window->GetEdit().SetSelection(0, 0);
    Key(VK_DELETE);
    EXPECT_EQ(".b", Text());
}

TEST_F(InputWindow, EnterRunsARegisteredCommandWithItsArguments)
{
    Register("mail");
    Open();
    window->GetEdit().SetWindowText("MAIL a b");
    Enter();
    std::vector<RecordedRun> runs = Runs(1);
    ASSERT_EQ(1u, runs.size());
    // Arguments no macro took are appended.
    EXPECT_EQ("\"" + recorder + "\" mail a b", runs[0].commandLine);
    // The window stays, emptied; the input is in the history.
    EXPECT_EQ("", Text());
    EXPECT_TRUE(window->IsWindowVisible());
    EXPECT_EQ((Strings{"MAIL a b"}), History());
}

TEST_F(InputWindow, ClosingTheWindowSavesTheSettings)
{
    Open();
    Type("saved input");
    Enter();
    window->SendMessage(WM_COMMAND, ID_QUIT);
    EXPECT_FALSE(window->IsWindow());
    char path[MAX_PATH];
    ASSERT_TRUE(GetSettingsFilePath(SETTINGS_XML, path, sizeof path));
    CSettings loaded;
    ASSERT_EQ(LoadResult::Loaded, LoadSettingsFile(path, loaded, nullptr));
    ASSERT_EQ(1u, loaded.History.GetCount());
    EXPECT_EQ("saved input", loaded.History.GetAt(0));
}

// A save that fails as the window goes shows its message before the
// program is asked to end: a quit message already waiting would close the
// box at once, unread.
TEST_F(InputWindow, AFailedSaveAtTheEndIsShownBeforeTheQuit)
{
    char path[MAX_PATH];
    ASSERT_TRUE(GetSettingsFilePath(SETTINGS_XML, path, sizeof path));
    Open();
    // The settings file's name is taken by a folder once the window runs.
    ASSERT_TRUE(CreateDirectoryA(path, nullptr));
    {
        MessageBoxCapture boxes;
        window->SendMessage(WM_COMMAND, ID_QUIT);
        EXPECT_FALSE(window->IsWindow());
        ASSERT_EQ(1u, boxes.Boxes().size());
        EXPECT_NE(std::string::npos, boxes.Boxes()[0].text.find(Ansi("保存に失敗")));
        EXPECT_FALSE(boxes.Boxes()[0].quitPending);
    }
    RemoveDirectoryA(path);
    Pump();
    EXPECT_TRUE(quitPosted);
}

TEST_F(InputWindow, HistoryStoresRepeatsOnlyWhenNotTheNewest)
{
    Open();
    for (const char* input : {"A", "A", "B", "A"}) {
        Type(input);
        Enter();
    }
    EXPECT_EQ((Strings{"A", "B", "A"}), History());
    // An input beginning with a space is recorded and left in the box.
    Type(" x");
    Enter();
    EXPECT_EQ(" x", Text());
    EXPECT_EQ(" x", History().front());
}

TEST_F(InputWindow, UpAndDownBrowseTheHistoryAndRestoreTheTypedText)
{
    for (bool withList : {false, true}) {
        settings.History.Clear();
        settings.HistoryList = withList;
        Open();
        for (const char* input : {"first", "second"}) {
            Type(input);
            Enter();
        }
        Type("draft");
        Key(VK_DOWN);  // at position 0: nothing
        EXPECT_EQ("draft", Text());
        Key(VK_UP);
        EXPECT_EQ("second", Text()) << withList;
        EXPECT_EQ(withList, PopupVisible());
        if (withList) {
            // Oldest at the top, the current entry selected.
            EXPECT_EQ((Strings{"first", "second"}), ListItems());
            EXPECT_EQ(1, window->GetPopup().GetList().GetSelectedIndex());
        }
        Key(VK_UP);
        EXPECT_EQ("first", Text());
        Key(VK_UP);  // at the oldest: nothing
        EXPECT_EQ("first", Text());
        Key(VK_DOWN);
        Key(VK_DOWN);
        EXPECT_EQ("draft", Text()) << withList;
        EXPECT_EQ(0u, settings.History.GetPosition());
        EXPECT_FALSE(PopupVisible());
        window->DestroyWindow();
        Pump();
    }
}

TEST_F(InputWindow, EscHidesInResidentModeAndEndsTheProgramOtherwise)
{
    settings.Stationed = true;
    Open();
    Type("abc");
    Press(VK_ESCAPE);
    EXPECT_EQ("", Text());
    EXPECT_TRUE(window->IsWindow());
    EXPECT_FALSE(window->IsWindowVisible());
    EXPECT_FALSE(quitPosted);
    window->DestroyWindow();
    Pump();
    quitPosted = false;

    settings.Stationed = false;
    Open();
    Press(VK_ESCAPE);
    EXPECT_FALSE(window->IsWindow());
    EXPECT_TRUE(quitPosted);
}

TEST_F(InputWindow, ExitHidesOrClosesAsItsArgumentsSay)
{
    struct Case {
        bool stationed;
        const char* input;
        bool closes;
    };
    const Case cases[] = {
        {true, "exit", false},   {false, "exit", true},      {true, "EXIT /p", true},
        {true, "exit x -P", true}, {true, "exit /q", false},
    };
    for (const Case& c : cases) {
        settings.Stationed = c.stationed;
        quitPosted = false;
        Open();
        Type(c.input);
        Enter();
        EXPECT_EQ(c.closes, !window->IsWindow()) << c.input;
        EXPECT_EQ(c.closes, quitPosted) << c.input;
        if (!c.closes) {
            EXPECT_FALSE(window->IsWindowVisible()) << c.input;
            window->DestroyWindow();
            Pump();
        }
    }
}

TEST_F(InputWindow, AHistoryItemFromTheContextMenuRunsAtOnce)
{
    Register("alpha");
    Register("beta");
    Open();
    for (const char* input : {"alpha", "beta"}) {
        Type(input);
        Enter();
    }
    Runs(2);
    // What choosing the second menu entry sends: newest first, so alpha.
    window->SendMessage(WM_COMMAND, ID_HISTORY_BASE + 1);
    Pump();
    // The records of the first two may come in either order.
    const std::string alpha = "\"" + recorder + "\" alpha";
    EXPECT_EQ((Strings{alpha, alpha, "\"" + recorder + "\" beta"}), SortedCommandLines(Runs(3)));
    // An entry beyond the history runs nothing.
    window->SendMessage(WM_COMMAND, ID_HISTORY_BASE + 40);
    Pump();
    EXPECT_EQ((Strings{"alpha", "beta", "alpha"}), History());
}

// What the context menu showed, read when it opened; a timer closes it.
struct MenuSeen {
    UINT defaultItem = 0;
    bool historyGreyed = false;
    Strings historyItems;
    std::vector<UINT> historyIds;
};
MenuSeen g_menuSeen;
bool g_menuRead = false;

LRESULT CALLBACK ReadOpeningMenu(int code, WPARAM wParam, LPARAM lParam)
{
    auto* call = reinterpret_cast<CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && call->message == WM_INITMENUPOPUP && !g_menuRead) {
        g_menuRead = true;
        HMENU popup = reinterpret_cast<HMENU>(call->wParam);
        g_menuSeen.defaultItem = GetMenuDefaultItem(popup, FALSE, 0);
        g_menuSeen.historyGreyed = (GetMenuState(popup, 4, MF_BYPOSITION) & MF_GRAYED) != 0;
        HMENU history = GetSubMenu(popup, 4);
        for (int i = 0; i < GetMenuItemCount(history); ++i) {
            char text[256] = {};
            GetMenuStringA(history, i, text, sizeof text, MF_BYPOSITION);
            g_menuSeen.historyItems.push_back(text);
            g_menuSeen.historyIds.push_back(GetMenuItemID(history, i));
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

void CALLBACK CloseMenu(HWND, UINT, UINT_PTR id, DWORD)
{
    KillTimer(nullptr, id);
    EndMenu();
}

TEST_F(InputWindow, ContextMenuListsTheHistoryNewestFirst)
{
    const std::string two = Ansi("二");
    Open();
    HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROC, ReadOpeningMenu, nullptr, GetCurrentThreadId());
    for (int round = 0; round < 2; ++round) {
        g_menuSeen = MenuSeen();
        g_menuRead = false;
        SetTimer(nullptr, 0, 200, CloseMenu);
        window->ShowContextMenu(false);
        Pump();
        ASSERT_TRUE(g_menuRead);
        EXPECT_EQ(static_cast<UINT>(ID_SETTING), g_menuSeen.defaultItem);
        if (round == 0) {
            // No history yet: the sub-menu is greyed with its placeholder.
            EXPECT_TRUE(g_menuSeen.historyGreyed);
            EXPECT_EQ(1u, g_menuSeen.historyItems.size());
            for (const std::string& input : {std::string("one"), two, std::string("R&D & ") + two}) {
                Type(input);
                Enter();
            }
        } else {
            EXPECT_FALSE(g_menuSeen.historyGreyed);
            // A menu reads "&" as the mark of a key: the labels double it.
            EXPECT_EQ((Strings{"R&&D && " + two, two, "one"}), g_menuSeen.historyItems);
            EXPECT_EQ((std::vector<UINT>{ID_HISTORY_BASE, ID_HISTORY_BASE + 1, ID_HISTORY_BASE + 2}),
                      g_menuSeen.historyIds);
        }
    }
    UnhookWindowsHookEx(hook);
}

TEST_F(InputWindow, PopupOpensAboveAWindowAtTheBottomAndShowsAtMostTenRows)
{
    RECT area;
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    for (int i = 0; i < 12; ++i)
        Register("cmd" + std::to_string(10 + i));
    settings.ApplyReservedCommand = false;
    for (bool atBottom : {false, true}) {
        settings.Window.x = 100;
        settings.Window.y = atBottom ? area.bottom - 20 : 100;
        Open();
        Type("c");
        ASSERT_TRUE(PopupVisible());
        RECT input, popup;
        window->GetWindowRect(&input);
        window->GetPopup().GetWindowRect(&popup);
        if (atBottom)
            EXPECT_EQ(input.top + 1, popup.bottom);
        else
            EXPECT_EQ(input.bottom - 1, popup.top);
        EXPECT_EQ(input.left, popup.left);
        EXPECT_EQ(input.right, popup.right);
        // Ten rows, then a scroll bar: the column narrows by its width.
        korra::CListViewA& list = window->GetPopup().GetList();
        RECT row;
        list.GetItemRect(0, &row, LVIR_BOUNDS);
        const int rowHeight = row.bottom - row.top;
        EXPECT_GE(popup.bottom - popup.top, 10 * rowHeight);
        EXPECT_LT(popup.bottom - popup.top, 11 * rowHeight);
        RECT client;
        window->GetClientRect(&client);
        EXPECT_EQ(client.right - 2 - GetSystemMetrics(SM_CXVSCROLL), list.GetColumnWidth(0));
        window->DestroyWindow();
        Pump();
    }
}

TEST_F(InputWindow, FitToWorkAreaKeepsTheWindowInside)
{
    RECT area;
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    const int areaWidth = area.right - area.left;
    struct Case {
        int x, y, cx, cy;
        RECT expected;
    };
    const Case cases[] = {
        {5000, 100, 150, 20, {area.right - 150, 100, area.right, 120}},
        {-300, -50, 150, 20, {area.left, area.top, area.left + 150, area.top + 20}},
        {10, 10, areaWidth + 400, 20, {area.left, 10, area.right, 30}},
        {10, 5000, 150, 20, {10, area.bottom - 20, 160, area.bottom}},
    };
    for (const Case& c : cases) {
        settings.Window.x = c.x;
        settings.Window.y = c.y;
        settings.Window.cx = c.cx;
        settings.Window.cy = c.cy;
        Open();
        window->SendMessage(WM_DISPLAYCHANGE, 32, MAKELPARAM(1280, 800));
        RECT rect;
        window->GetWindowRect(&rect);
        EXPECT_EQ(c.expected.left, rect.left) << c.x;
        EXPECT_EQ(c.expected.top, rect.top) << c.y;
        EXPECT_EQ(c.expected.right, rect.right) << c.x;
        EXPECT_EQ(c.expected.bottom, rect.bottom) << c.y;
        // The stored place is not changed.
        EXPECT_EQ(c.x, settings.Window.x);
        window->DestroyWindow();
        Pump();
    }
}

TEST_F(InputWindow, AnEmptyBoxKeepsItsFormat)
{
    settings.Window.TextColor = RGB(200, 10, 20);
    settings.Window.FontFace = "Arial";
    settings.Window.FontSize = 14;
    settings.Window.FontEffects = 1 | 2;  // bold, italic
    Open();
    window->GetEdit().SetWindowText("");
    EXPECT_EQ("", Text());
    CHARFORMATA format = {};
    format.cbSize = sizeof format;
    SendMessageA(Box(), EM_GETCHARFORMAT, 0, reinterpret_cast<LPARAM>(&format));
    EXPECT_EQ(RGB(200, 10, 20), format.crTextColor);
    EXPECT_EQ(14 * 20, format.yHeight);
    EXPECT_STREQ("Arial", format.szFaceName);
    EXPECT_EQ(static_cast<DWORD>(CFE_BOLD | CFE_ITALIC), format.dwEffects & (CFE_BOLD | CFE_ITALIC));
    // Typed text takes the same format.
    Type("x");
    SendMessageA(Box(), EM_GETCHARFORMAT, 1, reinterpret_cast<LPARAM>(&format));
    EXPECT_EQ(RGB(200, 10, 20), format.crTextColor);
}

}  // namespace
