// Track bars ("sliders").
#pragma once

#include "korra/Windowing.h"

#include <commctrl.h>

namespace korra {

class CTrackBarCtrlA : public CWindowingA {
public:
    explicit CTrackBarCtrlA(HWND window = nullptr) : CWindowingA(window) {}

    void SetRange(int minimum, int maximum, bool redraw = true)
    {
        SendMessage(TBM_SETRANGEMIN, FALSE, minimum);
        SendMessage(TBM_SETRANGEMAX, redraw ? TRUE : FALSE, maximum);
    }
    int GetRangeMin() const { return static_cast<int>(SendMessage(TBM_GETRANGEMIN)); }
    int GetRangeMax() const { return static_cast<int>(SendMessage(TBM_GETRANGEMAX)); }
    int GetPos() const { return static_cast<int>(SendMessage(TBM_GETPOS)); }
    // Sends no notification: the caller applies the value itself.
    void SetPos(int position, bool redraw = true)
    {
        SendMessage(TBM_SETPOS, redraw ? TRUE : FALSE, position);
    }
    void SetPageSize(int size) { SendMessage(TBM_SETPAGESIZE, 0, size); }
};

}  // namespace korra
