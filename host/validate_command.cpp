// quorvel-host validate: the conformance and robustness suite, as a table or as JSON.
#include <nlohmann/json.hpp>

#include <cstdio>
#include <iostream>
#include <memory>

#include "host/check_isolation.h"
#include "host/command_options.h"
#include "host/commands.h"
#include "host/validation.h"

int runValidate(const ValidateOptions& options) {
    ValidationOptions validation;
    validation.strict = options.strict;
    if (!options.json) {
        std::printf("Validating %s%s\n", options.plugin.c_str(), options.strict ? " (strict)" : "");
        std::printf("%-18s %-6s %s\n", "check", "result", "detail");
        std::fflush(stdout);
        // Rows appear as checks finish: a crash that ends the host still leaves the earlier rows.
        validation.onResult = [](const CheckResult& result) {
            std::printf("%-18s %-6s %s\n", result.name.c_str(), statusText(result.status), result.detail.c_str());
            std::fflush(stdout);
        };
    }
    const std::vector<CheckResult> results = validatePlugin(options.plugin, validation);
    const bool passed = validationPassed(results, options.strict);

    int counts[4] = {};
    for (const CheckResult& result : results) {
        ++counts[static_cast<int>(result.status)];
    }
    if (options.json) {
        nlohmann::json checks = nlohmann::json::array();
        for (const CheckResult& result : results) {
            checks.push_back({{"name", result.name}, {"status", statusText(result.status)}, {"detail", result.detail}});
        }
        const nlohmann::json report = {{"plugin", options.plugin},
                                       {"strict", options.strict},
                                       {"passed", passed},
                                       {"crashIsolation", isolationSurvivesCrashes()},
                                       {"checks", checks}};
        std::cout << report.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
    } else {
        std::printf("%zu checks: %d passed, %d failed, %d warned, %d skipped: %s\n", results.size(),
                    counts[static_cast<int>(CheckStatus::pass)], counts[static_cast<int>(CheckStatus::fail)],
                    counts[static_cast<int>(CheckStatus::warn)], counts[static_cast<int>(CheckStatus::skip)],
                    passed ? "VALID" : "INVALID");
    }
    return passed ? 0 : 1;
}

Subcommand addValidateCommand(CLI::App& app) {
    auto options = std::make_shared<ValidateOptions>();
    CLI::App* command = app.add_subcommand("validate", "Run the conformance and robustness checks");
    addPluginOption(*command, options->plugin);
    command->add_flag("--strict", options->strict, "Count warnings as failures");
    command->add_flag("--json", options->json, "Print JSON instead of a table");
    return {command, [options]() { return runValidate(*options); }};
}
