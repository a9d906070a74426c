// The platform's colour and font choosers, each one modal call.
#pragma once

#include <windows.h>

#include <commdlg.h>

namespace korra {

// ChooseColorA with the full dialog open, starting at the colour given.
// The 16 custom colours live in the object, so they are kept between runs
// for as long as the object lives (never saved).
class CColorChooserA {
public:
    CColorChooserA();

    // True and *color set when the user pressed OK; false (and *color
    // unchanged) on Cancel or when the dialog could not be shown.
    bool Choose(HWND owner, COLORREF* color);

    const COLORREF* GetCustomColors() const { return m_custom; }

private:
    COLORREF m_custom[16];
};

// ChooseFontA over screen fonts with effects, without vertical fonts, and
// without the colour list (the colour has buttons of its own): a hook hides
// the list and its label.
class CFontChooserA {
public:
    // True and *font set (face, height, weight, effects, charset) and
    // *pointTenths to the chosen size in tenths of a point when the user
    // pressed OK; false and nothing changed otherwise.
    static bool Choose(HWND owner, LOGFONTA* font, int* pointTenths);
};

}  // namespace korra
