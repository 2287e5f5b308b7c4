// The conformance and robustness suite that `quorvel-host validate` runs against any plug-in
// library of this binary interface, through the record only.
#pragma once

#include <functional>
#include <string>
#include <vector>

enum class CheckStatus { pass, warn, fail, skip };

struct CheckResult {
    std::string name;
    CheckStatus status = CheckStatus::pass;
    std::string detail;  // why it failed, warned or was skipped; a note when it passed
};

struct ValidationOptions {
    // Warnings count as failures: parameters that do not read back as written, and output
    // that depends on how the frames are split into blocks.
    bool strict = false;
    // A check that runs longer than this is ended and fails (where checks run isolated).
    int timeoutSeconds = 300;
    // Told every result as soon as it is known; may be empty.
    std::function<void(const CheckResult&)> onResult;
};

// The checks in the order they run, with a line saying what each one checks.
struct CheckInfo {
    const char* name;
    const char* description;
};
const std::vector<CheckInfo>& validationChecks();

// Main thread. Loads the library at `path` and runs every check, each in isolation where
// the platform allows (see check_isolation.h), and answers the results in order. Checks
// that need an effect are skipped once the library or its record proves unusable.
std::vector<CheckResult> validatePlugin(const std::string& path, const ValidationOptions& options);

// Whether `results` pass: no failure, and no warning when `strict`.
bool validationPassed(const std::vector<CheckResult>& results, bool strict);

// "pass", "FAIL", "warn" or "skip".
const char* statusText(CheckStatus status);
