#include "tests/spool/spool_fixture.h"

#include <thread>

#include "platform/named_pipe.h"
#include "platform/registry.h"
#include "spool/SpoolExtractor.h"

namespace spool_testing {

SpoolFixture::SpoolFixture()
    : spoolFolder_(platform_.Root() / "windows/system32/spool/PRINTERS"),
      tempDir_(platform_.Temp().string() + "/DravelleOutput/") {
    std::filesystem::create_directories(spoolFolder_);
    SetTempDir(tempDir_);
}

SpoolFixture::~SpoolFixture() {
    ReleaseSpoolFiles();
}

std::filesystem::path SpoolFixture::AddSpoolFile(const std::string& name,
                                                 const testing_support::Bytes& bytes, bool held) {
    auto path = spoolFolder_ / name;
    testing_support::WriteBytes(path, bytes);
    if (held) {
        HANDLE holder = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        EXPECT_NE(holder, INVALID_HANDLE_VALUE);
        holders_.push_back(holder);
    }
    return path;
}

void SpoolFixture::ReleaseSpoolFiles() {
    for (HANDLE holder : holders_) {
        CloseHandle(holder);
    }
    holders_.clear();
}

void SpoolFixture::SetTempDir(const std::string& value) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Tessaline\\", 0, nullptr, 0, KEY_WRITE,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(key, "TempDir", 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>(value.size() + 1));
    RegCloseKey(key);
}

void SpoolFixture::MakeTempDir() const {
    std::filesystem::create_directories(tempDir_);
    std::filesystem::permissions(tempDir_, std::filesystem::perms::owner_all);
}

void SpoolFixture::DeleteTempDir() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Tessaline", 0, KEY_WRITE, &key) ==
        ERROR_SUCCESS) {
        RegDeleteValueA(key, "TempDir");
        RegCloseKey(key);
    }
}

std::optional<std::string> SpoolFixture::Inifile() const {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Tessaline", 0, KEY_READ, &key) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    char value[1024] = {};
    DWORD size = sizeof value - 1;
    LSTATUS status =
        RegQueryValueExA(key, "Inifile", nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) {
        return std::nullopt;
    }
    return std::string(value);
}

std::string SpoolFixture::CurrentDoc() const {
    char name[1024] = {};
    HandOff().GetString("Setting", "CurrentDoc", name, sizeof name - 1, "(none)");
    return name;
}

std::vector<std::string> SpoolFixture::ListedPages() const {
    CIni handOff = HandOff();
    std::vector<std::string> pages;
    for (int n = 1;; ++n) {
        std::string key = "EMF" + std::to_string(n);
        if (!handOff.HasKey("EMFFiles", key.c_str())) {
            return pages;
        }
        char path[513] = {};
        handOff.GetString("EMFFiles", key.c_str(), path, 512);
        pages.emplace_back(path);
    }
}

SpoolFixture::SignalledRun SpoolFixture::ExtractWithPipeServer() {
    HANDLE pipe = CreateNamedPipeA("\\\\.\\pipe\\tessalinepipe", PIPE_ACCESS_DUPLEX, 0, 1, 0, 0,
                                   1000, nullptr);
    EXPECT_NE(pipe, INVALID_HANDLE_VALUE);
    auto extraction = std::async(std::launch::async, [] { return ExtractSpoolPages(); });
    SignalledRun run;
    run.connected = ConnectNamedPipeWithTimeout(pipe, 20000) != FALSE;
    CloseHandle(pipe);
    run.result = extraction.get();
    return run;
}

}  // namespace spool_testing
