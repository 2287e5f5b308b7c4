#include "host/supervision/output_capture.h"

#include <algorithm>
#include <cstring>
#include <exception>

#include "host/loader/plugin_call.h"

#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

namespace quorvel::host {

void CapturedOutput::append(const char* data, std::size_t size) {
    if (size == 0) {
        return;
    }
    const std::size_t room = maxCapturedOutput - std::min(maxCapturedOutput, text_.size());
    text_.append(data, std::min(room, size));
    lines_ += static_cast<std::size_t>(std::count(data, data + size, '\n'));
    partialLine_ = data[size - 1] != '\n';
}

OutputRedirection::OutputRedirection(PluginOutput output) {
    std::fflush(stdout);
    std::fflush(stderr);
    savedOutput_ = dup(1);
    if (output == PluginOutput::toErrorStream) {
        dup2(2, 1);
        return;
    }
    capture_ = std::tmpfile();
    if (capture_ == nullptr) {
        dup2(2, 1);  // cannot capture: keep the tool's standard output clean all the same
        return;
    }
    savedError_ = dup(2);
    dup2(fileno(capture_), 1);
    dup2(fileno(capture_), 2);
}

OutputRedirection::~OutputRedirection() {
    finish();
}

CapturedOutput OutputRedirection::finish() {
    CapturedOutput captured;
    if (finished_) {
        return captured;
    }
    finished_ = true;
    std::fflush(stdout);
    std::fflush(stderr);
    if (savedOutput_ >= 0) {
        dup2(savedOutput_, 1);
        close(savedOutput_);
    }
    if (savedError_ >= 0) {
        dup2(savedError_, 2);
        close(savedError_);
    }
    if (capture_ != nullptr) {
        std::rewind(capture_);
        char chunk[4096];
        std::size_t got = 0;
        while ((got = std::fread(chunk, 1, sizeof chunk, capture_)) > 0) {
            captured.append(chunk, got);
        }
        std::fclose(capture_);
        capture_ = nullptr;
    }
    return captured;
}

IsolatedOutcome runRedirected(const std::function<std::string()>& work, PluginOutput output) {
    IsolatedOutcome outcome;
    OutputRedirection redirection(output);
    try {
        outcome.answer = work();
        outcome.completed = true;
    } catch (const PluginException& error) {
        outcome.failure = std::string("threw an exception: \"") + error.what() + "\"";
    } catch (const std::exception& error) {
        outcome.failure = std::string("the host failed: ") + error.what();
    }
    const CapturedOutput captured = redirection.finish();
    outcome.pluginOutput = captured.text();
    outcome.pluginOutputLines = captured.lines();
    return outcome;
}

}  // namespace quorvel::host
