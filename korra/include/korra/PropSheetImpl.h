// Property sheets implemented by objects. A page is a member of its sheet:
//
//   class CGeneralPage : public korra::CPropSheetPageImplA<CGeneralPage> {
//   public:
//       enum { IDD = IDD_GENERAL };
//   protected:
//       INT_PTR DialogProc(UINT message, WPARAM wParam, LPARAM lParam) override;
//   };
//   class CSettingsSheet : public korra::CPropSheetImplA<CSettingsSheet> {
//   public:
//       CSettingsSheet() { AddPage(m_general); }
//   private:
//       CGeneralPage m_general;
//   };
//
// Both kinds are bound through the "this pointer" property: a page on its
// WM_INITDIALOG, the sheet when the sheet's callback reports it initialized
// (its window is then subclassed so that the object's WindowProc sees the
// sheet's messages). Each is unbound on its WM_NCDESTROY. A page that was
// never shown is never created and never bound.
#pragma once

#include "korra/Binding.h"
#include "korra/Windowing.h"

#include <commctrl.h>
#include <prsht.h>

#include <string>
#include <vector>

namespace korra {

namespace detail {
// The sheet PropertySheetA is creating on this thread: the sheet callback
// has no parameter of its own to find the object by. Taking it clears it.
void SetCreatingSheet(void* sheet);
void* TakeCreatingSheet();
}  // namespace detail

template <class T>
class CPropSheetPageImplA : public CWindowingA {
public:
    // title replaces the template's caption on the page's tab.
    explicit CPropSheetPageImplA(const char* title = nullptr)
    {
        m_psp.dwSize = sizeof(m_psp);
        m_psp.dwFlags = PSP_DEFAULT;
        m_psp.pszTemplate = MAKEINTRESOURCEA(T::IDD);
        m_psp.pfnDlgProc = StaticPageProc;
        CPropSheetPageImplA* self = this;
        m_psp.lParam = reinterpret_cast<LPARAM>(self);
        SetTitle(title);
    }
    // The page description points into the object: no copies, no moves.
    CPropSheetPageImplA(const CPropSheetPageImplA&) = delete;
    CPropSheetPageImplA& operator=(const CPropSheetPageImplA&) = delete;

    // Takes effect the next time the sheet is shown.
    void SetTitle(const char* title)
    {
        m_title = title != nullptr ? title : "";
        if (title != nullptr)
            m_psp.dwFlags |= PSP_USETITLE;
        else
            m_psp.dwFlags &= ~static_cast<DWORD>(PSP_USETITLE);
        m_psp.pszTitle = m_title.c_str();
    }
    // hInstance is left for the sheet to fill in.
    const PROPSHEETPAGEA& GetPropSheetPage() const { return m_psp; }

    // Enables or disables the sheet's Apply button on this page's account.
    void SetModified(bool changed = true)
    {
        ::SendMessageA(GetParent(), changed ? PSM_CHANGED : PSM_UNCHANGED,
                       reinterpret_cast<WPARAM>(m_hWnd), 0);
    }

protected:
    // Dialog procedure contract, as in CDialogImplA. On WM_INITDIALOG lParam
    // is the sheet's copy of the PROPSHEETPAGEA. Notifications (PSN_APPLY,
    // PSN_KILLACTIVE) answer through SetMsgResult and return TRUE.
    virtual INT_PTR DialogProc(UINT /*message*/, WPARAM /*wParam*/, LPARAM /*lParam*/)
    {
        return FALSE;
    }
    void SetMsgResult(LRESULT result) { ::SetWindowLongPtrA(m_hWnd, DWLP_MSGRESULT, result); }

private:
    static INT_PTR CALLBACK StaticPageProc(HWND window, UINT message, WPARAM wParam,
                                           LPARAM lParam)
    {
        CPropSheetPageImplA* self = BoundObject<CPropSheetPageImplA>(window);
        if (self == nullptr && message == WM_INITDIALOG) {
            const auto* page = reinterpret_cast<const PROPSHEETPAGEA*>(lParam);
            self = reinterpret_cast<CPropSheetPageImplA*>(page->lParam);
            if (self != nullptr) {
                Bind(window, self);
                self->m_hWnd = window;
            }
        }
        if (self == nullptr)
            return FALSE;
        INT_PTR result = self->DialogProc(message, wParam, lParam);
        if (message == WM_NCDESTROY) {
            Unbind(window);
            self->m_hWnd = nullptr;
        }
        return result;
    }

    PROPSHEETPAGEA m_psp = {};
    std::string m_title;  // m_psp.pszTitle points here
};

template <class T>
class CPropSheetImplA : public CWindowingA {
public:
    explicit CPropSheetImplA(const char* caption = nullptr, UINT startPage = 0)
        : m_caption(caption != nullptr ? caption : ""), m_startPage(startPage)
    {
    }
    CPropSheetImplA(const CPropSheetImplA&) = delete;
    CPropSheetImplA& operator=(const CPropSheetImplA&) = delete;

    // The page must outlive every DoModal; pages show in the order added.
    template <class TPage>
    void AddPage(CPropSheetPageImplA<TPage>& page)
    {
        m_descriptions.push_back(&page.GetPropSheetPage());
    }
    int GetPageCount() const { return static_cast<int>(m_descriptions.size()); }

