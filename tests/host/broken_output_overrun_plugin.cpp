// A broken test plug-in that writes one frame past each output buffer in every process call;
// the validator must fail it, naming the channel and how far it wrote.
#include "tests/host/minimal_plugin.h"

extern "C" EffectRecord* VSTPluginMain(HostCallback host) {
    Faults faults;
    faults.writesPastOutputs = true;
    return createMinimalEffect(host, faults);
}
