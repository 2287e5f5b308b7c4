// A one-line progress bar on the error stream for long renders. It shows itself only when
// the error stream is a terminal and the work has taken longer than half a second, so short
// runs, pipes and log files stay clean.
#pragma once

#include <chrono>
#include <cstdint>

namespace quorvel::host {

class ProgressBar {
public:
    explicit ProgressBar(std::int64_t total);
    // Clears the bar's line if it was shown.
    ~ProgressBar();
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    // Main thread. `done` of the total are finished; redraws at most ten times a second.
    void update(std::int64_t done);

private:
    std::int64_t total_;
    bool terminal_;
    bool shown_ = false;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point lastDrawn_;
};

}  // namespace quorvel::host
