#include "MessageBoxCapture.h"

#include "ImportSlot.h"

#include <cstring>
#include <stdexcept>

namespace {

MessageBoxCapture* current = nullptr;
CapturedMessageBox* showing = nullptr;  // the box being shown right now

std::string WindowText(HWND window)
{
    char buffer[2048] = {};
    GetWindowTextA(window, buffer, sizeof buffer);
    return buffer;
}

}  // namespace

MessageBoxCapture::MessageBoxCapture(Display display) : m_display(display)
{
    if (current != nullptr)
        throw std::logic_error("one MessageBoxCapture at a time");
    m_slot = FindImportSlot("user32.dll", "MessageBoxExA");
    if (m_slot == nullptr)
        throw std::runtime_error("this program does not import MessageBoxExA");
    m_original = *m_slot;
    WriteImportSlot(m_slot, reinterpret_cast<void*>(&Replacement));
    current = this;
}

MessageBoxCapture::~MessageBoxCapture()
{
    WriteImportSlot(m_slot, m_original);
    current = nullptr;
}

int WINAPI MessageBoxCapture::Replacement(HWND owner, LPCSTR text, LPCSTR caption, UINT type,
                                          WORD language)
{
    CapturedMessageBox box;
    box.owner = owner;
    box.textGiven = text != nullptr;
    box.captionGiven = caption != nullptr;
    box.text = text ? text : "";
    box.caption = caption ? caption : "";
    box.type = type;
    box.language = language;
    MSG quit;
    box.quitPending = PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE) != FALSE;
    if (current->m_display == Display::Unshown) {
        current->m_boxes.push_back(box);
        return IDOK;
    }

    // Show the real box; the hook reads what it says and presses OK.
    HHOOK hook = SetWindowsHookExA(WH_CBT, &CloseWhenActive, nullptr, GetCurrentThreadId());
    showing = &box;
    using Original = int(WINAPI*)(HWND, LPCSTR, LPCSTR, UINT, WORD);
    const int result = reinterpret_cast<Original>(current->m_original)(owner, text, caption, type, language);
    showing = nullptr;
    UnhookWindowsHookEx(hook);

    current->m_boxes.push_back(box);
    return result;
}

LRESULT CALLBACK MessageBoxCapture::CloseWhenActive(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_ACTIVATE && showing != nullptr) {
        HWND box = reinterpret_cast<HWND>(wParam);
        char className[64] = {};
        GetClassNameA(box, className, sizeof className);
        // The owner, a dialog too, is activated again while the box goes:
        // only the box itself is read and pressed, once.
        if (std::strcmp(className, "#32770") == 0 && box != showing->owner &&
            showing->shownCaption.empty() && GetDlgItem(box, 0xFFFF) != nullptr) {
            showing->shownCaption = WindowText(box);
            // The static text of a message box has the identifier 0xFFFF.
            showing->shownText = WindowText(GetDlgItem(box, 0xFFFF));
            PostMessageA(box, WM_COMMAND, IDOK, 0);
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
