#pragma once

#include <functional>

// The end of the session, `kill` and Ctrl+C arrive as SIGTERM, SIGHUP and
// SIGINT: each ends the event loops (an open dialog's too), so the program
// leaves through its ordinary ending and the settings are saved.
namespace tw {

// Call first thing in main: from then on these signals are remembered
// instead of ending the process. False when that failed (the reason is on
// stderr).
bool QuitOnTerminationSignals();

// Call once the application object exists: a signal remembered so far, and
// every later one, runs `end` as soon as the event loop runs; by default it
// ends the event loop.
void FollowTerminationSignals(std::function<void()> end = {});

}  // namespace tw
