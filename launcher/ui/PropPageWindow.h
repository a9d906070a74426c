// The Window page of the settings sheet: place, size, colours, font and
// transparency of the input window, shown live on it while the sheet is
// open. The input window applies the record again when the sheet closes,
// which undoes whatever was previewed and not applied.
#pragma once

#include "Settings.h"
#include "resource.h"

#include "korra/ChooseDialogs.h"
#include "korra/PropSheetImpl.h"

class CPropPageWindow : public korra::CPropSheetPageImplA<CPropPageWindow> {
public:
    enum { IDD = IDD_PROPPAGE_WINDOW };
    static constexpr UINT_PTR kGlideTimer = 1;
    static constexpr UINT kGlideMs = 10;

    explicit CPropPageWindow(CSettings* settings);
    ~CPropPageWindow() override;

    // The input window and its box, which show the preview; either may be
    // null (nothing is previewed there then).
    void SetTargets(HWND mainWindow, HWND inputBox)
    {
        m_mainWindow = mainWindow;
        m_inputBox = inputBox;
    }
    const WindowInfo& GetWorkingInfo() const { return m_info; }

    // One step of the pointer's glide from current towards target: 4/5 of
    // the way on the NT family, 2/5 elsewhere, at least one pixel, never
    // past the target.
    static POINT GlideStep(POINT current, POINT target, bool nt);

protected:
    INT_PTR DialogProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    // Grips: idle, pointer gliding to the window's corner, dragging, and
    // gliding back to the grip before the mouse is released.
    enum class GripState { Idle, GlidingOut, Dragging, GlidingBack };

    void OnInitDialog();
    void OnFieldChanged(int id);
    void OnXChanged(const RECT& area);
    void OnYChanged(const RECT& area);
    void OnCxChanged(const RECT& area);
    void OnCyChanged(const RECT& area);
    void SetField(int id, long value);
    void MoveTarget();
    void ChooseColor(bool background);
    void ChooseFont();
    void OnTransparency(WORD code, WORD position);
    void ShowFormat();
    void UpdateModified();

    bool OnButtonDown(POINT client);
    void OnMouseMove();
    void OnButtonUp();
    void OnGlideTimer();
    void EndGrip();

    CSettings* m_settings;  // owned by the entry point
    WindowInfo m_info;
    HWND m_mainWindow = nullptr;  // the input window; not owned
    HWND m_inputBox = nullptr;    // its box; not owned
    bool m_initializing = false;  // fields being filled: their changes are ours
    bool m_nt;
    korra::CColorChooserA m_colors;  // keeps the custom colours for the run

    GripState m_gripState = GripState::Idle;
    int m_grip = 0;          // IDC_WINDOW_MOVE_GRIP or IDC_WINDOW_SIZE_GRIP while held
    POINT m_target = {};     // where the glide goes, screen pixels
    HBITMAP m_heldPicture = nullptr;  // owned; shown by the grip while it is held
    HBITMAP m_gripPicture = nullptr;  // the grip's own picture, owned by the control
};
