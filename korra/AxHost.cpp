// The site through which a hosted control reaches its container: client
// site, in-place site and in-place frame in one object, with one reference
// count. The control holds references to it while it is active; the host
// holds one of its own and drops it last.
#include "korra/AxHost.h"

namespace korra {

class CAxHostA::Site final : public IOleClientSite, public IOleInPlaceSite, public IOleInPlaceFrame {
public:
    explicit Site(CAxHostA* host) : m_host(host) {}

    // The host is going: calls that still arrive find no window.
    void Detach() { m_host = nullptr; }

    // ---- IUnknown
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override
    {
        if (out == nullptr)
            return E_POINTER;
        *out = nullptr;
        if (iid == IID_IUnknown || iid == IID_IOleClientSite)
            *out = static_cast<IOleClientSite*>(this);
        else if (iid == IID_IOleWindow || iid == IID_IOleInPlaceSite)
            *out = static_cast<IOleInPlaceSite*>(this);
        else if (iid == IID_IOleInPlaceUIWindow || iid == IID_IOleInPlaceFrame)
            *out = static_cast<IOleInPlaceFrame*>(this);
        else
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_references; }
    STDMETHODIMP_(ULONG) Release() override
    {
        const ULONG left = --m_references;
        if (left == 0)
            delete this;
        return left;
    }

    // ---- IOleClientSite: nothing is saved, there is no container document
    STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** moniker) override
    {
        if (moniker != nullptr)
            *moniker = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetContainer(IOleContainer** container) override
    {
        if (container != nullptr)
            *container = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP ShowObject() override { return S_OK; }
    STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
    STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

    // ---- IOleWindow (shared by the in-place site and the frame)
    STDMETHODIMP GetWindow(HWND* window) override
    {
        if (window == nullptr)
            return E_POINTER;
        *window = m_host != nullptr ? m_host->m_hWnd : nullptr;
        return *window != nullptr ? S_OK : E_FAIL;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

    // ---- IOleInPlaceSite
    STDMETHODIMP CanInPlaceActivate() override { return m_host != nullptr ? S_OK : S_FALSE; }
    STDMETHODIMP OnInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnUIActivate() override { return S_OK; }
    STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document,
                                  LPRECT position, LPRECT clip,
                                  LPOLEINPLACEFRAMEINFO info) override
    {
        if (frame == nullptr || document == nullptr || position == nullptr || clip == nullptr ||
            info == nullptr)
            return E_POINTER;
        *frame = static_cast<IOleInPlaceFrame*>(this);
        AddRef();
        *document = nullptr;
        RECT client = {};
        if (m_host != nullptr)
            ::GetClientRect(m_host->m_hWnd, &client);
        *position = client;
        *clip = client;
        info->fMDIApp = FALSE;
        info->hwndFrame = m_host != nullptr ? ::GetAncestor(m_host->m_hWnd, GA_ROOT) : nullptr;
        info->haccel = nullptr;
        info->cAccelEntries = 0;
        return S_OK;
    }
    STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
    STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
    STDMETHODIMP OnInPlaceDeactivate() override { return S_OK; }
    STDMETHODIMP DiscardUndoState() override { return E_NOTIMPL; }
    STDMETHODIMP DeactivateAndUndo() override { return E_NOTIMPL; }
    STDMETHODIMP OnPosRectChange(LPCRECT rect) override
    {
        // The control asks for a place; it gets the same client area again.
        if (rect == nullptr)
            return E_POINTER;
        if (m_host != nullptr)
            m_host->FitControl();
        return S_OK;
    }

    // ---- IOleInPlaceUIWindow, IOleInPlaceFrame: no tool space, menus or status bar
    STDMETHODIMP GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS widths) override
    {
        return widths == nullptr ? S_OK : INPLACE_E_NOTOOLSPACE;
    }
    STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override { return S_OK; }
    STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
    STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
    STDMETHODIMP RemoveMenus(HMENU) override { return E_NOTIMPL; }
    STDMETHODIMP SetStatusText(LPCOLESTR) override { return S_OK; }
    STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }
    STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

private:
    ~Site() = default;

    CAxHostA* m_host;  // not owned; null once the host let go
    ULONG m_references = 1;
};

CAxHostA::~CAxHostA()
{
    ReleaseControl();
}

HRESULT CAxHostA::CreateControl(const wchar_t* progId)
{
    ReleaseControl();
    if (m_hWnd == nullptr || progId == nullptr)
        return E_INVALIDARG;
    CLSID clsid;
    HRESULT result = ::CLSIDFromProgID(progId, &clsid);
    if (FAILED(result))
        return result;
    result = ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                                reinterpret_cast<void**>(&m_object));
    if (FAILED(result)) {
        m_object = nullptr;
        return result;
    }
    m_site = new Site(this);
    result = m_object->SetClientSite(static_cast<IOleClientSite*>(m_site));
    if (SUCCEEDED(result)) {
        RECT client;
        ::GetClientRect(m_hWnd, &client);
        result = m_object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr,
                                  static_cast<IOleClientSite*>(m_site), 0, m_hWnd, &client);
    }
    if (SUCCEEDED(result))
        result = m_object->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void**>(&m_inPlace));
    if (FAILED(result)) {
        m_inPlace = nullptr;
        ReleaseControl();
        return result;
    }
    FitControl();
    return S_OK;
}

HRESULT CAxHostA::QueryControl(REFIID iid, void** out) const
{
    if (out == nullptr)
        return E_POINTER;
    *out = nullptr;
    if (m_object == nullptr)
        return E_NOINTERFACE;
    return m_object->QueryInterface(iid, out);
}

void CAxHostA::ReleaseControl()
{
    // The reverse of CreateControl: out of place, closed, cut from our site.
    if (m_inPlace != nullptr) {
        m_inPlace->InPlaceDeactivate();
        m_inPlace->Release();
        m_inPlace = nullptr;
    }
    if (m_object != nullptr) {
        m_object->Close(OLECLOSE_NOSAVE);
        m_object->SetClientSite(nullptr);
        m_object->Release();
        m_object = nullptr;
    }
    if (m_site != nullptr) {
        m_site->Detach();
        m_site->Release();
        m_site = nullptr;
    }
}

void CAxHostA::FitControl()
{
    if (m_inPlace == nullptr || m_hWnd == nullptr)
        return;
    RECT client;
    ::GetClientRect(m_hWnd, &client);
    m_inPlace->SetObjectRects(&client, &client);
}

LRESULT CAxHostA::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_SIZE:
        FitControl();
        return 0;
    case WM_SETFOCUS: {
        // The focus belongs inside the control: its own window takes it.
        HWND inner = nullptr;
        if (m_inPlace != nullptr && SUCCEEDED(m_inPlace->GetWindow(&inner)) && inner != nullptr)
            ::SetFocus(inner);
        else if (m_object != nullptr && m_site != nullptr) {
            RECT client;
            ::GetClientRect(m_hWnd, &client);
            m_object->DoVerb(OLEIVERB_UIACTIVATE, nullptr, static_cast<IOleClientSite*>(m_site), 0,
                             m_hWnd, &client);
        }
        return 0;
    }
    case WM_DESTROY:
        ReleaseControl();
        return 0;
    }
    return DefWindowProc(message, wParam, lParam);
}

}  // namespace korra
