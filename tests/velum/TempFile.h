// Scratch files for the writer and file tests, in the temporary folder.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#if defined(_WIN32)
#  include <windows.h>
#else
#  include <unistd.h>
#endif

// A path in the temporary folder, unique to this process (native and Wine
// runs may share a machine); whatever was there is removed.
inline std::string TempPath(const std::string& name)
{
#if defined(_WIN32)
    const unsigned long pid = GetCurrentProcessId();
#else
    const unsigned long pid = static_cast<unsigned long>(getpid());
#endif
    std::filesystem::path path = std::filesystem::temp_directory_path() /
                                 ("velum-" + std::to_string(pid) + "-" + name);
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
    return path.string();
}

// The whole file, or "" when it cannot be read.
inline std::string ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}
