// A broken test plug-in that declares chunk programs and restores bank chunks, but ignores the
// program chunks it is given; the validator must fail its chunk state for the program.
#include "tests/host/minimal_plugin.h"

extern "C" EffectRecord* VSTPluginMain(HostCallback host) {
    Faults faults;
    faults.chunkPrograms = true;
    faults.losesProgramChunks = true;
    return createMinimalEffect(host, faults);
}
