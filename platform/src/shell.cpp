#include "platform/shell.h"

#include <cstdlib>
#include <fstream>
#include <string>

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

}  // namespace

std::string PersonalDocumentsFolder() {
    const std::string home = Environment("HOME");
    if (home.empty()) {
        return {};
    }
    std::string documents = DocumentsDirFromUserDirs(home);
    return documents.empty() ? home + "/Documents" : documents;
}

}  // namespace platform
