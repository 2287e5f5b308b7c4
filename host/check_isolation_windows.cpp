#include <windows.h>

#include <cstdio>

#include <io.h>

#include "host/check_isolation.h"
#include "host/output_capture.h"

namespace quorvel::host {

namespace {

std::string currentLabel;
std::string lastNote;
// The tool's own error stream while the work's output is redirected, for the crash report.
int toolErrorStream = 2;

LONG WINAPI reportCrash(EXCEPTION_POINTERS* info) {
    const auto code = static_cast<unsigned long>(info->ExceptionRecord->ExceptionCode);
    const std::string where = lastNote.empty() ? "" : " at " + lastNote;
    char line[1024];
    const int length = std::snprintf(line, sizeof line, "quorvel-host: %s: the plug-in crashed (exception 0x%08lX)%s\n",
                                     currentLabel.c_str(), code, where.c_str());
    if (length > 0) {
        _write(toolErrorStream, line,
               static_cast<unsigned>(length < static_cast<int>(sizeof line) ? length : sizeof line - 1));
    }
    ExitProcess(1);
}

}  // namespace

bool isolationSurvivesCrashes() {
    return false;
}

void noteCheckProgress(const std::string& where) {
    lastNote = where;
}

IsolatedOutcome runIsolated(const std::function<std::string()>& work, const std::string& label,
                            const IsolationLimits& /*limits*/, PluginOutput output) {
    currentLabel = label;
    lastNote.clear();
    toolErrorStream = _dup(2);
    SetUnhandledExceptionFilter(reportCrash);
    IsolatedOutcome outcome = runRedirected(work, output);
    outcome.lastNote = lastNote;
    _close(toolErrorStream);
    toolErrorStream = 2;
    return outcome;
}

}  // namespace quorvel::host
