// A broken test plug-in whose chunks restore the gain it reads back but not the gain it processes
// with; the validator must fail its chunk state by the sound.
#include "tests/host/minimal_plugin.h"

extern "C" EffectRecord* VSTPluginMain(HostCallback host) {
    Faults faults;
    faults.chunkPrograms = true;
    faults.restoresTextNotSound = true;
    return createMinimalEffect(host, faults);
}
