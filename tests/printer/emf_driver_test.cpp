#include <sys/resource.h>
#include <sys/stat.h>

#include <cmath>
#include <csignal>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "components/printer/EmfSpoolDriver.h"
#include "contracts/PagePayload.h"
#include "contracts/PrintJob.h"
#include "tests/support/emf_writer.h"
#include "tests/support/process_resources.h"
#include "tests/support/scoped_environment.h"
#include "tests/support/spool_writer.h"

using testing_support::AsBytes;
using testing_support::AsString;
using testing_support::Bytes;
using testing_support::EmfRecordInfo;
using testing_support::FourCc;
using testing_support::ListFilesRecursively;
using testing_support::ParsedSpool;
using testing_support::PatternBytes;
using testing_support::ReadBytes;
using testing_support::ReadI32;
using testing_support::ReadSpool;
using testing_support::ReadU16;
using testing_support::ReadU32;
using testing_support::ReadUtf16;
using testing_support::TempFolder;
using testing_support::WalkEmfRecords;
using testing_support::WriteFile;
namespace emf_header = testing_support::emf_header;
namespace emr = testing_support::emr;
namespace srt = testing_support::srt;

namespace {

namespace fs = std::filesystem;

struct Page {
    double width;
    double height;
    std::string payload;
};

Bytes Slice(const Bytes& bytes, std::size_t offset, std::size_t size) {
    return Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(offset),
                 bytes.begin() + static_cast<std::ptrdiff_t>(offset + size));
}

// A fixed-length UTF-16 field up to its first NUL.
std::u16string FixedUtf16(const Bytes& data, std::size_t offset, std::size_t units) {
    std::u16string text = ReadUtf16(data, offset, units);
    return text.substr(0, text.find(u'\0'));
}

// What a page's EMF header says, read at the documented offsets.
struct EmfHeader {
    std::int32_t bounds[4];
    std::int32_t frame[4];
    std::int32_t deviceCx, deviceCy, mmCx, mmCy, umCx, umCy;
};

EmfHeader ReadHeader(const Bytes& emf) {
    EmfHeader h{};
    for (int i = 0; i < 4; ++i) {
        h.bounds[i] = ReadI32(emf, emf_header::kBounds + 4 * i);
        h.frame[i] = ReadI32(emf, emf_header::kFrame + 4 * i);
    }
    h.deviceCx = ReadI32(emf, emf_header::kDevice);
    h.deviceCy = ReadI32(emf, emf_header::kDevice + 4);
    h.mmCx = ReadI32(emf, emf_header::kMillimeters);
    h.mmCy = ReadI32(emf, emf_header::kMillimeters + 4);
    h.umCx = ReadI32(emf, emf_header::kMicrometers);
    h.umCy = ReadI32(emf, emf_header::kMicrometers + 4);
    return h;
}

// How the PDF engine sizes a page from the header: pixels from the device size when the frame
// agrees with the millimetre size (else from the bounds), one scale from the vertical
// resolution ceil(height * 2540 / frame bottom), sizes truncated in 1/72 inch units.
struct EngineGeometry {
    bool widthFromDevice, heightFromDevice;
    std::int64_t widthPx, heightPx, verticalDpi;
    std::int64_t widthPoints, heightPoints;
};

EngineGeometry EngineView(const EmfHeader& h) {
    EngineGeometry g{};
    g.widthFromDevice = std::abs(h.frame[2] / 100 - h.mmCx) < 2 || h.bounds[0] != 0;
    g.heightFromDevice = std::abs(h.frame[3] / 100 - h.mmCy) < 2 || h.bounds[1] != 0;
    g.widthPx = g.widthFromDevice ? h.deviceCx : h.bounds[2];
    g.heightPx = g.heightFromDevice ? h.deviceCy : h.bounds[3];
    g.verticalDpi = (g.heightPx * 2540 + h.frame[3] - 1) / h.frame[3];
    const double scale = 72.0 / static_cast<double>(g.verticalDpi);
    g.widthPoints = static_cast<std::int64_t>(static_cast<double>(g.widthPx) * scale);
    g.heightPoints = static_cast<std::int64_t>(static_cast<double>(g.heightPx) * scale);
    return g;
}

