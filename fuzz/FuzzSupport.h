// What both fuzz targets share: in-memory files that Velum opens by path,
// and the library's one-time set-up.
#pragma once

#include "velum/Velum.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fuzz {

// Open flags of Velum::openFile: an existing file, read or read-write.
const int OPEN_EXISTING_READ = 0x13;
const int OPEN_EXISTING_READ_WRITE = 0x33;

// A memfd that lives for the whole fuzzing process. Velum opens it through
// its /proc/self/fd name, which gives Velum a descriptor of its own to seek,
// cut and close, while this object keeps the file alive and reads it back.
// Any failure here is a broken environment, not a finding: abort loudly.
class MemoryFile {
public:
    explicit MemoryFile(const char* name)
    {
        m_fd = memfd_create(name, MFD_CLOEXEC);
        if (m_fd < 0) {
            perror("memfd_create");
            abort();
        }
        snprintf(m_path, sizeof m_path, "/proc/self/fd/%d", m_fd);
    }
    ~MemoryFile() { close(m_fd); }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;

    const char* path() const { return m_path; }

    void assign(const uint8_t* data, size_t size)
    {
        if (ftruncate(m_fd, 0) != 0) {
            perror("ftruncate");
            abort();
        }
        size_t done = 0;
        while (done < size) {
            const ssize_t n = pwrite(m_fd, data + done, size - done, static_cast<off_t>(done));
            if (n <= 0) {
                perror("pwrite");
                abort();
            }
            done += static_cast<size_t>(n);
        }
    }

    std::string contents() const
    {
        struct stat info;
        if (fstat(m_fd, &info) != 0) {
            perror("fstat");
            abort();
        }
        std::string bytes(static_cast<size_t>(info.st_size), '\0');
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = pread(m_fd, &bytes[done], bytes.size() - done, static_cast<off_t>(done));
            if (n <= 0) {
                perror("pread");
                abort();
            }
            done += static_cast<size_t>(n);
        }
        return bytes;
    }

    // A Velum handle on the file; the caller closes it with Velum::closeFile.
    void* open(int flags) const
    {
        void* file = Velum::openFile(m_path, flags);
        if (file == nullptr) {
            fprintf(stderr, "Velum::openFile(%s, 0x%x) failed\n", m_path, flags);
            abort();
        }
        return file;
    }

private:
    int m_fd;
    char m_path[40];
};

// The document in file, or an empty one. A VelumException from the tree (a
// processing instruction inside an element, which the tree refuses) is a
// documented way for parse to fail, so it counts as no document.
inline Velum::Document ParseOrNothing(void* file)
{
    try {
        return Velum::parse(file);
    } catch (const Velum::VelumException&) {
        return Velum::Document();
    }
}

// m_errorMessage as printable ASCII, other code units as \uXXXX.
inline std::string LastParseError()
{
    std::string text;
    const Velum::VelumString& message = Velum::m_errorMessage;
    const Velum::Velum_CHAR* chars = message;
    for (unsigned long i = 0; i < message.getLength(); ++i) {
        if (chars[i] >= 0x20 && chars[i] < 0x7F) {
            text += static_cast<char>(chars[i]);
        } else {
            char escape[8];
            snprintf(escape, sizeof escape, "\\u%04x", chars[i]);
            text += escape;
        }
    }
    return text;
}

// The launcher's sizes (16 items a list page, 31 buckets, strings grown
// 32 units at a time), or others from VELUM_FUZZ_SIZES="items,buckets,units"
// (such as "1,1,1": a page per node, one bucket, no room to grow), which
// put every page and growth boundary in reach of a few steps.
inline void InitializeVelum()
{
    unsigned long items = 16, buckets = 31, units = 32;
    const char* sizes = getenv("VELUM_FUZZ_SIZES");
    if (sizes != nullptr && *sizes != 0) {
        if (sscanf(sizes, "%lu,%lu,%lu", &items, &buckets, &units) != 3) {
            fprintf(stderr, "VELUM_FUZZ_SIZES must be items,buckets,units\n");
            abort();
        }
    }
    if (!Velum::initialize(items, buckets, units)) {
        fprintf(stderr, "Velum::initialize failed\n");
        abort();
    }
}

}  // namespace fuzz
