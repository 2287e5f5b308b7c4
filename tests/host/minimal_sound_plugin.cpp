// A sound plug-in of this binary interface that is not ours, keeping its state in chunks: the
// validator must pass it.
#include "tests/host/minimal_plugin.h"

extern "C" EffectRecord* VSTPluginMain(HostCallback host) {
    Faults faults;
    faults.chunkPrograms = true;
    return createMinimalEffect(host, faults);
}
