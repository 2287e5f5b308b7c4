// The verdict of one validation check, shared by the checks and the suite that runs them.
#pragma once

#include <string>

namespace quorvel::host {

enum class CheckStatus { pass, warn, fail, skip };

struct CheckVerdict {
    CheckStatus status = CheckStatus::pass;
    std::string detail;  // why it failed, warned or was skipped; a note when it passed
};

// How the suite treats the plug-in. `host` drives it as a careful real host does: opened, told
// its sample rate and block size, activated before processing, texts in buffers of the size real
// hosts allocate, only requests a host without a window sends. `hostile` adds adversarial sweeps
// (every request code with zeroed arguments, texts in buffers of exactly their nominal size) and
// reports how robust the plug-in is beyond what hosts ask of it.
enum class ValidationProfile { host, hostile };

// "pass", "FAIL", "warn" or "skip".
const char* statusText(CheckStatus status);

}  // namespace quorvel::host
