// Starting one command line, and finding the icon of its program.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>

// Environment references ("%WINDIR%") in text expanded by Windows into
// *expanded; false, with *expanded untouched, when Windows refuses, or when
// the text or its expansion is longer than one environment string can be
// (32766 UTF-16 units): the result is never cut. Text without "%" is given
// back as it is, whatever its length.
bool TryExpandEnvironment(const char* text, std::string* expanded);
// The same, giving the text unchanged when Windows refuses.
std::string ExpandEnvironment(const char* text);

// Starts line after expanding its environment references: CreateProcessA when
// its program ends in ".exe" (any letter case), ShellExecuteExA otherwise, so
// that a document, folder or URL opens with its associated program. Shows
// nothing. Nonzero when started; 0 when not, or when the line is blank.
BOOL RunCommandLine(const char* line);

// What RunCommandLine hands a line to once it is expanded and trimmed: text
// is never blank, exe tells whether its program ends in ".exe"; the result
// is RunCommandLine's. The default starts it for real (CreateProcessA or
// ShellExecuteExA). Tests put a recorder here to dispatch thousands of lines
// without starting a program; null brings the real one back.
using CommandLineStarter = BOOL (*)(const std::string& text, bool exe);
void SetCommandLineStarter(CommandLineStarter starter);

// Index of program's icon in the system image list, trying program as
// written and then in each directory of PATH; -1 when none yields an icon.
// *imageList, when given, gets the system image list of the last call.
int FindProgramIcon(const std::string& program, bool smallIcon, bool selected,
                    HIMAGELIST* imageList);