    void SetTitle(const char* caption)
    {
        m_caption = caption != nullptr ? caption : "";
        if (m_hWnd != nullptr)
            SendMessage(PSM_SETTITLEA, 0, reinterpret_cast<LPARAM>(m_caption.c_str()));
    }
    // The page shown first; on a sheet that is up, the page shown now.
    void SetActivePage(UINT index)
    {
        m_startPage = index;
        if (m_hWnd != nullptr)
            SendMessage(PSM_SETCURSEL, index, 0);
    }

    // Large and small icon of the caption; the sheet does not own them.
    void SetIcons(HICON large, HICON small)
    {
        m_largeIcon = large;
        m_smallIcon = small;
    }

    // Positive when OK or Apply was pressed after a page reported changes,
    // 0 when the sheet was cancelled or nothing changed, -1 when it could
    // not be created (no pages, a missing template).
    INT_PTR DoModal(HWND owner) { return Run(owner, 0); }

    // The sheet without its own message loop (tests, tools): the caller's
    // loop must hand messages to IsSheetMessage, and destroy the window
    // once IsEnded says OK or Cancel closed it. Null when it could not be
    // created.
    HWND Create(HWND owner) { return reinterpret_cast<HWND>(Run(owner, PSH_MODELESS)); }
    bool IsSheetMessage(MSG* message)
    {
        return m_hWnd != nullptr &&
               SendMessage(PSM_ISDIALOGMESSAGE, 0, reinterpret_cast<LPARAM>(message)) != 0;
    }
    // True once a modeless sheet was closed by its buttons.
    bool IsEnded() const { return m_hWnd != nullptr && SendMessage(PSM_GETCURRENTPAGEHWND) == 0; }

private:
    INT_PTR Run(HWND owner, DWORD extraFlags)
    {
        // The sheet copies the descriptions; the copies need to lie side
        // by side, which the pages, being members, do not.
        std::vector<PROPSHEETPAGEA> pages;
        pages.reserve(m_descriptions.size());
        for (const PROPSHEETPAGEA* description : m_descriptions) {
            pages.push_back(*description);
            pages.back().hInstance = GetResourceInstance();
        }
        PROPSHEETHEADERA header = {};
        header.dwSize = sizeof(header);
        header.dwFlags = PSH_PROPSHEETPAGE | PSH_USECALLBACK | m_flags | extraFlags;
        if (m_largeIcon != nullptr) {
            header.dwFlags |= PSH_USEHICON;
            header.hIcon = m_largeIcon;
        }
        header.hwndParent = owner;
        header.hInstance = GetResourceInstance();
        header.pszCaption = m_caption.c_str();
        header.nPages = static_cast<UINT>(pages.size());
        header.nStartPage = m_startPage;
        header.ppsp = pages.data();
        header.pfnCallback = StaticSheetCallback;

        CPropSheetImplA* self = this;
        detail::SetCreatingSheet(self);
        INT_PTR result = ::PropertySheetA(&header);
        // Still set when the sheet failed before its callback ran.
        detail::TakeCreatingSheet();
        return result;
    }

protected:
    // Called once the sheet's window exists, is bound and has its size,
    // before it is shown.
    virtual void OnSheetInitialized() {}

    // The sheet's messages; what the object leaves goes to the sheet's own
    // procedure.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
    {
        return DefWindowProc(message, wParam, lParam);
    }
    LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam)
    {
        return ::CallWindowProcA(m_originalProc, m_hWnd, message, wParam, lParam);
    }

    DWORD m_flags = 0;  // PSH_NOAPPLYNOW, PSH_NOCONTEXTHELP and the like

private:
    static int CALLBACK StaticSheetCallback(HWND window, UINT message, LPARAM /*lParam*/)
    {
        if (message != PSCB_INITIALIZED)
            return 0;
        auto* self = static_cast<CPropSheetImplA*>(detail::TakeCreatingSheet());
        if (self == nullptr)
            return 0;
        Bind(window, self);
        self->m_hWnd = window;
        self->m_originalProc = reinterpret_cast<WNDPROC>(::SetWindowLongPtrA(
            window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(StaticSheetProc)));
        // Some sheets set only one of the two from the header.
        if (self->m_largeIcon != nullptr)
            ::SendMessageA(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(self->m_largeIcon));
        if (self->m_smallIcon != nullptr)
            ::SendMessageA(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(self->m_smallIcon));
        self->OnSheetInitialized();
        return 0;
    }

    static LRESULT CALLBACK StaticSheetProc(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam)
    {
        // Installed together with the binding and removed with it, so the
        // object is always there.
        CPropSheetImplA* self = BoundObject<CPropSheetImplA>(window);
        LRESULT result = self->WindowProc(message, wParam, lParam);
        if (message == WM_NCDESTROY) {
            ::SetWindowLongPtrA(window, GWLP_WNDPROC,
                                reinterpret_cast<LONG_PTR>(self->m_originalProc));
            Unbind(window);
            self->m_hWnd = nullptr;
            self->m_originalProc = nullptr;
        }
        return result;
    }

    std::string m_caption;
    UINT m_startPage;
    std::vector<const PROPSHEETPAGEA*> m_descriptions;  // inside the pages, members of T
    WNDPROC m_originalProc = nullptr;
    HICON m_largeIcon = nullptr;  // not owned
    HICON m_smallIcon = nullptr;  // not owned
};

}  // namespace korra
