// Running a command's work with the plug-in supervised: a crash, exit, abort or hang of the
// plug-in (or a signal to the tool) ends the work, never the tool, and comes back as one line.
#pragma once

#include <functional>
#include <string>

namespace quorvel::host {

// Main thread. Runs `work` supervised (in a child process where the platform allows), the
// plug-in's standard output sent to the tool's error stream, with at most `callSeconds` for
// any one plug-in call (the work notes its calls with noteCheckProgress()). Answers what the
// work answered. A UsageError or HostError that the work throws is thrown again here as the
// same type and message; a crash, exit, abort, hang or interruption throws HostError saying so
// in one line, with the request or block it happened at.
std::string runSupervised(const std::function<std::string()>& work, const std::string& command, double callSeconds);

}  // namespace quorvel::host
