#include "ResourceMessage.h"

#include "TextRoutines.h"

#include <cstdio>
#include <string>

namespace {

constexpr int kEntrySize = 512;        // string-table entry and formatted text
constexpr std::size_t kCaptionLimit = 127;
constexpr char kCaptionSeparator = '\x1B';

}  // namespace

int ShowResourceMessageV(HINSTANCE instance, HWND owner, UINT id, UINT type, UINT language,
                         va_list values)
{
    char entry[kEntrySize] = {};
    if (LoadStringA(instance, id, entry, kEntrySize) <= 0)
        return MessageBoxExA(owner, nullptr, nullptr, type, static_cast<WORD>(language));

    char formatted[kEntrySize] = {};
    std::vsnprintf(formatted, sizeof formatted, entry, values);
    // A cut through the middle of a double-byte character would leave half
    // of it on screen.
    formatted[CharacterSafeLength(formatted, kEntrySize - 1)] = '\0';

    const int separator = FindChar(formatted, kCaptionSeparator, 0);
    if (separator < 0)
        return MessageBoxExA(owner, formatted, nullptr, type, static_cast<WORD>(language));

    formatted[separator] = '\0';
    const char* captionStart = formatted + separator + 1;
    const std::string caption(captionStart, CharacterSafeLength(captionStart, kCaptionLimit));
    return MessageBoxExA(owner, formatted, caption.c_str(), type, static_cast<WORD>(language));
}

int ShowResourceMessage(HINSTANCE instance, HWND owner, UINT id, UINT type, UINT language, ...)
{
    va_list values;
    va_start(values, language);
    const int result = ShowResourceMessageV(instance, owner, id, type, language, values);
    va_end(values);
    return result;
}
