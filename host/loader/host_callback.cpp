#include "host/loader/host_callback.h"

#include <cmath>

#include "framework/request_codes.h"

namespace quorvel::host {

HostSettings& hostSettings() {
    static HostSettings settings;
    return settings;
}

std::intptr_t hostCallback(EffectRecord* /*record*/, std::int32_t request, std::int32_t /*index*/,
                           std::intptr_t /*value*/, void* /*ptr*/, float /*opt*/) {
    switch (request) {
    case hostReqVersion:
        return hostVersionAnswer;
    case hostReqSampleRate:
        return static_cast<std::intptr_t>(std::lround(hostSettings().sampleRate.load()));
    case hostReqBlockSize:
        return hostSettings().blockSize.load();
    default:
        return 0;
    }
}

std::intptr_t refusingHostCallback(EffectRecord* /*record*/, std::int32_t /*request*/, std::int32_t /*index*/,
                                   std::intptr_t /*value*/, void* /*ptr*/, float /*opt*/) {
    return 0;
}

}  // namespace quorvel::host
