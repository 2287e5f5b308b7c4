#include <windows.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include <io.h>

#include "host/loader/hex_text.h"
#include "host/loader/plugin_call.h"
#include "host/supervision/call_watchdog.h"
#include "host/supervision/isolation.h"
#include "host/supervision/output_capture.h"
#include "host/supervision/worker_process.h"

// Windows has no fork. In the tool, work goes to a worker process (worker_process.h). Where no
// worker can be had (the tests' own programs), the work runs in this process: whatever the
// plug-in does to it (a crash, exit(), abort(), a call that never returns) then ends the
// process, but never silently: one line says what happened and where, the registered
// temporary files are removed, and the process ends with status 1.
namespace quorvel::host {

namespace {

// What the work has got to, shared by the work's threads and the watchdog.
struct Progress {
    Progress() { InitializeCriticalSection(&lock); }
    CRITICAL_SECTION lock;
    std::string note;
};
// Never destroyed: a plug-in's exit() runs the static destructors before the report of it
// reads the last note.
Progress& progress() {
    static Progress* const shared = new Progress;
    return *shared;
}

std::string lastNote() {
    Progress& shared = progress();
    EnterCriticalSection(&shared.lock);
    std::string note = shared.note;
    LeaveCriticalSection(&shared.lock);
    return note;
}

std::string currentLabel;
volatile LONG working = 0;  // 1 while runIsolated() runs the work
// The tool's own error stream while the work's output is redirected, for the last line.
int toolErrorStream = 2;
std::vector<std::filesystem::path> temporaryFiles;  // changed on the main thread only

// Ends the tool after a fault of the plug-in: one line naming the work, `what` happened and
// the last progress note, the temporary files removed, status 1. Any thread.
[[noreturn]] void endTool(const std::string& what) {
    // One ending only, should a second thread fault while the first reports.
    static volatile LONG ending = 0;
    if (InterlockedExchange(&ending, 1) != 0) {
        Sleep(INFINITE);
    }
    const std::string note = lastNote();
    const std::string line =
        "quorvel-host: " + currentLabel + ": the plug-in " + what + (note.empty() ? "" : " at " + note) + "\n";
    _write(toolErrorStream, line.data(), static_cast<unsigned>(line.size()));
    for (const std::filesystem::path& path : temporaryFiles) {
        // The file may still be open (its writer shares deletion): it goes when this process does.
        DeleteFileW(path.c_str());
    }
    TerminateProcess(GetCurrentProcess(), 1);
    ExitProcess(1);  // not reached
}

LONG WINAPI reportCrash(EXCEPTION_POINTERS* info) {
    endTool("crashed (exception " + hexText(static_cast<std::int32_t>(info->ExceptionRecord->ExceptionCode)) + ")");
}

extern "C" void reportAbort(int /*signal*/) {
    endTool("aborted");
}

// Runs when anything calls exit() while the work runs: the plug-in ended the process.
extern "C" void reportExit() {
    if (working != 0) {
        endTool("ended the process");
    }
}

// Watches the clock while the work runs and ends the tool when a limit runs out.
struct Watchdog {
    IsolationLimits limits;
    HANDLE stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE thread = nullptr;

    static DWORD WINAPI watch(LPVOID self) {
        static_cast<Watchdog*>(self)->run();
        return 0;
    }

    void run() {
        CallWatchdog watchdog(limits, pluginCallCounters());
        while (WaitForSingleObject(stop, static_cast<DWORD>(watchdog.pollMilliseconds(50))) == WAIT_TIMEOUT) {
            if (const std::string expired = watchdog.expired(); !expired.empty()) {
                endTool(expired);
            }
        }
    }

    explicit Watchdog(const IsolationLimits& chosen) : limits(chosen) {
        if (stop != nullptr && (limits.totalSeconds > 0 || limits.callSeconds > 0)) {
            thread = CreateThread(nullptr, 0, watch, this, 0, nullptr);
        }
    }
    ~Watchdog() {
        if (thread != nullptr) {
            SetEvent(stop);
            WaitForSingleObject(thread, INFINITE);
            CloseHandle(thread);
        }
        if (stop != nullptr) {
            CloseHandle(stop);
        }
    }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;
};

}  // namespace

bool isolationSurvivesCrashes() {
    return worker::enabled();
}

bool takeWorkerArguments(int& argc, char** argv) {
    return worker::takeArguments(argc, argv);
}

int serveAsWorker(const SupervisedWork& work) {
    return worker::serve(work);
}

IsolatedOutcome runIsolated(const SupervisedWork& work, const std::string& unit, const std::string& label,
                            const IsolationLimits& limits, PluginOutput output) {
    if (worker::enabled()) {
        return worker::run(unit, limits, output);
    }
    return runIsolated([&work, &unit] { return work(unit); }, label, limits, output);
}

void registerTemporaryFile(const std::string& path) {
    temporaryFiles.emplace_back(path);
}

void forgetTemporaryFile(const std::string& path) {
    const std::filesystem::path forgotten(path);
    temporaryFiles.erase(std::remove(temporaryFiles.begin(), temporaryFiles.end(), forgotten), temporaryFiles.end());
}

void noteCheckProgress(const std::string& where) {
    if (worker::note(where)) {
        return;
    }
    Progress& shared = progress();
    EnterCriticalSection(&shared.lock);
    shared.note = where;
    LeaveCriticalSection(&shared.lock);
}

IsolatedOutcome runIsolated(const std::function<std::string()>& work, const std::string& label,
                            const IsolationLimits& limits, PluginOutput output) {
    static const bool exitWatched = std::atexit(reportExit) == 0;
    (void)exitWatched;
    currentLabel = label;
    noteCheckProgress("");
    toolErrorStream = _dup(2);
    SetUnhandledExceptionFilter(reportCrash);
    const auto previousAbort = std::signal(SIGABRT, reportAbort);
    InterlockedExchange(&working, 1);
    IsolatedOutcome outcome;
    {
        Watchdog watchdog(limits);
        outcome = runRedirected(work, output);
    }
    InterlockedExchange(&working, 0);
    std::signal(SIGABRT, previousAbort);
    outcome.lastNote = lastNote();
    _close(toolErrorStream);
    toolErrorStream = 2;
    return outcome;
}

}  // namespace quorvel::host
