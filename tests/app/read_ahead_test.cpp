// The command line's read-ahead, against the scripted word processor: each upcoming document is
// opened once, in order, its content read only when its job wants it, and nothing is read while
// the reading is paused.
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "ReadAhead.h"
#include "WordAutomation.h"
#include "support/fake_word.h"
#include "support/scoped_environment.h"

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

    // Waits until `count` documents are read, or a few seconds have passed.
    static void WaitUntilRead(const CReadAhead& ahead, std::size_t count) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (ahead.Read().size() < count && std::chrono::steady_clock::now() < until) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }

    std::size_t Opens() const {
        return word_->Calls(WordObject::Documents, word::kDispOpenMajor11).size();
    }
    std::size_t ContentReads() const {
        return word_->Calls(WordObject::Document, word::kDispDocumentHyperlinks).size();
    }

    testing_support::ScopedPlatform platform_;
    std::shared_ptr<FakeWord> word_;
};

TEST_F(ReadAheadTest, ReadsEachDocumentOnceInOrderAndItsContentOnlyWhenWanted) {
    const std::string a = Document("a.docx");
    const std::string b = Document("b.doc");
    CReadAhead ahead;
    ahead.Resume({{a, true}, {b, false}, {a, true}});
    WaitUntilRead(ahead, 2);
    ahead.Pause();
    EXPECT_EQ(ahead.Read(), (std::vector<std::string>{a, b}));
    EXPECT_EQ(Opens(), 2u);
    EXPECT_EQ(ContentReads(), 1u);
    EXPECT_EQ(word_->QuitCalls(), 2);
    EXPECT_EQ(word_->LiveObjects(), 0) << "the read-ahead keeps no object of the word processor";

    // Read once over the batch: asked again, it is not opened again.
    ahead.Resume({{a, true}, {b, false}});
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ahead.Pause();
    EXPECT_EQ(Opens(), 2u);
}

TEST_F(ReadAheadTest, ReadsNothingWhilePausedAndGoesOnPastDocumentsThatFail) {
    std::vector<CReadAhead::Document> upcoming;
    for (int i = 0; i < 6; ++i) {
        upcoming.push_back({Document("d" + std::to_string(i) + ".docx"), true});
    }
    word_->FailOpen(upcoming[0].path);
    CReadAhead ahead;
    ahead.Resume(upcoming);
    ahead.Pause();
    // However far it got, once paused it reads nothing more.
    const std::size_t read = ahead.Read().size();
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_EQ(ahead.Read().size(), read) << "a paused read-ahead went on reading";

    ahead.Resume(upcoming);
    WaitUntilRead(ahead, upcoming.size());
    EXPECT_EQ(ahead.Read().size(), upcoming.size());
    // The one that failed to open had no content read; the others each once.
    EXPECT_EQ(ContentReads(), upcoming.size() - 1);
    EXPECT_EQ(word_->QuitCalls(), static_cast<int>(upcoming.size()));
}

}  // namespace
