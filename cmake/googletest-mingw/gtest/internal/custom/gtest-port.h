// GoogleTest's customisation hook, used only for Windows cross builds with mingw-w64.
//
// Its win32 thread model has no std::mutex or std::condition_variable, which GoogleTest's own
// Notification is built on. GoogleTest uses Notification only to start threads of its own,
// which our tests never ask for, so a spinning flag stands in for it.
#pragma once

#include <atomic>

#if !defined(_GLIBCXX_HAS_GTHREADS)
#define GTEST_HAS_NOTIFICATION_ 1

namespace testing::internal {

class Notification {
public:
    Notification() = default;
    Notification(const Notification&) = delete;
    Notification& operator=(const Notification&) = delete;

    void Notify() { notified_.store(true, std::memory_order_release); }
    void WaitForNotification() {
        while (!notified_.load(std::memory_order_acquire)) {
        }
    }

private:
    std::atomic<bool> notified_{false};
};

}  // namespace testing::internal
#endif
