// The launcher's life: one instance per log-on, set-up, the message loop and
// shut-down.
#pragma once

#include <windows.h>

// Mutex, and class and title of the input window, by which a second start
// finds the first.
constexpr char kInstanceName[] = "Pellor by Qel";

// True when an argument is exactly "/startup" or "-startup" (the program
// path included): the window then starts hidden.
bool HasStartupSwitch(int argc, char** argv);

// Runs the launcher and returns the process exit code (0 also when another
// instance was brought forward or start-up failed with a message).
int RunLauncher(HINSTANCE instance, int argc, char** argv);
