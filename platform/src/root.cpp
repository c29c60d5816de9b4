#include "platform/root.h"

#include <sys/stat.h>

#include <cstdlib>
#include <system_error>

#include "platform/environment_settings.h"

namespace platform {
namespace {
const char* NonEmptyEnv(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? value : nullptr;
}
}  // namespace

std::filesystem::path PlatformRoot() {
    if (std::string root = PathSetting(Setting::Root); !root.empty()) {
        return root;
    }
    if (const char* data = NonEmptyEnv("XDG_DATA_HOME")) {
        return std::filesystem::path(data) / "tessaline";
    }
    const char* home = NonEmptyEnv("HOME");
    return std::filesystem::path(home != nullptr ? home : "/") / ".local/share/tessaline";
}

bool EnsurePlatformRoot(std::filesystem::path* rootOut) {
    std::filesystem::path root = PlatformRoot();
    std::error_code error;
    if (!std::filesystem::is_directory(root, error)) {
        std::filesystem::create_directories(root, error);
        if (error) {
            return false;
        }
        ::chmod(root.c_str(), 0700);
    }
    if (rootOut != nullptr) {
        *rootOut = root;
    }
    return true;
}

}  // namespace platform
