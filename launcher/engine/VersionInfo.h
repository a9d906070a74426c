// The program's version, read from its version resource.
#pragma once

#include <windows.h>

#include <string>

// The fixed version record of modulePath, or of the program itself when it
// is null. False when the file has no version resource.
bool GetFixedFileInfo(const char* modulePath, VS_FIXEDFILEINFO* info);

// The display version ("2.22 Rev. 8", "3.05 Beta 2") copied into text when
// it is shorter than *size; *size then holds its length. Otherwise text gets
// "" and *size the length needed; false then, and without a version
// resource (with *size 0).
bool GetVersionText(const char* modulePath, char* text, unsigned* size);

// "major.minor.revision" of the product version with two-digit minor and
// revision ("2.22.08"); "" without a version resource.
std::string GetDottedVersion(const char* modulePath = nullptr);
