// Loads a plug-in library of this binary interface and resolves its entry point.
#pragma once

#include <string>

#include "framework/effect_record.h"

namespace quorvel::host {

// The exported entry point's type: takes the host's callback, answers a record or null.
using PluginEntry = EffectRecord* (*)(HostCallback host);

class PluginLibrary {
public:
    // Loads the library file at `path`; a name without a folder is a file in the current folder,
    // never a library looked up on the system's search path. On failure the object is empty and
    // error() says why.
    explicit PluginLibrary(const std::string& path);
    ~PluginLibrary();
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    bool loaded() const { return handle_ != nullptr; }
    const std::string& error() const { return error_; }

    // The address of an exported function, or null.
    void* symbol(const char* name) const;
    // The entry point: `VSTPluginMain`, else `main`, else null (error() then says so).
    PluginEntry entry();

private:
    void* handle_ = nullptr;
    std::string error_;
};

// Main thread. Answers `library`'s entry point; throws HostError saying why there is none
// (the library at `path` did not load, or exports no entry point).
PluginEntry requireEntry(PluginLibrary& library, const std::string& path);

// `path` as a file path the loader cannot mistake for a library name to search for: a path
// without a folder gets the current folder's prefix.
std::string explicitFilePath(const std::string& path);

}  // namespace quorvel::host
