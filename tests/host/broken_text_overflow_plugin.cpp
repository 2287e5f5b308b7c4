// A broken test plug-in that writes a 299-character parameter title, past any buffer a host
// hands for it (and a unit past its nominal size that fits a host's buffer); the validator
// must fail it.
#include "tests/host/minimal_plugin.h"

extern "C" EffectRecord* VSTPluginMain(HostCallback host) {
    Faults faults;
    faults.overlongTitle = true;
    faults.longUnit = true;
    return createMinimalEffect(host, faults);
}
