// Interruptions of the tool (Ctrl-C, SIGTERM, a closed terminal) turned into a flag, so that
// a command can end its supervised work, remove its temporary files and exit non-zero
// instead of dying with a half-written file in place.
#pragma once

namespace quorvel::host {

// Main thread, once at start: SIGINT, SIGTERM and (where it exists) SIGHUP set a flag instead
// of ending the tool. runIsolated() ends its child and answers interruptedBy on one.
void catchInterruptions();

// The signal caught so far, or 0. Any thread; safe to poll often.
int pendingInterruption();

// The signal's name ("SIGINT"), for messages.
const char* interruptionName(int signal);

}  // namespace quorvel::host
