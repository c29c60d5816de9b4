#include "platform/shell.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <string>
#include <system_error>
#include <thread>

extern char** environ;

namespace platform {
namespace {

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? std::string() : std::string(value);
}

// The value of XDG_DOCUMENTS_DIR in user-dirs.dirs: a shell assignment of a quoted path that may
// start with $HOME; other forms are not what xdg-user-dirs writes and are ignored.
std::string DocumentsDirFromUserDirs(const std::string& home) {
    std::string config = Environment("XDG_CONFIG_HOME");
    if (config.empty()) {
        config = home + "/.config";
    }
    std::ifstream file(config + "/user-dirs.dirs");
    const std::string key = "XDG_DOCUMENTS_DIR=\"";
    for (std::string line; std::getline(file, line);) {
        if (line.compare(0, key.size(), key) != 0 || line.size() < key.size() + 1 ||
            line.back() != '"') {
            continue;
        }
        std::string value = line.substr(key.size(), line.size() - key.size() - 1);
        if (value.compare(0, 5, "$HOME") == 0) {
            value = home + value.substr(5);
        }
        if (value.empty() || value.front() != '/' || value == home || value == home + "/") {
            return {};  // xdg-user-dirs disables a folder by pointing it at the home folder
        }
        while (value.size() > 1 && value.back() == '/') {
            value.pop_back();
        }
        return value;
    }
    return {};
}

// Waits for the launcher in a thread of its own, so that it leaves no zombie behind and the
// caller never waits for the application it starts.
void ReapInBackground(pid_t pid) {
    try {
        std::thread([pid] {
            int status = 0;
            while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
        }).detach();
    } catch (const std::system_error&) {
        // Without a thread the launcher stays a zombie until the program ends; it was started.
    }
}

}  // namespace

std::string PersonalDocumentsFolder() {
    const std::string home = Environment("HOME");
    if (home.empty()) {
        return {};
    }
    std::string documents = DocumentsDirFromUserDirs(home);
    return documents.empty() ? home + "/Documents" : documents;
}

bool ShellOpen(const std::string& fileOrUrl) {
    if (fileOrUrl.empty()) {
        return false;
    }
    // A relative path starting with "-" would be read as an option.
    const std::string target = fileOrUrl.front() == '-' ? "./" + fileOrUrl : fileOrUrl;
    char launcher[] = "xdg-open";
    char* argv[] = {launcher, const_cast<char*>(target.c_str()), nullptr};
    pid_t pid = 0;
    if (::posix_spawnp(&pid, launcher, nullptr, nullptr, argv, environ) != 0) {
        return false;
    }
    ReapInBackground(pid);
    return true;
}

}  // namespace platform
