// The window classes on real windows: binding and unbinding, routing, the
// default processing of what an object leaves, modal and modeless dialogs,
// a property sheet, image list ownership and the common controls.
// Everything that opens a modal loop closes itself.
#include "korra/DialogImpl.h"
#include "korra/EditCtrl.h"
#include "korra/HeaderCtrl.h"
#include "korra/ImageList.h"
#include "korra/ListView.h"
#include "korra/PropSheetImpl.h"
#include "korra/TabCtrl.h"
#include "korra/WindowImpl.h"

#include <gtest/gtest.h>

#include <string>
#include <type_traits>
#include <vector>

namespace {

// TestDialogs.rc
constexpr int kTestDialog = 101;
constexpr int kTestPage = 102;
constexpr int kDialogEdit = 1001;
constexpr UINT kWatchdog = 1;  // a timer that ends a modal loop the test failed to end
constexpr UINT kWatchdogMs = 10000;

const bool g_controlsReady = [] {
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_LISTVIEW_CLASSES | ICC_TAB_CLASSES};
    return ::InitCommonControlsEx(&controls) != FALSE;
}();

// Shift-JIS from the UTF-8 of this file, whatever the process's code page.
std::string Sjis(const char* utf8)
{
    int wide = ::MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
    std::wstring text(static_cast<std::size_t>(wide), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8, -1, &text[0], wide);
    int bytes = ::WideCharToMultiByte(932, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<std::size_t>(bytes), '\0');
    ::WideCharToMultiByte(932, 0, text.c_str(), -1, &result[0], bytes, nullptr, nullptr);
    result.resize(static_cast<std::size_t>(bytes) - 1);
    return result;
}

template <class TObject>
bool IsBoundTo(HWND window, TObject* object)
{
    return window != nullptr && ::GetPropA(window, korra::kThisProperty) == object;
}

class CProbeWnd : public korra::CWindowImplA<CProbeWnd> {
public:
    static const char* GetWndClassName() { return "korra probe"; }
    bool boundOnCreate = false;
    HWND finalWindow = nullptr;
    HANDLE propertyAtFinal = INVALID_HANDLE_VALUE;

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == WM_CREATE)
            boundOnCreate = IsBoundTo<CWindowImplA>(m_hWnd, this);
        if (message == WM_APP)
            return 0x1000 + static_cast<LRESULT>(wParam);
        return DefWindowProc(message, wParam, lParam);
    }
    void OnFinalMessage(HWND window) override
    {
        finalWindow = window;
        propertyAtFinal = ::GetPropA(window, korra::kThisProperty);
    }
};

// Ends itself with endWith once its modal loop runs.
class CProbeDlg : public korra::CDialogImplA<CProbeDlg> {
public:
    enum { IDD = kTestDialog };
    INT_PTR endWith = IDOK;
    bool sawMessageBeforeInit = false, boundOnInit = false;
    LPARAM initSeen = 0, memberSeen = 0;
    HANDLE propertyAtFinal = INVALID_HANDLE_VALUE;

protected:
    INT_PTR DialogProc(UINT message, WPARAM, LPARAM lParam) override
    {
        switch (message) {
        case WM_INITDIALOG:
            boundOnInit = IsBoundTo<CDialogImplA>(m_hWnd, this);
            initSeen = lParam;
            memberSeen = m_initParam;
            PostMessage(WM_APP);
            ::SetTimer(m_hWnd, kWatchdog, kWatchdogMs, nullptr);
            return TRUE;
        case WM_APP:
            EndDialog(endWith);
            return TRUE;
        case WM_TIMER:
            EndDialog(-2);
            return TRUE;
        default:
            if (!boundOnInit)
                sawMessageBeforeInit = true;
            return FALSE;
        }
    }
    void OnFinalMessage(HWND window) override
    {
        propertyAtFinal = ::GetPropA(window, korra::kThisProperty);
    }
};

