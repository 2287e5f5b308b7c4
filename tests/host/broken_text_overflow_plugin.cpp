// A broken test plug-in that writes a 16-character parameter title into the host's 9-byte buffer; the validator must fail it.
#include "tests/host/minimal_plugin.h"

extern "C" EffectRecord* VSTPluginMain(HostCallback host) {
    Faults faults;
    faults.overlongTitle = true;
    return createMinimalEffect(host, faults);
}
