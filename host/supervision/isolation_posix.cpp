#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>
#if defined(__linux__)
#include <sys/prctl.h>
#endif

#include <cerrno>
#include <csignal>
#include <cstring>
#include <exception>
#include <new>

#include "host/loader/plugin_call.h"
#include "host/supervision/call_watchdog.h"
#include "host/supervision/interruption.h"
#include "host/supervision/isolation.h"
#include "host/supervision/output_capture.h"
#include "host/supervision/tool_shortage.h"

namespace quorvel::host {

namespace {

// ThreadSanitizer cannot start threads in a forked child, and the checks start threads:
// under it the work runs in this process, as on Windows.
#if defined(__SANITIZE_THREAD__)
constexpr bool forkWork = false;
#else
constexpr bool forkWork = true;
#endif

// How often the supervisor looks at the clock and the interruption flag while it waits, at
// the most (a short call limit is looked at more often).
constexpr int pollMilliseconds = 50;

// The child's end of the pipe to the parent; -1 outside a child.
int reportChannel = -1;

// Messages from the child are a tag byte, a text and a zero byte: 'N' a progress note, 'R'
// the work's answer, 'E' the message of the tool's own exception, 'S' the tool's own shortage
// of memory or threads, 'X' the message of an exception that escaped a call into the plug-in.
void send(char tag, const std::string& text) {
    std::string message = tag + text;
    message.push_back('\0');
    const char* data = message.data();
    std::size_t left = message.size();
    while (left > 0) {
        const ssize_t written = write(reportChannel, data, left);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return;
        }
        data += written;
        left -= static_cast<std::size_t>(written);
    }
}

// The child's side: it ends when the tool does, however the tool ends; it leaves
// interruptions to the tool (a Ctrl-C at a terminal reaches the whole process group, and the
// tool, not the plug-in's process, decides what it means); the plug-in's output goes where
// `output` says, and the work's answer or error goes up the report channel.
[[noreturn]] void runChild(const std::function<std::string()>& work, int report, int outputChannel, PluginOutput output,
                           pid_t parent, PluginCallCounters& counters) {
#if defined(__linux__)
    prctl(PR_SET_PDEATHSIG, SIGKILL);
#endif
    if (getppid() != parent) {
        _exit(1);  // the tool ended before this child could ask to end with it
    }
    ignoreInterruptions();
    if (output == PluginOutput::captured) {
        dup2(outputChannel, 1);
        dup2(outputChannel, 2);
        close(outputChannel);
    } else {
        dup2(2, 1);
    }
    reportChannel = report;
    countPluginCallsIn(counters);
    try {
        send('R', work());
    } catch (const PluginException& error) {
        send('X', error.what());
    } catch (const std::exception& error) {
        const std::string shortage = toolShortage(error);
        send(shortage.empty() ? 'E' : 'S', shortage.empty() ? error.what() : shortage);
    } catch (...) {
        send('E', "an unexpected error");
    }
    std::fflush(nullptr);
    _exit(0);
}

// Plug-in call counters in memory shared with the child, so that the supervisor sees every
// call start and end without a message per call.
class SharedCounters {
public:
    SharedCounters() {
        void* memory =
            mmap(nullptr, sizeof(PluginCallCounters), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
        if (memory != MAP_FAILED) {
            counters_ = new (memory) PluginCallCounters;
        }
    }
    ~SharedCounters() {
        if (counters_ != nullptr) {
            counters_->~PluginCallCounters();
            munmap(counters_, sizeof(PluginCallCounters));
        }
    }
    SharedCounters(const SharedCounters&) = delete;
    SharedCounters& operator=(const SharedCounters&) = delete;

    // Null when the memory could not be had.
    PluginCallCounters* get() const { return counters_; }

private:
    PluginCallCounters* counters_ = nullptr;
};

// Reads what is there without blocking; answers false at end of file or error.
bool readAvailable(int descriptor, std::string& into) {
    char chunk[4096];
    for (;;) {
        const ssize_t got = read(descriptor, chunk, sizeof chunk);
        if (got > 0) {
            into.append(chunk, static_cast<std::size_t>(got));
            continue;
        }
        if (got < 0 && errno == EINTR) {
            continue;
        }
        return got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }
}

// Marks `outcome` as the tool's own failure to start the child, for the system's `reason`.
void notStarted(IsolatedOutcome& outcome, const std::string& reason) {
    outcome.toolFailed = true;
    outcome.failure = "the tool could not start its supervised process: " + reason;
}

}  // namespace

// The work runs in a child: whatever the plug-in does, the tool outlives it and removes its
// temporary files in the ordinary way.
void registerTemporaryFile(const std::string& /*path*/) {}
void forgetTemporaryFile(const std::string& /*path*/) {}

bool isolationSurvivesCrashes() {
    return forkWork;
}

// Every unit runs in a child forked from the tool itself: no worker program is ever started.
bool takeWorkerArguments(int& /*argc*/, char** /*argv*/) {
    return false;
}

int serveAsWorker(const SupervisedWork& /*work*/) {
    return 1;
}

IsolatedOutcome runIsolated(const SupervisedWork& work, const std::string& unit, const std::string& label,
                            const IsolationLimits& limits, PluginOutput output) {
    return runIsolated([&work, &unit] { return work(unit); }, label, limits, output);
}

void noteCheckProgress(const std::string& where) {
    if (reportChannel >= 0) {
        send('N', where);
    }
}

IsolatedOutcome runIsolated(const std::function<std::string()>& work, const std::string& /*label*/,
                            const IsolationLimits& limits, PluginOutput output) {
    if (!forkWork) {
        return runRedirected(work, output);
    }
    IsolatedOutcome outcome;
    const SharedCounters shared;
    if (shared.get() == nullptr) {
        notStarted(outcome, std::string("cannot share memory with a child: ") + std::strerror(errno));
        return outcome;
    }
    PluginCallCounters& counters = *shared.get();
    int report[2] = {-1, -1};
    int captured[2] = {-1, -1};
    if (pipe(report) != 0 || (output == PluginOutput::captured && pipe(captured) != 0)) {
        notStarted(outcome, std::string("cannot create a pipe: ") + std::strerror(errno));
        for (int descriptor : {report[0], report[1], captured[0], captured[1]}) {
            if (descriptor >= 0) {
                close(descriptor);
            }
        }
        return outcome;
    }
    std::fflush(nullptr);
    const pid_t parent = getpid();
    const pid_t child = fork();
    if (child < 0) {
        notStarted(outcome, std::string("cannot fork: ") + std::strerror(errno));
        for (int descriptor : {report[0], report[1], captured[0], captured[1]}) {
            if (descriptor >= 0) {
                close(descriptor);
            }
        }
        return outcome;
    }
    if (child == 0) {
        close(report[0]);
        if (captured[0] >= 0) {
            close(captured[0]);
        }
        runChild(work, report[1], captured[1], output, parent, counters);
    }
    close(report[1]);
    if (captured[1] >= 0) {
        close(captured[1]);
    }
    fcntl(report[0], F_SETFL, fcntl(report[0], F_GETFL) | O_NONBLOCK);
    if (captured[0] >= 0) {
        fcntl(captured[0], F_SETFL, fcntl(captured[0], F_GETFL) | O_NONBLOCK);
    }

    std::string received;
    std::size_t parsed = 0;
    CapturedOutput printed;
    std::string printedChunk;
    std::string error;
    std::string pluginError;
    std::string shortage;
    bool answered = false;
    // Takes every whole message received so far; answers whether there was one.
    auto takeMessages = [&] {
        bool took = false;
        for (;; took = true) {
            const std::size_t end = received.find('\0', parsed);
            if (end == std::string::npos) {
                return took;  // the rest is a message still on its way, or cut short by a crash
            }
            const char tag = received[parsed];
            std::string text = received.substr(parsed + 1, end - parsed - 1);
            if (tag == 'N') {
                outcome.lastNote = std::move(text);
            } else if (tag == 'R') {
                outcome.answer = std::move(text);
                answered = true;
            } else if (tag == 'E') {
                error = std::move(text);
            } else if (tag == 'X') {
                pluginError = std::move(text);
            } else if (tag == 'S') {
                shortage = std::move(text);
            }
            parsed = end + 1;
        }
    };
    auto takeOutput = [&] {
        if (captured[0] >= 0) {
            printedChunk.clear();
            readAvailable(captured[0], printedChunk);
            printed.append(printedChunk.data(), printedChunk.size());
        }
    };

    CallWatchdog watchdog(limits, counters);
    std::string stopped;  // why the supervisor killed the child, empty when it did not
    int status = 0;
    for (;;) {
        pollfd waits[2] = {{report[0], POLLIN, 0}, {captured[0], POLLIN, 0}};
        poll(waits, captured[0] >= 0 ? 2 : 1, watchdog.pollMilliseconds(pollMilliseconds));
        readAvailable(report[0], received);
        takeMessages();
        takeOutput();
        if (waitpid(child, &status, WNOHANG) == child) {
            break;
        }
        stopped = watchdog.reasonToStop(outcome);
        if (!stopped.empty()) {
            kill(child, SIGKILL);
            while (waitpid(child, &status, 0) < 0 && errno == EINTR) {}
            break;
        }
    }
    // What the child wrote just before it ended.
    readAvailable(report[0], received);
    takeMessages();
    takeOutput();
    close(report[0]);
    if (captured[0] >= 0) {
        close(captured[0]);
    }
    outcome.pluginOutput = printed.text();
    outcome.pluginOutputLines = printed.lines();

    const std::string where = outcome.lastNote.empty() ? "" : " at " + outcome.lastNote;
    if (tellStopped(outcome, stopped, answered)) {
        // Stopped by the supervisor, or ended while the user interrupted the tool.
    } else if (WIFSIGNALED(status)) {
        outcome.failure = std::string("crashed (") + strsignal(WTERMSIG(status)) + ")" + where;
    } else if (!pluginError.empty()) {
        outcome.failure = "threw an exception: \"" + pluginError + "\"" + where;
    } else if (!shortage.empty()) {
        outcome.toolFailed = true;
        outcome.failure = shortageLine(shortage);
    } else if (!error.empty()) {
        outcome.failure = "the host failed: " + error;
    } else if (!answered) {
        // The plug-in ended the process itself: exit(), or a sanitizer's report of a fault.
        outcome.failure = "ended the process with exit code " + std::to_string(WEXITSTATUS(status)) + where;
    } else {
        outcome.completed = true;
    }
    return outcome;
}

}  // namespace quorvel::host
