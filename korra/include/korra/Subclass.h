// A control made by someone else (a dialog template, the system) whose
// messages an object sees first: CSubclassA binds the object to the control
// through the window property "this pointer", puts its own procedure in
// front and hands what WindowProc leaves to the control's own procedure.
// The control is given back its procedure and unbound on WM_NCDESTROY, or
// earlier by Unsubclass; the object must outlive neither.
#pragma once

#include "korra/Windowing.h"

namespace korra {

class CSubclassA : public CWindowingA {
public:
    CSubclassA() = default;
    CSubclassA(const CSubclassA&) = delete;
    CSubclassA& operator=(const CSubclassA&) = delete;
    ~CSubclassA() override { Unsubclass(); }

    // False when window is null or already bound to an object; the object
    // then stays unbound.
    bool Subclass(HWND window);
    // Gives the control its own procedure back; nothing when not bound.
    void Unsubclass();

protected:
    // What the object does not handle goes to CallOriginal, as here.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
    {
        return CallOriginal(message, wParam, lParam);
    }
    LRESULT CallOriginal(UINT message, WPARAM wParam, LPARAM lParam);

private:
    static LRESULT CALLBACK StaticWindowProc(HWND window, UINT message, WPARAM wParam,
                                             LPARAM lParam);

    WNDPROC m_original = nullptr;
};

}  // namespace korra
