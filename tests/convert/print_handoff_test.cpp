// The program's side of the print hand-off against the real pipe, registry and spooler.
#include "convert/PrintHandOff.h"

#include <future>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "app/HeadlessHost.h"
#include "contracts/Installation.h"
#include "convert/SharedStateLock.h"
#include "platform/files.h"
#include "platform/named_pipe.h"
#include "platform/registry.h"
#include "platform/spooler.h"
#include "tests/support/scoped_environment.h"

namespace {

using tessaline::contracts::kHandOffPipeName;

class PrintHandOff : public ::testing::Test {
  protected:
    void SetIniFile(const std::string& value) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Tessaline\\", 0, nullptr, 0,
                                  KEY_WRITE, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        RegSetValueExA(key, "Inifile", 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>(value.size() + 1));
        RegCloseKey(key);
    }

    // What the extractor does once the pages are written.
    static bool Signal() {
        if (!WaitNamedPipeA(kHandOffPipeName, NMPWAIT_WAIT_FOREVER)) {
            return false;
        }
        HANDLE pipe = CreateFileA(kHandOffPipeName, GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (pipe == INVALID_HANDLE_VALUE) {
            return false;
        }
        CloseHandle(pipe);
        return true;
    }

    testing_support::ScopedPlatform platform_;
    CHeadlessHost host_{"Folvane"};
};

}  // namespace

TEST_F(PrintHandOff, EachJobGetsANewPipeThatTakesOneConnection) {
    CPipeHandOff handOff(host_, 20000);
    for (int job = 0; job < 3; ++job) {
        auto extractor = std::async(std::launch::async, [] {
            // Wait for the pipe to exist, as the extractor does after the spooler ran.
            for (int i = 0; i < 2000 && !WaitNamedPipeA(kHandOffPipeName, 10); ++i) {
            }
            return Signal();
        });
        EXPECT_TRUE(handOff.WaitForPages()) << "job " << job;
        EXPECT_TRUE(extractor.get());
        // The job's pipe is gone: nobody can connect to it any more.
        EXPECT_FALSE(WaitNamedPipeA(kHandOffPipeName, 0));
    }
}

TEST_F(PrintHandOff, TheHostRunsTheWaitSoThatAWindowCanKeepAnswering) {
    // A window host waits on another thread while its own goes on with its events.
    class WaitingElsewhere : public CHeadlessHost {
      public:
        WaitingElsewhere() : CHeadlessHost("Folvane") {}
        bool WaitResponsively(const std::function<bool()>& wait) override {
            ++waits;
            bool result = false;
            std::thread([&] { result = wait(); }).join();
            return result;
        }
        int waits = 0;
    } host;
    CPipeHandOff handOff(host, 20000);
    auto extractor = std::async(std::launch::async, [] {
        for (int i = 0; i < 2000 && !WaitNamedPipeA(kHandOffPipeName, 10); ++i) {
        }
        return Signal();
    });
    EXPECT_TRUE(handOff.WaitForPages());
    EXPECT_TRUE(extractor.get());
    EXPECT_EQ(host.waits, 1);
}

TEST_F(PrintHandOff, TheWaitEndsAtItsTimeLimitWhenNoSignalComes) {
    CPipeHandOff handOff(host_, 150);
    EXPECT_FALSE(handOff.WaitForPages());
    EXPECT_FALSE(WaitNamedPipeA(kHandOffPipeName, 0)) << "the pipe is closed after the wait";
}

TEST_F(PrintHandOff, ThePipeCannotBeCreatedWhileAnotherInstanceHoldsIt) {
    HANDLE other =
        CreateNamedPipeA(kHandOffPipeName, PIPE_ACCESS_DUPLEX, 0, 1, 0, 0, 1000, nullptr);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    CPipeHandOff handOff(host_, 5000);
    EXPECT_FALSE(handOff.WaitForPages());
    CloseHandle(other);
}

TEST_F(PrintHandOff, TheHandOffPathIsReadWithinEightyBytes) {
    CPipeHandOff handOff(host_);
    EXPECT_EQ(handOff.ReadHandOffPath(), "");
    ASSERT_EQ(host_.Messages().size(), 1u);
    EXPECT_EQ(host_.Messages()[0].text, "Error: Can't read registry!");
    EXPECT_EQ(host_.Messages()[0].caption, "Folvane");

    const std::string fits(78, 'a');  // 79 bytes with its terminator
    SetIniFile(fits);
    EXPECT_EQ(handOff.ReadHandOffPath(), fits);
    EXPECT_EQ(host_.Messages().size(), 1u);

    for (size_t length : {79u, 80u, 200u}) {
        SetIniFile(std::string(length, 'b'));
        EXPECT_EQ(handOff.ReadHandOffPath(), "") << length;
        EXPECT_EQ(host_.Messages().back().text, "Error: Read registry failed!") << length;
    }

    // The key without the value.
    HKEY key = nullptr;
    RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Tessaline", 0, KEY_ALL_ACCESS, &key);
    RegDeleteValueA(key, "Inifile");
    RegCloseKey(key);
    EXPECT_EQ(handOff.ReadHandOffPath(), "");
    EXPECT_EQ(host_.Messages().back().text, "Error: Read registry failed!");
}

TEST_F(PrintHandOff, TheOriginalDefaultPrinterComesBackOnlyWhenItChanged) {
    ASSERT_TRUE(platform::AddPrinter("Office Laser", "Generic"));
    ASSERT_TRUE(platform::AddPrinter("Tessaline", "Tessaline EMF Driver"));
    ASSERT_TRUE(platform::MakeDefaultPrinter("Office Laser"));

    CSpoolerPrinterControl spooler;
    CDefaultPrinterKeeper keeper(spooler);
    keeper.SaveOriginal();
    EXPECT_EQ(keeper.Original(), "Office Laser");
    ASSERT_TRUE(spooler.SetDefaultPrinter("Tessaline"));
    keeper.RestoreOriginal();
    EXPECT_EQ(spooler.GetDefaultPrinter(), "Office Laser");

    // Unchanged: nothing is set (an unknown saved name would otherwise be tried and refused).
    EXPECT_FALSE(spooler.SetDefaultPrinter("No Such Printer"));
    keeper.RestoreOriginal();
    EXPECT_EQ(spooler.GetDefaultPrinter(), "Office Laser");

    // A window opened while another batch prints (the virtual printer is the default for it)
    // never takes that for the user's printer; nor does it restore under a printing batch.
    {
        CSharedStateLock batch(&spooler);
        ASSERT_TRUE(batch.Acquire({}, {}));
        ASSERT_TRUE(batch.MakeDefaultPrinter("Tessaline"));
        CDefaultPrinterKeeper duringBatch(spooler);
        duringBatch.SaveOriginal();
        EXPECT_EQ(duringBatch.Original(), "");
        keeper.RestoreOriginal();
        EXPECT_EQ(spooler.GetDefaultPrinter(), "Tessaline") << "restored under a printing batch";
        batch.Release();
        duringBatch.RestoreOriginal();
        EXPECT_EQ(spooler.GetDefaultPrinter(), "Office Laser");
    }

    // No default at start: nothing to restore.
    platform::DeletePrinter("Office Laser");
    CDefaultPrinterKeeper fromNothing(spooler);
    fromNothing.SaveOriginal();
    EXPECT_EQ(fromNothing.Original(), "");
    ASSERT_TRUE(spooler.SetDefaultPrinter("Tessaline"));
    fromNothing.RestoreOriginal();
    EXPECT_EQ(spooler.GetDefaultPrinter(), "Tessaline");
}
