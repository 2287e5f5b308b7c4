// The worker process of the tool on Windows, which has no fork: the tool's own program started
// again with a marker argument, its command line otherwise the tool's, so that it parses the
// same command and holds the same work function. The tool sends it units of work through a
// pipe, and watches its plug-in calls and progress notes through a shared mapping; whatever
// the plug-in does to the worker (a crash, exit(), abort(), ExitProcess(), a call that never
// returns) ends the worker only. Used by isolation_windows.cpp.
#pragma once

#include <string>

#include "host/supervision/isolation.h"

namespace quorvel::host::worker {

// Main thread. Whether this program starts workers: true in the tool (its main() called
// takeArguments() and was no worker), false in the tests' own programs.
bool enabled();

// Main thread, first thing in main(). See takeWorkerArguments() in isolation.h.
bool takeArguments(int& argc, char** argv);

// Main thread, in a worker. See serveAsWorker() in isolation.h.
int serve(const SupervisedWork& work);

// Main thread, in the tool. Runs `unit` in the worker (started first when none is running,
// or when the one running was started for another kind of output) and answers the outcome
// as runIsolated() does. The worker is kept for the next unit when the work completed and its
// output is captured (validate's checks); it is ended otherwise, and always before this
// returns after a fault, so that no file it had open is still held.
IsolatedOutcome run(const std::string& unit, const IsolationLimits& limits, PluginOutput output);

// Any thread, in a worker. Makes `where` the progress note the tool reads after a fault;
// answers false outside a worker.
bool note(const std::string& where);

}  // namespace quorvel::host::worker
