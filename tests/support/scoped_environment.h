// Test isolation: a fresh platform root and temporary folder for the lifetime of one object.
#pragma once

#include <sys/stat.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace testing_support {

// Sets an environment variable (or unsets it with nullopt) and restores the old value on exit.
class ScopedEnvVar {
  public:
    ScopedEnvVar(std::string name, const std::optional<std::string>& value);
    ScopedEnvVar(const ScopedEnvVar&) = delete;
    ScopedEnvVar& operator=(const ScopedEnvVar&) = delete;
    ~ScopedEnvVar();

  private:
    std::string name_;
    std::optional<std::string> old_;
};

// Sets the process's umask and restores the old one on exit.
class ScopedUmask {
  public:
    explicit ScopedUmask(mode_t mask) : old_(::umask(mask)) {}
    ScopedUmask(const ScopedUmask&) = delete;
    ScopedUmask& operator=(const ScopedUmask&) = delete;
    ~ScopedUmask() { ::umask(old_); }

  private:
    mode_t old_;
};

// A new empty folder, removed with everything in it on exit.
class TempFolder {
  public:
    explicit TempFolder(const std::string& prefix = "tessaline-test");
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    ~TempFolder();
    const std::filesystem::path& Path() const { return path_; }
    // The path as text; with a trailing "/" when asked.
    std::string Str(bool trailingSlash = false) const;

  private:
    std::filesystem::path path_;
};

// Points TESSALINE_ROOT, TMPDIR and HOME at empty folders of its own, so nothing a test does
// touches the real installation or another test.
class ScopedPlatform {
  public:
    ScopedPlatform();
    const std::filesystem::path& Root() const { return root_.Path(); }
    const std::filesystem::path& Temp() const { return temp_.Path(); }
    const std::filesystem::path& Home() const { return home_.Path(); }
    // A folder for the test's own files.
    const std::filesystem::path& Work() const { return work_.Path(); }

  private:
    TempFolder base_;
    TempFolder root_;
    TempFolder temp_;
    TempFolder home_;
    TempFolder work_;
    ScopedEnvVar rootVar_;
    ScopedEnvVar tmpVar_;
    ScopedEnvVar homeVar_;
    ScopedEnvVar xdgVar_;
};

// Every regular file below a folder, as paths relative to it, sorted.
std::vector<std::string> ListFilesRecursively(const std::filesystem::path& folder);

std::string ReadFile(const std::filesystem::path& path);
// The permission bits of the path itself (a link is not followed); 0 when it is not there.
mode_t FileMode(const std::filesystem::path& path);
void WriteFile(const std::filesystem::path& path, const std::string& content);

}  // namespace testing_support
