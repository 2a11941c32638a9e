#pragma once

// Running the application's queued events from inside a handler, for code
// that waits without leaving the user-interface thread.
namespace EventPump {

// Runs every event that is queued now, then returns.
void ProcessPendingEvents();

// Sleeps until at least one event is queued, then runs the queued events.
// Never spins: with nothing to do the thread is blocked.
void WaitForEvents();

// Ends a WaitForEvents that is blocked, from anywhere.
void WakeUp();

} // namespace EventPump
