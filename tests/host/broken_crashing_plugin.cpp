// A broken test plug-in that crashes on request 50; the validator must report the crash
// and go on with its other checks.
#include "tests/host/minimal_plugin.h"

extern "C" EffectRecord* VSTPluginMain(HostCallback host) {
    Faults faults;
    faults.crashesOnVendorCall = true;
    return createMinimalEffect(host, faults);
}
