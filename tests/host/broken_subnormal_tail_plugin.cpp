// A broken test plug-in whose feedback tail decays into subnormal numbers and stays there while
// the input is silent; the validator must fail its silence.
#include "tests/host/minimal_plugin.h"

extern "C" EffectRecord* VSTPluginMain(HostCallback host) {
    Faults faults;
    faults.stuckSubnormalTail = true;
    return createMinimalEffect(host, faults);
}
