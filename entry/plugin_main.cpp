#include "entry/plugin_main.h"

#include "effect/quorvel.h"

extern "C" EffectRecord* VSTPluginMain(HostCallback host) noexcept {
    if (host(nullptr, hostReqVersion, 0, 0, nullptr, 0.0F) == 0) {
        return nullptr;
    }
    AudioEffect* effect = createEffect(host);
    return effect != nullptr ? effect->record() : nullptr;
}
