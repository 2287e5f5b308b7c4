// Running work that calls an untrusted plug-in so that a crash, an exit, an abort or a hang
// in the plug-in is reported instead of taking the host down with it, and so that what the
// plug-in prints never mixes into the tool's own output.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace quorvel::host {

// Where the supervised work's own output (the plug-in's printing) goes.
enum class PluginOutput {
    toErrorStream,  // its standard output goes to the tool's error stream; its error stream stays
    captured,       // its standard output and error stream are collected into the outcome
};

// How long the supervised work may take. Zero means no limit.
struct IsolationLimits {
    double totalSeconds = 0;  // the whole work
    double callSeconds = 0;   // one call into the plug-in (see plugin_call.h); the tool's own work is not timed
};

struct IsolatedOutcome {
    bool completed = false;  // the work returned normally
    std::string answer;      // what the work returned, when it completed
    // One line otherwise, ending with " at <last progress note>" when there is one:
    // "crashed (Segmentation fault) at request 45", "ended the process with exit code 0 at
    // block 12", "hung: no answer within 10 s at block 12", "timed out after 60 s at ...",
    // "threw an exception: \"<the plug-in's message>\" at block 3", "interrupted by SIGINT",
    // "the host failed: <message>", "the tool could not start its supervised process: cannot
    // fork: Resource temporarily unavailable" or "the tool ran short of resources: out of
    // memory" (then `toolFailed` is set).
    std::string failure;
    std::string lastNote;               // the last progress note, empty when none
    std::string pluginOutput;           // captured mode: what the work printed (the first 64 KiB)
    std::size_t pluginOutputLines = 0;  // captured mode: how many lines it printed in all
    int interruptedBy = 0;              // SIGINT, SIGTERM or SIGHUP when one ended the wait, else 0
    // The tool's own failure, which says nothing about the plug-in: it could not start the
    // supervised process (no process, pipe or shared memory to be had), or the work ran short
    // of memory or threads outside any plug-in call.
    bool toolFailed = false;
};

// Captured output beyond this many bytes is counted in lines but not kept.
inline constexpr std::size_t maxCapturedOutput = std::size_t{64} * 1024;

// Supervised work described as data: `unit` says what to do ("load", a check and its seed, the
// temporary paths to render into) and the work's function does it. A worker process of the
// tool is handed the unit alone and runs its own copy of the same function (see
// takeWorkerArguments() below), so the function must depend on nothing but the parsed command
// line and the unit.
using SupervisedWork = std::function<std::string(const std::string& unit)>;

// Main thread. Runs `work(unit)` supervised and answers its outcome. On POSIX builds (not under
// ThreadSanitizer, which cannot start threads in a forked child) the work runs in a forked
// child: a crash, exit(), abort() or hang ends only the child, which is killed when a limit
// runs out or the tool is interrupted (the child itself ignores SIGINT, SIGTERM and SIGHUP,
// which a terminal sends to the whole process group, and ends when the tool ends). A
// PluginException escaping the work is the plug-in's; any other exception is the host's.
// On Windows, in the tool (its main() called takeWorkerArguments()), the unit goes to a worker
// process: the tool's own program started again, which runs its command's work for each unit
// it is sent, and is started anew after a fault; the worker is ended before this answers,
// except after a completed unit whose output is captured (validate's next check reuses it). Elsewhere on Windows (the
// tests' own programs) the work runs in this process: a crash, exit(), abort() or a limit running out ends the process
// with status 1, after one line on the error stream naming `label`, what happened and the last progress note, and after
// removing every registered temporary file.
IsolatedOutcome runIsolated(const SupervisedWork& work, const std::string& unit, const std::string& label,
                            const IsolationLimits& limits, PluginOutput output);

// The same for work that needs no unit (it runs in this process where no fork exists).
IsolatedOutcome runIsolated(const std::function<std::string()>& work, const std::string& label,
                            const IsolationLimits& limits, PluginOutput output);

// Main thread, first thing in the tool's main(). When this process is a worker started by
// runIsolated() (its first argument the worker marker), takes the worker's arguments off the
// command line, leaving the tool's own, and answers true; the caller then parses the command
// line as usual and calls serveAsWorker() with the parsed command's work. Otherwise answers
// false and lets runIsolated() start workers from this program (where it uses them).
bool takeWorkerArguments(int& argc, char** argv);

// Main thread, in a worker. Runs `work` for each unit the tool sends, sending back its answer,
// until the tool closes the channel; answers the process exit status.
int serveAsWorker(const SupervisedWork& work);

// Whether runIsolated() survives a crash of the work on this platform.
bool isolationSurvivesCrashes();

// Main thread. A file the tool has created and must not leave behind if a fault of the
// plug-in ends the tool itself (where work runs in this process): it is removed before the
// tool ends. Forgotten again by forgetTemporaryFile(), once it is renamed or removed.
void registerTemporaryFile(const std::string& path);
void forgetTemporaryFile(const std::string& path);

// Work side, any thread. Notes where the work has got to ("request 45", "block 12"), named in
// the outcome of a fault. Cheap enough to call before every host block; the calls themselves
// are timed through PluginCall.
void noteCheckProgress(const std::string& where);

}  // namespace quorvel::host
