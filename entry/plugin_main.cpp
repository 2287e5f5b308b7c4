#include "entry/plugin_main.h"

#include "effect/quorvel.h"

extern "C" EffectRecord* VSTPluginMain(HostCallback host) noexcept {
    // Without a callback there is no host to answer the version question: nothing is created,
    // as for a host that answers 0.
    if (host == nullptr || host(nullptr, hostReqVersion, 0, 0, nullptr, 0.0F) == 0) {
        return nullptr;
    }
    AudioEffect* effect = createEffect(host);
    return effect != nullptr ? effect->record() : nullptr;
}
