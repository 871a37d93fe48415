#pragma once

// The end of the session, `kill` and Ctrl+C arrive as SIGTERM, SIGHUP and
// SIGINT: each ends the event loops (an open dialog's too), so the program
// leaves through its ordinary ending and the settings are saved.
namespace tw {

// Call first thing in main: from then on these signals are remembered
// instead of ending the process. False when that failed (the reason is on
// stderr).
bool QuitOnTerminationSignals();

// Call once the application object exists: a signal remembered so far, and
// every later one, ends the event loop as soon as it runs.
void FollowTerminationSignals();

}  // namespace tw
