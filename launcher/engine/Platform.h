// The few Win32 calls that the portable engine code (text routines, tokenizer,
// macro expander) makes. On Windows they are the real ones. The native Linux
// build exists so that this code can run under the sanitizers; there they are
// answered the way code page 932 answers them.
#pragma once

#ifdef _WIN32
#include <windows.h>
#else
#include <cstdint>

typedef int BOOL;
typedef unsigned char BYTE;
typedef std::uint32_t DWORD;
typedef unsigned int UINT;

#ifndef MAX_PATH
#define MAX_PATH 260
#endif
#define WINAPI

BOOL IsDBCSLeadByte(BYTE b);
void SetLastError(DWORD code);
DWORD GetLastError();
UINT GetSystemDirectoryA(char* buffer, UINT size);
UINT GetWindowsDirectoryA(char* buffer, UINT size);
#endif
