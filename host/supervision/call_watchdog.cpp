#include "host/supervision/call_watchdog.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "host/supervision/interruption.h"

namespace quorvel::host {

CallWatchdog::CallWatchdog(const IsolationLimits& limits, const PluginCallCounters& counters)
    : limits_(limits),
      counters_(counters),
      start_(Clock::now()),
      lastSign_(start_),
      lastStarted_(counters.started.load(std::memory_order_relaxed)),
      lastFinished_(counters.finished.load(std::memory_order_relaxed)) {}

std::string CallWatchdog::expired() {
    const Clock::time_point now = Clock::now();
    const std::uint32_t started = counters_.started.load(std::memory_order_relaxed);
    const std::uint32_t finished = counters_.finished.load(std::memory_order_relaxed);
    if (started != lastStarted_ || finished != lastFinished_ || started == finished) {
        lastSign_ = now;
        lastStarted_ = started;
        lastFinished_ = finished;
    }
    const double elapsed = std::chrono::duration<double>(now - start_).count();
    const double quiet = std::chrono::duration<double>(now - lastSign_).count();
    if (limits_.totalSeconds > 0 && elapsed > limits_.totalSeconds) {
        return "timed out after " + secondsText(limits_.totalSeconds) + " s";
    }
    if (limits_.callSeconds > 0 && quiet > limits_.callSeconds) {
        return "hung: no answer within " + secondsText(limits_.callSeconds) + " s";
    }
    return {};
}

std::string CallWatchdog::reasonToStop(IsolatedOutcome& outcome) {
    if (const int signal = pendingInterruption(); signal != 0) {
        outcome.interruptedBy = signal;
        return std::string("interrupted by ") + interruptionName(signal);
    }
    return expired();
}

int CallWatchdog::pollMilliseconds(int longest) const {
    if (limits_.callSeconds <= 0) {
        return longest;
    }
    const double quarter = limits_.callSeconds * 1000.0 / 4.0;
    return quarter >= longest ? longest : std::max(1, static_cast<int>(quarter));
}

bool tellStopped(IsolatedOutcome& outcome, std::string stopped, bool answered) {
    if (stopped.empty() && !answered && pendingInterruption() != 0) {
        outcome.interruptedBy = pendingInterruption();
        stopped = std::string("interrupted by ") + interruptionName(outcome.interruptedBy);
    }
    if (stopped.empty()) {
        return false;
    }
    const bool placed = outcome.interruptedBy == 0 && !outcome.lastNote.empty();
    outcome.failure = std::move(stopped) + (placed ? " at " + outcome.lastNote : "");
    return true;
}

std::string secondsText(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", seconds);
    return text;
}

}  // namespace quorvel::host
