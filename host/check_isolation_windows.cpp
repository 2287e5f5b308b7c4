#include <windows.h>

#include <cstdio>
#include <exception>

#include "host/check_isolation.h"

namespace {

std::string currentLabel;
std::string lastNote;

LONG WINAPI reportCrash(EXCEPTION_POINTERS* info) {
    const auto code = static_cast<unsigned long>(info->ExceptionRecord->ExceptionCode);
    const std::string where = lastNote.empty() ? "" : " at " + lastNote;
    std::fprintf(stdout, "%-18s FAIL   crashed (exception 0x%08lX)%s; the remaining checks did not run\n",
                 currentLabel.c_str(), code, where.c_str());
    std::fflush(stdout);
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
                            int /*timeoutSeconds*/) {
    currentLabel = label;
    lastNote.clear();
    SetUnhandledExceptionFilter(reportCrash);
    IsolatedOutcome outcome;
    try {
        outcome.answer = work();
        outcome.completed = true;
    } catch (const std::exception& error) {
        outcome.failure = std::string("the host failed: ") + error.what();
    }
    return outcome;
}
