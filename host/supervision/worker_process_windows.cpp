#include <windows.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>
#include <string>

#include "host/loader/hex_text.h"
#include "host/loader/plugin_call.h"
#include "host/supervision/call_watchdog.h"
#include "host/supervision/interruption.h"
#include "host/supervision/output_capture.h"
#include "host/supervision/tool_shortage.h"
#include "host/supervision/worker_process.h"

namespace quorvel::host::worker {

namespace {

// The first argument of a worker's command line, followed by the handles of its request
// channel, its reply channel and the shared mapping, in decimal; the tool's own arguments
// follow. The usage text does not mention it.
constexpr char marker[] = "--quorvel-worker-process";
constexpr int workerArguments = 4;

constexpr std::size_t noteCapacity = 1024;

// What the tool and its worker share in memory: the plug-in call counters (so that the tool
// times each call without a message per call), the last progress note (written by the worker
// under its own lock, read by the tool only while the worker is idle or gone) and whether the
// worker's abort() ran (abort() and exit(3) both end a process with code 3).
struct Shared {
    PluginCallCounters counters;
    std::atomic<std::uint32_t> aborted{0};
    std::uint32_t noteLength = 0;
    char note[noteCapacity] = {};
};

static_assert(std::atomic<std::uint32_t>::is_always_lock_free);

// How often the tool looks at the clock, the pipes and the interruption flag while it waits,
// at the most (a short call limit is looked at more often).
constexpr int pollMilliseconds = 20;
// How long a worker told to end may take before it is ended by force.
constexpr DWORD retireMilliseconds = 5000;
// The pipes' buffers: a plug-in printing much does not wait on the tool at every line.
constexpr DWORD pipeBytes = 64 * 1024;

// How many times starting a worker is tried.
constexpr int startAttempts = 4;

bool toolStartsWorkers = false;

// ---- Both sides: messages are a 32-bit length and the bytes. A reply's first byte is its
// kind: 'R' the work's answer, 'X' the message of an exception that escaped a plug-in call,
// 'E' the message of the tool's own exception, 'S' the tool's own shortage of memory or threads.

bool writeAll(HANDLE channel, const char* data, std::size_t size) {
    while (size > 0) {
        DWORD written = 0;
        if (WriteFile(channel, data, static_cast<DWORD>(size), &written, nullptr) == 0 || written == 0) {
            return false;
        }
        data += written;
        size -= written;
    }
    return true;
}

bool readAll(HANDLE channel, char* data, std::size_t size) {
    while (size > 0) {
        DWORD got = 0;
        if (ReadFile(channel, data, static_cast<DWORD>(size), &got, nullptr) == 0 || got == 0) {
            return false;
        }
        data += got;
        size -= got;
    }
    return true;
}

bool sendMessage(HANDLE channel, const std::string& text) {
    const auto length = static_cast<std::uint32_t>(text.size());
    char header[4];
    std::memcpy(header, &length, sizeof header);
    return writeAll(channel, header, sizeof header) && writeAll(channel, text.data(), text.size());
}

// ---- The worker's side.

HANDLE requestChannel = nullptr;
HANDLE replyChannel = nullptr;
Shared* workerShared = nullptr;
CRITICAL_SECTION noteLock;

bool receiveMessage(HANDLE channel, std::string& text) {
    char header[4];
    if (!readAll(channel, header, sizeof header)) {
        return false;
    }
    std::uint32_t length = 0;
    std::memcpy(&length, header, sizeof length);
    text.assign(length, '\0');
    return readAll(channel, text.data(), length);
}

// A crash of the plug-in ends the worker at once with the exception's code, which the tool
// reads as its exit code (no debugger or error box is started).
LONG WINAPI endOnCrash(EXCEPTION_POINTERS* info) {
    TerminateProcess(GetCurrentProcess(), info->ExceptionRecord->ExceptionCode);
    return EXCEPTION_EXECUTE_HANDLER;
}

extern "C" void endOnAbort(int /*signal*/) {
    workerShared->aborted.store(1, std::memory_order_relaxed);
    TerminateProcess(GetCurrentProcess(), 3);
}

HANDLE handleArgument(const char* text) {
    return reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(std::strtoull(text, nullptr, 10)));
}

// ---- The tool's side.

struct Worker {
    PluginOutput output = PluginOutput::toErrorStream;
    HANDLE process = nullptr;
    HANDLE request = nullptr;  // the tool writes units here
    HANDLE reply = nullptr;    // and reads replies here
    HANDLE capture = nullptr;  // captured mode: the worker's output, else null
    HANDLE mapping = nullptr;
    Shared* shared = nullptr;
};

Worker current;  // the running worker; its process is null when none runs

// Every worker belongs to this job, which ends them all when the tool ends, however it ends.
HANDLE workerJob() {
    static const HANDLE job = [] {
        HANDLE created = CreateJobObjectW(nullptr, nullptr);
        if (created != nullptr) {
            JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
            limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
            SetInformationJobObject(created, JobObjectExtendedLimitInformation, &limits, sizeof limits);
        }
        return created;
    }();
    return job;
}

void closeHandle(HANDLE& handle) {
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE) {
        CloseHandle(handle);
    }
    handle = nullptr;
}

