#include <dlfcn.h>

#include "host/plugin_library.h"

namespace quorvel::host {

PluginLibrary::PluginLibrary(const std::string& path) {
    // RTLD_LOCAL keeps one plug-in's symbols away from the next one's.
    handle_ = dlopen(explicitFilePath(path).c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
        const char* reason = dlerror();
        error_ = reason != nullptr ? reason : "cannot load " + path;
    }
}

PluginLibrary::~PluginLibrary() {
    if (handle_ != nullptr) {
        dlclose(handle_);
    }
}

void* PluginLibrary::symbol(const char* name) const {
    return handle_ != nullptr ? dlsym(handle_, name) : nullptr;
}

}  // namespace quorvel::host
