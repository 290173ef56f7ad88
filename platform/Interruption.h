#pragma once

// SIGTERM, SIGINT and SIGHUP during a save: the handler only notes the
// signal (a flag and a byte in a pipe); the save sees it at its next step,
// ends the tool it is waiting for, undoes or finishes that step, lets go of
// its locks, and the front end then leaves with the signal's own status.
namespace Interruption {

// Installs the handlers (without SA_RESTART, so a blocking wait returns).
// Safe to call more than once.
void install();

// The signal that asked us to stop, or 0.
[[nodiscard]] int requested();
// How many such signals have arrived so far; a wait compares it before and
// after to tell a signal that came while it waited.
[[nodiscard]] int count();

// The read end of the pipe the handler writes to (-1 before install()),
// for an event loop that wants to hear about it.
[[nodiscard]] int notifierFd();
// Empties that pipe (the flag stays).
void drain();

// Ends the process the way the signal would have: default action, raised
// again. Returns only if that did not end it.
void leaveBySignal(int signal);

// For tests: forgets a noted signal.
void reset();

} // namespace Interruption
