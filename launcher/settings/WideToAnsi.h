// UTF-16 text as bytes of an ANSI or OEM code page, as WideCharToMultiByte
// with no flags and the code page's default character makes it, without a
// system call per text.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

// wide (units code units) as codePage bytes into ansi, replacing what ansi
// held: "" for no units or for a text the system converts to nothing.
// Texts of single- and double-byte code pages go through a table of every
// code unit's bytes, made by one system call the first time such a code
// page is asked for; other code pages (UTF-8, UTF-7) and texts holding
// surrogates are handed to the system call whole.
void WideToAnsi(UINT codePage, const wchar_t* wide, std::size_t units, std::string& ansi);

// How many of wide's units come before its first null unit (units when
// there is none).
std::size_t UnitsBeforeNull(const wchar_t* wide, std::size_t units);
