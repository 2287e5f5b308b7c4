#include <dlfcn.h>

#include "host/loader/plugin_call.h"
#include "host/loader/plugin_library.h"

namespace quorvel::host {

PluginLibrary::PluginLibrary(const std::string& path) {
    // Loading runs the library's initialisers, unloading its finalisers: both are plug-in code.
    // RTLD_LOCAL keeps one plug-in's symbols away from the next one's.
    const PluginCall loading;
    handle_ = dlopen(explicitFilePath(path).c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
        const char* reason = dlerror();
        error_ = reason != nullptr ? reason : "cannot load " + path;
    }
}

PluginLibrary::~PluginLibrary() {
    if (handle_ != nullptr) {
        const PluginCall unloading;
        dlclose(handle_);
    }
}

void* PluginLibrary::symbol(const char* name) const {
    return handle_ != nullptr ? dlsym(handle_, name) : nullptr;
}

}  // namespace quorvel::host
