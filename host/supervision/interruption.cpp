#include "host/supervision/interruption.h"

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

// The signals whose default action ends the process, and which the tool turns into an
// orderly interruption.
constexpr int interruptions[] = {
    SIGINT, SIGTERM,
#if defined(_WIN32)
    SIGBREAK,  // Ctrl-Break at the console (Ctrl-C comes as SIGINT)
#else
    SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM,
#endif
};

}  // namespace

void catchInterruptions() {
    for (const int signal : interruptions) {
        catchSignal(signal);
    }
#if !defined(_WIN32)
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
#endif
}

void ignoreInterruptions() {
    for (const int signal : interruptions) {
        std::signal(signal, SIG_IGN);
    }
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
#if defined(_WIN32)
    case SIGBREAK:
        return "SIGBREAK";
#else
    case SIGHUP:
        return "SIGHUP";
    case SIGQUIT:
        return "SIGQUIT";
    case SIGUSR1:
        return "SIGUSR1";
    case SIGUSR2:
        return "SIGUSR2";
    case SIGALRM:
        return "SIGALRM";
#endif
    default:
        return "a signal";
    }
}

}  // namespace quorvel::host