// Ends the worker: told to by closing its request channel, by force when it does not within
// a few seconds; answers once it is gone and holds no handle.
void retire(Worker& worker) {
    closeHandle(worker.request);
    if (worker.process != nullptr && WaitForSingleObject(worker.process, retireMilliseconds) != WAIT_OBJECT_0) {
        TerminateProcess(worker.process, 1);
        WaitForSingleObject(worker.process, INFINITE);
    }
    closeHandle(worker.process);
    closeHandle(worker.reply);
    closeHandle(worker.capture);
    if (worker.shared != nullptr) {
        UnmapViewOfFile(worker.shared);
        worker.shared = nullptr;
    }
    closeHandle(worker.mapping);
}

std::string lastError(const char* what) {
    return std::string(what) + " (error " + std::to_string(GetLastError()) + ")";
}

// The tool's own command line after its program name, as it was given.
std::wstring argumentsGiven() {
    const wchar_t* line = GetCommandLineW();
    if (*line == L'"') {
        ++line;
        while (*line != L'\0' && *line != L'"') {
            ++line;
        }
        if (*line == L'"') {
            ++line;
        }
    } else {
        while (*line != L'\0' && *line != L' ' && *line != L'\t') {
            ++line;
        }
    }
    return line;
}

std::wstring handleText(HANDLE handle) {
    return std::to_wstring(reinterpret_cast<std::uintptr_t>(handle));
}

// An inheritable copy of one of this process's standard handles, null when it has none.
HANDLE inheritableCopy(DWORD which) {
    HANDLE original = GetStdHandle(which);
    HANDLE copy = nullptr;
    if (original == nullptr || original == INVALID_HANDLE_VALUE ||
        DuplicateHandle(GetCurrentProcess(), original, GetCurrentProcess(), &copy, 0, TRUE, DUPLICATE_SAME_ACCESS) ==
            0) {
        return nullptr;
    }
    return copy;
}

