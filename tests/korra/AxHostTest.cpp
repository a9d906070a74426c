// The ActiveX host with the system's web-browser control: it is activated
// in place inside the host's window, follows the window's size, navigates,
// and is let go when the window goes.
#include "korra/AxHost.h"

#include <gtest/gtest.h>

#include <exdisp.h>

namespace {

struct OleSession {
    OleSession() : ready(SUCCEEDED(::OleInitialize(nullptr))) {}
    ~OleSession()
    {
        if (ready)
            ::OleUninitialize();
    }
    bool ready;
};

SIZE ClientSize(HWND window)
{
    RECT client = {};
    ::GetClientRect(window, &client);
    return {client.right, client.bottom};
}

TEST(AxHost, HoldsTheBrowserFillingItsWindowAndLetsItGo)
{
    OleSession ole;
    ASSERT_TRUE(ole.ready);
    HWND parent = ::CreateWindowExA(0, "STATIC", "host parent", WS_POPUP | WS_VISIBLE, 50, 50, 320,
                                    220, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, parent);
    korra::CAxHostA host;
    ASSERT_TRUE(host.RegisterWindowClass(::GetModuleHandleA(nullptr)));
    ASSERT_NE(nullptr, host.Create(parent, RECT{0, 0, 300, 200}, "", WS_CHILD | WS_VISIBLE,
                                   WS_EX_CLIENTEDGE));
    const HRESULT created = host.CreateControl(L"Shell.Explorer.2");
    if (FAILED(created)) {
        ::DestroyWindow(parent);
        GTEST_SKIP() << "no web-browser control on this system: 0x" << std::hex << created;
    }
    EXPECT_FALSE(SUCCEEDED(host.CreateControl(L"Korra.No.Such.Control")));
    EXPECT_FALSE(host.HasControl()) << "a failed creation leaves nothing held";
    ASSERT_EQ(S_OK, host.CreateControl(L"Shell.Explorer.2"));

    IWebBrowser2* browser = nullptr;
    ASSERT_EQ(S_OK, host.QueryControl(IID_IWebBrowser2, reinterpret_cast<void**>(&browser)));
    VARIANT empty;
    ::VariantInit(&empty);
    BSTR address = ::SysAllocString(L"about:blank");
    EXPECT_EQ(S_OK, browser->Navigate(address, &empty, &empty, &empty, &empty));
    ::SysFreeString(address);

    // In place: the control's window is a child of the host and fills it,
    // before and after the host changes size.
    IOleInPlaceObject* inPlace = nullptr;
    ASSERT_EQ(S_OK, host.QueryControl(IID_IOleInPlaceObject, reinterpret_cast<void**>(&inPlace)));
    HWND inner = nullptr;
    ASSERT_EQ(S_OK, inPlace->GetWindow(&inner));
    inPlace->Release();
    EXPECT_EQ(host.GetHwnd(), ::GetParent(inner));
    for (SIZE size : {SIZE{300, 200}, SIZE{180, 90}, SIZE{310, 210}}) {
        host.MoveWindow(0, 0, size.cx, size.cy, TRUE);
        const SIZE hostClient = ClientSize(host.GetHwnd());
        RECT innerRect;
        ::GetWindowRect(inner, &innerRect);
        EXPECT_EQ(hostClient.cx, innerRect.right - innerRect.left) << size.cx << "x" << size.cy;
        EXPECT_EQ(hostClient.cy, innerRect.bottom - innerRect.top) << size.cx << "x" << size.cy;
    }

    // Destroying the window lets the control go: our probe holds the last
    // reference.
    IUnknown* probe = nullptr;
    ASSERT_EQ(S_OK, host.QueryControl(IID_IUnknown, reinterpret_cast<void**>(&probe)));
    browser->Release();
    ::DestroyWindow(parent);
    EXPECT_FALSE(host.HasControl());
    EXPECT_EQ(0u, probe->Release());
}

}  // namespace
