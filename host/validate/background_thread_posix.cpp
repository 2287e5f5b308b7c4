#include <thread>

#include "host/validate/background_thread.h"

namespace quorvel::host {

struct BackgroundThread::Handle {
    std::thread thread;
};

BackgroundThread::BackgroundThread(std::function<void()> work)
    : work_(std::move(work)), handle_(new Handle{std::thread([this] { work_(); })}) {}

BackgroundThread::~BackgroundThread() {
    join();
}

void BackgroundThread::join() {
    if (handle_->thread.joinable()) {
        handle_->thread.join();
    }
}

void BackgroundThread::yield() {
    std::this_thread::yield();
}

}  // namespace quorvel::host
