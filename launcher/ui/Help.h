// The help file beside the program and the pop-up help of the dialogs'
// controls, both through HTML Help (hhctrl.ocx, loaded on the first request).
#pragma once

#include <windows.h>

#include <string>

// The program's path with its extension replaced by "chm"; "" when the
// program's path is unknown or has no extension.
std::string GetHelpFilePath();

// Opens the help file at its table of contents. HTML Help itself tells the
// user when the file is missing.
void ShowHelpContents(HWND owner);

// WM_HELP in a dialog: a pop-up with the string-table text whose id is the
// control's id, at the control's top-left corner moved 20 pixels down. A
// control without such a text (a label, OK) shows nothing; a request that is
// not about a control of dialog (a menu, the dialog itself) opens the
// contents.
void ShowContextHelp(HWND dialog, const HELPINFO* info);

// Where the help requests go: HtmlHelpA of hhctrl.ocx unless a test put its
// recorder here. Returns the one set before; null restores hhctrl.ocx.
using HtmlHelpProcA = HWND(WINAPI*)(HWND owner, LPCSTR file, UINT command, DWORD_PTR data);
HtmlHelpProcA SetHtmlHelpProc(HtmlHelpProcA proc);
