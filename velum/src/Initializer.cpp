// The library's one-time set-up, its process-wide state and its version.
#include "velum/Velum.h"
#include "ErrorMessage.h"
#include "Pool.h"

#include <mutex>

#if defined(_WIN32)
#  include <windows.h>
#endif

namespace Velum {

// ---------------------------------------------------------------------------
// Process-wide state
// ---------------------------------------------------------------------------

bool Initializer::m_initialized = false;

// The sizes start at the values the launcher passes, not at 0: they are
// divisors, and a string or list built before initialize (a global handle
// in a caller, say) must not divide by zero. initialize replaces them.
unsigned long Initializer::ITEMS_PAR_UNIT = 16;
unsigned long Initializer::TABLE_SIZE = 31;
unsigned long Initializer::PAGE_SIZE = 32;

VelumString m_errorMessage;

namespace {

std::mutex errorMessageLock;

#if defined(_WIN32)
bool DetectNtFamily()
{
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof(info);
    // A system that cannot say is a current one, and every current system
    // is of the NT family; the locking code copes with a missing
    // LockFileEx anyway.
    if (!GetVersionExA(&info))
        return true;
    return info.dwPlatformId == VER_PLATFORM_WIN32_NT;
}
#else
bool DetectNtFamily()
{
    return true;
}
#endif

}  // namespace

// Read by the file functions to choose between the Ex locking calls and the
// old whole-range ones. Set while the library is being loaded, before any
// caller can reach them.
bool g_ntFamily = DetectNtFamily();

void SetErrorMessage(const VelumString& text)
{
    // The message gets a body of its own, and the temporary that carries
    // it lets go while the lock is held: sharing text's body would leave the
    // caller's handle counting it on this thread while another failed parse
    // releases it on a second one.
    // It outlives the parse that failed, so it stays out of that parse's
    // arena (where it would keep a whole chunk of the freed tree).
    PoolArenaPause outsideTheTree;
    std::lock_guard<std::mutex> hold(errorMessageLock);
    m_errorMessage = VelumString(static_cast<const Velum_CHAR*>(text));
}

// ---------------------------------------------------------------------------
// Set-up
// ---------------------------------------------------------------------------

bool Initializer::initialize(unsigned long itemsPerUnit, unsigned long tableSize, unsigned long pageSize)
{
    // A refused call changes nothing, so the first successful set-up stays.
    if (itemsPerUnit == 0 || tableSize == 0 || pageSize == 0 || m_initialized)
        return false;
    SetErrorMessage(VelumString());
    ITEMS_PAR_UNIT = itemsPerUnit;
    TABLE_SIZE = tableSize;
    PAGE_SIZE = pageSize;
    m_initialized = true;
    return true;
}

bool initialize(unsigned long itemsPerUnit, unsigned long tableSize, unsigned long pageSize)
{
    return Initializer::initialize(itemsPerUnit, tableSize, pageSize);
}

unsigned long GetDllVersion()
{
    return 0x01010106;
}

}  // namespace Velum
