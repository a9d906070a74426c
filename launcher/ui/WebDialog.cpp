#include "WebDialog.h"

#include "korra/AxHost.h"
#include "korra/Binding.h"

#include <exdisp.h>

#include <string>
#include <vector>

namespace {

constexpr wchar_t kBrowserProgId[] = L"Shell.Explorer.2";

// The browser control draws nothing without the HTML engine; a system
// without it (or with it switched off) is a system without a browser to
// embed, and the page goes to the default browser instead.
bool HtmlEngineLoads()
{
    HMODULE engine = LoadLibraryA("mshtml.dll");
    if (engine == nullptr)
        return false;
    FreeLibrary(engine);
    return true;
}

HtmlEngineCheck g_htmlEngineCheck = HtmlEngineLoads;

std::wstring Widen(const char* text)
{
    const int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (length <= 0)
        return std::wstring();
    std::vector<wchar_t> wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), length);
    return std::wstring(wide.data());
}

// One run of the dialog; bound to it through the window property.
struct WebDialog {
    WebDialog(const char* address, HICON small, HICON large)
        : url(address), smallIcon(small), largeIcon(large)
    {
    }

    const char* url;
    HICON smallIcon;
    HICON largeIcon;
    korra::CAxHostA host;
    IWebBrowser2* browser = nullptr;  // one reference, ours

    BOOL OnInitDialog(HWND dialog);
    void OnDestroy();
};

BOOL WebDialog::OnInitDialog(HWND dialog)
{
    if (smallIcon != nullptr || largeIcon != nullptr) {
        SendMessageA(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(largeIcon));
        SendMessageA(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon));
    } else {
        SetWindowLongPtrA(dialog, GWL_EXSTYLE,
                          GetWindowLongPtrA(dialog, GWL_EXSTYLE) | WS_EX_DLGMODALFRAME);
        SetWindowPos(dialog, nullptr, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    }
    RECT client;
    GetClientRect(dialog, &client);
    host.RegisterWindowClass(reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(dialog, GWLP_HINSTANCE)));
    bool ready = g_htmlEngineCheck() &&
                 host.Create(dialog, client, "", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN,
                             WS_EX_CLIENTEDGE) != nullptr &&
                 SUCCEEDED(host.CreateControl(kBrowserProgId)) &&
                 SUCCEEDED(host.QueryControl(IID_IWebBrowser2, reinterpret_cast<void**>(&browser)));
    if (!ready) {
        EndDialog(dialog, 1);
        return TRUE;
    }
    // What the page says, or that it could not be reached, is the
    // browser's to show.
    BSTR address = SysAllocString(Widen(url).c_str());
    VARIANT empty;
    VariantInit(&empty);
    browser->Navigate(address, &empty, &empty, &empty, &empty);
    SysFreeString(address);
    SetFocus(host.GetHwnd());
    return FALSE;
}

void WebDialog::OnDestroy()
{
    if (browser != nullptr) {
        browser->Release();
        browser = nullptr;
    }
    host.ReleaseControl();
}

INT_PTR CALLBACK WebDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    WebDialog* self = korra::BoundObject<WebDialog>(dialog);
    if (self == nullptr && message == WM_INITDIALOG) {
        self = reinterpret_cast<WebDialog*>(lParam);
        korra::Bind(dialog, self);
        return self->OnInitDialog(dialog);
    }
    if (self == nullptr)
        return FALSE;
    switch (message) {
    case WM_SIZE:
        if (self->host.IsWindow())
            self->host.MoveWindow(0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
        return TRUE;
    case WM_ACTIVATE:
        if (LOWORD(wParam) != WA_INACTIVE && self->host.IsWindow())
            SetFocus(self->host.GetHwnd());
        return TRUE;
    case WM_APPCOMMAND:
        if (self->browser != nullptr) {
            switch (GET_APPCOMMAND_LPARAM(lParam)) {
            case APPCOMMAND_BROWSER_BACKWARD:
                self->browser->GoBack();
                SetWindowLongPtrA(dialog, DWLP_MSGRESULT, TRUE);
                return TRUE;
            case APPCOMMAND_BROWSER_FORWARD:
                self->browser->GoForward();
                SetWindowLongPtrA(dialog, DWLP_MSGRESULT, TRUE);
                return TRUE;
            }
        }
        return FALSE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, 0);
            return TRUE;
        }
        return FALSE;
    case WM_DESTROY:
        self->OnDestroy();
        return FALSE;
    case WM_NCDESTROY:
        korra::Unbind(dialog);
        return FALSE;
    }
    return FALSE;
}

}  // namespace

void SetHtmlEngineCheck(HtmlEngineCheck check)
{
    g_htmlEngineCheck = check != nullptr ? check : HtmlEngineLoads;
}

int ShowWebDialog(HINSTANCE instance, int templateId, HWND owner, UINT flags, const char* url,
                  HICON smallIcon, HICON largeIcon)
{
    if (flags != 0)
        return 2;
    if (url == nullptr)
        url = "";
    // The control needs OLE on this thread; a thread that has it already
    // keeps it (each successful call is paired with its own uninitialise).
    const HRESULT ole = OleInitialize(nullptr);
    WebDialog state(url, smallIcon, largeIcon);
    const INT_PTR result = DialogBoxParamA(instance, MAKEINTRESOURCEA(templateId), owner,
                                           WebDialogProc, reinterpret_cast<LPARAM>(&state));
    state.OnDestroy();
    if (SUCCEEDED(ole))
        OleUninitialize();
    return static_cast<int>(result);
}
