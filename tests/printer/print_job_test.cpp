#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>

#include <bit>
#include <cmath>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "contracts/PrintJob.h"
#include "tests/support/emf_writer.h"
#include "tests/support/process_resources.h"
#include "tests/support/scoped_environment.h"

using tessaline::contracts::PrintedPage;
using tessaline::contracts::PrintJobReader;
using tessaline::contracts::PrintJobWriter;
using testing_support::AsString;
using testing_support::ListFilesRecursively;
using testing_support::PatternBytes;
using testing_support::ReadFile;
using testing_support::TempFolder;
using testing_support::WriteFile;

namespace {

namespace fs = std::filesystem;

struct Page {
    double width;
    double height;
    std::string payload;
};

struct Job {
    std::string name;
    std::vector<Page> pages;
};

class PrintJobTest : public ::testing::Test {
  protected:
    std::string PathOf(const std::string& name) const { return (folder_.Path() / name).string(); }

    std::string Write(const Job& job, const std::string& file = "job.tsj") {
        const std::string path = PathOf(file);
        PrintJobWriter writer;
        EXPECT_TRUE(writer.Create(path, job.name));
        for (const Page& page : job.pages) {
            EXPECT_TRUE(writer.AddPage(page.width, page.height, page.payload));
        }
        EXPECT_TRUE(writer.Finish());
        return path;
    }

    // Reads a whole job; any failure is reported in *error.
    bool Read(const std::string& path, Job* job, std::string* error) {
        PrintJobReader reader;
        if (!reader.Open(path, error)) {
            return false;
        }
        job->name = reader.DocumentName();
        PrintedPage page;
        while (reader.NextPage(&page, error)) {
            job->pages.push_back({page.widthPoints, page.heightPoints, page.payload});
        }
        if (!error->empty()) {
            return false;
        }
        EXPECT_EQ(reader.PageCount(), job->pages.size());
        return true;
    }

    // A job file cut, patched or extended must be refused when opened, with a reason.
    void ExpectRefused(const std::string& bytes, const std::string& reasonPart,
                       const std::string& what) {
        const std::string path = PathOf("broken.tsj");
        WriteFile(path, bytes);
        PrintJobReader reader;
        std::string error;
        EXPECT_FALSE(reader.Open(path, &error)) << what;
        EXPECT_NE(error.find(reasonPart), std::string::npos) << what << ": " << error;
        EXPECT_NE(error.find(path), std::string::npos) << what << ": " << error;
    }

    TempFolder folder_;
};

Job SmallJob() {
    return {"Doc ü", {{595.28, 841.89, "%PDF-"}, {612, 792, ""}, {100, 50.5, "abc"}}};
}

void PatchU32(std::string& bytes, std::size_t offset, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes[offset + i] = static_cast<char>(value >> (8 * i));
    }
}

}  // namespace

TEST_F(PrintJobTest, RoundTripKeepsTheNameAndEveryPageExactlyInOrder) {
    const std::string large = AsString(PatternBytes(100001, 7));
    const std::string withNuls("\0%PDF-1.7\0\xff\xfe\n", 14);
    const std::vector<Job> jobs = {
        {"Report.docx", {{595.28, 841.89, "%PDF-1.7 one"}}},
        {"Ünïcödé — 报告 🎉.docx",
         {{841.89, 595.28, large},
          {1.0 / 3.0, 14400, ""},
          {123.456789012345, 0.001, withNuls},
          {612, 792, "last"}}},
        {"", {}},
    };
    for (const Job& job : jobs) {
        SCOPED_TRACE(job.name);
        const std::string path = Write(job);
        Job read;
        std::string error = "stale";
        ASSERT_TRUE(Read(path, &read, &error)) << error;
        EXPECT_EQ(read.name, job.name);
        ASSERT_EQ(read.pages.size(), job.pages.size());
        for (std::size_t i = 0; i < job.pages.size(); ++i) {
            // Sizes travel bit for bit, not through text.
            EXPECT_EQ(read.pages[i].width, job.pages[i].width) << i;
            EXPECT_EQ(read.pages[i].height, job.pages[i].height) << i;
            EXPECT_EQ(read.pages[i].payload, job.pages[i].payload) << i;
        }
    }
}

