// Running a command's work with the plug-in supervised: a crash, exit, abort or hang of the
// plug-in (or a signal to the tool) ends the work, never the tool, and comes back as one line.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "host/loader/plugin_instance.h"
#include "host/loader/plugin_library.h"
#include "host/supervision/isolation.h"

namespace quorvel::host {

// Main thread. Runs `work(unit)` supervised (in a child or worker process where the platform
// allows; see runIsolated()), the plug-in's standard output sent to the tool's error stream,
// with at most `callSeconds` for any one call into the plug-in (the time the tool spends on its
// own work is not counted). Answers what the work answered. A UsageError or HostError that the
// work throws is thrown again here as the same type and message; a crash, exit, abort, hang,
// exception of the plug-in ("the plug-in threw an exception: \"...\"") or an interruption
// throws HostError saying so in one line, with the request or block it happened at. When the
// tool cannot start the supervised process at all, the HostError says so and why, and blames
// no plug-in.
std::string runSupervised(const SupervisedWork& work, const std::string& unit, const std::string& command,
                          double callSeconds);

// Any thread. `work` as runSupervised() has it run: its reply tagged with the kind of its
// failure. A command's worker process serves this (Subcommand::work).
SupervisedWork supervisedWork(SupervisedWork work);

// The plug-in library as supervised work holds it: loaded in the supervised process only, so
// that its initialisers and finalisers are supervised like any other plug-in code, and noted
// while they run ("the library's initialisers", "the library's finalisers").
class SupervisedLibrary {
public:
    // Work side, main thread. Loads the library at `path`.
    explicit SupervisedLibrary(const std::string& path);
    // Work side, main thread. Unloads the library, unless an exception is on its way out: then
    // the library stays loaded and the note names where the work failed.
    ~SupervisedLibrary();
    SupervisedLibrary(const SupervisedLibrary&) = delete;
    SupervisedLibrary& operator=(const SupervisedLibrary&) = delete;

    PluginLibrary& library() { return *library_; }
    // The entry point, noted as "the entry point"; throws HostError when the library did not
    // load or exports none (see requireEntry()).
    PluginEntry entry();
    // Work side, main thread. Leaves the library loaded for the rest of the process's life.
    void keepLoaded() { kept_ = true; }

private:
    std::string path_;
    std::unique_ptr<PluginLibrary> library_;
    bool kept_ = false;
};

// The start-up every command's supervised work begins with: the library at `path` loaded as
// SupervisedLibrary does, one effect created through its entry point, its requests noted for
// the supervisor, and the effect opened. Closing is the work's own (or the instance's
// destructor's); the library is unloaded after the effect is gone.
class SupervisedPlugin {
public:
    // Work side, main thread. Throws HostError when the library does not load or has no entry
    // point, or when the effect cannot be created.
    explicit SupervisedPlugin(const std::string& path);

    PluginInstance& instance() { return instance_; }

private:
    SupervisedLibrary library_;  // declared first: destroyed after the instance
    PluginInstance instance_;
};

}  // namespace quorvel::host
