#include <windows.h>

#include "host/plugin_call.h"
#include "host/plugin_library.h"

namespace quorvel::host {

PluginLibrary::PluginLibrary(const std::string& path) {
    // Loading runs the library's initialisers, unloading its finalisers: both are plug-in code.
    const PluginCall loading;
    handle_ = reinterpret_cast<void*>(LoadLibraryA(explicitFilePath(path).c_str()));
    if (handle_ == nullptr) {
        error_ = "cannot load " + path + " (Windows error " + std::to_string(GetLastError()) + ")";
    }
}

PluginLibrary::~PluginLibrary() {
    if (handle_ != nullptr) {
        const PluginCall unloading;
        FreeLibrary(static_cast<HMODULE>(handle_));
    }
}

void* PluginLibrary::symbol(const char* name) const {
    return handle_ != nullptr ? reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name)) : nullptr;
}

}  // namespace quorvel::host
