#include "host/plugin_library.h"

PluginEntry PluginLibrary::entry() {
    for (const char* name : {"VSTPluginMain", "main"}) {
        if (void* address = symbol(name)) {
            return reinterpret_cast<PluginEntry>(address);
        }
    }
    if (loaded()) {
        error_ = "the library exports neither VSTPluginMain nor main";
    }
    return nullptr;
}
