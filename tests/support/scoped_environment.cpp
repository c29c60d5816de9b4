#include "tests/support/scoped_environment.h"

#include <stdlib.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace testing_support {

ScopedEnvVar::ScopedEnvVar(std::string name, const std::optional<std::string>& value)
    : name_(std::move(name)) {
    if (const char* old = ::getenv(name_.c_str())) {
        old_ = old;
    }
    if (value) {
        ::setenv(name_.c_str(), value->c_str(), 1);
    } else {
        ::unsetenv(name_.c_str());
    }
}

ScopedEnvVar::~ScopedEnvVar() {
    if (old_) {
        ::setenv(name_.c_str(), old_->c_str(), 1);
    } else {
        ::unsetenv(name_.c_str());
    }
}

namespace {
std::filesystem::path MakeTempFolder(const std::filesystem::path& base, const std::string& prefix) {
    std::string pattern = (base / (prefix + "-XXXXXX")).string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot create a temporary folder under " + base.string());
    }
    return pattern;
}

// The folder tests create their own folders in: the system's, not the one a test may have set.
const std::filesystem::path& TestBase() {
    static const std::filesystem::path base = [] {
        const char* tmp = ::getenv("TMPDIR");
        return std::filesystem::path(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp");
    }();
    return base;
}
}  // namespace

TempFolder::TempFolder(const std::string& prefix) : path_(MakeTempFolder(TestBase(), prefix)) {}

TempFolder::~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string TempFolder::Str(bool trailingSlash) const {
    return path_.string() + (trailingSlash ? "/" : "");
}

ScopedPlatform::ScopedPlatform()
    : root_("tessaline-root"),
      temp_("tessaline-tmp"),
      home_("tessaline-home"),
      work_("tessaline-work"),
      rootVar_("TESSALINE_ROOT", root_.Str()),
      tmpVar_("TMPDIR", temp_.Str()),
      homeVar_("HOME", home_.Str()),
      xdgVar_("XDG_DATA_HOME", std::nullopt) {}

std::vector<std::string> ListFilesRecursively(const std::filesystem::path& folder) {
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        if (!entry.is_directory()) {
            files.push_back(std::filesystem::relative(entry.path(), folder).string());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

mode_t FileMode(const std::filesystem::path& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void WriteFile(const std::filesystem::path& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
    if (!out) {
        throw std::runtime_error("cannot write " + path.string());
    }
}

}  // namespace testing_support