// Starts a worker whose output goes where `output` says; answers an empty text, or why not.
std::string start(Worker& worker, PluginOutput output) {
    worker = Worker{};
    worker.output = output;
    SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    // The worker's ends of the channels, closed here once it has them.
    HANDLE requestEnd = nullptr;
    HANDLE replyEnd = nullptr;
    HANDLE outputEnd = nullptr;
    HANDLE inputEnd = inheritableCopy(STD_INPUT_HANDLE);
    const auto closeEnds = [&] {
        closeHandle(requestEnd);
        closeHandle(replyEnd);
        closeHandle(outputEnd);
        closeHandle(inputEnd);
    };
    if (CreatePipe(&requestEnd, &worker.request, &inherited, pipeBytes) == 0 ||
        CreatePipe(&worker.reply, &replyEnd, &inherited, pipeBytes) == 0) {
        const std::string why = lastError("cannot create a pipe");
        closeEnds();
        retire(worker);
        return why;
    }
    SetHandleInformation(worker.request, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(worker.reply, HANDLE_FLAG_INHERIT, 0);
    if (output == PluginOutput::captured) {
        if (CreatePipe(&worker.capture, &outputEnd, &inherited, pipeBytes) != 0) {
            SetHandleInformation(worker.capture, HANDLE_FLAG_INHERIT, 0);
        }
    } else {
        outputEnd = inheritableCopy(STD_ERROR_HANDLE);
    }
    worker.mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, &inherited, PAGE_READWRITE, 0, sizeof(Shared), nullptr);
    if (worker.mapping != nullptr) {
        worker.shared = static_cast<Shared*>(MapViewOfFile(worker.mapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(Shared)));
    }
    if (worker.shared == nullptr) {
        const std::string why = lastError("cannot share memory with a worker");
        closeEnds();
        retire(worker);
        return why;
    }
    new (worker.shared) Shared;

    wchar_t program[MAX_PATH * 4];
    const DWORD length = GetModuleFileNameW(nullptr, program, MAX_PATH * 4);
    std::wstring line = L"\"" + std::wstring(program, length) + L"\" " +
                        std::wstring(marker, marker + sizeof marker - 1) + L" " + handleText(requestEnd) + L" " +
                        handleText(replyEnd) + L" " + handleText(worker.mapping) + argumentsGiven();
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = inputEnd;
    startup.hStdOutput = outputEnd;
    startup.hStdError = outputEnd;
    PROCESS_INFORMATION started{};
    // A start can fail for a moment on a busy machine (Wine has answered ERROR_INTERNAL_ERROR
    // about once in a few hundred starts): it is tried again before the tool gives up.
    bool created = false;
    for (int attempt = 0; attempt < startAttempts && !created; ++attempt) {
        if (attempt > 0) {
            Sleep(static_cast<DWORD>(100 * attempt));
        }
        created = CreateProcessW(program, line.data(), nullptr, nullptr, TRUE, CREATE_SUSPENDED, nullptr, nullptr,
                                 &startup, &started) != 0;
    }
    if (!created) {
        const std::string why = lastError("cannot start a worker process");
        closeEnds();
        retire(worker);
        return why;
    }
    if (HANDLE job = workerJob(); job != nullptr) {
        AssignProcessToJobObject(job, started.hProcess);
    }
    ResumeThread(started.hThread);
    CloseHandle(started.hThread);
    worker.process = started.hProcess;
    closeEnds();
    return {};
}

// Appends what `channel` holds now, without waiting.
void readAvailable(HANDLE channel, std::string& into) {
    for (;;) {
        DWORD available = 0;
        if (channel == nullptr || PeekNamedPipe(channel, nullptr, 0, nullptr, &available, nullptr) == 0 ||
            available == 0) {
            return;
        }
        const std::size_t at = into.size();
        into.resize(at + available);
        DWORD got = 0;
        if (ReadFile(channel, into.data() + at, available, &got, nullptr) == 0) {
            got = 0;
        }
        into.resize(at + got);
        if (got == 0) {
            return;
        }
    }
}

// The complete reply in `received`, if one has arrived.
bool completeReply(const std::string& received, std::string& reply) {
    if (received.size() < 4) {
        return false;
    }
    std::uint32_t length = 0;
    std::memcpy(&length, received.data(), sizeof length);
    if (received.size() < 4 + std::size_t{length}) {
        return false;
    }
    reply = received.substr(4, length);
    return true;
}

