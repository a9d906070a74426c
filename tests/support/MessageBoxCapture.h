// Lets a test see the message boxes the code under test shows, and closes
// them, so that no test ever waits for a person.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct CapturedMessageBox {
    HWND owner = nullptr;
    bool textGiven = false;     // a text pointer was passed at all
    bool captionGiven = false;  // a caption pointer was passed at all
    std::string text;           // as passed, in the ANSI code page
    std::string caption;
    UINT type = 0;
    WORD language = 0;
    std::string shownCaption;   // what the box on screen actually said
    std::string shownText;
    // A quit message was already waiting when the box was asked for: the
    // box's own message loop takes it and the box closes by itself at once.
    bool quitPending = false;
};

// While one exists, every MessageBoxExA this program calls is recorded,
// shown, and closed with its OK button as soon as it is on screen. Only one
// may exist at a time. Unshown, the boxes are only recorded and answered
// with IDOK at once (shownCaption and shownText stay empty): for tests that
// cause hundreds of them and check only what was asked for.
class MessageBoxCapture {
public:
    enum class Display { Shown, Unshown };
    explicit MessageBoxCapture(Display display = Display::Shown);
    ~MessageBoxCapture();
    MessageBoxCapture(const MessageBoxCapture&) = delete;
    MessageBoxCapture& operator=(const MessageBoxCapture&) = delete;

    const std::vector<CapturedMessageBox>& Boxes() const { return m_boxes; }
    void Clear() { m_boxes.clear(); }

private:
    static int WINAPI Replacement(HWND owner, LPCSTR text, LPCSTR caption, UINT type, WORD language);
    static LRESULT CALLBACK CloseWhenActive(int code, WPARAM wParam, LPARAM lParam);

    std::vector<CapturedMessageBox> m_boxes;
    void** m_slot = nullptr;      // our import-table entry for MessageBoxExA
    void* m_original = nullptr;
    Display m_display;
};
