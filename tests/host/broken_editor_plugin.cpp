// A broken test plug-in whose editor opens and idles but crashes when it is closed; the
// validator's editor check must fail it, naming the round and the request.
#include "tests/host/minimal_plugin.h"

extern "C" EffectRecord* VSTPluginMain(HostCallback host) {
    Faults faults;
    faults.editorCrashesOnClose = true;
    return createMinimalEffect(host, faults);
}
