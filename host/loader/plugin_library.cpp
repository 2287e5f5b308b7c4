#include "host/loader/plugin_library.h"

#include "host/loader/host_error.h"

namespace quorvel::host {

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

PluginEntry requireEntry(PluginLibrary& library, const std::string& path) {
    if (!library.loaded()) {
        throw HostError("cannot load the plug-in '" + path + "': " + library.error());
    }
    PluginEntry entry = library.entry();
    if (entry == nullptr) {
        throw HostError("'" + path + "' is no plug-in: " + library.error());
    }
    return entry;
}

std::string explicitFilePath(const std::string& path) {
#if defined(_WIN32)
    const bool hasFolder = path.find_first_of("/\\:") != std::string::npos;
    return hasFolder || path.empty() ? path : ".\\" + path;
#else
    const bool hasFolder = path.find('/') != std::string::npos;
    return hasFolder || path.empty() ? path : "./" + path;
#endif
}

}  // namespace quorvel::host
