// A sound plug-in of this binary interface that is not ours: the validator must pass it.
#include "tests/host/minimal_plugin.h"

extern "C" EffectRecord* VSTPluginMain(HostCallback host) {
    return createMinimalEffect(host, Faults{});
}
