#pragma once

#include <functional>

namespace vellomar {

// Turns this thread's event loop until `done` holds: the window paints and answers meanwhile.
// Whoever makes `done` true from another thread must then post an event to this thread (wake())
// so that the wait sees it.
void turnuntil(const std::function<bool()> &done);
// Wakes a turnuntil() waiting on the main thread.
void wake();

// Runs `work` on a thread of its own and returns when it has ended, the event loop turning
// meanwhile. Events the work posts last may still be waiting when it returns.
void runturning(const std::function<void()> &work);

} // namespace vellomar