// Checks one page's EMF record by record and returns the payload its comment carries.
Bytes CheckPageEmf(const Bytes& emf) {
    const std::vector<EmfRecordInfo> records = WalkEmfRecords(emf);
    EXPECT_EQ(records.size(), 3u);
    if (records.size() != 3) {
        return {};
    }
    EXPECT_EQ(records[0].type, emr::kHeader);
    EXPECT_EQ(records[0].size, emf_header::kSize);
    EXPECT_EQ(ReadU32(emf, emf_header::kSignature), emf_header::kSignatureValue);
    EXPECT_EQ(ReadU32(emf, emf_header::kVersion), emf_header::kVersionValue);
    EXPECT_EQ(ReadU32(emf, emf_header::kBytes), emf.size());
    EXPECT_EQ(ReadU32(emf, emf_header::kRecords), records.size());
    EXPECT_EQ(ReadU16(emf, emf_header::kHandles), 1u);
    EXPECT_EQ(ReadU32(emf, emf_header::kDescriptionLength), 0u);
    EXPECT_EQ(ReadU32(emf, emf_header::kPaletteEntries), 0u);

    EXPECT_EQ(records[1].type, emr::kComment);
    const std::uint32_t cbData = ReadU32(emf, records[1].offset + 8);
    EXPECT_GE(cbData, 4u);
    EXPECT_LE(12u + cbData, records[1].size);
    EXPECT_GT(12u + cbData + 4, records[1].size) << "padding beyond the next multiple of 4";
    EXPECT_EQ(ReadU32(emf, records[1].offset + 12), tessaline::contracts::kPagePayloadId);

    EXPECT_EQ(records[2].type, emr::kEof);
    EXPECT_EQ(records[2].size, 20u);
    EXPECT_EQ(ReadU32(emf, records[2].offset + 16), 20u) << "nSizeLast";
    EXPECT_EQ(records[2].offset + records[2].size, emf.size());
    return Slice(emf, records[1].offset + 16, cbData - 4);
}

class EmfDriverTest : public ::testing::Test {
  protected:
    EmfDriverTest() { fs::create_directory(spoolFolder_); }

    std::string WriteJob(const std::string& name, const std::vector<Page>& pages) {
        tessaline::contracts::PrintJobWriter writer;
        EXPECT_TRUE(writer.Create(jobPath_, name));
        for (const Page& page : pages) {
            EXPECT_TRUE(writer.AddPage(page.width, page.height, page.payload));
        }
        EXPECT_TRUE(writer.Finish());
        return jobPath_;
    }

    // Runs the driver and reads the spool file back with the reference reader.
    ParsedSpool Spool(const std::string& name, const std::vector<Page>& pages,
                      Bytes* raw = nullptr) {
        WriteJob(name, pages);
        std::string error;
        EXPECT_TRUE(printer::WriteSpoolFile(jobPath_, spoolPath_, &error)) << error;
        Bytes bytes = ReadBytes(spoolPath_);
        ParsedSpool parsed = ReadSpool(bytes);
        if (raw != nullptr) {
            *raw = std::move(bytes);
        }
        return parsed;
    }

    void ExpectSpoolFolderEmpty(const std::string& what) {
        EXPECT_EQ(ListFilesRecursively(spoolFolder_), std::vector<std::string>{}) << what;
    }

    TempFolder folder_;
    std::string jobPath_ = (folder_.Path() / "job.tsj").string();
    fs::path spoolFolder_ = folder_.Path() / "PRINTERS";
    std::string spoolPath_ = (spoolFolder_ / "00012.SPL").string();
};

}  // namespace

TEST(PagePayload, IdentifierReadsTspgInTheFile) {
    EXPECT_EQ(tessaline::contracts::kPagePayloadId, FourCc("TSPG"));
    const std::string emf = printer::MakePageEmf(100, 100, "x");
    EXPECT_NE(emf.find("TSPGx"), std::string::npos);
}

