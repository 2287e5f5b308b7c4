#include "host/loader/plugin_call.h"

namespace quorvel::host {

namespace {

PluginCallCounters ownCounters;
std::atomic<PluginCallCounters*> currentCounters{&ownCounters};

}  // namespace

PluginCallCounters& pluginCallCounters() {
    return *currentCounters.load(std::memory_order_relaxed);
}

void countPluginCallsIn(PluginCallCounters& counters) {
    currentCounters.store(&counters, std::memory_order_relaxed);
}

}  // namespace quorvel::host
