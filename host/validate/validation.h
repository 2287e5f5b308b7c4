// The conformance and robustness suite that `quorvel-host validate` runs against any plug-in
// library of this binary interface, through the record only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "host/validate/check_status.h"

namespace quorvel::host {

struct CheckResult {
    std::string name;
    CheckStatus status = CheckStatus::pass;
    std::string detail;           // why it failed, warned or was skipped; a note when it passed
    double seconds = 0.0;         // how long the check took, all its rounds
    std::size_t outputLines = 0;  // lines the plug-in printed during the check
    std::string output;           // the first few of them
    bool interrupted = false;     // a signal ended the check (then skipped, not judged), and with it the run
    bool faulted = false;         // the plug-in crashed, exited, hung or threw during the check
    // The tool could not run the check (it could not start its supervised process, or ran
    // short of memory or threads): the tool's own failure, saying why. The check is skipped, not judged, and the run
    // ends with it.
    std::string hostError;
};

struct ValidationOptions {
    ValidationProfile profile = ValidationProfile::host;
    // Warnings count as failures.
    bool strict = false;
    // A call into the plug-in that does not return within this many seconds is a hang: the
    // check is ended and fails (where checks run isolated). The tool's own work between calls
    // is not counted, so a check may take much longer with every call in time.
    double timeoutSeconds = 60.0;
    // The seed of every random choice: the same seed drives the same values.
    std::uint32_t seed = 1;
    // Each check runs this many times, with seeds seed, seed + 1, ...; the first round that
    // does not pass gives its verdict.
    int repeat = 1;
    // Checks to run (empty: all) and checks to leave out, by name; "load" always runs.
    std::vector<std::string> only;
    std::vector<std::string> skip;
    // Told every result as soon as it is known; may be empty.
    std::function<void(const CheckResult&)> onResult;
};

// The checks in the order they run, with a line saying what each one checks.
struct CheckInfo {
    std::string name;
    std::string description;
};
std::vector<CheckInfo> validationCheckList();

// The names among `names` that are no check of validationCheckList().
std::vector<std::string> unknownCheckNames(const std::vector<std::string>& names);

// Main thread. Runs the load check and the chosen checks on the library at `path`, each in
// isolation where the platform allows (see supervision/isolation.h), the library loaded only there,
// with the plug-in's own output collected, and answers the results in order. Checks that need
// an effect are skipped once the library or its record proves unusable; a signal (SIGINT,
// SIGTERM, SIGHUP) ends the run with a result marked `interrupted`, and the tool's failure to
// start a supervised process ends it with a last result holding `hostError`, which is not told
// to `onResult`.
std::vector<CheckResult> validatePlugin(const std::string& path, const ValidationOptions& options);

// Supervised side. Runs one unit of validate's work on the library at `path`, as
// validatePlugin() hands them to the supervision ("load", or a check's name and seed), and
// answers the verdict encoded for the supervisor. validate's worker process serves this.
std::string runValidationUnit(const std::string& path, ValidationProfile profile, const std::string& unit);

// Whether `results` pass: no failure, no interruption, no error of the tool, and no warning
// when `strict`.
bool validationPassed(const std::vector<CheckResult>& results, bool strict);

}  // namespace quorvel::host
