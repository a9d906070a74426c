// A child window that holds one ActiveX control, active in place and kept
// filling the window's client area. The thread must have OLE initialised
// (OleInitialize) for as long as a control is held.
//
//   korra::CAxHostA host;
//   host.RegisterWindowClass(instance);
//   host.Create(dialog, rect, "", WS_CHILD | WS_VISIBLE, WS_EX_CLIENTEDGE);
//   if (SUCCEEDED(host.CreateControl(L"Shell.Explorer.2"))) ...
#pragma once

#include "korra/WindowImpl.h"

#include <ole2.h>

namespace korra {

class CAxHostA : public CWindowImplA<CAxHostA> {
public:
    static const char* GetWndClassName() { return "korra ActiveX Host"; }

    CAxHostA() = default;
    ~CAxHostA() override;

    // Creates the control of progId, gives it our site and activates it in
    // place over the client area. A failure leaves no control held and
    // returns the failing call's result.
    HRESULT CreateControl(const wchar_t* progId);
    // QueryInterface on the held control; E_NOINTERFACE without one. The
    // caller releases what it gets.
    HRESULT QueryControl(REFIID iid, void** out) const;
    bool HasControl() const { return m_object != nullptr; }
    // Deactivates, closes and releases the control and our site. Done by
    // WM_DESTROY at the latest; harmless without a control.
    void ReleaseControl();

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    class Site;
    void FitControl();

    Site* m_site = nullptr;                     // one reference, ours
    IOleObject* m_object = nullptr;             // one reference, ours
    IOleInPlaceObject* m_inPlace = nullptr;     // one reference, ours; null until active
};

}  // namespace korra
