// How an object finds its window and a window its object: the window
// property "this pointer", set on the first creation message (WM_NCCREATE,
// WM_INITDIALOG for dialogs) and removed on the final one (WM_NCDESTROY).
#pragma once

#include <windows.h>

namespace korra {

inline constexpr char kThisProperty[] = "this pointer";

// The bound object, or null before binding and after unbinding.
template <class T>
T* BoundObject(HWND window)
{
    return static_cast<T*>(::GetPropA(window, kThisProperty));
}

inline bool Bind(HWND window, void* object)
{
    return ::SetPropA(window, kThisProperty, object) != FALSE;
}

inline void Unbind(HWND window)
{
    ::RemovePropA(window, kThisProperty);
}

// The module whose resources (dialog templates, menus, strings) the
// templates load; the program's own module unless set.
HINSTANCE GetResourceInstance();
void SetResourceInstance(HINSTANCE instance);

}  // namespace korra
