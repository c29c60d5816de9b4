// The command line's read-ahead, against the scripted word processor: each upcoming document is
// opened once, in order, its content read only when its job wants it, nothing is read while the
// reading is paused or held, and two readers read two documents at once.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "app/cli/ReadAhead.h"
#include "contracts/DispatchIds.h"
#include "convert/WordAutomation.h"
#include "tests/support/fake_word.h"
#include "tests/support/scoped_environment.h"
#include "tests/support/wait_until.h"

namespace dispid = tessaline::contracts::dispid;

namespace {

namespace fs = std::filesystem;
using testing_support::FakeWord;
using testing_support::WordObject;

class ReadAheadTest : public testing::Test {
  protected:
    void SetUp() override {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        word_ = FakeWord::Install();
    }
    void TearDown() override {
        word_.reset();
        CoUninitialize();
    }

    std::string Document(const std::string& name) {
        const fs::path path = platform_.Work() / name;
        std::ofstream(path)
            << "paragraph: 1 Heading\nhyperlink: a link\naddress: https://x.test/\n";
        return path.string();
    }

    // Waits until `count` documents are read.
    static testing::AssertionResult WaitUntilRead(const CReadAhead& ahead, std::size_t count) {
        if (testing_support::WaitUntil([&] { return ahead.Read().size() >= count; },
                                       std::chrono::seconds(60))) {
            return testing::AssertionSuccess();
        }
        return testing::AssertionFailure() << "after a minute " << ahead.Read().size() << " of "
                                           << count << " documents were read";
    }

    std::size_t Opens() const {
        return word_->Calls(WordObject::Documents, dispid::kDocumentsOpen11).size();
    }
    std::size_t ContentReads() const {
        return word_->Calls(WordObject::Document, dispid::kDocumentHyperlinks).size();
    }

    testing_support::ScopedPlatform platform_;
    std::shared_ptr<FakeWord> word_;
};

TEST_F(ReadAheadTest, ReadsEachDocumentOnceInOrderAndItsContentOnlyWhenWanted) {
    const std::string a = Document("a.docx");
    const std::string b = Document("b.doc");
    {
        CReadAhead ahead;
        ahead.Resume({{a, true}, {b, false}, {a, true}});
        ASSERT_TRUE(WaitUntilRead(ahead, 2));
        ahead.Pause();
        EXPECT_EQ(ahead.Read(), (std::vector<std::string>{a, b}));
        EXPECT_TRUE(ahead.WasRead(a));
        EXPECT_EQ(Opens(), 2u);
        EXPECT_EQ(ContentReads(), 1u);
        EXPECT_EQ(word_->QuitCalls(), 2);
        // Only the reader's own instance is left; it has no document.
        EXPECT_EQ(word_->LiveObjects(WordObject::Document), 0);

        // Read once over the batch: asked again, it is not opened again. The reader goes in
        // order, so once a document listed after them is read, it has passed them.
        const std::string c = Document("c.docx");
        ahead.Resume({{a, true}, {b, false}, {c, false}});
        ASSERT_TRUE(WaitUntilRead(ahead, 3));
        ahead.Pause();
        EXPECT_EQ(Opens(), 3u);
    }
    // The reader's own instance is quit as well when the read-ahead ends.
    EXPECT_EQ(word_->InstancesCreated(), 4);
    EXPECT_EQ(word_->QuitCalls(), 4);
    EXPECT_EQ(word_->LiveObjects(), 0) << "the read-ahead keeps no object of the word processor";
}

TEST_F(ReadAheadTest, ReadsNothingWhilePausedAndGoesOnPastDocumentsThatFail) {
    std::vector<CReadAhead::Document> upcoming;
    for (int i = 0; i < 6; ++i) {
        upcoming.push_back({Document("d" + std::to_string(i) + ".docx"), true});
    }
    word_->FailOpen(upcoming[0].path);
    CReadAhead ahead(2);
    ahead.Resume(upcoming);
    ahead.Pause();
    // However far it got, once paused it reads nothing more. Nothing marks that it stays
    // still: it is given a while in which it must not go on.
    const std::size_t read = ahead.Read().size();
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_EQ(ahead.Read().size(), read) << "a paused read-ahead went on reading";

    ahead.Resume(upcoming);
    ASSERT_TRUE(WaitUntilRead(ahead, upcoming.size()));
    EXPECT_EQ(ahead.Read().size(), upcoming.size());
    // Each opened once although two readers took from the same list; the one that failed to
    // open had no content read, the others each once.
    EXPECT_EQ(Opens(), upcoming.size());
    EXPECT_EQ(ContentReads(), upcoming.size() - 1);
    EXPECT_EQ(word_->QuitCalls(), static_cast<int>(upcoming.size()));
}

// A batch lists its next documents again after every job, one further each time: what it has
// passed is forgotten, so that over a long batch the read-ahead holds no more than its list.
TEST_F(ReadAheadTest, ForgetsTheDocumentsTheBatchHasPassed) {
    std::vector<std::string> paths;
    for (int i = 0; i < 8; ++i) {
        paths.push_back(Document("w" + std::to_string(i) + ".docx"));
    }
    CReadAhead ahead;
    for (std::size_t first = 0; first + 3 <= paths.size(); ++first) {
        ahead.Resume({{paths[first], false}, {paths[first + 1], false}, {paths[first + 2], false}});
        ASSERT_TRUE(WaitUntilRead(ahead, 3));
    }
    ahead.Pause();
    EXPECT_EQ(ahead.Read(), (std::vector<std::string>{paths[5], paths[6], paths[7]}));
    EXPECT_FALSE(ahead.WasRead(paths[0]));
    EXPECT_EQ(Opens(), paths.size()) << "each document is read once while it stays listed";
}

// Opens of the documents named are held up until Release.
class HeldOpens {
  public:
    explicit HeldOpens(FakeWord& word) {
        word.SetOpenHandler([this](const std::string& path) {
            std::unique_lock<std::mutex> lock(mutex_);
            if (held_.count(path) == 0) {
                return;
            }
            entered_.insert(path);
            changed_.notify_all();
            changed_.wait(lock, [&] { return held_.count(path) == 0; });
        });
    }
    void Hold(const std::string& path) {
        std::lock_guard<std::mutex> lock(mutex_);
        held_.insert(path);
    }
    // Until an open of that document is being held up (or a few seconds have passed).
    bool WaitUntilEntered(const std::string& path) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(10),
                                 [&] { return entered_.count(path) != 0; });
    }
    void Release(const std::string& path) {
        std::lock_guard<std::mutex> lock(mutex_);
        held_.erase(path);
        changed_.notify_all();
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::set<std::string> held_;
    std::set<std::string> entered_;
};

