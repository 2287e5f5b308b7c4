#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "host/check_isolation.h"

namespace {

// ThreadSanitizer cannot start threads in a forked child, and the checks start threads:
// under it the checks run in this process, as on Windows.
#if defined(__SANITIZE_THREAD__)
constexpr bool forkChecks = false;
#else
constexpr bool forkChecks = true;
#endif

// The child's end of the pipe to the parent; -1 outside a child.
int reportChannel = -1;

// Messages from the child are a tag byte, a text and a zero byte: 'N' a progress note, 'R'
// the work's answer, 'E' an exception's message.
void send(char tag, const std::string& text) {
    std::string message = tag + text;
    message.push_back('\0');
    const char* data = message.data();
    std::size_t left = message.size();
    while (left > 0) {
        const ssize_t written = write(reportChannel, data, left);
        if (written <= 0) {
            return;
        }
        data += written;
        left -= static_cast<std::size_t>(written);
    }
}

}  // namespace

bool isolationSurvivesCrashes() {
    return forkChecks;
}

void noteCheckProgress(const std::string& where) {
    if (reportChannel >= 0) {
        send('N', where);
    }
}

IsolatedOutcome runIsolated(const std::function<std::string()>& work, const std::string& /*label*/,
                            int timeoutSeconds) {
    IsolatedOutcome outcome;
    if (!forkChecks) {
        try {
            outcome.answer = work();
            outcome.completed = true;
        } catch (const std::exception& error) {
            outcome.failure = std::string("the host failed: ") + error.what();
        }
        return outcome;
    }
    int channel[2];
    if (pipe(channel) != 0) {
        outcome.failure = std::string("cannot create a pipe: ") + std::strerror(errno);
        return outcome;
    }
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child < 0) {
        close(channel[0]);
        close(channel[1]);
        outcome.failure = std::string("cannot fork: ") + std::strerror(errno);
        return outcome;
    }
    if (child == 0) {
        close(channel[0]);
        reportChannel = channel[1];
        alarm(static_cast<unsigned>(timeoutSeconds));
        try {
            send('R', work());
        } catch (const std::exception& error) {
            send('E', error.what());
        }
        _exit(0);
    }
    close(channel[1]);
    std::string received;
    char chunk[4096];
    ssize_t got = 0;
    while ((got = read(channel[0], chunk, sizeof chunk)) > 0 || (got < 0 && errno == EINTR)) {
        if (got > 0) {
            received.append(chunk, static_cast<std::size_t>(got));
        }
    }
    close(channel[0]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    std::string lastNote;
    std::string error;
    bool answered = false;
    for (std::size_t start = 0; start < received.size();) {
        std::size_t end = received.find('\0', start);
        if (end == std::string::npos) {
            break;  // a message cut short by the crash
        }
        const char tag = received[start];
        const std::string text = received.substr(start + 1, end - start - 1);
        if (tag == 'N') {
            lastNote = text;
        } else if (tag == 'R') {
            outcome.answer = text;
            answered = true;
        } else if (tag == 'E') {
            error = text;
        }
        start = end + 1;
    }
    const std::string where = lastNote.empty() ? "" : " at " + lastNote;
    if (WIFSIGNALED(status)) {
        const int signal = WTERMSIG(status);
        outcome.failure = signal == SIGALRM ? "timed out after " + std::to_string(timeoutSeconds) + " s" + where
                                            : std::string("crashed (") + strsignal(signal) + ")" + where;
    } else if (!error.empty()) {
        outcome.failure = "the host failed: " + error;
    } else if (!answered) {
        // The plug-in ended the process (exit(), or a sanitizer's report of a fault).
        outcome.failure = "crashed (the process exited with code " + std::to_string(WEXITSTATUS(status)) + ")" + where;
    } else {
        outcome.completed = true;
    }
    return outcome;
}
