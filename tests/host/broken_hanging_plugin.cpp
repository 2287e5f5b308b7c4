// A broken test plug-in whose process calls of 4096 frames never return; the validator must
// end the check at its time limit and name the setting it hung at.
#include "tests/host/minimal_plugin.h"

extern "C" EffectRecord* VSTPluginMain(HostCallback host) {
    Faults faults;
    faults.hangsOnLongBlocks = true;
    return createMinimalEffect(host, faults);
}
