#include "ui/TempFolderCleanup.h"

#include <filesystem>
#include <system_error>

#include "contracts/Installation.h"
#include "convert/SharedStateLock.h"
#include "platform/paths.h"

namespace fs = std::filesystem;

bool DeleteFolderTree(const std::string& path) {
    if (path.empty()) {
        return false;
    }
    std::error_code error;
    if (!fs::is_directory(fs::symlink_status(path, error))) {
        return false;
    }
    for (const fs::directory_entry& entry : fs::directory_iterator(path, error)) {
        std::error_code ignored;
        if (entry.is_directory(ignored) && !entry.is_symlink(ignored)) {
            DeleteFolderTree(entry.path().string());
        } else {
            fs::remove(entry.path(), ignored);
        }
    }
    return fs::remove(path, error) && !error;
}

bool DeleteHandOffFolderWhenNoBatchRuns() {
    const std::string temp = platform::TempPath();
    if (temp.empty()) {
        return false;
    }
    bool deleted = false;
    WhenNoBatchRuns(
        [&] { deleted = DeleteFolderTree(temp + tessaline::contracts::kOutputFolder); });
    return deleted;
}
