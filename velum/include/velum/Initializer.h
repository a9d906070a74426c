// The library's one-time set-up and its process-wide state.
#pragma once

#include "velum/VelumString.h"

namespace Velum {

class VELUM_API Initializer {
public:
    // Stores the three sizes (none may be 0) and clears m_errorMessage.
    // False for a zero size or when already initialized.
    static bool initialize(unsigned long itemsPerUnit, unsigned long tableSize, unsigned long pageSize);
    static bool initialized() { return m_initialized; }

    static bool m_initialized;
    static unsigned long ITEMS_PAR_UNIT;  // node pointers per child-list page
    static unsigned long TABLE_SIZE;      // buckets per attribute map
    static unsigned long PAGE_SIZE;       // string granule, in code units
};

VELUM_API bool initialize(unsigned long itemsPerUnit, unsigned long tableSize, unsigned long pageSize);

// The message of the last failed parse; cleared by initialize only.
extern VELUM_API VelumString m_errorMessage;

// 0x01010106: version 1.1.1.6, one byte per component.
VELUM_API unsigned long GetDllVersion();

}  // namespace Velum
