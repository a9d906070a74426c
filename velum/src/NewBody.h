// Allocation of the library's bodies: a new body with count 0, or
// VelumException OUT_OF_MEMORY_ERR instead of std::bad_alloc, which must not
// cross the library's interface.
#pragma once

#include "velum/VelumString.h"

#include <new>

namespace Velum {

template <typename T, typename... Args>
T* NewBody(Args&&... args)
{
    T* body = new (std::nothrow) T(static_cast<Args&&>(args)...);
    if (body == nullptr)
        throw VelumException(VelumException::OUT_OF_MEMORY_ERR);
    return body;
}

}  // namespace Velum
