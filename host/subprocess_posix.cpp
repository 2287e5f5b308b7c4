#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "host/subprocess.h"

namespace quorvel::host {

ProgramResult runProgram(const std::string& program, const std::vector<std::string>& arguments) {
    ProgramResult result;
    int errorPipe[2];
    if (pipe(errorPipe) != 0) {
        result.errorOutput = std::strerror(errno);
        return result;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, errorPipe[1], STDERR_FILENO);
    posix_spawn_file_actions_addclose(&actions, errorPipe[0]);

    std::vector<std::string> words{program};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    argv.reserve(words.size() + 1);
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);

    pid_t child = 0;
    const int spawned = posix_spawnp(&child, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(errorPipe[1]);
    if (spawned != 0) {
        close(errorPipe[0]);
        result.errorOutput = std::strerror(spawned);
        return result;
    }
    result.started = true;
    char chunk[512];
    ssize_t got = 0;
    while ((got = read(errorPipe[0], chunk, sizeof chunk)) > 0 || (got < 0 && errno == EINTR)) {
        if (got > 0) {
            result.errorOutput.append(chunk, static_cast<std::size_t>(got));
        }
    }
    close(errorPipe[0]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {}
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

}  // namespace quorvel::host
