// quorvel-host: loads a plug-in library of this binary interface and inspects, renders,
// validates or benchmarks it. Usage errors exit 2, failures 1; either is told in one line.
#include <CLI/CLI.hpp>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "host/cli/command_options.h"
#include "host/cli/commands.h"
#include "host/loader/usage_error.h"
#include "host/supervision/interruption.h"
#include "host/supervision/isolation.h"
#include "host/supervision/tool_shortage.h"

namespace quorvel::host {
namespace {

// The subcommand named on the command line, or null.
const Subcommand* namedCommand(const std::vector<Subcommand>& commands, int argc, char** argv) {
    for (int k = 1; k < argc; ++k) {
        for (const Subcommand& command : commands) {
            if (command.command->get_name() == argv[k]) {
                return &command;
            }
        }
    }
    return nullptr;
}

std::string commandList(const std::vector<Subcommand>& commands) {
    std::string list;
    for (const Subcommand& command : commands) {
        list += (list.empty() ? "" : ", ") + command.command->get_name();
    }
    return list;
}

int run(int argc, char** argv, bool worker) {
    // A signal ends the supervised work and lets the command remove its temporary files.
    catchInterruptions();
    CLI::App app{"Loads a plug-in of the Quorvel binary interface and inspects, renders, validates or benchmarks it.",
                 "quorvel-host"};
    app.require_subcommand(1);
    // Arguments starting with a slash are paths, never options, on Windows too.
    app.allow_windows_style_options(false);
    app.set_version_flag("--version", std::string("quorvel-host ") + QUORVEL_VERSION);
    const std::vector<Subcommand> commands = {addInfoCommand(app), addRenderCommand(app), addValidateCommand(app),
                                              addBenchCommand(app)};

    const Subcommand* named = namedCommand(commands, argc, argv);
    if (named == nullptr && argc > 1 && argv[1][0] != '-') {
        std::fprintf(stderr, "quorvel-host: unknown command '%s'; the commands are %s (see quorvel-host --help)\n",
                     argv[1], commandList(commands).c_str());
        return exitUsage;
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& help) {
        return app.exit(help);
    } catch (const CLI::CallForAllHelp& help) {
        return app.exit(help);
    } catch (const CLI::CallForVersion& version) {
        return app.exit(version);
    } catch (const CLI::ParseError& error) {
        const std::string help = named != nullptr ? "quorvel-host " + named->command->get_name() + " --help"
                                                  : std::string("quorvel-host --help");
        std::fprintf(stderr, "quorvel-host: %s (see %s)\n", error.what(), help.c_str());
        return exitUsage;
    }

    for (const Subcommand& command : commands) {
        if (!command.command->parsed()) {
            continue;
        }
        const std::string name = command.command->get_name();
        if (worker) {
            return serveAsWorker(command.work);
        }
        try {
            return command.run();
        } catch (const UsageError& error) {
            std::fprintf(stderr, "quorvel-host %s: %s (see quorvel-host %s --help)\n", name.c_str(), error.what(),
                         name.c_str());
            return exitUsage;
        } catch (const std::exception& error) {
            const std::string shortage = toolShortage(error);
            std::fprintf(stderr, "quorvel-host %s: %s\n", name.c_str(),
                         shortage.empty() ? error.what() : shortageLine(shortage).c_str());
            return exitFailure;
        }
    }
    return exitUsage;
}

}  // namespace
}  // namespace quorvel::host

int main(int argc, char** argv) {
    int status = quorvel::host::exitFailure;
    try {
        // A worker process started by the tool itself (where no fork exists) takes its own
        // arguments off first and then parses the tool's command line like the tool did.
        const bool worker = quorvel::host::takeWorkerArguments(argc, argv);
        status = quorvel::host::run(argc, argv, worker);
    } catch (...) {
        std::fprintf(stderr, "quorvel-host: an unexpected error ended the run\n");
    }
    // What a command prints is its result (a JSON report, a table): a standard output that
    // could not take all of it (a full disk, a closed pipe) fails the run instead of leaving a
    // cut-off report behind an exit status of 0.
    std::cout.flush();
    const bool flushed = std::fflush(stdout) == 0;
    const int error = errno;
    if (status == 0 && (!flushed || std::ferror(stdout) != 0 || !std::cout)) {
        std::fprintf(stderr, "quorvel-host: cannot write the standard output: %s\n",
                     flushed ? "a write failed" : std::strerror(error));
        return quorvel::host::exitFailure;
    }
    return status;
}
