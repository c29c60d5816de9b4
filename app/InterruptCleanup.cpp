#include "app/InterruptCleanup.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

namespace {

// Signals that end the process, and crashes, after which a cleanup is still worth trying.
constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
constexpr int kCrashSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};
// A crash may leave the cleanup stuck on a lock the crashed thread held.
constexpr int kCrashCleanupLimitMs = 3000;

int g_request[2] = {-1, -1};  // handler -> cleanup thread: the signal's number
int g_done[2] = {-1, -1};     // cleanup thread -> a crashing thread: the cleanup has run
std::function<void()>* g_cleanup = nullptr;

void EndAsTheSignalWould(int signal) {
    struct sigaction defaults {};
    defaults.sa_handler = SIG_DFL;
    sigemptyset(&defaults.sa_mask);
    sigaction(signal, &defaults, nullptr);
    sigset_t unblock;
    sigemptyset(&unblock);
    sigaddset(&unblock, signal);
    pthread_sigmask(SIG_UNBLOCK, &unblock, nullptr);
    raise(signal);
}

bool IsCrash(int signal) {
    for (int crash : kCrashSignals) {
        if (signal == crash) {
            return true;
        }
    }
    return false;
}

// Async-signal-safe: only write, poll, read and raise.
void OnSignal(int signal) {
    const int saved = errno;
    const unsigned char number = static_cast<unsigned char>(signal);
    if (write(g_request[1], &number, 1) != 1 || !IsCrash(signal)) {
        errno = saved;
        return;  // the cleanup thread ends the process
    }
    // The crashing thread cannot go on: it waits for the cleanup, then dies of its signal.
    pollfd done{g_done[0], POLLIN, 0};
    poll(&done, 1, kCrashCleanupLimitMs);
    EndAsTheSignalWould(signal);
}

void CleanupThread() {
    unsigned char number = 0;
    while (read(g_request[0], &number, 1) != 1) {
        if (errno != EINTR) {
            return;
        }
    }
    (*g_cleanup)();
    const int signal = number;
    if (IsCrash(signal)) {
        const unsigned char ran = 1;
        (void)!write(g_done[1], &ran, 1);
        return;  // the crashing thread ends the process
    }
    EndAsTheSignalWould(signal);
}

}  // namespace

void InstallInterruptCleanup(std::function<void()> cleanup) {
    if (g_cleanup != nullptr || pipe2(g_request, O_CLOEXEC) != 0 || pipe2(g_done, O_CLOEXEC) != 0) {
        return;
    }
    g_cleanup = new std::function<void()>(std::move(cleanup));  // lives as long as the process
    std::thread(CleanupThread).detach();

    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    // Once is enough: a second signal while the cleanup runs ends the process at once.
    action.sa_flags = SA_RESETHAND;
    for (int signal : kEndingSignals) {
        sigaction(signal, &action, nullptr);
    }
    for (int signal : kCrashSignals) {
        sigaction(signal, &action, nullptr);
    }
}
