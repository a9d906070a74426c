// Watches the text of the launcher's input box from another process, for
// the end-to-end tests that type with real keys and must know when each
// key has arrived.
//
//   boxwatch SECONDS
//
// Waits for the visible window titled "Pellor by Qel", then reads its box
// (the window's first child) every few milliseconds and prints one line per
// change: the Unix time in milliseconds, a space, the text. It ends after
// SECONDS, or with 1 when the window goes away or never came, 2 on bad use.
// The lines are flushed one by one, so a script can follow them as they come.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

long long UnixMs()
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    const unsigned long long ticks =
        (static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    // 100 ns ticks since 1601; 11644473600 s lie between 1601 and 1970.
    return static_cast<long long>(ticks / 10000) - 11644473600000LL;
}

// The box's text, or false when the box does not answer within a second
// (the window is gone, or its thread is stuck: either way the watch ends).
bool ReadBox(HWND box, std::string* text)
{
    char buffer[1024] = {};
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutA(box, WM_GETTEXT, sizeof buffer, reinterpret_cast<LPARAM>(buffer),
                             SMTO_ABORTIFHUNG, 1000, &copied))
        return false;
    text->assign(buffer, copied < sizeof buffer ? copied : sizeof buffer - 1);
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2)
        return 2;
    const long long end = UnixMs() + std::atoll(argv[1]) * 1000;
    HWND window = nullptr;
    while (UnixMs() < end) {
        window = FindWindowA(nullptr, "Pellor by Qel");
        if (window != nullptr && IsWindowVisible(window))
            break;
        window = nullptr;
        Sleep(20);
    }
    HWND box = window != nullptr ? GetWindow(window, GW_CHILD) : nullptr;
    if (box == nullptr)
        return 1;
    std::printf("%lld watching\n", UnixMs());
    std::fflush(stdout);
    std::string last;
    bool first = true;
    while (UnixMs() < end) {
        std::string text;
        if (!ReadBox(box, &text))
            return 1;
        if (first || text != last) {
            std::printf("%lld %s\n", UnixMs(), text.c_str());
            std::fflush(stdout);
            last = text;
            first = false;
        }
        Sleep(5);
    }
    return 0;
}
