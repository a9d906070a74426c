// A web page in a dialog of its own, shown by the embedded web-browser
// control.
#pragma once

#include <windows.h>

// Runs dialog templateId of instance modally over owner and shows url in
// it. 0: the user closed it (Esc, close box). 1: no browser could be
// embedded (the control, or the HTML engine it needs, is missing); the
// dialog never showed. 2: flags other than 0, nothing was done. -1: the
// dialog could not be made. The caller opens url elsewhere for anything
// but 0. The icons stay the caller's; without them the dialog gets a
// modal frame instead.
int ShowWebDialog(HINSTANCE instance, int templateId, HWND owner, UINT flags, const char* url,
                  HICON smallIcon, HICON largeIcon);

// Whether a page can be shown at all: by default, whether the HTML engine
// loads. Tests replace it to run the dialog where the engine is switched
// off; null restores the default.
using HtmlEngineCheck = bool (*)();
void SetHtmlEngineCheck(HtmlEngineCheck check);
