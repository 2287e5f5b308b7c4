// Collecting what supervised work prints: the first bytes kept, every line counted.
#pragma once

#include <cstddef>
#include <cstdio>
#include <functional>
#include <string>

#include "host/supervision/isolation.h"

namespace quorvel::host {

class CapturedOutput {
public:
    // Takes the next piece of output, in the order it was printed.
    void append(const char* data, std::size_t size);
    // The first maxCapturedOutput bytes.
    const std::string& text() const { return text_; }
    // Lines printed in all; a last line without a line end counts too.
    std::size_t lines() const { return lines_ + (partialLine_ ? 1 : 0); }

private:
    std::string text_;
    std::size_t lines_ = 0;
    bool partialLine_ = false;
};

// Main thread. Sends this process's standard output (and, when capturing, its error stream)
// where `output` says for as long as the object lives, for work that runs in this process.
// The C streams are flushed at both ends so that nothing printed before or after is misplaced.
class OutputRedirection {
public:
    explicit OutputRedirection(PluginOutput output);
    ~OutputRedirection();
    OutputRedirection(const OutputRedirection&) = delete;
    OutputRedirection& operator=(const OutputRedirection&) = delete;

    // Puts the streams back and answers what was captured (nothing in toErrorStream mode).
    CapturedOutput finish();

private:
    int savedOutput_ = -1;
    int savedError_ = -1;
    std::FILE* capture_ = nullptr;
    bool finished_ = false;
};

// Main thread. Runs `work` in this process with its output sent where `output` says, and
// answers its outcome; an exception from the work is the host's failure.
IsolatedOutcome runRedirected(const std::function<std::string()>& work, PluginOutput output);

}  // namespace quorvel::host
