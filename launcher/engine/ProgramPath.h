// Where the running program lies.
#pragma once

#include <string>

// The program's full path, however long; "" when the system will not say.
std::string GetProgramPath();

// The program's folder, ending in a backslash (found over double-byte
// characters); "" when the path is unknown.
std::string GetProgramFolder();
