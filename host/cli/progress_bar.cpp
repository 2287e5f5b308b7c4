#include "host/cli/progress_bar.h"

#include <cstdio>
#include <string>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace quorvel::host {

namespace {

bool errorStreamIsTerminal() {
#ifdef _WIN32
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(STDERR_FILENO) != 0;
#endif
}

constexpr auto delayBeforeShowing = std::chrono::milliseconds(500);
constexpr auto redrawInterval = std::chrono::milliseconds(100);
constexpr int barWidth = 40;

}  // namespace

ProgressBar::ProgressBar(std::int64_t total)
    : total_(total), terminal_(errorStreamIsTerminal()), start_(std::chrono::steady_clock::now()) {}

ProgressBar::~ProgressBar() {
    if (shown_) {
        std::fprintf(stderr, "\r%*s\r", barWidth + 16, "");
        std::fflush(stderr);
    }
}

void ProgressBar::update(std::int64_t done) {
    if (!terminal_ || total_ <= 0) {
        return;
    }
    const auto now = std::chrono::steady_clock::now();
    if (now - start_ < delayBeforeShowing || (shown_ && now - lastDrawn_ < redrawInterval)) {
        return;
    }
    const double fraction = done >= total_ ? 1.0 : static_cast<double>(done) / static_cast<double>(total_);
    const int filled = static_cast<int>(fraction * barWidth);
    std::fprintf(stderr, "\r[%s%s] %3d%%", std::string(filled, '#').c_str(),
                 std::string(barWidth - filled, '.').c_str(), static_cast<int>(fraction * 100.0));
    std::fflush(stderr);
    shown_ = true;
    lastDrawn_ = now;
}

}  // namespace quorvel::host
