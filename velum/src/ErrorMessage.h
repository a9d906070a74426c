// The one writer of m_errorMessage.
#pragma once

#include "velum/VelumString.h"

namespace Velum {

// Replaces m_errorMessage under a lock, so that failed parses on two threads
// do not free the old message twice. The text is built by the caller before
// the lock is taken. Reading the message while another thread parses is
// still a race: read it on the thread that parsed, as the launcher does.
void SetErrorMessage(const VelumString& text);

}  // namespace Velum
