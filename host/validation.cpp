#include "host/validation.h"

#include "host/check_isolation.h"
#include "host/plugin_library.h"
#include "host/validation_checks.h"

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

}  // namespace

const std::vector<CheckInfo>& validationChecks() {
    static const std::vector<CheckInfo> checks = {
        {"load", "the library loads and exports VSTPluginMain or main"},
        {"entry-version-0", "the entry point answers null when the host answers 0 to the version question"},
        {"record", "the record: magic, entry functions, counts"},
        {"request-sweep", "request codes -1..100 with zeroed arguments and guarded buffers"},
        {"identity-texts", "effect name, vendor, product and program names stay within their buffers"},
        {"param-round-trip", "parameter values read back as written"},
        {"param-texts", "parameter titles, units and value texts end within 9 bytes"},
        {"process-32", "32-bit processing at 44.1/48/96 kHz, blocks of 1/32/512/4096: no NaN, infinity, subnormal"},
        {"process-64", "64-bit processing at 44.1/48/96 kHz, blocks of 1/32/512/4096: no NaN, infinity, subnormal"},
        {"automation", "random parameter values every 32 frames: no NaN, infinity, subnormal"},
        {"block-split", "output independent of how the frames are split into blocks"},
        {"in-place", "processing in place gives the output of separate buffers"},
        {"no-allocation", "no heap allocation during processing"},
        {"threaded-params", "parameter writes from a second thread while processing"},
        {"open-close", "1,000 open/close cycles"},
    };
    return checks;
}

std::vector<CheckResult> validatePlugin(const std::string& path, const ValidationOptions& options) {
    std::vector<CheckResult> results;
    const auto report = [&](const std::string& name, CheckStatus status, const std::string& detail) {
        results.push_back({name, status, detail});
        if (options.onResult) {
            options.onResult(results.back());
        }
    };

    PluginLibrary library(path);
    PluginEntry entry = library.entry();
    std::string unusable;
    if (!library.loaded()) {
        unusable = "the library did not load";
        report("load", CheckStatus::fail, library.error());
    } else if (entry == nullptr) {
        unusable = "the library has no entry point";
        report("load", CheckStatus::fail, library.error());
    } else {
        report("load", CheckStatus::pass, {});
    }

    for (const CheckInfo& check : validationChecks()) {
        const std::string name = check.name;
        if (name == "load") {
            continue;
        }
        if (!unusable.empty()) {
            report(name, CheckStatus::skip, unusable);
            continue;
        }
        const CheckFunction function = checkFunction(name);
        const IsolatedOutcome outcome =
            runIsolated([&] { return encode(function(entry)); }, name,
                        IsolationLimits{static_cast<double>(options.timeoutSeconds), 0}, PluginOutput::toErrorStream);
        const CheckVerdict verdict = outcome.completed ? decode(outcome.answer)
                                                       : CheckVerdict{CheckStatus::fail, outcome.failure};
        report(name, verdict.status, verdict.detail);
        if (name == "record" && verdict.status == CheckStatus::fail) {
            unusable = "no usable record";
        }
    }
    return results;
}

bool validationPassed(const std::vector<CheckResult>& results, bool strict) {
    for (const CheckResult& result : results) {
        if (result.status == CheckStatus::fail || (strict && result.status == CheckStatus::warn)) {
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
