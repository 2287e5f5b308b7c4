// A sound test plug-in that prints to both standard streams when opened and in every process
// call; the validator must pass it and keep its output out of the table and the JSON.
#include "tests/host/minimal_plugin.h"

extern "C" EffectRecord* VSTPluginMain(HostCallback host) {
    Faults faults;
    faults.chatty = true;
    return createMinimalEffect(host, faults);
}
