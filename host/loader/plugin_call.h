// The span of each call into a plug-in, so that a supervisor can tell a plug-in that does not
// return from a call from a tool that is busy with its own work (reading input, drawing a
// plot), and so that a C++ exception escaping the plug-in is told apart from the tool's own.
#pragma once

#include <atomic>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>

namespace quorvel::host {

// Counters of plug-in calls, shareable between processes (lock-free, no pointers). 32-bit so
// that every target has them lock-free; they wrap harmlessly, as only their changes and the
// difference between them are read.
struct PluginCallCounters {
    std::atomic<std::uint32_t> started{0};
    std::atomic<std::uint32_t> finished{0};
};

static_assert(std::atomic<std::uint32_t>::is_always_lock_free);

// Any thread. The counters PluginCall writes to: this process's own until the supervisor
// points them at memory it shares with the supervised process (before any call is made).
PluginCallCounters& pluginCallCounters();
void countPluginCallsIn(PluginCallCounters& counters);

// Any thread, the audio thread included (two atomic increments, nothing else). Marks one call
// into the plug-in for as long as the object lives.
class PluginCall {
public:
    PluginCall() { pluginCallCounters().started.fetch_add(1, std::memory_order_relaxed); }
    ~PluginCall() { pluginCallCounters().finished.fetch_add(1, std::memory_order_relaxed); }
    PluginCall(const PluginCall&) = delete;
    PluginCall& operator=(const PluginCall&) = delete;
};

// A C++ exception that escaped a call into the plug-in; what() is the plug-in's own message
// ("an exception that is no std::exception" when it threw something else).
class PluginException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Any thread. Runs `call` (which calls into the plug-in) marked as a plug-in call; an exception
// escaping it comes out as PluginException.
template <typename Call>
decltype(auto) callPlugin(Call&& call) {
    const PluginCall marked;
    try {
        return std::forward<Call>(call)();
    } catch (const std::exception& error) {
        throw PluginException(error.what());
    } catch (...) {
        throw PluginException("an exception that is no std::exception");
    }
}

}  // namespace quorvel::host
