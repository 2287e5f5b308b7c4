// quorvel-host validate: the conformance and robustness suite, as a table or as JSON.
#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdio>
#include <iostream>
#include <memory>

#include "host/cli/command_options.h"
#include "host/cli/commands.h"
#include "host/supervision/isolation.h"
#include "host/validate/validation.h"

namespace quorvel::host {

namespace {

constexpr int usageError = 2;

struct ValidateOptions {
    std::string plugin;
    bool hostile = false;
    bool strict = false;
    bool json = false;
    bool list = false;
    std::vector<std::string> only;
    std::vector<std::string> skip;
    double timeoutSeconds = defaultCallTimeoutSeconds;
    std::uint32_t seed = 0;
    int repeat = 1;
};

// A seed for a run that was given none: it differs from run to run and is printed, so that
// the run can be repeated with --seed.
std::uint32_t freshSeed() {
    const auto ticks = std::chrono::system_clock::now().time_since_epoch().count();
    const auto seed = static_cast<std::uint32_t>(ticks ^ (ticks >> 32));
    return seed == 0 ? 1 : seed;
}

int usage(const std::string& message) {
    std::fprintf(stderr, "quorvel-host: validate: %s (see quorvel-host validate --help)\n", message.c_str());
    return usageError;
}

void printList() {
    for (const CheckInfo& check : validationCheckList()) {
        std::printf("%-18s %s\n", check.name.c_str(), check.description.c_str());
    }
}

// The plug-in's output during a check, as lines under its row of the table.
void printOutput(const CheckResult& result) {
    if (result.outputLines == 0) {
        return;
    }
    std::printf("%-18s %-6s %-7s the plug-in printed %zu line%s:\n", "", "", "", result.outputLines,
                result.outputLines == 1 ? "" : "s");
    std::size_t start = 0;
    while (start < result.output.size()) {
        const std::size_t end = result.output.find('\n', start);
        const std::string line = result.output.substr(start, end == std::string::npos ? end : end - start);
        std::printf("%-18s %-6s %-7s | %s\n", "", "", "", line.c_str());
        start = end == std::string::npos ? result.output.size() : end + 1;
    }
}

// The tool could not run a check (the last result says why): one line on the error stream, no
// verdict on the plug-in, whose code never ran in that check; with --json, one report saying
// so, the checks that did run included. Answers the exit status.
int reportHostError(const ValidateOptions& options, std::uint32_t seed, const char* profile,
                    const std::vector<CheckResult>& results) {
    const std::string& error = results.back().hostError;
    std::fprintf(stderr, "quorvel-host validate: %s\n", error.c_str());
    if (options.json) {
        nlohmann::json checks = nlohmann::json::array();
        for (std::size_t k = 0; k + 1 < results.size(); ++k) {
            const CheckResult& result = results[k];
            checks.push_back({{"name", result.name}, {"status", statusText(result.status)}, {"detail", result.detail}});
        }
        const nlohmann::json report = {
            {"plugin", options.plugin}, {"profile", profile}, {"strict", options.strict}, {"seed", seed},
            {"passed", false},          {"verdict", nullptr}, {"hostError", error},       {"checks", checks}};
        std::cout << report.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
    }
    return 1;
}

int runValidate(const ValidateOptions& options) {
    if (options.list) {
        printList();
        return 0;
    }
    if (options.plugin.empty()) {
        return usage("PLUGIN is required");
    }
    if (!(options.timeoutSeconds >= 0.001 && options.timeoutSeconds <= 86400.0)) {  // NaN included
        return usage("--timeout must be a number of seconds in 0.001..86400");
    }
    for (const auto* names : {&options.only, &options.skip}) {
        const std::vector<std::string> unknown = unknownCheckNames(*names);
        if (!unknown.empty()) {
            return usage("no check is named '" + unknown.front() + "' (see --list)");
        }
    }
    ValidationOptions validation;
    validation.profile = options.hostile ? ValidationProfile::hostile : ValidationProfile::host;
    validation.strict = options.strict;
    validation.timeoutSeconds = options.timeoutSeconds;
    validation.seed = options.seed != 0 ? options.seed : freshSeed();
    validation.repeat = options.repeat;
    validation.only = options.only;
    validation.skip = options.skip;
    const char* profile = options.hostile ? "hostile" : "host";
    if (!options.json) {
        std::printf("Validating %s (%s profile%s, seed %u)\n", options.plugin.c_str(), profile,
                    options.strict ? ", strict" : "", validation.seed);
        std::printf("%-18s %-6s %-7s %s\n", "check", "result", "time", "detail");
        std::fflush(stdout);
        // Rows appear as checks finish: a crash that ends the host still leaves the earlier rows.
        validation.onResult = [](const CheckResult& result) {
            std::printf("%-18s %-6s %5.1f s %s\n", result.name.c_str(), statusText(result.status), result.seconds,
                        result.detail.c_str());
            printOutput(result);
            std::fflush(stdout);
        };
    }
    const std::vector<CheckResult> results = validatePlugin(options.plugin, validation);
    if (!results.empty() && !results.back().hostError.empty()) {
        return reportHostError(options, validation.seed, profile, results);
    }
    const bool passed = validationPassed(results, options.strict);
    // An interrupted run has no verdict on the plug-in; it still fails, as an unfinished gate must.
    std::string interruption;
    for (const CheckResult& result : results) {
        if (result.interrupted) {
            interruption = result.detail;
        }
    }
    const char* verdict = !interruption.empty() ? "INTERRUPTED" : passed ? "VALID" : "INVALID";

    int counts[4] = {};
    double seconds = 0.0;
    for (const CheckResult& result : results) {
        ++counts[static_cast<int>(result.status)];
        seconds += result.seconds;
    }
    if (options.json) {
        nlohmann::json checks = nlohmann::json::array();
        for (const CheckResult& result : results) {
            checks.push_back({{"name", result.name},
                              {"status", statusText(result.status)},
                              {"detail", result.detail},
                              {"seconds", result.seconds},
                              {"pluginOutputLines", result.outputLines},
                              {"pluginOutput", result.output}});
        }
        const nlohmann::json report = {
            {"plugin", options.plugin},
            {"profile", profile},
            {"strict", options.strict},
            {"seed", validation.seed},
            {"passed", passed},
            {"verdict", verdict},
            {"interrupted", interruption.empty() ? nlohmann::json() : nlohmann::json(interruption)},
            {"crashIsolation", isolationSurvivesCrashes()},
            {"seconds", seconds},
            {"checks", checks}};
        // Texts from a plug-in need not be UTF-8: bad bytes become replacement characters.
        std::cout << report.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
    } else {
        std::printf("%zu checks in %.1f s: %d passed, %d failed, %d warned, %d skipped: %s%s\n", results.size(),
                    seconds, counts[static_cast<int>(CheckStatus::pass)], counts[static_cast<int>(CheckStatus::fail)],
                    counts[static_cast<int>(CheckStatus::warn)], counts[static_cast<int>(CheckStatus::skip)], verdict,
                    interruption.empty() ? "" : (" (" + interruption + ")").c_str());
    }
    return passed ? 0 : 1;
}

}  // namespace

Subcommand addValidateCommand(CLI::App& app) {
    auto options = std::make_shared<ValidateOptions>();
    CLI::App* command = app.add_subcommand("validate", "Run the conformance and robustness checks");
    command->add_option("PLUGIN", options->plugin, "The plug-in library (.so, .dll)");
    command->add_flag("--hostile", options->hostile,
                      "Add adversarial sweeps (every request code, zeroed arguments, nominal text buffers)");
    command->add_flag("--strict", options->strict, "Count warnings as failures");
    command->add_flag("--json", options->json, "Print JSON instead of a table");
    command->add_flag("--list", options->list, "List the checks and exit");
    // Each of these takes one word (NAME or NAME,NAME,...), so that PLUGIN may follow it.
    command->add_option("--only", options->only, "Run only these checks: NAME,...")
        ->delimiter(',')
        ->allow_extra_args(false);
    command->add_option("--skip", options->skip, "Leave out these checks: NAME,...")
        ->delimiter(',')
        ->allow_extra_args(false);
    addTimeoutOption(*command, options->timeoutSeconds);
    command->add_option("--seed", options->seed, "Seed of every random choice (default: a new one, printed)")
        ->check(CLI::Range(1U, 0xFFFFFFFFU));
    command->add_option("--repeat", options->repeat, "Run each check this many times, with seeds SEED, SEED+1, ...")
        ->check(CLI::Range(1, 1000))
        ->capture_default_str();
    return {command, [options] { return runValidate(*options); },
            [options](const std::string& unit) {
                return runValidationUnit(options->plugin,
                                         options->hostile ? ValidationProfile::hostile : ValidationProfile::host, unit);
            }};
}

}  // namespace quorvel::host