// What ended a worker that did not reply, from its exit code.
std::string endingOf(DWORD code, bool aborted) {
    struct Named {
        DWORD code;
        const char* name;
    };
    static constexpr Named exceptions[] = {
        {0xC0000005, "access violation"},
        {0xC0000006, "in-page error"},
        {0xC0000008, "invalid handle"},
        {0xC000001D, "illegal instruction"},
        {0xC0000025, "non-continuable exception"},
        {0xC000008C, "array bounds exceeded"},
        {0xC000008D, "float denormal operand"},
        {0xC000008E, "float divide by zero"},
        {0xC000008F, "float inexact result"},
        {0xC0000090, "float invalid operation"},
        {0xC0000091, "float overflow"},
        {0xC0000092, "float stack check"},
        {0xC0000093, "float underflow"},
        {0xC0000094, "integer divide by zero"},
        {0xC0000095, "integer overflow"},
        {0xC0000096, "privileged instruction"},
        {0xC00000FD, "stack overflow"},
        {0xC0000374, "heap corruption"},
        {0xC0000409, "stack buffer overrun"},
        {0x80000002, "datatype misalignment"},
        {0x80000003, "breakpoint"},
    };
    const std::string hex = hexText(static_cast<std::int32_t>(code));
    for (const Named& known : exceptions) {
        if (known.code == code) {
            return std::string("crashed (") + known.name + ", " + hex + ")";
        }
    }
    if ((code & 0xC0000000U) == 0xC0000000U) {
        return std::string("crashed (exception ") + hex + ")";
    }
    if (aborted) {
        return "aborted (exit code " + std::to_string(code) + ")";
    }
    return "ended the process with exit code " + std::to_string(code);
}

}  // namespace

bool enabled() {
    return toolStartsWorkers;
}

bool takeArguments(int& argc, char** argv) {
    if (argc < 1 + workerArguments || std::strcmp(argv[1], marker) != 0) {
        toolStartsWorkers = true;
        return false;
    }
    requestChannel = handleArgument(argv[2]);
    replyChannel = handleArgument(argv[3]);
    HANDLE mapping = handleArgument(argv[4]);
    workerShared = static_cast<Shared*>(MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(Shared)));
    InitializeCriticalSection(&noteLock);
    for (int k = 1; k + workerArguments <= argc; ++k) {
        argv[k] = argv[k + workerArguments];
    }
    argc -= workerArguments;
    return true;
}

int serve(const SupervisedWork& work) {
    if (workerShared == nullptr) {
        return 1;
    }
    // Whatever the plug-in does ends this process with a code the tool can read, and a Ctrl-C
    // at the console is the tool's to judge.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    SetUnhandledExceptionFilter(endOnCrash);
    std::signal(SIGABRT, endOnAbort);
    std::signal(SIGINT, SIG_IGN);
    std::signal(SIGTERM, SIG_IGN);
    std::signal(SIGBREAK, SIG_IGN);
    SetConsoleCtrlHandler(nullptr, TRUE);
    countPluginCallsIn(workerShared->counters);
    std::string unit;
    while (receiveMessage(requestChannel, unit)) {
        note("");
        std::string reply;
        try {
            reply = 'R' + work(unit);
        } catch (const PluginException& error) {
            reply = 'X' + std::string(error.what());
        } catch (const std::exception& error) {
            const std::string shortage = toolShortage(error);
            reply = shortage.empty() ? 'E' + std::string(error.what()) : 'S' + shortage;
        } catch (...) {
            reply = "Ean unexpected error";
        }
        std::fflush(nullptr);  // the output comes before the reply that ends the unit
        if (!sendMessage(replyChannel, reply)) {
            break;
        }
    }
    // The tool stopped listening: no plug-in code (finalisers of libraries kept loaded) runs now.
    std::fflush(nullptr);
    TerminateProcess(GetCurrentProcess(), 0);
    return 0;
}

bool note(const std::string& where) {
    if (workerShared == nullptr) {
        return false;
    }
    EnterCriticalSection(&noteLock);
    const std::size_t length = std::min(where.size(), noteCapacity);
    std::memcpy(workerShared->note, where.data(), length);
    workerShared->noteLength = static_cast<std::uint32_t>(length);
    LeaveCriticalSection(&noteLock);
    return true;
}

