#include "tests/e2e/process_scan.h"

#include <dirent.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <thread>

namespace e2e {

namespace {

std::string ReadProcFile(pid_t pid, const char* name) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/" + name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool MentionsAny(const std::string& text, const std::vector<std::string>& needles) {
    for (const std::string& needle : needles) {
        if (!needle.empty() && text.find(needle) != std::string::npos) {
            return true;
        }
    }
    return false;
}

}  // namespace

std::vector<ProcessSeen> ProcessesMentioning(const std::vector<std::string>& needles) {
    std::vector<ProcessSeen> found;
    DIR* proc = ::opendir("/proc");
    if (proc == nullptr) {
        return found;
    }
    const pid_t self = ::getpid();
    while (const dirent* entry = ::readdir(proc)) {
        if (entry->d_name[0] < '1' || entry->d_name[0] > '9') {
            continue;
        }
        const pid_t pid = static_cast<pid_t>(std::stol(entry->d_name));
        if (pid == self) {
            continue;
        }
        std::string commandLine = ReadProcFile(pid, "cmdline");
        if (MentionsAny(commandLine, needles) ||
            MentionsAny(ReadProcFile(pid, "environ"), needles)) {
            for (char& c : commandLine) {
                c = c == '\0' ? ' ' : c;
            }
            found.push_back({pid, commandLine});
        }
    }
    ::closedir(proc);
    return found;
}

std::vector<ProcessSeen> ProcessesLeft(const std::vector<std::string>& needles,
                                       std::chrono::milliseconds grace) {
    const auto deadline = std::chrono::steady_clock::now() + grace;
    std::vector<ProcessSeen> left = ProcessesMentioning(needles);
    while (!left.empty() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        left = ProcessesMentioning(needles);
    }
    return left;
}

}  // namespace e2e
