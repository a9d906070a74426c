// The directories of a search path (PATH), for finding a program named
// without a folder.
#pragma once

#include <string>
#include <vector>

// Each directory of pathList (split at ';', stepping over double-byte
// characters, empty pieces skipped) followed by program, with a backslash
// between them unless the directory already ends in one (a double-byte
// character whose second byte is 0x5C is no backslash). In the order of the
// list; empty when it names no directory.
std::vector<std::string> ProgramPathCandidates(const std::string& pathList, const std::string& program);
