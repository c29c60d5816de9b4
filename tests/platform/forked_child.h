// A forked copy of the test process that runs one piece of code: the second process that locks
// and pipes are about, or a call that might block for good (a child can always be killed). The
// test and the child step each other along with one-byte messages, so neither side sleeps to
// guess where the other one is, and every wait has a time limit.
#pragma once

#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <functional>
#include <optional>
#include <stdexcept>
#include <thread>

#include "platform/last_error.h"

namespace testing_support {

constexpr std::chrono::milliseconds kChildLimit{10000};

// A child's exit code for the result of a Windows-style call: 0 for success, else the last
// error (every code these tests expect is below 255).
inline int ExitCodeFor(BOOL ok) {
    return ok ? 0 : static_cast<int>(std::min<DWORD>(GetLastError(), 255));
}

// The exit code of a child that did not hear from the test in time.
constexpr int kNoHandshake = 250;

class ForkedChild {
  public:
    // Runs body(*this) in a new process, which exits with body's result.
    explicit ForkedChild(const std::function<int(ForkedChild&)>& body) {
        int ends[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
            throw std::runtime_error("socketpair failed");
        }
        pid_ = ::fork();
        if (pid_ < 0) {
            throw std::runtime_error("fork failed");
        }
        if (pid_ == 0) {
            ::close(ends[0]);
            fd_ = ends[1];
            int code = 125;
            try {
                code = body(*this);
            } catch (...) {
            }
            // No destructors or exit handlers: they belong to the test process.
            ::_exit(code);
        }
        ::close(ends[1]);
        fd_ = ends[0];
    }

    ForkedChild(const ForkedChild&) = delete;
    ForkedChild& operator=(const ForkedChild&) = delete;

    ~ForkedChild() {
        Kill();
        ::close(fd_);
    }

    // Either side: one byte to the other side.
    void Send(char c) { (void)::send(fd_, &c, 1, MSG_NOSIGNAL); }

    // Either side: true when the other side sent `expected` within the limit.
    bool Receive(char expected, std::chrono::milliseconds limit = kChildLimit) {
        auto deadline = std::chrono::steady_clock::now() + limit;
        for (;;) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            struct pollfd ready = {fd_, POLLIN, 0};
            int n = ::poll(&ready, 1, static_cast<int>(std::max<long long>(0, left.count())));
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                return false;
            }
            char c = 0;
            return ::recv(fd_, &c, 1, 0) == 1 && c == expected;
        }
    }

    // Test side: the exit code (128 + signal when killed by one), or nullopt while the child
    // is still running when the limit has passed.
    std::optional<int> WaitExit(std::chrono::milliseconds limit = kChildLimit) {
        if (exitCode_) {
            return exitCode_;
        }
        auto deadline = std::chrono::steady_clock::now() + limit;
        for (;;) {
            int status = 0;
            pid_t done = ::waitpid(pid_, &status, WNOHANG);
            if (done == pid_ && (WIFEXITED(status) || WIFSIGNALED(status))) {
                exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
                return exitCode_;
            }
            if (done < 0 && errno != EINTR) {
                return std::nullopt;
            }
            if (std::chrono::steady_clock::now() >= deadline) {
                return std::nullopt;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }

    // Test side: freezes the child wherever it is; true once it is stopped.
    bool Stop() {
        if (::kill(pid_, SIGSTOP) != 0) {
            return false;
        }
        auto deadline = std::chrono::steady_clock::now() + kChildLimit;
        while (std::chrono::steady_clock::now() < deadline) {
            int status = 0;
            pid_t done = ::waitpid(pid_, &status, WNOHANG | WUNTRACED);
            if (done == pid_ && WIFSTOPPED(status)) {
                return true;
            }
            if (done == pid_ || (done < 0 && errno != EINTR)) {
                return false;  // it ended instead
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return false;
    }

    void Continue() { ::kill(pid_, SIGCONT); }

    // Test side: ends the child at once (as a crash would) and reaps it.
    void Kill() {
        if (exitCode_ || pid_ <= 0) {
            return;
        }
        ::kill(pid_, SIGKILL);
        int status = 0;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        exitCode_ = 128 + SIGKILL;
    }

  private:
    pid_t pid_ = -1;
    int fd_ = -1;
    std::optional<int> exitCode_;
};

}  // namespace testing_support
