// Windows implemented by an object: CWindowImplA binds the object to its
// window on WM_NCCREATE, hands every message to the object's WindowProc and
// unbinds it on WM_NCDESTROY. What WindowProc leaves goes to DefWindowProc.
//
//   class CMyWnd : public korra::CWindowImplA<CMyWnd> {
//   public:
//       static const char* GetWndClassName() { return "My class"; }
//       LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
//   };
#pragma once

#include "korra/Binding.h"
#include "korra/Windowing.h"

namespace korra {

template <class T, class TBase = CWindowingA>
class CWindowImplA : public TBase {
public:
    CWindowImplA() = default;
    CWindowImplA(const CWindowImplA&) = delete;
    CWindowImplA& operator=(const CWindowImplA&) = delete;
    ~CWindowImplA() override
    {
        // A window outliving its object would call into freed memory.
        if (this->m_hWnd != nullptr && ::IsWindow(this->m_hWnd))
            ::DestroyWindow(this->m_hWnd);
    }

    // Registers the class named by T::GetWndClassName. A class that is
    // already registered counts as success.
    virtual bool RegisterWindowClass(HINSTANCE instance)
    {
        WNDCLASSEXA info = {};
        GetWndClassInfo(instance, &info);
        if (::RegisterClassExA(&info) != 0)
            return true;
        return ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    }

    // Null when the window could not be created; the object is then unbound.
    virtual HWND Create(HWND parent, const RECT& rect, const char* title, DWORD style,
                        DWORD exStyle = 0, HMENU menuOrId = nullptr, HINSTANCE instance = nullptr)
    {
        return Create(parent, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
                      title, style, exStyle, menuOrId, instance);
    }
    virtual HWND Create(HWND parent, int x, int y, int width, int height, const char* title,
                        DWORD style, DWORD exStyle = 0, HMENU menuOrId = nullptr,
                        HINSTANCE instance = nullptr)
    {
        if (instance == nullptr)
            instance = GetResourceInstance();
        CWindowImplA* self = this;
        return ::CreateWindowExA(exStyle, T::GetWndClassName(), title, style, x, y, width, height,
                                 parent, menuOrId, instance, self);
    }

    // The class as registered: its style, extra bytes, icons, cursor,
    // brush and menu. Derived windows change what they need.
    virtual void GetWndClassInfo(HINSTANCE instance, WNDCLASSEXA* info)
    {
        info->cbSize = sizeof(*info);
        info->style = 0;
        info->lpfnWndProc = StaticWindowProc;
        info->hInstance = instance;
        info->lpszClassName = T::GetWndClassName();
    }
    // Whether the class is registered in instance, with what it holds.
    virtual bool GetClassInfo(HINSTANCE instance, WNDCLASSEXA* info) const
    {
        info->cbSize = sizeof(*info);
        return ::GetClassInfoExA(instance, T::GetWndClassName(), info) != FALSE;
    }

protected:
    // The object's procedure; what it does not handle it passes on to
    // DefWindowProc, which the base does for everything.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
    {
        return DefWindowProc(message, wParam, lParam);
    }
    LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam)
    {
        return ::DefWindowProcA(this->m_hWnd, message, wParam, lParam);
    }
    // Called after WM_NCDESTROY, once the object is unbound.
    virtual void OnFinalMessage(HWND /*window*/) {}

    static LRESULT CALLBACK StaticWindowProc(HWND window, UINT message, WPARAM wParam,
                                             LPARAM lParam)
    {
        CWindowImplA* self = BoundObject<CWindowImplA>(window);
        if (self == nullptr && message == WM_NCCREATE) {
            self = static_cast<CWindowImplA*>(
                reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
            if (self != nullptr) {
                Bind(window, self);
                self->m_hWnd = window;
            }
        }
        if (self == nullptr)
            return ::DefWindowProcA(window, message, wParam, lParam);
        LRESULT result = self->WindowProc(message, wParam, lParam);
        if (message == WM_NCDESTROY) {
            Unbind(window);
            self->m_hWnd = nullptr;
            self->OnFinalMessage(window);
        }
        return result;
    }
};

}  // namespace korra
