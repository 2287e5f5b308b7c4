#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "host/check_isolation.h"

bool isolationSurvivesCrashes() {
    return true;
}

IsolatedOutcome runIsolated(const std::function<std::string()>& work, const std::string& /*label*/,
                            int timeoutSeconds) {
    IsolatedOutcome outcome;
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
        alarm(static_cast<unsigned>(timeoutSeconds));
        std::string answer;
        try {
            answer = work();
        } catch (const std::exception& error) {
            answer = std::string("\x01") + error.what();
        }
        const char* data = answer.data();
        std::size_t left = answer.size();
        while (left > 0) {
            const ssize_t written = write(channel[1], data, left);
            if (written <= 0) {
                break;
            }
            data += written;
            left -= static_cast<std::size_t>(written);
        }
        _exit(0);
    }
    close(channel[1]);
    char chunk[4096];
    ssize_t got = 0;
    while ((got = read(channel[0], chunk, sizeof chunk)) > 0 || (got < 0 && errno == EINTR)) {
        if (got > 0) {
            outcome.answer.append(chunk, static_cast<std::size_t>(got));
        }
    }
    close(channel[0]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFSIGNALED(status)) {
        const int signal = WTERMSIG(status);
        outcome.failure = signal == SIGALRM ? "timed out after " + std::to_string(timeoutSeconds) + " s"
                                            : std::string("crashed (") + strsignal(signal) + ")";
        outcome.answer.clear();
    } else if (!outcome.answer.empty() && outcome.answer.front() == '\x01') {
        outcome.failure = "the host failed: " + outcome.answer.substr(1);
        outcome.answer.clear();
    } else {
        outcome.completed = true;
    }
    return outcome;
}
