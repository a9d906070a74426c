// The message box of every error and notice.
#pragma once

#include <windows.h>

#include <cstdarg>

// The string-table entry id of instance, formatted printf-style with the
// values that follow (at most 511 bytes; longer text is cut), is split at
// its ESC into text and caption (at most 127 bytes); an entry without ESC
// gets the system's default caption, a missing entry a blank box. Returns
// the button MessageBoxExA reports.
int ShowResourceMessage(HINSTANCE instance, HWND owner, UINT id, UINT type, UINT language, ...);
int ShowResourceMessageV(HINSTANCE instance, HWND owner, UINT id, UINT type, UINT language,
                         va_list values);