TEST_F(PrintJobTest, NextPageAfterTheLastPageReportsTheEndWithoutAnError) {
    const std::string path = Write(SmallJob());
    PrintJobReader reader;
    std::string error;
    ASSERT_TRUE(reader.Open(path, &error)) << error;
    EXPECT_EQ(reader.PageCount(), 3u);
    PrintedPage page;
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(reader.NextPage(&page, &error)) << error;
    }
    EXPECT_EQ(page.payload, "abc");
    error = "stale";
    EXPECT_FALSE(reader.NextPage(&page, &error));
    EXPECT_EQ(error, "");
    EXPECT_FALSE(reader.NextPage(&page, &error));
    EXPECT_EQ(error, "");
}

TEST_F(PrintJobTest, WriterRefusesInvalidPagesAndNamesAndKeepsTheJobUsable) {
    const std::string path = PathOf("job.tsj");
    PrintJobWriter writer;
    EXPECT_FALSE(writer.AddPage(100, 100, "before create"));
    EXPECT_FALSE(writer.Finish());
    EXPECT_FALSE(
        writer.Create(path, std::string(tessaline::contracts::kMaxDocumentNameBytes + 1, 'n')));
    EXPECT_FALSE(fs::exists(path));

    ASSERT_TRUE(writer.Create(path, std::string(tessaline::contracts::kMaxDocumentNameBytes, 'n')));
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    for (double bad :
         {0.0, -1.0, nan, inf, -inf, tessaline::contracts::kMaxPageSizePoints * 1.0001}) {
        EXPECT_FALSE(writer.AddPage(bad, 100, "x")) << bad;
        EXPECT_FALSE(writer.AddPage(100, bad, "x")) << bad;
    }
    EXPECT_TRUE(writer.AddPage(tessaline::contracts::kMaxPageSizePoints, 100, "kept"));
    ASSERT_TRUE(writer.Finish());
    EXPECT_FALSE(writer.AddPage(100, 100, "after finish"));
    EXPECT_FALSE(writer.Finish());

    Job read;
    std::string error;
    ASSERT_TRUE(Read(path, &read, &error)) << error;
    EXPECT_EQ(read.name.size(), tessaline::contracts::kMaxDocumentNameBytes);
    ASSERT_EQ(read.pages.size(), 1u);
    EXPECT_EQ(read.pages[0].payload, "kept");
}

