#include "host/interruption.h"

#include <csignal>

namespace quorvel::host {

namespace {

volatile std::sig_atomic_t caught = 0;

extern "C" void noteInterruption(int signal) {
    if (caught == 0) {
        caught = signal;
    }
}

void catchSignal(int signal) {
#if defined(_WIN32)
    std::signal(signal, noteInterruption);
#else
    // No SA_RESTART: a blocking wait returns early, so the caller sees the flag at once.
    struct sigaction action {};
    action.sa_handler = noteInterruption;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    sigaction(signal, &action, nullptr);
#endif
}

}  // namespace

void catchInterruptions() {
    catchSignal(SIGINT);
    catchSignal(SIGTERM);
#if !defined(_WIN32)
    catchSignal(SIGHUP);
#endif
}

int pendingInterruption() {
    return caught;
}

const char* interruptionName(int signal) {
    switch (signal) {
    case SIGINT:
        return "SIGINT";
    case SIGTERM:
        return "SIGTERM";
#if !defined(_WIN32)
    case SIGHUP:
        return "SIGHUP";
#endif
    default:
        return "a signal";
    }
}

}  // namespace quorvel::host
