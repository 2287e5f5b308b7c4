#include "host/validate/validation.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>

#include "host/loader/plugin_library.h"
#include "host/supervision/interruption.h"
#include "host/supervision/isolation.h"
#include "host/supervision/supervised_run.h"
#include "host/validate/checks/check_list.h"
#include "host/validate/checks/check_support.h"

namespace quorvel::host {

namespace {

// A verdict crosses from the isolated child as its status letter followed by the detail.
std::string encode(const CheckVerdict& verdict) {
    const char letters[] = {'P', 'W', 'F', 'S'};
    return letters[static_cast<int>(verdict.status)] + verdict.detail;
}

CheckVerdict decode(const std::string& text) {
    const std::string letters = "PWFS";
    const std::size_t status = text.empty() ? std::string::npos : letters.find(text.front());
    if (status == std::string::npos) {
        return {CheckStatus::fail, "the check ended without a verdict"};
    }
    return {static_cast<CheckStatus>(status), text.substr(1)};
}

constexpr const char* loadName = "load";
constexpr const char* loadDescription = "the library loads and exports VSTPluginMain or main";

bool listed(const std::vector<std::string>& names, const std::string& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

// The first `count` lines of `text`.
std::string firstLines(const std::string& text, int count) {
    std::size_t end = 0;
    for (int line = 0; line < count && end != std::string::npos; ++line) {
        end = text.find('\n', end == 0 && line == 0 ? 0 : end + 1);
    }
    return end == std::string::npos ? text : text.substr(0, end);
}

// A result that ran no check of its own: the load, or a check skipped.
CheckResult plainResult(const std::string& name, CheckStatus status, const std::string& detail) {
    CheckResult result;
    result.name = name;
    result.status = status;
    result.detail = detail;
    return result;
}

// The unit of a check proper: its name and seed, apart by a zero byte; the load check's is its name.
std::string checkUnit(const std::string& name, std::uint32_t seed) {
    return name + '\0' + std::to_string(seed);
}

// Runs one check supervised, `rounds` times at most (the load check once), and answers its result.
CheckResult runCheck(const std::string& name, const std::string& path, int rounds, const ValidationOptions& options) {
    const SupervisedWork work = [&path, &options](const std::string& unit) {
        return runValidationUnit(path, options.profile, unit);
    };
    CheckResult result;
    result.name = name;
    const auto start = std::chrono::steady_clock::now();
    for (int round = 0; round < std::max(1, rounds); ++round) {
        const std::uint32_t seed = checkSeed(options.seed + static_cast<std::uint32_t>(round), name);
        // Only a plug-in call that does not return is timed: the tool's own work between the
        // calls (scanning guarded buffers, comparing runs, waiting on the editor's window)
        // never counts against the plug-in.
        IsolationLimits limits;
        limits.callSeconds = options.timeoutSeconds;
        const std::string unit = name == loadName ? name : checkUnit(name, seed);
        const IsolatedOutcome outcome =
            runIsolated(work, unit, std::string("validate ") + name, limits, PluginOutput::captured);
        const CheckVerdict verdict =
            outcome.completed ? decode(outcome.answer) : CheckVerdict{CheckStatus::fail, outcome.failure};
        result.status = verdict.status;
        result.detail = verdict.detail;
        result.faulted = !outcome.completed;
        result.outputLines += outcome.pluginOutputLines;
        if (result.output.empty()) {
            result.output = firstLines(outcome.pluginOutput, 3);
        }
        if (outcome.toolFailed) {
            // The tool's own failure, which says nothing about the plug-in: not judged.
            result.status = CheckStatus::skip;
            result.detail = outcome.failure;
            result.hostError = outcome.failure;
            break;
        }
        result.interrupted = outcome.interruptedBy != 0;
        if (result.interrupted) {
            // The user's doing, not the plug-in's: the check is not judged.
            result.status = CheckStatus::skip;
            result.detail = outcome.failure;
            break;
        }
        if (verdict.status != CheckStatus::pass) {
            if (rounds > 1) {
                result.detail += " (round " + std::to_string(round + 1) + " of " + std::to_string(rounds) + ")";
            }
            break;
        }
    }
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return result;
}

// The load check, in the supervised process: the library loads, exports an entry point and
// unloads, its initialisers and finalisers run under supervision.
CheckVerdict loadAndUnload(const std::string& path) {
    SupervisedLibrary library(path);
    if (!library.library().loaded()) {
        return {CheckStatus::fail, library.library().error()};
    }
    if (library.library().entry() == nullptr) {
        return {CheckStatus::fail, library.library().error()};
    }
    return {};
}

// A check proper, in the supervised process: the library is loaded there and stays loaded
// until the process ends, so that a fault in its finalisers is the load check's alone.
CheckVerdict runLoaded(const CheckDefinition& check, const std::string& path, ValidationProfile profile,
                       std::uint32_t seed) {
    SupervisedLibrary library(path);
    library.keepLoaded();
    CheckContext context;
    context.entry = library.entry();
    noteCheckProgress("");  // from here on, the check names its own places
    context.profile = profile;
    context.seed = seed;
    return check.function(context);
}

}  // namespace

std::string runValidationUnit(const std::string& path, ValidationProfile profile, const std::string& unit) {
    if (unit == loadName) {
        return encode(loadAndUnload(path));
    }
    const std::size_t split = unit.find('\0');
    const std::string name = unit.substr(0, split);
    for (const CheckDefinition& check : validationChecks()) {
        if (check.name == name && split != std::string::npos) {
            const auto seed = static_cast<std::uint32_t>(std::strtoul(unit.c_str() + split + 1, nullptr, 10));
            return encode(runLoaded(check, path, profile, seed));
        }
    }
    return encode({CheckStatus::fail, "the tool asked for no known check ('" + name + "')"});
}

std::vector<CheckInfo> validationCheckList() {
    std::vector<CheckInfo> list = {{loadName, loadDescription}};
    for (const CheckDefinition& check : validationChecks()) {
        list.push_back({check.name, check.description});
    }
    return list;
}

std::vector<std::string> unknownCheckNames(const std::vector<std::string>& names) {
    std::vector<std::string> unknown;
    for (const std::string& name : names) {
        const std::vector<CheckInfo> list = validationCheckList();
        if (std::none_of(list.begin(), list.end(), [&](const CheckInfo& check) { return check.name == name; })) {
            unknown.push_back(name);
        }
    }
    return unknown;
}

std::vector<CheckResult> validatePlugin(const std::string& path, const ValidationOptions& options) {
    std::vector<CheckResult> results;
    const auto report = [&](CheckResult result) {
        results.push_back(std::move(result));
        if (options.onResult) {
            options.onResult(results.back());
        }
    };

    // The library is loaded in the supervised processes only: whatever its initialisers or
    // finalisers do, the tool itself never runs them (where checks run isolated).
    CheckResult load = runCheck(loadName, path, 1, options);
    if (!load.hostError.empty()) {
        results.push_back(std::move(load));
        return results;
    }
    std::string unusable;
    if (load.status == CheckStatus::fail) {
        unusable = "the library did not load";
    }
    bool interrupted = load.interrupted;
    report(std::move(load));

    for (const CheckDefinition& check : validationChecks()) {
        const std::string name = check.name;
        if (interrupted) {
            break;
        }
        if ((!options.only.empty() && !listed(options.only, name)) || listed(options.skip, name)) {
            continue;
        }
        if (!unusable.empty()) {
            report(plainResult(name, CheckStatus::skip, unusable));
            continue;
        }
        if (const int signal = pendingInterruption(); signal != 0) {
            CheckResult result =
                plainResult(name, CheckStatus::skip, std::string("interrupted by ") + interruptionName(signal));
            result.interrupted = true;
            report(std::move(result));
            break;
        }
        CheckResult result = runCheck(name, path, options.repeat, options);
        if (!result.hostError.empty()) {
            results.push_back(std::move(result));
            break;
        }
        // A record the check judged unusable leaves nothing to test; a fault of the plug-in
        // during the check (a crash, exit or hang) is the record check's finding, and every
        // other check still runs and reports its own.
        if (name == "record" && result.status == CheckStatus::fail && !result.faulted) {
            unusable = "no usable record";
        }
        interrupted = result.interrupted;
        report(std::move(result));
    }
    return results;
}

bool validationPassed(const std::vector<CheckResult>& results, bool strict) {
    for (const CheckResult& result : results) {
        if (result.interrupted || !result.hostError.empty() || result.status == CheckStatus::fail ||
            (strict && result.status == CheckStatus::warn)) {
            return false;
        }
    }
    return true;
}

const char* statusText(CheckStatus status) {
    switch (status) {
    case CheckStatus::pass:
        return "pass";
    case CheckStatus::warn:
        return "warn";
    case CheckStatus::fail:
        return "FAIL";
    case CheckStatus::skip:
        return "skip";
    }
    return "?";
}

}  // namespace quorvel::host
