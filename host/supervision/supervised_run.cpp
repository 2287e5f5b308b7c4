#include "host/supervision/supervised_run.h"

#include <exception>
#include <utility>

#include "host/loader/plugin_call.h"
#include "host/loader/usage_error.h"
#include "host/supervision/isolation.h"
#include "host/supervision/tool_shortage.h"

namespace quorvel::host {

namespace {

// The work's reply starts with one of these tags, so that its own failures travel back with
// their kind and words: its answer, a usage error or another failure.
constexpr char answerTag = 'A';
constexpr char usageTag = 'U';
constexpr char errorTag = 'E';

}  // namespace

SupervisedWork supervisedWork(SupervisedWork work) {
    return [work = std::move(work)](const std::string& unit) -> std::string {
        try {
            return answerTag + work(unit);
        } catch (const PluginException&) {
            throw;  // the plug-in's, told as such by the supervision
        } catch (const UsageError& error) {
            return usageTag + std::string(error.what());
        } catch (const std::exception& error) {
            const std::string shortage = toolShortage(error);
            return errorTag + (shortage.empty() ? std::string(error.what()) : shortageLine(shortage));
        }
    };
}

std::string runSupervised(const SupervisedWork& work, const std::string& unit, const std::string& command,
                          double callSeconds) {
    IsolationLimits limits;
    limits.callSeconds = callSeconds;
    const IsolatedOutcome outcome =
        runIsolated(supervisedWork(work), unit, command, limits, PluginOutput::toErrorStream);
    if (!outcome.completed) {
        const bool pluginFault =
            outcome.interruptedBy == 0 && !outcome.toolFailed && outcome.failure.rfind("the host failed", 0) != 0;
        throw HostError((pluginFault ? "the plug-in " : "") + outcome.failure);
    }
    const std::string& reply = outcome.answer;
    std::string text = reply.empty() ? std::string() : reply.substr(1);
    if (reply.empty() || (reply[0] != answerTag && reply[0] != usageTag && reply[0] != errorTag)) {
        throw HostError("the supervised work answered nothing readable");
    }
    if (reply[0] == usageTag) {
        throw UsageError(text);
    }
    if (reply[0] == errorTag) {
        throw HostError(text);
    }
    return text;
}

SupervisedLibrary::SupervisedLibrary(const std::string& path) : path_(path) {
    noteCheckProgress("the library's initialisers");
    library_ = std::make_unique<PluginLibrary>(path);
}

SupervisedLibrary::~SupervisedLibrary() {
    if (kept_ || std::uncaught_exceptions() > 0) {
        // Left loaded on purpose: the process ends soon, or the note must stay where it failed.
        static_cast<void>(library_.release());
        return;
    }
    noteCheckProgress("the library's finalisers");
    library_.reset();
}

PluginEntry SupervisedLibrary::entry() {
    noteCheckProgress("the entry point");
    return requireEntry(*library_, path_);
}

SupervisedPlugin::SupervisedPlugin(const std::string& path) : library_(path), instance_(library_.entry()) {
    instance_.noteRequests(noteCheckProgress);
    instance_.open();
}

}  // namespace quorvel::host