TEST(WindowImplA, BindsOnCreationRoutesAndUnbinds)
{
    CProbeWnd probe;
    ASSERT_TRUE(probe.RegisterWindowClass(::GetModuleHandleA(nullptr)));
    HWND window = probe.Create(nullptr, 0, 0, 200, 100, "probe", WS_OVERLAPPEDWINDOW);
    ASSERT_NE(nullptr, window);
    EXPECT_EQ(window, probe.GetHwnd());
    EXPECT_TRUE(probe.boundOnCreate);
    EXPECT_EQ(0x1007, probe.SendMessage(WM_APP, 7));

    probe.DestroyWindow();
    EXPECT_EQ(nullptr, probe.GetHwnd());
    EXPECT_EQ(window, probe.finalWindow);
    EXPECT_EQ(nullptr, probe.propertyAtFinal);
    EXPECT_FALSE(::IsWindow(window));
}

// What neither the window nor the dialog object handles still works, in
// Shift-JIS and beyond the 1000 bytes of a careless buffer.
TEST(WindowImplA, UnhandledTextMessagesGetDefaultProcessing)
{
    CProbeWnd probe;
    probe.RegisterWindowClass(::GetModuleHandleA(nullptr));
    ASSERT_NE(nullptr, probe.Create(nullptr, 0, 0, 200, 100, "", WS_OVERLAPPEDWINDOW));
    CProbeDlg dialog;
    ASSERT_NE(nullptr, dialog.Create(probe.GetHwnd()));
    korra::CEditCtrlA edit(dialog.GetDlgItem(kDialogEdit));
    ASSERT_NE(nullptr, edit.GetHwnd());

    std::string longKanji;
    for (int i = 0; i < 300; ++i)
        longKanji += Sjis("表示ソ能");  // trail bytes 0x5C among them
    const std::string texts[] = {"", "notepad.exe", Sjis("ファイル名を指定して実行"),
                                 std::string(1500, 'x'), longKanji};
    korra::CWindowingA* windows[] = {&probe, &dialog, &edit};
    for (korra::CWindowingA* window : windows) {
        for (const std::string& text : texts) {
            SCOPED_TRACE(testing::Message() << "window " << window->GetHwnd() << ", "
                                            << text.size() << " bytes");
            EXPECT_TRUE(window->SetWindowText(text.c_str()));
            EXPECT_EQ(text, window->GetWindowText());
        }
    }
}

TEST(DialogImplA, ModalEndsWithTheResultAndSeesTheInitValue)
{
    const struct {
        LPARAM init;
        INT_PTR endWith;
    } cases[] = {{0, IDOK}, {42, IDCANCEL}, {-5, 12345}, {LPARAM(0x7FFFFFFF), 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "init " << c.init);
        CProbeDlg dialog;
        dialog.endWith = c.endWith;
        EXPECT_EQ(c.endWith, dialog.DoModal(nullptr, c.init));
        EXPECT_TRUE(dialog.boundOnInit);
        EXPECT_FALSE(dialog.sawMessageBeforeInit);  // WM_SETFONT came first
        EXPECT_EQ(c.init, dialog.initSeen);
        EXPECT_EQ(c.init, dialog.memberSeen);
        EXPECT_EQ(nullptr, dialog.GetHwnd());
        EXPECT_EQ(nullptr, dialog.propertyAtFinal);
    }
}

TEST(DialogImplA, ModelessIsBoundUntilEnded)
{
    CProbeDlg dialog;
    HWND window = dialog.Create(nullptr, 99);
    ASSERT_NE(nullptr, window);
    EXPECT_TRUE(dialog.boundOnInit);
    EXPECT_EQ(99, dialog.initSeen);
    EXPECT_TRUE(dialog.EndDialog(IDOK));
    EXPECT_FALSE(::IsWindow(window));
    EXPECT_EQ(nullptr, dialog.GetHwnd());
    EXPECT_EQ(nullptr, dialog.propertyAtFinal);
}

