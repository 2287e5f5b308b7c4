#include <windows.h>

#include "host/validate/background_thread.h"

namespace quorvel::host {

struct BackgroundThread::Handle {
    HANDLE thread = nullptr;
};

namespace {

DWORD WINAPI runWork(LPVOID work) {
    (*static_cast<std::function<void()>*>(work))();
    return 0;
}

}  // namespace

BackgroundThread::BackgroundThread(std::function<void()> work) : work_(std::move(work)), handle_(new Handle) {
    handle_->thread = CreateThread(nullptr, 0, runWork, &work_, 0, nullptr);
    if (handle_->thread == nullptr) {
        work_();  // no thread to be had: the work still runs, on this one
    }
}

BackgroundThread::~BackgroundThread() {
    join();
}

void BackgroundThread::join() {
    if (handle_->thread != nullptr) {
        WaitForSingleObject(handle_->thread, INFINITE);
        CloseHandle(handle_->thread);
        handle_->thread = nullptr;
    }
}

void BackgroundThread::yield() {
    SwitchToThread();
}

}  // namespace quorvel::host
