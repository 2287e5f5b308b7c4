// Loads a plug-in library of this binary interface and resolves its entry point.
#pragma once

#include <string>

#include "framework/effect_record.h"

// The exported entry point's type: takes the host's callback, answers a record or null.
using PluginEntry = EffectRecord* (*)(HostCallback host);

class PluginLibrary {
public:
    // Loads the library at `path`. On failure the object is empty and error() says why.
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
