// The limits of supervised work, watched from outside it, the same way wherever the work runs
// (a child process, a worker process, or a thread beside the work): the clock of one plug-in
// call runs only while a call stays unanswered, never while the work does the tool's own work
// (reading input, writing, drawing a plot) or sits outside any call.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "host/loader/plugin_call.h"
#include "host/supervision/isolation.h"

namespace quorvel::host {

// Used by one supervising thread. Reads the work's plug-in call counters at each poll.
class CallWatchdog {
public:
    // Starts the clocks now, from the counters' current values.
    CallWatchdog(const IsolationLimits& limits, const PluginCallCounters& counters);

    // Answers why the work must end now ("timed out after 60 s", "hung: no answer within
    // 10 s"), or an empty string while no limit has run out. Called at every poll.
    std::string expired();

    // Answers why a supervisor must end the work now: an interruption of the tool ("interrupted
    // by SIGINT", noted in outcome.interruptedBy), or else what expired() answers.
    std::string reasonToStop(IsolatedOutcome& outcome);

    // How long the supervisor may wait between two calls of expired(), in milliseconds:
    // `longest`, or less where a short call limit must be seen in time (a quarter of it,
    // at least 1 ms).
    int pollMilliseconds(int longest) const;

private:
    using Clock = std::chrono::steady_clock;
    IsolationLimits limits_;
    const PluginCallCounters& counters_;
    Clock::time_point start_;
    Clock::time_point lastSign_;  // the last time a call started or ended, or no call was open
    std::uint32_t lastStarted_;
    std::uint32_t lastFinished_;
};

// Supervising thread, once the work has ended. When the supervisor stopped it (`stopped`: a
// limit from expired(), or "interrupted by ..."), or it ended unanswered while the tool was
// being interrupted (the interruption, which the user asked for, is what is told), writes
// outcome.failure (and outcome.interruptedBy) and answers true. The place of the work
// (outcome.lastNote) is named unless the user interrupted it. Answers false otherwise.
bool tellStopped(IsolatedOutcome& outcome, std::string stopped, bool answered);

// A number of seconds as the tool's messages write it ("0.5", "60").
std::string secondsText(double seconds);

}  // namespace quorvel::host
