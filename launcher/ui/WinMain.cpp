#include "StartUp.h"

#include <cstdlib>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    return RunLauncher(instance, __argc, __argv);
}