class CProbePage : public korra::CPropSheetPageImplA<CProbePage> {
public:
    enum { IDD = kTestPage };
    explicit CProbePage(const char* title) : CPropSheetPageImplA(title) {}
    bool pressOk = false, boundOnInit = false, applied = false;
    HWND window = nullptr;

protected:
    INT_PTR DialogProc(UINT message, WPARAM, LPARAM lParam) override
    {
        switch (message) {
        case WM_INITDIALOG:
            window = m_hWnd;
            boundOnInit = IsBoundTo<CPropSheetPageImplA>(m_hWnd, this);
            if (pressOk) {
                SetModified(true);
                ::PostMessageA(GetParent(), PSM_PRESSBUTTON, PSBTN_OK, 0);
                ::SetTimer(m_hWnd, kWatchdog, kWatchdogMs, nullptr);
            }
            return TRUE;
        case WM_TIMER:
            ::PostMessageA(GetParent(), PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
            return TRUE;
        case WM_NOTIFY:
            if (reinterpret_cast<NMHDR*>(lParam)->code != PSN_APPLY)
                return FALSE;
            applied = true;
            SetMsgResult(PSNRET_NOERROR);
            return TRUE;
        default:
            return FALSE;
        }
    }
};

class CProbeSheet : public korra::CPropSheetImplA<CProbeSheet> {
public:
    CProbeSheet(const std::string& caption) : CPropSheetImplA(caption.c_str(), 1)
    {
        AddPage(m_first);
        AddPage(m_second);
        m_second.pressOk = true;
    }
    CProbePage m_first{"first"};
    CProbePage m_second{nullptr};
    bool boundOnPress = false;
    std::string captionOnPress;

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == PSM_PRESSBUTTON) {
            boundOnPress = IsBoundTo<CPropSheetImplA>(m_hWnd, this);
            captionOnPress = GetWindowText();
        }
        return DefWindowProc(message, wParam, lParam);
    }
};

TEST(PropSheetImplA, BindsSheetAndShownPageAndClosesOnOk)
{
    CProbeSheet sheet(Sjis("設定"));
    EXPECT_GT(sheet.DoModal(nullptr), 0);  // OK after a change

    EXPECT_TRUE(sheet.boundOnPress);
    EXPECT_EQ(Sjis("設定"), sheet.captionOnPress);
    EXPECT_EQ(nullptr, sheet.GetHwnd());

    // Only the start page was ever created.
    EXPECT_EQ(nullptr, sheet.m_first.window);
    EXPECT_TRUE(sheet.m_second.boundOnInit);
    EXPECT_TRUE(sheet.m_second.applied);
    EXPECT_FALSE(::IsWindow(sheet.m_second.window));
    EXPECT_EQ(nullptr, sheet.m_second.GetHwnd());
}

// One extra reference of our own on the list object: its release tells
// how many the image list objects left behind.
TEST(ImageList, OnlyTheOwningListDestroys)
{
    static_assert(!std::is_copy_constructible_v<korra::CImageList>);
    static_assert(std::is_copy_constructible_v<korra::CImageListRef>);
    using QueryInterface = HRESULT(WINAPI*)(HIMAGELIST, REFIID, void**);
    // Not in the import library; void (*)() is the cast GCC accepts between
    // function types.
    auto query = reinterpret_cast<QueryInterface>(reinterpret_cast<void (*)()>(
        ::GetProcAddress(::GetModuleHandleA("comctl32.dll"), "HIMAGELIST_QueryInterface")));
    ASSERT_NE(nullptr, query);
    HICON icon = ::LoadIconA(nullptr, IDI_APPLICATION);
    auto fill = [icon](korra::CImageListBase& list) {
        EXPECT_EQ(0, list.AddIcon(icon));
        EXPECT_EQ(1, list.GetImageCount());
        int width = 0, height = 0;
        EXPECT_TRUE(list.GetIconSize(&width, &height) && width == 16 && height == 16);
    };

    IUnknown* ours = nullptr;
    {
        korra::CImageList owning;
        ASSERT_TRUE(owning.Create(16, 16, ILC_COLOR32 | ILC_MASK, 1, 1));
        fill(owning);
        ASSERT_EQ(S_OK, query(owning.GetHandle(), IID_IUnknown, reinterpret_cast<void**>(&ours)));
    }
    EXPECT_EQ(0u, ours->Release());

    HIMAGELIST shared = ::ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 1, 1);
    ASSERT_EQ(S_OK, query(shared, IID_IUnknown, reinterpret_cast<void**>(&ours)));
    {
        korra::CImageListRef user(shared);
        korra::CImageListRef copy = user;
        fill(copy);
    }
    EXPECT_EQ(1u, ours->Release());
    EXPECT_TRUE(::ImageList_Destroy(shared));

    EXPECT_EQ(0, korra::CImageListRef().GetImageCount());
}

