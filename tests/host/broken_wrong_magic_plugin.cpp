// A broken test plug-in that answers a record whose magic is not the interface's; the validator must fail it.
#include "tests/host/minimal_plugin.h"

extern "C" EffectRecord* VSTPluginMain(HostCallback host) {
    Faults faults;
    faults.wrongMagic = true;
    return createMinimalEffect(host, faults);
}
