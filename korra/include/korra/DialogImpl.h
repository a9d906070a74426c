// Dialogs implemented by an object: CDialogImplA loads the template T::IDD
// from GetResourceInstance(), binds the object to the dialog on
// WM_INITDIALOG, hands every later message to the object's DialogProc and
// unbinds it on WM_NCDESTROY. Messages that come before WM_INITDIALOG
// (WM_SETFONT, WM_NCCREATE...) get the dialog manager's default processing.
//
//   class CGoToDlg : public korra::CDialogImplA<CGoToDlg> {
//   public:
//       enum { IDD = IDD_GOTO };
//   protected:
//       INT_PTR DialogProc(UINT message, WPARAM wParam, LPARAM lParam) override;
//   };
#pragma once

#include "korra/Binding.h"
#include "korra/Windowing.h"

namespace korra {

template <class T, class TBase = CWindowingA>
class CDialogImplA : public TBase {
public:
    CDialogImplA() = default;
    CDialogImplA(const CDialogImplA&) = delete;
    CDialogImplA& operator=(const CDialogImplA&) = delete;
    ~CDialogImplA() override
    {
        // Only a modeless dialog can outlive the call that made it; it must
        // not outlive its object.
        if (this->m_hWnd != nullptr && ::IsWindow(this->m_hWnd))
            ::DestroyWindow(this->m_hWnd);
    }

    // The value given to EndDialog; 0 when owner is not a window, -1 when
    // the dialog could not be created (no template T::IDD).
    INT_PTR DoModal(HWND owner, LPARAM init = 0)
    {
        m_initParam = init;
        m_modal = true;
        CDialogImplA* self = this;
        return ::DialogBoxParamA(GetResourceInstance(), MAKEINTRESOURCEA(T::IDD), owner,
                                 StaticDialogProc, reinterpret_cast<LPARAM>(self));
    }
    // A modeless dialog, visible when its template says WS_VISIBLE; null
    // when it could not be created, the object then stays unbound.
    HWND Create(HWND owner, LPARAM init = 0)
    {
        m_initParam = init;
        m_modal = false;
        CDialogImplA* self = this;
        return ::CreateDialogParamA(GetResourceInstance(), MAKEINTRESOURCEA(T::IDD), owner,
                                    StaticDialogProc, reinterpret_cast<LPARAM>(self));
    }
    // A modal dialog ends once the current message is handled and DoModal
    // returns result; a modeless one is destroyed now and result is lost.
    BOOL EndDialog(INT_PTR result)
    {
        if (m_modal)
            return ::EndDialog(this->m_hWnd, result);
        return ::DestroyWindow(this->m_hWnd);
    }

protected:
    // The object's procedure, with the dialog procedure's contract: TRUE
    // when the message was handled (SetMsgResult then holds the result for
    // messages that have one), FALSE for the dialog manager's default. On
    // WM_INITDIALOG lParam is the init value the caller gave.
    virtual INT_PTR DialogProc(UINT /*message*/, WPARAM /*wParam*/, LPARAM /*lParam*/)
    {
        return FALSE;
    }
    // Called after WM_NCDESTROY, once the object is unbound.
    virtual void OnFinalMessage(HWND /*window*/) {}

    // The result of a handled message whose value is not the procedure's
    // return value (WM_NOTIFY answers and the like).
    void SetMsgResult(LRESULT result)
    {
        ::SetWindowLongPtrA(this->m_hWnd, DWLP_MSGRESULT, result);
    }

    LPARAM m_initParam = 0;  // the caller's init value; lParam carries the object

private:
    static INT_PTR CALLBACK StaticDialogProc(HWND window, UINT message, WPARAM wParam,
                                             LPARAM lParam)
    {
        CDialogImplA* self = BoundObject<CDialogImplA>(window);
        if (self == nullptr && message == WM_INITDIALOG) {
            self = reinterpret_cast<CDialogImplA*>(lParam);
            if (self != nullptr) {
                Bind(window, self);
                self->m_hWnd = window;
                lParam = self->m_initParam;
            }
        }
        if (self == nullptr)
            return FALSE;
        INT_PTR result = self->DialogProc(message, wParam, lParam);
        if (message == WM_NCDESTROY) {
            Unbind(window);
            self->m_hWnd = nullptr;
            self->OnFinalMessage(window);
        }
        return result;
    }

    bool m_modal = false;
};

}  // namespace korra