// The controls, children of one probe window.
class Controls : public testing::Test {
protected:
    void SetUp() override
    {
        m_parent.RegisterWindowClass(::GetModuleHandleA(nullptr));
        ASSERT_NE(nullptr, m_parent.Create(nullptr, 0, 0, 400, 300, "", WS_OVERLAPPEDWINDOW));
    }
    HWND Child(const char* className, DWORD style)
    {
        return ::CreateWindowExA(0, className, "", WS_CHILD | WS_VISIBLE | style, 10, 10, 300, 200,
                                 m_parent.GetHwnd(), nullptr, ::GetModuleHandleA(nullptr), nullptr);
    }
    CProbeWnd m_parent;
};

TEST_F(Controls, SortedListViewAndItsHeader)
{
    korra::CListViewA list(Child(WC_LISTVIEWA, LVS_REPORT | LVS_SORTASCENDING));
    ASSERT_NE(nullptr, list.GetHwnd());
    EXPECT_EQ(0, list.InsertColumn(0, Sjis("名前").c_str(), 120));
    EXPECT_EQ(1, list.InsertColumn(1, "Path", 80));
    for (const char* text : {"delta", "アイコン", "Alpha", "charlie", "bravo"})
        EXPECT_GE(list.InsertItem(list.GetItemCount(), Sjis(text).c_str()), 0);

    const char* sorted[] = {"Alpha", "bravo", "charlie", "delta", "アイコン"};
    ASSERT_EQ(5, list.GetItemCount());
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(Sjis(sorted[i]), list.GetItemText(i)) << i;

    korra::CHeaderCtrlA header(reinterpret_cast<HWND>(list.SendMessage(LVM_GETHEADER)));
    EXPECT_EQ(2, header.GetItemCount());
    EXPECT_EQ(Sjis("名前"), header.GetItemText(0));
    EXPECT_EQ("Path", header.GetItemText(1));
    RECT rect = {};
    EXPECT_TRUE(header.GetItemRect(1, &rect));
    EXPECT_EQ(120, rect.left);
    EXPECT_EQ(200, rect.right);
    EXPECT_EQ("", header.GetItemText(2));
}

TEST_F(Controls, HeaderInsertsInPlace)
{
    korra::CHeaderCtrlA header(Child(WC_HEADERA, HDS_HORZ));
    EXPECT_EQ(0, header.InsertItem(0, "b", 50));
    EXPECT_EQ(0, header.InsertItem(0, Sjis("ソ").c_str(), 70, HDF_RIGHT));
    ASSERT_EQ(2, header.GetItemCount());
    EXPECT_EQ(Sjis("ソ"), header.GetItemText(0));
    EXPECT_EQ("b", header.GetItemText(1));
    RECT rect = {};
    EXPECT_TRUE(header.GetItemRect(0, &rect));
    EXPECT_EQ(70, rect.right - rect.left);
}

TEST_F(Controls, TabSelectionAndDisplayArea)
{
    korra::CTabCtrlA tabs(Child(WC_TABCONTROLA, 0));
    const char* texts[] = {"一般", "コマンド", "表示"};
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(i, tabs.InsertItem(i, Sjis(texts[i]).c_str()));
    EXPECT_EQ(3, tabs.GetItemCount());
    EXPECT_EQ(0, tabs.GetCurSel());
    EXPECT_EQ(0, tabs.SetCurSel(2));
    EXPECT_EQ(2, tabs.GetCurSel());
    EXPECT_EQ(-1, tabs.SetCurSel(5));

    RECT window = {0, 0, 300, 200};
    RECT display = window;
    tabs.AdjustRect(false, &display);
    EXPECT_GT(display.top, window.top);  // below the tabs
    EXPECT_LT(display.bottom, window.bottom);
    tabs.AdjustRect(true, &display);
    EXPECT_EQ(window.top, display.top);
    EXPECT_EQ(window.bottom, display.bottom);
}

}  // namespace
