// Running one validation check so that a plug-in that crashes or hangs in it is reported
// instead of taking the host down with it.
#pragma once

#include <functional>
#include <string>

struct IsolatedOutcome {
    bool completed = false;  // the work returned normally
    std::string answer;      // what the work returned, when it completed
    std::string failure;     // how it ended otherwise ("crashed with SIGSEGV", "timed out after 300 s")
};

// Main thread. Runs `work` and answers its outcome. On POSIX systems `work` runs in a child
// process (a fork of this one), so a crash or a hang past `timeoutSeconds` ends only the child.
// On Windows (and under ThreadSanitizer) it runs in this process: a crash there ends the
// host (on Windows after one line naming `label`), and hangs are not timed.
IsolatedOutcome runIsolated(const std::function<std::string()>& work, const std::string& label, int timeoutSeconds);

// Whether runIsolated() survives a crash of the work on this platform.
bool isolationSurvivesCrashes();

// Work thread. Notes where the work has got to ("request 50"), so that a crash or hang is
// reported with the place it happened. Cheap enough to call before every request.
void noteCheckProgress(const std::string& where);
