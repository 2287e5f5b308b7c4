// Counting heap allocations made by the calling thread between begin() and end(), to catch
// an effect that allocates while it processes audio.
//
// Observable only where the host interposes the C heap: Linux builds with glibc and without
// sanitizers, where the tool defines malloc and its siblings and so sees every allocation of
// a plug-in that uses the shared C library (operator new included). Not observable on
// Windows, where each module brings its own runtime heap, nor for a plug-in that links its
// own allocator statically.
#pragma once

#include <cstdint>

namespace quorvel::host {

namespace allocationProbe {

// Whether this build sees allocations at all.
bool observable();
// Calling thread: start counting this thread's allocations from zero.
void begin();
// Calling thread: stop counting; answers the allocations since begin().
std::int64_t end();

}  // namespace allocationProbe

}  // namespace quorvel::host
