// A spooler's world for the extractor's tests: a private platform root with the spool folder,
// TempDir in the registry, spool files held open the way the spooler holds the job's file, and
// the program's side of the pipe.
#pragma once

#include <filesystem>
#include <future>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/ini/Ini.h"
#include "platform/files.h"
#include "tests/support/scoped_environment.h"
#include "tests/support/spool_writer.h"

namespace spool_testing {

class SpoolFixture : public ::testing::Test {
  protected:
    SpoolFixture();
    ~SpoolFixture() override;

    // Writes a spool file into the spool folder; held files cannot be deleted until released.
    std::filesystem::path AddSpoolFile(const std::string& name, const testing_support::Bytes& bytes,
                                       bool held = true);
    void ReleaseSpoolFiles();

    void SetTempDir(const std::string& value);
    // Makes the fixture's TempDir folder as the extractor would: mode 0700.
    void MakeTempDir() const;
    void DeleteTempDir();
    // The registry's Inifile, or nullopt when it is not there.
    std::optional<std::string> Inifile() const;

    std::string HandOffPath() const { return tempDir_ + "config.ini"; }
    CIni HandOff() const { return CIni(HandOffPath().c_str()); }
    // CurrentDoc of the hand-off file; "(none)" when the key is missing.
    std::string CurrentDoc() const;
    // The page paths listed as EMF1, EMF2, ... for as long as the keys exist.
    std::vector<std::string> ListedPages() const;

    // Runs the extraction while the program's side holds the pipe; connected tells whether the
    // extractor's signal arrived.
    struct SignalledRun {
        int result = 0;
        bool connected = false;
    };
    SignalledRun ExtractWithPipeServer();

    testing_support::ScopedPlatform platform_;
    testing_support::ScopedEnvVar windir_{"windir", std::nullopt};
    std::filesystem::path spoolFolder_;
    std::string tempDir_;
    std::vector<HANDLE> holders_;
};

}  // namespace spool_testing