IsolatedOutcome run(const std::string& unit, const IsolationLimits& limits, PluginOutput output) {
    IsolatedOutcome outcome;
    if (current.process != nullptr && current.output != output) {
        retire(current);
    }
    // A worker that ended while idle cannot take the unit: a new one is started for it.
    for (int attempt = 0;; ++attempt) {
        if (current.process == nullptr) {
            if (const std::string why = start(current, output); !why.empty()) {
                outcome.toolFailed = true;
                outcome.failure = "the tool could not start its supervised process: " + why;
                return outcome;
            }
        }
        if (sendMessage(current.request, unit)) {
            break;
        }
        retire(current);
        if (attempt > 0) {
            outcome.toolFailed = true;
            outcome.failure =
                "the tool could not start its supervised process: " + lastError("cannot reach the worker process");
            return outcome;
        }
    }
    Worker& worker = current;
    const PluginCallCounters& counters = worker.shared->counters;

    std::string received;
    std::string reply;
    std::string printedChunk;
    CapturedOutput printed;
    const auto takeOutput = [&] {
        printedChunk.clear();
        readAvailable(worker.capture, printedChunk);
        printed.append(printedChunk.data(), printedChunk.size());
    };
    CallWatchdog watchdog(limits, counters);
    std::string stopped;  // why the tool ended the worker, empty when it did not
    bool replied = false;
    bool ended = false;
    for (;;) {
        takeOutput();
        readAvailable(worker.reply, received);
        if (completeReply(received, reply)) {
            replied = true;
            break;
        }
        if (WaitForSingleObject(worker.process, 0) == WAIT_OBJECT_0) {
            ended = true;
            break;
        }
        stopped = watchdog.reasonToStop(outcome);
        if (!stopped.empty()) {
            TerminateProcess(worker.process, 1);
            WaitForSingleObject(worker.process, INFINITE);
            ended = true;
            break;
        }
        WaitForSingleObject(worker.process, static_cast<DWORD>(watchdog.pollMilliseconds(pollMilliseconds)));
    }
    // What the worker printed and sent just before it replied or ended.
    takeOutput();
    readAvailable(worker.reply, received);
    if (!replied && stopped.empty() && completeReply(received, reply)) {
        replied = true;  // it replied, then ended (its last unit)
    }
    outcome.pluginOutput = printed.text();
    outcome.pluginOutputLines = printed.lines();
    outcome.lastNote.assign(worker.shared->note, std::min<std::size_t>(worker.shared->noteLength, noteCapacity));
    const bool aborted = worker.shared->aborted.load(std::memory_order_relaxed) != 0;
    DWORD code = 0;
    if (ended) {
        GetExitCodeProcess(worker.process, &code);
    }

    const std::string where = outcome.lastNote.empty() ? "" : " at " + outcome.lastNote;
    if (tellStopped(outcome, stopped, replied)) {
        // Stopped by the tool, or ended while the user interrupted the tool.
    } else if (!replied) {
        outcome.failure = endingOf(code, aborted) + where;
    } else if (reply.empty() || reply[0] == 'E') {
        outcome.failure = "the host failed: " + (reply.empty() ? std::string("an empty reply") : reply.substr(1));
    } else if (reply[0] == 'X') {
        outcome.failure = "threw an exception: \"" + reply.substr(1) + "\"" + where;
    } else if (reply[0] == 'S') {
        outcome.toolFailed = true;
        outcome.failure = shortageLine(reply.substr(1));
    } else {
        outcome.completed = true;
        outcome.answer = reply.substr(1);
    }
    // Validate's next check reuses the worker; any other command's work is one unit, and a
    // worker that failed is not trusted with another.
    if (!outcome.completed || output != PluginOutput::captured) {
        retire(worker);
    }
    return outcome;
}

}  // namespace quorvel::host::worker
