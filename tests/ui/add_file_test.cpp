#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/scoped_environment.h"
#include "ui/AddFile.h"

namespace {

namespace fs = std::filesystem;
using testing_support::TempFolder;
using testing_support::WriteFile;

class AddFileTest : public ::testing::Test {
  protected:
    // Adds through the routine and records the messages it asked for.
    AddFileResult Add(const std::string& path) {
        return AddFile(jobs_, path, warnDuplicate_,
                       [this](const char* key, bool owned) { messages_.emplace_back(key, owned); });
    }
    std::string MakeFile(const std::string& name, std::size_t bytes = 10) {
        const fs::path path = folder_.Path() / name;
        fs::create_directories(path.parent_path());
        WriteFile(path, std::string(bytes, 'x'));
        return path.string();
    }

    TempFolder folder_;
    JobList jobs_;
    bool warnDuplicate_ = true;
    std::vector<std::pair<std::string, bool>> messages_;
};

TEST_F(AddFileTest, AcceptsWordExtensionsInAnyCaseAndRefusesTheRestWithAnOwnedMessage) {
    EXPECT_EQ(Add(MakeFile("REPORT.DOC")), AddFileResult::Added);
    EXPECT_EQ(Add(MakeFile("Notes.DocX")), AddFileResult::Added);
    EXPECT_TRUE(messages_.empty());

    for (const char* name : {"file.doc.bak", "noextension", "a.b/file", "trailing."}) {
        messages_.clear();
        EXPECT_EQ(Add(MakeFile(name)), AddFileResult::NotWordDocument) << name;
        ASSERT_EQ(messages_.size(), 1u) << name;
        EXPECT_EQ(messages_[0], std::make_pair(std::string("NOTPDF"), true)) << name;
    }
    ASSERT_EQ(jobs_.size(), 2u);
    EXPECT_EQ(jobs_[0]->m_strFileName, "REPORT.DOC");
    EXPECT_EQ(jobs_[0]->m_strFilePath, (folder_.Path() / "REPORT.DOC").string());
    EXPECT_TRUE(jobs_[0]->m_bChecked);
    EXPECT_FALSE(jobs_[0]->m_bDone);
    EXPECT_EQ(jobs_[0]->m_nProgress, 0);
    EXPECT_EQ(jobs_[0]->m_bOptionsSet, 0);
}

TEST_F(AddFileTest, ShowsSizesAsTheListDoes) {
    const std::vector<std::pair<std::size_t, std::string>> sizes = {
        {0, "0.00 KB"},     {1536, "1.50 KB"},  {102399, "100.00 KB"},
        {102400, "100 KB"}, {153600, "150 KB"}, {1048576, "1024 KB"},
    };
    for (const auto& [bytes, text] : sizes) {
        const std::string path = MakeFile("size" + std::to_string(bytes) + ".doc", bytes);
        ASSERT_EQ(Add(path), AddFileResult::Added);
        EXPECT_EQ(jobs_.back()->m_strSizeText, text) << bytes << " bytes";
    }
    EXPECT_EQ(FormatSizeText(0xFFFFFFFFu), "4194304 KB");
}

TEST_F(AddFileTest, AFolderNamedLikeADocumentIsAcceptedWithNoSize) {
    fs::create_directories(folder_.Path() / "chapter.doc");
    ASSERT_EQ(Add((folder_.Path() / "chapter.doc").string()), AddFileResult::Added);
    EXPECT_EQ(jobs_.back()->m_strSizeText, "0.00 KB");
}

TEST_F(AddFileTest, WarnsOfTheFirstDuplicateOnlyAndComparesPathsCaseSensitively) {
    const std::string lower = MakeFile("same.docx");
    const std::string upper = MakeFile("SAME.docx");
    ASSERT_EQ(Add(lower), AddFileResult::Added);
    EXPECT_EQ(Add(lower), AddFileResult::Duplicate);
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0], std::make_pair(std::string("Added"), false));
    EXPECT_FALSE(warnDuplicate_);

    EXPECT_EQ(Add(lower), AddFileResult::Duplicate);
    EXPECT_EQ(messages_.size(), 1u) << "a second duplicate is skipped silently";

    EXPECT_EQ(Add(upper), AddFileResult::Added);
    EXPECT_EQ(jobs_.size(), 2u);
}

TEST_F(AddFileTest, AMissingFileIsSkippedSilently) {
    EXPECT_EQ(Add((folder_.Path() / "gone.docx").string()), AddFileResult::NotFound);
    EXPECT_TRUE(jobs_.empty());
    EXPECT_TRUE(messages_.empty());
}

}  // namespace
