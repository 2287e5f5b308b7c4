// A broken test plug-in that allocates heap memory in every process call; the validator must fail it.
#include "tests/host/minimal_plugin.h"

extern "C" EffectRecord* VSTPluginMain(HostCallback host) {
    Faults faults;
    faults.allocatesWhileProcessing = true;
    return createMinimalEffect(host, faults);
}
