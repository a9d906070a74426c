#include "DialogScript.h"

#include <shlobj.h>

#include <cstring>
#include <stdexcept>

namespace {

DialogScript* g_script = nullptr;

struct Search {
    int marker;
    HWND found;
};

BOOL CALLBACK FindDialog(HWND window, LPARAM data)
{
    auto* search = reinterpret_cast<Search*>(data);
    char className[16] = {};
    GetClassNameA(window, className, sizeof className);
    if (std::strcmp(className, "#32770") == 0 && IsWindowVisible(window) && IsWindowEnabled(window) &&
        GetDlgItem(window, search->marker) != nullptr) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK EndEveryDialog(HWND window, LPARAM)
{
    char className[16] = {};
    GetClassNameA(window, className, sizeof className);
    if (std::strcmp(className, "#32770") == 0)
        EndDialog(window, IDABORT);
    return TRUE;
}

}  // namespace

DialogScript::DialogScript(int stallMs) : m_stallMs(stallMs)
{
    if (g_script != nullptr)
        throw std::logic_error("one DialogScript at a time");
    g_script = this;
    m_lastProgress = GetTickCount();
    m_timer = SetTimer(nullptr, 0, 20, &Tick);
}

DialogScript::~DialogScript()
{
    KillTimer(nullptr, m_timer);
    g_script = nullptr;
}

DialogScript& DialogScript::Then(int marker, Action action)
{
    m_steps.push_back({marker, std::move(action)});
    return *this;
}

void CALLBACK DialogScript::Tick(HWND, UINT, UINT_PTR, DWORD)
{
    if (g_script != nullptr)
        g_script->RunDue();
}

void DialogScript::RunDue()
{
    if (m_running)
        return;
    const bool stalled = GetTickCount() - m_lastProgress > static_cast<DWORD>(m_stallMs);
    if (m_next >= m_steps.size()) {
        // Every step ran, yet a dialog is still open long after: end it,
        // or the test would wait for a person.
        if (stalled && m_failure.empty()) {
            m_failure = "a dialog stayed open after the last step";
            EnumThreadWindows(GetCurrentThreadId(), &EndEveryDialog, 0);
        }
        return;
    }
    Search search = {m_steps[m_next].marker, nullptr};
    EnumThreadWindows(GetCurrentThreadId(), &FindDialog, reinterpret_cast<LPARAM>(&search));
    if (search.found == nullptr) {
        if (stalled) {
            m_failure = "step " + std::to_string(m_next) + " found no dialog with control " +
                        std::to_string(m_steps[m_next].marker);
            m_next = m_steps.size();
            EnumThreadWindows(GetCurrentThreadId(), &EndEveryDialog, 0);
        }
        return;
    }
    m_running = true;
    Action action = m_steps[m_next].action;
    ++m_next;
    action(search.found);
    m_running = false;
    m_lastProgress = GetTickCount();
}

void ClickButton(HWND dialog, int id)
{
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

void PressKey(HWND control, WORD key, bool alt)
{
    const LPARAM context = alt ? (1 << 29) : 0;
    PostMessageA(control, alt ? WM_SYSKEYDOWN : WM_KEYDOWN, key, 1 | context);
    PostMessageA(control, alt ? WM_SYSKEYUP : WM_KEYUP, key, 0xC0000001 | context);
}

void DropFiles(HWND control, const std::vector<std::string>& paths)
{
    std::size_t bytes = sizeof(DROPFILES) + 1;
    for (const std::string& path : paths)
        bytes += path.size() + 1;
    HGLOBAL memory = GlobalAlloc(GHND, bytes);
    auto* header = static_cast<DROPFILES*>(GlobalLock(memory));
    header->pFiles = sizeof(DROPFILES);
    header->fWide = FALSE;
    char* list = reinterpret_cast<char*>(header + 1);
    for (const std::string& path : paths) {
        std::memcpy(list, path.c_str(), path.size() + 1);
        list += path.size() + 1;
    }
    GlobalUnlock(memory);
    PostMessageA(control, WM_DROPFILES, reinterpret_cast<WPARAM>(memory), 0);
}

std::string ItemText(HWND dialog, int id)
{
    HWND item = GetDlgItem(dialog, id);
    std::string text(static_cast<std::size_t>(GetWindowTextLengthA(item)) * 2 + 2, '\0');
    text.resize(static_cast<std::size_t>(GetWindowTextA(item, &text[0], static_cast<int>(text.size()))));
    return text;
}
