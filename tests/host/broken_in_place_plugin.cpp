// A broken test plug-in that mixes input 0 into output 1 after writing output 0: processed in
// place it reads its own output, deterministically; the validator must fail it in-place.
#include "tests/host/minimal_plugin.h"

extern "C" EffectRecord* VSTPluginMain(HostCallback host) {
    Faults faults;
    faults.mixesAfterWriting = true;
    return createMinimalEffect(host, faults);
}