TEST_F(PrintJobTest, TheJobAppearsOnlyWhenFinishedAndAnAbandonedJobLeavesNothing) {
    const std::string path = PathOf("job.tsj");
    {
        PrintJobWriter writer;
        ASSERT_TRUE(writer.Create(path, "Doc"));
        ASSERT_TRUE(writer.AddPage(595.28, 841.89, "page"));
        EXPECT_FALSE(fs::exists(path));
        ASSERT_TRUE(writer.Finish());
        EXPECT_TRUE(fs::exists(path));
        EXPECT_EQ(ListFilesRecursively(folder_.Path()), std::vector<std::string>{"job.tsj"});
        struct stat info {};
        ASSERT_EQ(::stat(path.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0600u) << "a job holds document content";
    }
    fs::remove(path);
    {
        PrintJobWriter writer;
        ASSERT_TRUE(writer.Create(path, "Doc"));
        ASSERT_TRUE(writer.AddPage(595.28, 841.89, "page"));
        EXPECT_FALSE(ListFilesRecursively(folder_.Path()).empty()) << "written as it goes";
    }
    EXPECT_TRUE(ListFilesRecursively(folder_.Path()).empty());
    {
        PrintJobWriter writer;
        ASSERT_TRUE(writer.Create(path, "Doc"));
        writer.Abandon();
        EXPECT_TRUE(ListFilesRecursively(folder_.Path()).empty());
        EXPECT_FALSE(writer.Finish());
        // A second Create drops the first job's file.
        ASSERT_TRUE(writer.Create(path, "One"));
        ASSERT_TRUE(writer.Create(path, "Two"));
        ASSERT_TRUE(writer.Finish());
    }
    EXPECT_EQ(ListFilesRecursively(folder_.Path()), std::vector<std::string>{"job.tsj"});
    Job read;
    std::string error;
    ASSERT_TRUE(Read(path, &read, &error)) << error;
    EXPECT_EQ(read.name, "Two");

    // A folder that does not exist: nothing to create, nothing left behind.
    PrintJobWriter writer;
    EXPECT_FALSE(writer.Create(PathOf("missing/job.tsj"), "Doc"));
    EXPECT_FALSE(writer.AddPage(100, 100, "x"));
}

TEST_F(PrintJobTest, ReaderRefusesAJobCutShortAtAnyByte) {
    const std::string whole = ReadFile(Write(SmallJob()));
    for (std::size_t length = 0; length < whole.size(); ++length) {
        ExpectRefused(whole.substr(0, length), "", "cut at " + std::to_string(length));
    }
}

TEST_F(PrintJobTest, ReaderRefusesCorruptJobsWithAReason) {
    const std::string whole = ReadFile(Write(SmallJob()));
    // Header: magic, version, name length; the name "Doc ü" is 6 bytes; the first page record
    // starts at 18: tag, width, height, payload length.
    constexpr std::size_t kFirstPage = 18;

    std::string bytes = whole;
    bytes[0] = 'X';
    ExpectRefused(bytes, "magic", "bad magic");
    ExpectRefused(std::string(64, '\0'), "magic", "zeros");

    bytes = whole;
    PatchU32(bytes, 4, 2);
    ExpectRefused(bytes, "version 2", "newer version");

    bytes = whole;
    PatchU32(bytes, 8, 0xFFFFFFF0u);
    ExpectRefused(bytes, "name", "name longer than the file");
    bytes = whole;
    PatchU32(bytes, 8, static_cast<std::uint32_t>(whole.size()));
    ExpectRefused(bytes, "name", "name as long as the file");

    bytes = whole;
    PatchU32(bytes, kFirstPage + 20, 0xFFFF0000u);
    ExpectRefused(bytes, "page 1", "payload length beyond the file");
    bytes = whole;
    PatchU32(bytes, kFirstPage + 20, 6);  // one byte into the next record
    ExpectRefused(bytes, "page", "payload length off by one");

    bytes = whole;
    bytes[kFirstPage] = 'p';
    ExpectRefused(bytes, "page 1", "page tag");

    for (double bad : {std::numeric_limits<double>::quiet_NaN(), 0.0, -595.0, 1e300}) {
        bytes = whole;
        const auto raw = std::bit_cast<std::uint64_t>(bad);
        PatchU32(bytes, kFirstPage + 12, static_cast<std::uint32_t>(raw));
        PatchU32(bytes, kFirstPage + 16, static_cast<std::uint32_t>(raw >> 32));
        ExpectRefused(bytes, "page size", "height " + std::to_string(bad));
    }

    bytes = whole;
    PatchU32(bytes, whole.size() - 4, 4);
    ExpectRefused(bytes, "trailer counts 4", "page count too high");
    bytes = whole;
    PatchU32(bytes, whole.size() - 4, 2);
    ExpectRefused(bytes, "trailer counts 2", "page count too low");

    ExpectRefused(whole + "x", "trailer", "bytes after the trailer");
    ExpectRefused(whole + whole, "", "two jobs in one file");

    PrintJobReader reader;
    std::string error;
    EXPECT_FALSE(reader.Open(PathOf("absent.tsj"), &error));
    EXPECT_NE(error.find("absent.tsj"), std::string::npos) << error;
    EXPECT_FALSE(reader.Open(folder_.Str(), &error));
    EXPECT_FALSE(error.empty());
}

TEST_F(PrintJobTest, NextPageNoticesAJobCutShortAfterItWasOpened) {
    // Pages larger than any read buffer, so the second one really comes from the file.
    const std::string payload = AsString(PatternBytes(200000, 5));
    const std::string path = Write({"Doc", {{100, 100, payload}, {100, 100, payload}}});
    PrintJobReader reader;
    std::string error;
    ASSERT_TRUE(reader.Open(path, &error)) << error;
    PrintedPage page;
    ASSERT_TRUE(reader.NextPage(&page, &error)) << error;
    fs::resize_file(path, fs::file_size(path) - 100000);  // into the second payload
    EXPECT_FALSE(reader.NextPage(&page, &error));
    EXPECT_NE(error.find("page 2"), std::string::npos) << error;
    EXPECT_FALSE(reader.NextPage(&page, &error));
    EXPECT_FALSE(error.empty()) << "a failed reader must not report a clean end";
}

TEST_F(PrintJobTest, AFailedWriteAbandonsTheJobAndLeavesNothing) {
    const std::string path = PathOf("job.tsj");
    const std::string page = AsString(PatternBytes(3 << 20, 9));
    PrintJobWriter writer;
    ASSERT_TRUE(writer.Create(path, "Doc"));
    {
        testing_support::ScopedFileSizeLimit limit(2 << 20);
        EXPECT_FALSE(writer.AddPage(595.28, 841.89, page));
    }
    EXPECT_TRUE(ListFilesRecursively(folder_.Path()).empty());
    EXPECT_FALSE(writer.AddPage(595.28, 841.89, "small"));
    EXPECT_FALSE(writer.Finish());
    EXPECT_FALSE(fs::exists(path));
}
