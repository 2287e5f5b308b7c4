// A thread that runs one function while the caller goes on, joined before it goes away.
// (The Windows cross toolchains have no std::thread, so each platform has its own start.)
#pragma once

#include <functional>
#include <memory>

namespace quorvel::host {

class BackgroundThread {
public:
    // Starts `work` on a new thread.
    explicit BackgroundThread(std::function<void()> work);
    // Waits for `work` to return.
    ~BackgroundThread();
    BackgroundThread(const BackgroundThread&) = delete;
    BackgroundThread& operator=(const BackgroundThread&) = delete;

    // Waits for `work` to return; later calls do nothing.
    void join();

    // Calling thread: lets another thread run.
    static void yield();

private:
    struct Handle;
    std::function<void()> work_;
    std::unique_ptr<Handle> handle_;
};

}  // namespace quorvel::host
