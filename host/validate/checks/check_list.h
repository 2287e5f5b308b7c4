// The registry of the validation suite's checks. Each check drives fresh effects made through
// the entry point, closes them again, and answers its verdict; none of them trusts the
// plug-in's answers, buffers or output. The checks are grouped by theme, one file each in
// this folder: record_checks.cpp (entry point, record, requests, identity texts),
// param_checks.cpp, process_checks.cpp, state_checks.cpp and editor_checks.cpp.
#pragma once

#include <cstdint>
#include <vector>

#include "host/loader/plugin_library.h"
#include "host/validate/check_status.h"

namespace quorvel::host {

// What a check is given: the entry point, the profile, and its own seed for random choices.
struct CheckContext {
    PluginEntry entry = nullptr;
    ValidationProfile profile = ValidationProfile::host;
    std::uint32_t seed = 1;
};

using CheckFunction = CheckVerdict (*)(const CheckContext& context);

struct CheckDefinition {
    const char* name;
    const char* description;
    CheckFunction function;  // never null
};

// Every check that needs an entry point, in the order they run.
const std::vector<CheckDefinition>& validationChecks();

// The checks of each theme, in order; validationChecks() joins them.
std::vector<CheckDefinition> recordChecks();
std::vector<CheckDefinition> paramChecks();
std::vector<CheckDefinition> processChecks();
std::vector<CheckDefinition> stateChecks();
std::vector<CheckDefinition> editorChecks();

}  // namespace quorvel::host
