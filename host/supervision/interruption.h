// Interruptions of the tool (Ctrl-C, SIGTERM, a closed terminal) turned into a flag, so that
// a command can end its supervised work, remove its temporary files and exit non-zero
// instead of dying with a half-written file in place.
#pragma once

namespace quorvel::host {

// Main thread, once at start: every signal that would end the tool (SIGINT, SIGTERM and, where
// they exist, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2 and SIGALRM; on Windows SIGBREAK, which is how
// the C runtime delivers a console's Ctrl-Break, as it delivers Ctrl-C as SIGINT) sets a flag instead, so that the
// tool can remove its temporary files and exit 1. runIsolated() ends its child and answers
// interruptedBy on one. A broken pipe and a file-size limit (SIGPIPE, SIGXFSZ) are ignored: the
// write then fails with an error the tool reports as its own.
void catchInterruptions();

// The supervised child, once at start: the same signals are ignored there, since a signal to
// the whole process group (a Ctrl-C at a terminal) is the tool's to judge, not a fault of the
// plug-in's process.
void ignoreInterruptions();

// The signal caught so far, or 0. Any thread; safe to poll often.
int pendingInterruption();

// The signal's name ("SIGINT"), for messages.
const char* interruptionName(int signal);

}  // namespace quorvel::host
