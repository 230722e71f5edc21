#pragma once

namespace lumetra {

// The one way the program waits: processes pending events at least once, then sleeps in an
// event loop until the time is up. Durations are measured on a monotonic clock, so midnight
// or a clock adjustment neither ends a wait early nor stretches it.
void pauseSeconds(double seconds);

// Shutting down: every running and future wait returns at once, and code that loops towards
// the meter checks quitRequested() after each wait and gives up.
void requestQuit();
bool quitRequested();
// Only for tests that start the program's windows more than once in one process.
void resetQuitRequest();

} // namespace lumetra
