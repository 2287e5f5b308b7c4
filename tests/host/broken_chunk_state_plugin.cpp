// A broken test plug-in that declares chunk programs but ignores the chunks it is given; the
// validator must fail it.
#include "tests/host/minimal_plugin.h"

extern "C" EffectRecord* VSTPluginMain(HostCallback host) {
    Faults faults;
    faults.chunkPrograms = true;
    faults.losesChunkState = true;
    return createMinimalEffect(host, faults);
}
