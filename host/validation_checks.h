// The individual checks of the validation suite. Each drives fresh effects made through
// `entry`, closes them again, and answers its verdict; none of them trusts the plug-in's
// answers, buffers or output.
#pragma once

#include <string>

#include "host/plugin_library.h"
#include "host/validation.h"

struct CheckVerdict {
    CheckStatus status = CheckStatus::pass;
    std::string detail;
};

using CheckFunction = CheckVerdict (*)(PluginEntry entry);

// The check function for a name of validationChecks(), or null.
CheckFunction checkFunction(const std::string& name);
