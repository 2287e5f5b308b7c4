#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>
#if defined(__linux__)
#include <sys/prctl.h>
#endif

#include <cerrno>
#include <csignal>
#include <cstring>

#include "host/plot/subprocess.h"

namespace quorvel::host {

namespace {

void closeBoth(int (&ends)[2]) {
    for (int& end : ends) {
        if (end >= 0) {
            close(end);
            end = -1;
        }
    }
}

// In the forked child, before exec: only async-signal-safe calls.
[[noreturn]] void becomeProgram(pid_t parent, int input, int output, int error, char* const* argv) {
#if defined(__linux__)
    // Killed with its parent: an interrupted or crashed supervised work leaves no program behind.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
#endif
    if (getppid() != parent) {
        _exit(127);
    }
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    if (dup2(input, STDIN_FILENO) < 0 || dup2(output, STDOUT_FILENO) < 0 || dup2(error, STDERR_FILENO) < 0) {
        _exit(127);
    }
    execvp(argv[0], argv);
    const char* reason = std::strerror(errno);
    ssize_t ignored = write(STDERR_FILENO, reason, std::strlen(reason));
    (void)ignored;
    _exit(127);
}

}  // namespace

ProgramResult runProgram(const std::string& program, const std::vector<std::string>& arguments,
                         const std::string& input) {
    ProgramResult result;
    int toProgram[2] = {-1, -1};
    int fromProgram[2] = {-1, -1};
    int errorPipe[2] = {-1, -1};
    if (pipe2(toProgram, O_CLOEXEC) != 0 || pipe2(fromProgram, O_CLOEXEC) != 0 || pipe2(errorPipe, O_CLOEXEC) != 0) {
        result.errorOutput = std::strerror(errno);
        closeBoth(toProgram);
        closeBoth(fromProgram);
        closeBoth(errorPipe);
        return result;
    }
    std::vector<std::string> words{program};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    argv.reserve(words.size() + 1);
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);

    const pid_t parent = getpid();
    const pid_t child = fork();
    if (child == 0) {
        becomeProgram(parent, toProgram[0], fromProgram[1], errorPipe[1], argv.data());
    }
    close(toProgram[0]);
    close(fromProgram[1]);
    close(errorPipe[1]);
    toProgram[0] = fromProgram[1] = errorPipe[1] = -1;
    if (child < 0) {
        result.errorOutput = std::strerror(errno);
        closeBoth(toProgram);
        closeBoth(fromProgram);
        closeBoth(errorPipe);
        return result;
    }
    // The program's input is written while its output is read, so that neither side waits
    // for the other with a full pipe. A program that stops reading early is told by an error,
    // not by SIGPIPE, which would end this process.
    struct sigaction ignorePipe {};
    struct sigaction previousPipe {};
    ignorePipe.sa_handler = SIG_IGN;
    sigemptyset(&ignorePipe.sa_mask);
    sigaction(SIGPIPE, &ignorePipe, &previousPipe);
    fcntl(toProgram[1], F_SETFL, O_NONBLOCK);
    std::size_t written = 0;
    if (input.empty()) {
        closeBoth(toProgram);
    }
    char chunk[65536];
    while (fromProgram[0] >= 0 || errorPipe[0] >= 0) {
        pollfd watched[3] = {{toProgram[1], POLLOUT, 0}, {fromProgram[0], POLLIN, 0}, {errorPipe[0], POLLIN, 0}};
        if (poll(watched, 3, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
        if (toProgram[1] >= 0 && (watched[0].revents & (POLLOUT | POLLERR | POLLHUP)) != 0) {
            const ssize_t sent = write(toProgram[1], input.data() + written, input.size() - written);
            if (sent > 0) {
                written += static_cast<std::size_t>(sent);
            }
            if ((sent < 0 && errno != EAGAIN && errno != EINTR) || written == input.size()) {
                closeBoth(toProgram);  // done, or the program stopped reading
            }
        }
        for (int k = 1; k < 3; ++k) {
            int(&ends)[2] = k == 1 ? fromProgram : errorPipe;
            if (ends[0] >= 0 && (watched[k].revents & (POLLIN | POLLERR | POLLHUP)) != 0) {
                const ssize_t got = read(ends[0], chunk, sizeof chunk);
                if (got > 0) {
                    std::string& into = k == 1 ? result.output : result.errorOutput;
                    into.append(chunk, static_cast<std::size_t>(got));
                } else if (got == 0 || errno != EINTR) {
                    closeBoth(ends);
                }
            }
        }
    }
    closeBoth(toProgram);
    closeBoth(fromProgram);
    closeBoth(errorPipe);
    sigaction(SIGPIPE, &previousPipe, nullptr);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {}
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.started = result.exitCode != 127;
    return result;
}

}  // namespace quorvel::host
