#include "tests/support/fake_xdg_open.h"

#include <sys/wait.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>

#include "tests/support/wait_until.h"

namespace fs = std::filesystem;

namespace testing_support {
namespace {

// Records "pid NUL released NUL argument NUL ..." into call.<pid>, renamed into place when
// complete. A held start gives up after 30 s, so a caller that waits for it is not stuck for ever.
constexpr char kScript[] = R"(#!/bin/sh
here=$(dirname "$0")
released=yes
tries=0
while [ -e "$here/hold" ]; do
  tries=$((tries + 1))
  if [ $tries -gt 300 ]; then released=no; break; fi
  sleep 0.1
done
{ printf '%s\0%s\0' "$$" "$released"; printf '%s\0' "$@"; } > "$here/part.$$"
mv "$here/part.$$" "$here/call.$$"
)";

std::vector<std::string> SplitAtNul(const std::string& text) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\0', start)) != std::string::npos; start = end + 1) {
        fields.push_back(text.substr(start, end - start));
    }
    return fields;
}

}  // namespace

FakeXdgOpen::FakeXdgOpen() {
    const fs::path script = folder_.Path() / "xdg-open";
    WriteFile(script, kScript);
    fs::permissions(script, fs::perms::owner_all);
    const char* path = std::getenv("PATH");
    path_.emplace("PATH", folder_.Str() + (path != nullptr ? ":" + std::string(path) : ""));
}

void FakeXdgOpen::Hold() {
    WriteFile(folder_.Path() / "hold", "");
}

void FakeXdgOpen::Release() {
    fs::remove(folder_.Path() / "hold");
}

std::vector<FakeXdgOpen::Call> FakeXdgOpen::TakeCalls() {
    // Looked at without reaping: the reaping is the code's under test.
    WaitUntil(
        [] {
            siginfo_t info{};
            return ::waitid(P_ALL, 0, &info, WEXITED | WNOHANG | WNOWAIT) < 0 && errno == ECHILD;
        },
        std::chrono::seconds(60));
    std::vector<Call> calls;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder_.Path())) {
        if (entry.path().filename().string().rfind("call.", 0) != 0)
            continue;
        std::vector<std::string> fields = SplitAtNul(ReadFile(entry.path()));
        fs::remove(entry.path());
        if (fields.size() < 2)
            continue;
        Call call;
        call.pid = std::stol(fields[0]);
        call.released = fields[1] == "yes";
        call.arguments.assign(fields.begin() + 2, fields.end());
        calls.push_back(std::move(call));
    }
    return calls;
}

}  // namespace testing_support
