#include <windows.h>

#include <string>

#include "host/loader/plugin_call.h"
#include "host/loader/plugin_library.h"

namespace quorvel::host {

namespace {

// Why LoadLibrary failed, in words where the reason is a common one. The system's loader
// catches a crash in the library's initialisers itself and answers it as a failed load.
std::string loadFailure(DWORD code) {
    const std::string number = "Windows error " + std::to_string(code);
    switch (code) {
    case ERROR_NOACCESS:
        return ": its initialisers crashed (invalid memory access, " + number + ")";
    case ERROR_DLL_INIT_FAILED:
        return ": its initialisers failed (" + number + ")";
    case ERROR_MOD_NOT_FOUND:
        return ": it or a library it needs was not found (" + number + ")";
    case ERROR_BAD_EXE_FORMAT:
        return ": it is no library for this system (" + number + ")";
    default:
        return " (" + number + ")";
    }
}

}  // namespace

PluginLibrary::PluginLibrary(const std::string& path) {
    // Loading runs the library's initialisers, unloading its finalisers: both are plug-in code.
    const PluginCall loading;
    handle_ = reinterpret_cast<void*>(LoadLibraryA(explicitFilePath(path).c_str()));
    if (handle_ == nullptr) {
        error_ = "cannot load " + path + loadFailure(GetLastError());
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
