// Drives the modal dialogs of this thread: each step waits, on a timer that
// every message loop of the thread dispatches (the dialogs' own, message
// boxes'), until an enabled, visible dialog holding its marker control is
// there, then acts on it. Steps post clicks and keys rather than send them,
// so that a dialog they open runs its loop after the step has returned.
// A script that stalls ends every dialog of the thread, so no test waits
// for a person.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

class DialogScript {
public:
    using Action = std::function<void(HWND dialog)>;

    // Starts the timer; at most one script at a time.
    explicit DialogScript(int stallMs = 8000);
    ~DialogScript();
    DialogScript(const DialogScript&) = delete;
    DialogScript& operator=(const DialogScript&) = delete;

    // Queues action for the first dialog with control marker.
    DialogScript& Then(int marker, Action action);
    // True when every step ran; otherwise Failure says which one stalled.
    bool Done() const { return m_next == m_steps.size() && m_failure.empty(); }
    const std::string& Failure() const { return m_failure; }

private:
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD);
    void RunDue();

    struct Step {
        int marker;
        Action action;
    };
    std::vector<Step> m_steps;
    std::size_t m_next = 0;
    UINT_PTR m_timer = 0;
    DWORD m_lastProgress = 0;
    int m_stallMs;
    bool m_running = false;
    std::string m_failure;
};

// A click on button id of dialog, as the button reports it.
void ClickButton(HWND dialog, int id);
// A key pressed and released on control; with alt, as a system key.
void PressKey(HWND control, WORD key, bool alt = false);
// What the shell hands a window when files are dropped on it: the paths in
// a drop handle, posted as WM_DROPFILES (the receiver frees it).
void DropFiles(HWND control, const std::vector<std::string>& paths);
std::string ItemText(HWND dialog, int id);
