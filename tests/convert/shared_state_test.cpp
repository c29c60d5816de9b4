// The lock that one user's batches share: the default printer is the user's whenever no batch
// holds it, also after a holder died, and what must not happen under a batch waits for none.
#include "convert/SharedStateLock.h"

#include <gtest/gtest.h>

#include "convert/PrintHandOff.h"
#include "platform/spooler.h"
#include "tests/platform/forked_child.h"
#include "tests/support/scoped_environment.h"

namespace {

using testing_support::ForkedChild;

class SharedStateLock : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(platform::AddPrinter("Office Laser", "Generic"));
        ASSERT_TRUE(platform::AddPrinter("Tessaline", "Tessaline EMF Driver"));
        ASSERT_TRUE(platform::AddPrinter("Other", "Generic"));
        ASSERT_TRUE(platform::MakeDefaultPrinter("Office Laser"));
    }
    testing_support::ScopedPlatform platform_;
    CSpoolerPrinterControl printer_;
};

}  // namespace

TEST_F(SharedStateLock, AHolderThatDiedHasItsPrinterSwitchUndoneByTheNext) {
    ForkedChild batch([](ForkedChild& child) {
        CSpoolerPrinterControl printer;
        CSharedStateLock lock(&printer);
        if (!lock.Acquire({}, {}) || !lock.MakeDefaultPrinter("Tessaline")) {
            return 1;
        }
        child.Send('h');
        child.Receive('x');  // killed meanwhile, as a crash would end it
        return 0;
    });
    ASSERT_TRUE(batch.Receive('h'));
    EXPECT_EQ(printer_.GetDefaultPrinter(), "Tessaline");
    bool ran = false;
    EXPECT_FALSE(WhenNoBatchRuns([&] { ran = true; })) << "a batch holds the state";
    EXPECT_FALSE(ran);
    batch.Kill();

    CSharedStateLock next(&printer_);
    ASSERT_TRUE(next.Acquire({}, {}));
    EXPECT_EQ(printer_.GetDefaultPrinter(), "Office Laser");
    EXPECT_FALSE(WhenNoBatchRuns([] {})) << "the holder in this process counts too";

    // A printer the user chooses while a batch holds the state stays the default.
    ASSERT_TRUE(next.MakeDefaultPrinter("Tessaline"));
    ASSERT_TRUE(platform::MakeDefaultPrinter("Other"));
    next.Release();
    EXPECT_EQ(printer_.GetDefaultPrinter(), "Other");
    EXPECT_TRUE(WhenNoBatchRuns([&] { ran = true; }));
    EXPECT_TRUE(ran);
}

TEST_F(SharedStateLock, AnInterruptedHolderPutsThePrinterBackAtOnce) {
    CSharedStateLock lock(&printer_);
    ASSERT_TRUE(lock.Acquire({}, {}));
    ASSERT_TRUE(lock.MakeDefaultPrinter("Tessaline"));
    lock.RestoreUserPrinter();
    EXPECT_EQ(printer_.GetDefaultPrinter(), "Office Laser");
    EXPECT_TRUE(lock.Held()) << "the system lets the lock go when the process ends";

    // Waiting gives up when told to, after saying once that it waits.
    CSharedStateLock second(&printer_);
    int waits = 0;
    int asked = 0;
    EXPECT_FALSE(second.Acquire([&] { return ++asked < 3; }, [&] { ++waits; }));
    EXPECT_EQ(waits, 1);
    EXPECT_EQ(asked, 3);
}
