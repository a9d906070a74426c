// Raw access to the handles that openFile returns, for the reader and the
// writer. On Windows the handle is the Win32 file handle; natively it is the
// file descriptor plus one (see Files.cpp).
#pragma once

namespace Velum {

// Up to size bytes from the current position: the number read, 0 at the end
// of the file (a pipe whose writer has gone counts as ended), -1 on failure.
long readFile(void* file, unsigned char* buffer, unsigned long size);

// The current offset; false when the handle cannot tell (a pipe).
bool tellFile(void* file, unsigned long long* position);

// Moves to an absolute offset; false on failure.
bool seekFile(void* file, unsigned long long position);

// True for a file on a disk, whose position can be saved and restored;
// false for pipes, consoles and sockets, which are read where they stand.
bool isDiskFile(void* file);

}  // namespace Velum