TEST_F(EmfDriverTest, SpoolFileHasTheHeaderADevmodeAndOnePageRecordPerPageInOrder) {
    const std::vector<Page> pages = {{595.28, 841.89, "%PDF-1.7 first page"},
                                     {841.89, 595.28, ""},
                                     {12.5, 7.25, AsString(PatternBytes(4099, 3))}};
    Bytes raw;
    const ParsedSpool spool = Spool("Bericht über 报告 🎉.docx", pages, &raw);
    const std::u16string name = u"Bericht über 报告 🎉.docx";

    EXPECT_EQ(ReadU32(raw, 0), testing_support::kSpoolVersion);
    EXPECT_EQ(ReadU32(raw, 8), 16u) << "the name follows the fixed header";
    EXPECT_EQ(ReadU32(raw, 12), 0u) << "no output name";
    const std::uint32_t nameEnd = 16 + 2 * static_cast<std::uint32_t>(name.size() + 1);
    ASSERT_TRUE(spool.headerSize.has_value());
    EXPECT_EQ(*spool.headerSize, (nameEnd + 3) / 4 * 4);
    EXPECT_EQ(spool.documentName, name);
    EXPECT_TRUE(spool.documentNameTerminated);

    ASSERT_EQ(spool.records.size(), 1 + pages.size());
    EXPECT_EQ(spool.records[0].type, srt::kDevmode);
    EXPECT_EQ(spool.records[0].size, 220u);
    for (const auto& record : spool.records) {
        EXPECT_TRUE(record.complete);
    }
    EXPECT_EQ(spool.records.back().offset + 8 + spool.records.back().size, raw.size())
        << "nothing after the last record";

    ASSERT_EQ(spool.pages.size(), pages.size());
    for (std::size_t i = 0; i < pages.size(); ++i) {
        SCOPED_TRACE(i);
        const auto& record = spool.records[spool.pages[i].recordIndex];
        EXPECT_EQ(spool.pages[i].recordIndex, i + 1);
        EXPECT_EQ(record.type, srt::kMetafileData);
        EXPECT_EQ(spool.pages[i].nBytes, record.size) << "the record holds exactly the EMF";
        EXPECT_EQ(spool.pages[i].emf, Slice(raw, record.offset + 8, record.size));
        EXPECT_EQ(CheckPageEmf(spool.pages[i].emf), AsBytes(pages[i].payload));
        // The driver writes what MakePageEmf makes, streamed.
        EXPECT_EQ(AsString(spool.pages[i].emf),
                  printer::MakePageEmf(pages[i].width, pages[i].height, pages[i].payload));
    }

    struct stat info {};
    ASSERT_EQ(::stat(spoolPath_.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(ListFilesRecursively(spoolFolder_), std::vector<std::string>{"00012.SPL"})
        << "no temporary file left behind";
}

TEST_F(EmfDriverTest, AnEmptyNameAndAJobWithoutPagesGiveAWellFormedSpoolFile) {
    Bytes raw;
    const ParsedSpool spool = Spool("", {}, &raw);
    EXPECT_EQ(spool.documentName, u"");
    EXPECT_TRUE(spool.documentNameTerminated);
    EXPECT_EQ(spool.headerSize, 20u);
    ASSERT_EQ(spool.records.size(), 1u);
    EXPECT_EQ(spool.records[0].type, srt::kDevmode);
    EXPECT_TRUE(spool.pages.empty());
    EXPECT_EQ(raw.size(), 20u + 8 + 220);
}

TEST_F(EmfDriverTest, PayloadsOfEveryLengthArePaddedAndCarriedExactly) {
    for (std::size_t length : {0, 1, 2, 3, 4, 5, 6, 7, 8, 1000, 65537}) {
        SCOPED_TRACE(length);
        const Bytes payload = PatternBytes(length, static_cast<std::uint32_t>(length) + 1);
        const Bytes emf = AsBytes(printer::MakePageEmf(595.28, 841.89, AsString(payload)));
        EXPECT_EQ(emf.size() % 4, 0u);
        EXPECT_EQ(CheckPageEmf(emf), payload);
    }
}

TEST_F(EmfDriverTest, HeaderDescribesThePrintedPageOnA600DpiDevice) {
    struct Expected {
        const char* paper;
        double width, height;
        std::int32_t px[2], mm[2], frame[2], um[2];
    };
    const Expected cases[] = {
        {"A4", 595.28, 841.89, {4961, 7016}, {210, 297}, {21002, 29702}, {210002, 297000}},
        {"Letter", 612, 792, {5100, 6600}, {216, 279}, {21590, 27940}, {215900, 279400}},
        {"A4 landscape",
         841.89,
         595.28,
         {7016, 4961},
         {297, 210},
         {29702, 21002},
         {297000, 210002}},
        {"A3", 841.89, 1190.55, {7016, 9921}, {297, 420}, {29702, 41999}, {297000, 420000}},
    };
    std::vector<Page> pages;
    for (const Expected& c : cases) {
        pages.push_back({c.width, c.height, c.paper});
    }
    const ParsedSpool spool = Spool("Sizes", pages);
    ASSERT_EQ(spool.pages.size(), std::size(cases));
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const Expected& c = cases[i];
        SCOPED_TRACE(c.paper);
        const EmfHeader h = ReadHeader(spool.pages[i].emf);
        EXPECT_EQ(h.bounds[0], 0);
        EXPECT_EQ(h.bounds[1], 0);
        EXPECT_EQ(h.bounds[2], c.px[0] - 1);
        EXPECT_EQ(h.bounds[3], c.px[1] - 1);
        EXPECT_EQ(h.frame[0], 0);
        EXPECT_EQ(h.frame[1], 0);
        EXPECT_EQ(h.frame[2], c.frame[0]);
        EXPECT_EQ(h.frame[3], c.frame[1]);
        EXPECT_EQ(h.deviceCx, c.px[0]);
        EXPECT_EQ(h.deviceCy, c.px[1]);
        EXPECT_EQ(h.mmCx, c.mm[0]);
        EXPECT_EQ(h.mmCy, c.mm[1]);
        EXPECT_EQ(h.umCx, c.um[0]);
        EXPECT_EQ(h.umCy, c.um[1]);

        const EngineGeometry g = EngineView(h);
        EXPECT_TRUE(g.widthFromDevice);
        EXPECT_TRUE(g.heightFromDevice);
        EXPECT_EQ(g.verticalDpi, 600);
        EXPECT_EQ(g.widthPoints, static_cast<std::int64_t>(c.width));
        EXPECT_EQ(g.heightPoints, static_cast<std::int64_t>(c.height));
    }
}

TEST_F(EmfDriverTest, TheEngineSeesExactly600DpiAndThePageSizeForAnyPage) {
    std::vector<std::pair<double, double>> sizes = {
        {595.28, 841.89}, {612, 792},     {612, 1008},     {841.89, 1190.55}, {1190.55, 841.89},
        {792, 612},       {252, 144},     {1, 1},          {0.001, 0.001},    {3, 7},
        {10.5, 12.25},    {16, 16.1},     {14400, 14400},  {14400, 1},        {1, 14400},
        {419.53, 595.28}, {1000.3, 33.3}, {7777.77, 5.55},
    };
    for (double side = 0.25; side <= 400; side += 0.25) {
        sizes.emplace_back(side, side);
    }
    for (const auto& [width, height] : sizes) {
        SCOPED_TRACE(std::to_string(width) + " x " + std::to_string(height));
        const Bytes emf = AsBytes(printer::MakePageEmf(width, height, "p"));
        ASSERT_FALSE(emf.empty());
        const EmfHeader h = ReadHeader(emf);
        const EngineGeometry g = EngineView(h);
        ASSERT_TRUE(g.widthFromDevice);
        ASSERT_TRUE(g.heightFromDevice);
        ASSERT_EQ(g.verticalDpi, 600);
        ASSERT_GE(h.deviceCx, 1);
        ASSERT_EQ(h.bounds[2], h.deviceCx - 1);
        ASSERT_EQ(h.bounds[3], h.deviceCy - 1);
        // Rounding to whole pixels moves a side by half a pixel and truncation to whole points
        // loses under one; pages under 17 points tall may grow by up to 2 points so that a
        // whole-0.01 mm frame gives the device's resolution exactly.
        constexpr double kHalfPixel = 72.0 / 600 / 2;
        const double widthError = static_cast<double>(g.widthPoints) - width;
        const double heightError = static_cast<double>(g.heightPoints) - height;
        ASSERT_GT(widthError, -1.0 - kHalfPixel);
        ASSERT_LE(widthError, kHalfPixel);
        ASSERT_GT(heightError, -1.0 - kHalfPixel);
        ASSERT_LE(heightError, height < 17 ? 2.0 : kHalfPixel);
        ASSERT_LE(std::abs(h.mmCx - width * 25.4 / 72), 0.5);
        ASSERT_LE(std::abs(h.mmCy - height * 25.4 / 72), 0.5);
    }
}

TEST_F(EmfDriverTest, PageSizesOutsideTheJobLimitsMakeNoEmf) {
    for (double bad :
         {0.0, -1.0, std::nan(""), HUGE_VAL, tessaline::contracts::kMaxPageSizePoints + 1}) {
        EXPECT_EQ(printer::MakePageEmf(bad, 100, "x"), "") << bad;
        EXPECT_EQ(printer::MakePageEmf(100, bad, "x"), "") << bad;
    }
}

TEST_F(EmfDriverTest, DevmodeDescribesTheDriverAndTheFirstPagesPaper) {
    struct Expected {
        const char* what;
        double width, height;
        std::int16_t orientation, paper, length, paperWidth;
        std::u16string form;
    };
    const Expected cases[] = {
        {"A4", 595.28, 841.89, 1, 9, 2970, 2100, u"A4"},
        {"Letter landscape", 792, 612, 2, 1, 2794, 2159, u"Letter"},
        {"custom", 300, 400, 1, 256, 1411, 1058, u""},
    };
    for (const Expected& c : cases) {
        SCOPED_TRACE(c.what);
        // Later pages of another size do not change the job's paper.
        const ParsedSpool spool = Spool("Doc", {{c.width, c.height, "1"}, {100, 900, "2"}});
        ASSERT_EQ(spool.records.size(), 3u);
        ASSERT_EQ(spool.records[0].type, srt::kDevmode);
        const Bytes raw = ReadBytes(spoolPath_);
        const Bytes dm = Slice(raw, spool.records[0].offset + 8, spool.records[0].size);
        EXPECT_EQ(FixedUtf16(dm, 0, 32), u"Tessaline");
        EXPECT_EQ(ReadU16(dm, 64), 0x0401) << "dmSpecVersion";
        EXPECT_EQ(ReadU16(dm, 68), 220) << "dmSize";
        EXPECT_EQ(ReadU16(dm, 70), 0) << "dmDriverExtra";
        const std::uint32_t fields = ReadU32(dm, 72);
        for (std::uint32_t field : {0x1u, 0x2u, 0x4u, 0x8u, 0x400u, 0x2000u}) {
            EXPECT_NE(fields & field, 0u) << std::hex << field;
        }
        EXPECT_EQ(static_cast<std::int16_t>(ReadU16(dm, 76)), c.orientation);
        EXPECT_EQ(static_cast<std::int16_t>(ReadU16(dm, 78)), c.paper);
        EXPECT_EQ(static_cast<std::int16_t>(ReadU16(dm, 80)), c.length);
        EXPECT_EQ(static_cast<std::int16_t>(ReadU16(dm, 82)), c.paperWidth);
        EXPECT_EQ(ReadU16(dm, 86), 1) << "dmCopies";
        EXPECT_EQ(ReadU16(dm, 90), 600) << "dmPrintQuality";
        EXPECT_EQ(ReadU16(dm, 96), 600) << "dmYResolution";
        EXPECT_EQ(FixedUtf16(dm, 102, 32), c.form);
        EXPECT_EQ((fields & 0x10000u) != 0, !c.form.empty()) << "DM_FORMNAME";
    }
}

TEST_F(EmfDriverTest, AMissingOrCorruptJobFailsWithAReasonAndWritesNoSpoolFile) {
    std::string error;
    EXPECT_FALSE(printer::WriteSpoolFile(jobPath_, spoolPath_, &error));
    EXPECT_NE(error.find(jobPath_), std::string::npos) << error;
    ExpectSpoolFolderEmpty("missing job");

    WriteJob("Doc", {{595.28, 841.89, "%PDF-1.7 page one"}, {595.28, 841.89, "two"}});
    const std::string whole = testing_support::ReadFile(jobPath_);
    const std::vector<std::pair<std::string, std::string>> broken = {
        {"cut short", whole.substr(0, whole.size() - 5)},
        {"bad magic", "XXXX" + whole.substr(4)},
        {"empty file", ""},
    };
    for (const auto& [what, bytes] : broken) {
        WriteFile(jobPath_, bytes);
        error.clear();
        EXPECT_FALSE(printer::WriteSpoolFile(jobPath_, spoolPath_, &error)) << what;
        EXPECT_FALSE(error.empty()) << what;
        ExpectSpoolFolderEmpty(what);
    }

    // A spool file already there is not touched by a failed run.
    WriteFile(spoolPath_, "earlier job");
    EXPECT_FALSE(printer::WriteSpoolFile(jobPath_, spoolPath_, &error));
    EXPECT_EQ(testing_support::ReadFile(spoolPath_), "earlier job");
    fs::remove(spoolPath_);

    // A good job into a folder that does not exist.
    WriteFile(jobPath_, whole);
    const std::string nowhere = (folder_.Path() / "absent" / "1.SPL").string();
    error.clear();
    EXPECT_FALSE(printer::WriteSpoolFile(jobPath_, nowhere, &error));
    EXPECT_NE(error.find(nowhere), std::string::npos) << error;
    EXPECT_FALSE(fs::exists(folder_.Path() / "absent"));

    // A write that fails halfway (here: the file size limit) removes the partial file.
    const std::string big = AsString(PatternBytes(3 << 19, 4));
    WriteJob("Doc", {{595.28, 841.89, big}, {595.28, 841.89, big}});
    {
        testing_support::ScopedFileSizeLimit limit(2 << 20);
        error.clear();
        EXPECT_FALSE(printer::WriteSpoolFile(jobPath_, spoolPath_, &error));
    }
    EXPECT_NE(error.find(spoolPath_), std::string::npos) << error;
    ExpectSpoolFolderEmpty("write failure");

    // And the same job does convert, so the failures above were the job's.
    WriteFile(jobPath_, whole);
    EXPECT_TRUE(printer::WriteSpoolFile(jobPath_, spoolPath_, &error)) << error;
}

TEST_F(EmfDriverTest, ALongJobIsStreamedOnePageAtATime) {
    constexpr int kPages = 120;
    constexpr std::size_t kPageBytes = 1 << 20;
    std::string payload = AsString(PatternBytes(kPageBytes, 11));
    const long before = testing_support::PeakResidentKb();
    {
        tessaline::contracts::PrintJobWriter writer;
        ASSERT_TRUE(writer.Create(jobPath_, "Long"));
        for (int i = 0; i < kPages; ++i) {
            payload.replace(0, 4, std::string(reinterpret_cast<const char*>(&i), 4));
            ASSERT_TRUE(writer.AddPage(595.28, 841.89, payload));
        }
        ASSERT_TRUE(writer.Finish());
    }
    std::string error;
    ASSERT_TRUE(printer::WriteSpoolFile(jobPath_, spoolPath_, &error)) << error;
    const long grownKb = testing_support::PeakResidentKb() - before;
    EXPECT_LT(grownKb, 24 * 1024) << "a " << kPages << " MiB job was held in memory";

    // Every page arrived whole and in order.
    const ParsedSpool spool = ReadSpool(ReadBytes(spoolPath_));
    ASSERT_EQ(spool.pages.size(), static_cast<std::size_t>(kPages));
    for (int i = 0; i < kPages; ++i) {
        payload.replace(0, 4, std::string(reinterpret_cast<const char*>(&i), 4));
        ASSERT_EQ(CheckPageEmf(spool.pages[i].emf), AsBytes(payload)) << i;
    }
}