TEST_F(ReadAheadTest, HoldStopsTheReadingWithoutWaitingWhilePauseWaitsForTheDocumentBeingRead) {
    HeldOpens opens(*word_);
    const std::string slow = Document("slow.docx");
    const std::string next = Document("next.docx");
    const std::string later = Document("later.docx");
    opens.Hold(slow);
    CReadAhead ahead;
    ahead.Resume({{slow, true}, {next, true}});
    ASSERT_TRUE(opens.WaitUntilEntered(slow));
    // Held while the slow document is still being opened: Hold returns at once.
    ahead.Hold();
    EXPECT_FALSE(ahead.WasRead(slow));
    opens.Release(slow);
    ASSERT_TRUE(WaitUntilRead(ahead, 1));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // a while to go on wrongly
    EXPECT_EQ(ahead.Read(), std::vector<std::string>{slow}) << "a held read-ahead went on";

    // Pause, on the other hand, returns only once the document being read is done.
    opens.Hold(next);
    ahead.Resume({{next, true}, {later, true}});
    ASSERT_TRUE(opens.WaitUntilEntered(next));
    std::atomic<bool> paused{false};
    std::thread pausing([&] {
        ahead.Pause();
        paused = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // a while to return wrongly
    EXPECT_FALSE(paused.load()) << "Pause returned while a document was still being opened";
    opens.Release(next);
    pausing.join();
    EXPECT_TRUE(ahead.WasRead(next));
    EXPECT_FALSE(ahead.WasRead(later));
}

TEST_F(ReadAheadTest, TwoReadersReadTwoDocumentsAtOnce) {
    HeldOpens opens(*word_);
    const std::string first = Document("first.docx");
    const std::string second = Document("second.docx");
    opens.Hold(first);
    {
        CReadAhead ahead(2);
        ahead.Resume({{first, true}, {second, true}});
        ASSERT_TRUE(opens.WaitUntilEntered(first));
        // The second reader goes on while the first is held up.
        ASSERT_TRUE(WaitUntilRead(ahead, 1));
        EXPECT_EQ(ahead.Read(), std::vector<std::string>{second});
        opens.Release(first);
        ASSERT_TRUE(WaitUntilRead(ahead, 2));
        EXPECT_EQ(ahead.Read(), (std::vector<std::string>{second, first}));
    }
    // Each reader had an instance of its own besides one per document, and quit them all.
    EXPECT_EQ(word_->InstancesCreated(), 4);
    EXPECT_EQ(word_->QuitCalls(), 4);
    EXPECT_EQ(word_->LiveObjects(), 0);
}

}  // namespace
