// A broken test plug-in that answers NaN for every output sample; the validator must fail it.
#include "tests/host/minimal_plugin.h"

extern "C" EffectRecord* VSTPluginMain(HostCallback host) {
    Faults faults;
    faults.nanOutput = true;
    return createMinimalEffect(host, faults);
}
