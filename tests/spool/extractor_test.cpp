#include <sys/resource.h>

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "common/ini/Ini.h"
#include "spool/SpoolExtractor.h"
#include "tests/spool/spool_fixture.h"
#include "tests/support/emf_writer.h"
#include "tests/support/process_resources.h"
#include "tests/support/spool_writer.h"

using testing_support::Bytes;
using testing_support::MakeSamplePage;
using testing_support::ReadBytes;
using testing_support::SamplePageOptions;
using testing_support::SpoolWriter;

namespace {

namespace fs = std::filesystem;

Bytes Page(const std::string& text) {
    SamplePageOptions options;
    options.text = std::u16string(text.begin(), text.end());
    return MakeSamplePage(options);
}

class Extractor : public spool_testing::SpoolFixture {
  protected:
    std::string PageFile(const std::string& name) const { return tempDir_ + name; }
};

}  // namespace

TEST_F(Extractor, PagesOfTwoSpoolFilesAreNumberedAcrossWithoutGaps) {
    const Bytes pages[] = {Page("a"), Page("b"), Page("c"), Page("d"), Page("e")};
    AddSpoolFile("00007.SPL", SpoolWriter(u"First.docx")
                                  .AddDevmode()
                                  .AddPage(pages[0], 12)
                                  .AddRecord(5, Bytes(4))
                                  .AddPage(pages[1])
                                  .Finish());
    AddSpoolFile("00008.SPL", SpoolWriter(u"Second — 第二.docx")
                                  .AddPage(pages[2], 3)
                                  .AddPage(pages[3])
                                  .AddPage(pages[4], 100)
                                  .Finish());

    auto run = ExtractWithPipeServer();
    EXPECT_EQ(run.result, 0);
    EXPECT_TRUE(run.connected);

    const std::vector<std::string> expected = {PageFile("1_000000.emf"), PageFile("1_000001.emf"),
                                               PageFile("2_000000.emf"), PageFile("2_000001.emf"),
                                               PageFile("2_000002.emf")};
    ASSERT_EQ(ListedPages(), expected);
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(ReadBytes(expected[i]), pages[i]) << expected[i];
    }
    CIni handOff = HandOff();
    EXPECT_EQ(handOff.GetInt("Setting", "EMFCount", -1), 5);
    EXPECT_EQ(CurrentDoc(), "Second — 第二.docx") << "the last spool file's name wins";
    EXPECT_EQ(Inifile(), HandOffPath());
    // The spool files themselves stay for the spooler to remove.
    EXPECT_TRUE(fs::exists(spoolFolder_ / "00007.SPL"));
}

TEST_F(Extractor, EachCallDescribesOnlyItsOwnPages) {
    AddSpoolFile("00001.SPL",
                 SpoolWriter().AddPage(Page("1")).AddPage(Page("2")).AddPage(Page("3")).Finish());
    EXPECT_EQ(ExtractWithPipeServer().result, 0);
    EXPECT_EQ(HandOff().GetInt("Setting", "EMFCount", -1), 3);

    // The next job: the first spool file is gone (released and removed by the first listing).
    ReleaseSpoolFiles();
    const Bytes only = Page("only");
    AddSpoolFile("00002.SPL", SpoolWriter().AddPage(only).Finish());
    EXPECT_EQ(ExtractWithPipeServer().result, 0);

    EXPECT_EQ(ListedPages(), std::vector<std::string>{PageFile("1_000000.emf")});
    EXPECT_EQ(HandOff().GetInt("Setting", "EMFCount", -1), 1);
    EXPECT_EQ(ReadBytes(PageFile("1_000000.emf")), only);
    EXPECT_FALSE(fs::exists(spoolFolder_ / "00001.SPL"));
    // Page files of the earlier call stay on disk, unlisted.
    EXPECT_TRUE(fs::exists(PageFile("1_000002.emf")));
}

TEST_F(Extractor, WithoutPageRecordsNothingIsListedButTheProgramIsStillSignalled) {
    AddSpoolFile("00001.SPL", SpoolWriter(u"Empty").AddDevmode().AddRecord(99, Bytes(40)).Finish());
    auto run = ExtractWithPipeServer();
    EXPECT_EQ(run.result, 0);
    EXPECT_TRUE(run.connected);
    CIni handOff = HandOff();
    EXPECT_EQ(handOff.GetInt("Setting", "EMFCount", -1), 0);
    EXPECT_FALSE(handOff.HasSection("EMFFiles"));
    EXPECT_EQ(CurrentDoc(), "Empty");
}

TEST_F(Extractor, ShortFilesUnknownTypesAndTruncationsEndTheWalkCleanly) {
    const Bytes first = Page("first");
    const Bytes second = Page("second");
    // Under 16 bytes: no CurrentDoc from it; an unknown type is stepped over by its size; a
    // page whose data is cut off by the end of the file yields nothing.
    AddSpoolFile("00001.SPL", Bytes{1, 0, 1, 0, 16, 0, 0, 0, 16, 0, 0, 0});
    SpoolWriter walked(u"Walked");
    walked.AddRecord(99, Bytes(1000, 7)).AddPage(first).AddRecord(12345, Bytes(3)).AddPage(second);
    const auto last = walked.Records().back();
    walked.TruncateAt(last.offset + 8 + second.size() / 2);
    AddSpoolFile("00002.SPL", walked.Finish());
    auto run = ExtractWithPipeServer();
    EXPECT_EQ(run.result, 0);
    EXPECT_EQ(ListedPages(), std::vector<std::string>{PageFile("2_000000.emf")});
    EXPECT_EQ(ReadBytes(PageFile("2_000000.emf")), first);
    EXPECT_EQ(CurrentDoc(), "Walked");
}

TEST_F(Extractor, APageRecordTooSmallForItsEmfGivesAnEmptyListedPage) {
    const Bytes page = Page("p");
    AddSpoolFile("00001.SPL",
                 SpoolWriter()
                     .AddPageWithNBytes(page, static_cast<std::uint32_t>(page.size() + 1))
                     .AddRecord(12, Bytes(40, 1))  // too short to hold an EMF header's nBytes
                     .AddPage(page)
                     .Finish());
    ExtractWithPipeServer();
    const std::vector<std::string> expected = {PageFile("1_000000.emf"), PageFile("1_000001.emf"),
                                               PageFile("1_000002.emf")};
    ASSERT_EQ(ListedPages(), expected);
    EXPECT_EQ(fs::file_size(expected[0]), 0u);
    EXPECT_EQ(fs::file_size(expected[1]), 0u);
    EXPECT_EQ(ReadBytes(expected[2]), page);
}

TEST_F(Extractor, WithoutThePipeTheHandOffIsStillWritten) {
    const Bytes page = Page("x");
    AddSpoolFile("00001.SPL", SpoolWriter().AddPage(page).Finish());
    EXPECT_EQ(ExtractSpoolPages(), 0);
    EXPECT_EQ(ListedPages(), std::vector<std::string>{PageFile("1_000000.emf")});
    EXPECT_EQ(Inifile(), HandOffPath());
}

TEST_F(Extractor, StaleSpoolFilesAreRemovedAndAnEmptyFolderGivesMinusOne) {
    SetTempDir(tempDir_);
    AddSpoolFile("00003.SPL", SpoolWriter().AddPage(Page("stale")).Finish(), /*held=*/false);
    EXPECT_EQ(ExtractSpoolPages(), -1);
    EXPECT_FALSE(fs::exists(spoolFolder_ / "00003.SPL"));
    EXPECT_EQ(ExtractSpoolPages(), -1);
    EXPECT_FALSE(fs::exists(HandOffPath()));
    EXPECT_EQ(Inifile(), std::nullopt) << "no Inifile without a spool file";

    // A stale file beside the held one: only the held one is walked.
    AddSpoolFile("00001.SPL", SpoolWriter().AddPage(Page("old")).Finish(), /*held=*/false);
    const Bytes current = Page("current");
    AddSpoolFile("00002.SPL", SpoolWriter().AddPage(current).Finish());
    EXPECT_EQ(ExtractSpoolPages(), 0);
    EXPECT_EQ(ListedPages(), std::vector<std::string>{PageFile("1_000000.emf")});
    EXPECT_EQ(ReadBytes(PageFile("1_000000.emf")), current);
}

TEST_F(Extractor, ThePreviousHandOffFileIsDeletedFirst) {
    MakeTempDir();
    CIni old = HandOff();
    old.WriteString("EMFFiles", "EMF9", "/elsewhere/old.emf");
    old.WriteString("Setting", "EMFCount", "9");
    AddSpoolFile("00001.SPL", SpoolWriter().AddPage(Page("new")).Finish());
    ExtractSpoolPages();
    EXPECT_FALSE(HandOff().HasKey("EMFFiles", "EMF9"));
    EXPECT_EQ(HandOff().GetInt("Setting", "EMFCount", -1), 1);
}

// The pages and the hand-off file hold the document's content.

TEST_F(Extractor, PagesAndTheHandOffAreTheUsersAloneAndLinksAreNotFollowed) {
    testing_support::ScopedUmask permissive(0);
    AddSpoolFile("00001.SPL", SpoolWriter().AddPage(Page("a")).AddPage(Page("b")).Finish());
    ASSERT_EQ(ExtractSpoolPages(), 0);
    EXPECT_EQ(testing_support::FileMode(tempDir_), 0700u);
    EXPECT_EQ(testing_support::FileMode(HandOffPath()), 0600u);
    ASSERT_EQ(ListedPages().size(), 2u);
    for (const std::string& page : ListedPages()) {
        EXPECT_EQ(testing_support::FileMode(page), 0600u) << page;
    }

    // A link where the next job's page goes: the page replaces the link, the file it named
    // stays as it was.
    const fs::path victim = platform_.Work() / "victim.txt";
    testing_support::WriteFile(victim, "keep");
    fs::remove(PageFile("1_000001.emf"));
    fs::create_symlink(victim, PageFile("1_000001.emf"));
    ReleaseSpoolFiles();
    const Bytes next = Page("next");
    AddSpoolFile("00002.SPL", SpoolWriter().AddPage(Page("first")).AddPage(next).Finish());
    ASSERT_EQ(ExtractSpoolPages(), 0);
    EXPECT_TRUE(testing_support::ReadFile(victim) == "keep") << "the linked file was written";
    EXPECT_FALSE(fs::is_symlink(PageFile("1_000001.emf")));
    EXPECT_EQ(ReadBytes(PageFile("1_000001.emf")), next);
}

TEST_F(Extractor, AWindirFromTheEnvironmentNamesTheSpoolFolder) {
    testing_support::TempFolder windows;
    testing_support::ScopedEnvVar windir("windir", windows.Str());
    auto folder = windows.Path() / "system32/spool/PRINTERS";
    fs::create_directories(folder);
    EXPECT_EQ(SpoolFolder(), folder.string() + "/");
    EXPECT_EQ(ExtractSpoolPages(), -1) << "nothing in the environment's spool folder";
}

// Hostile spool files: each reads only what is there and ends.

TEST_F(Extractor, DocumentNamesOutsideTheHeaderOrWithoutTerminatorAreHandledSafely) {
    MakeTempDir();
    CIni handOff = HandOff();
    int counter = 0;

    auto outside =
        AddSpoolFile("a.SPL", SpoolWriter(u"Hidden").SetDocumentNameOffset(5000).Finish());
    WalkSpoolFile(outside.string(), 1, tempDir_, handOff, counter);
    EXPECT_FALSE(handOff.HasKey("Setting", "CurrentDoc"));

    auto huge =
        AddSpoolFile("b.SPL", SpoolWriter(u"Hidden").SetDocumentNameOffset(0xFFFFFFF0).Finish());
    WalkSpoolFile(huge.string(), 1, tempDir_, handOff, counter);
    EXPECT_FALSE(handOff.HasKey("Setting", "CurrentDoc"));

    // A name that runs to the end of the bytes read: taken up to there, at most 255 characters.
    Bytes runOn = SpoolWriter(u"Runs").Finish();
    runOn.resize(16);
    const char16_t name[] = u"Nameless";
    testing_support::PatchU32(runOn, 8, 16);
    for (char16_t unit : std::u16string_view(name)) {
        runOn.push_back(static_cast<std::uint8_t>(unit & 0xFF));
        runOn.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
    auto cut = AddSpoolFile("c.SPL", runOn);
    WalkSpoolFile(cut.string(), 1, tempDir_, handOff, counter);
    EXPECT_EQ(CurrentDoc(), "Nameless");

    auto longName = AddSpoolFile("d.SPL", SpoolWriter(std::u16string(400, u'n')).Finish());
    WalkSpoolFile(longName.string(), 1, tempDir_, handOff, counter);
    EXPECT_EQ(CurrentDoc(), std::string(255, 'n'));
    EXPECT_EQ(counter, 0);
}

TEST_F(Extractor, RecordSizesBeyondTheFileOrWrappingAroundEndTheWalk) {
    MakeTempDir();
    CIni handOff = HandOff();
    const Bytes page = Page("kept");

    // A page record claiming nearly 4 GiB: nothing is allocated, nothing listed.
    int counter = 0;
    auto huge = AddSpoolFile(
        "a.SPL", SpoolWriter().AddPage(page).AddRecordHead(12, 0xFFFFFF00u, Bytes(64, 1)).Finish());
    const long peakBefore = testing_support::PeakResidentKb();
    WalkSpoolFile(huge.string(), 1, tempDir_, handOff, counter);
    EXPECT_EQ(counter, 1);
    EXPECT_LT(testing_support::PeakResidentKb() - peakBefore, 256 * 1024)
        << "the claimed size was allocated";

    // A size whose 32-bit advance lands back on the same record (8 + size wraps to 0), and one
    // that lands before it: both would walk forever.
    for (std::uint32_t size : {0xFFFFFFF8u, 0xFFFFFFF0u}) {
        counter = 0;
        auto looping = AddSpoolFile("loop" + std::to_string(size) + ".SPL",
                                    SpoolWriter()
                                        .AddPage(page)
                                        .AddRecordHead(3, size, Bytes(16, 2))
                                        .AddPage(page)
                                        .Finish());
        WalkSpoolFile(looping.string(), 2, tempDir_, handOff, counter);
        EXPECT_EQ(counter, 1) << std::hex << size;
    }

    // A header size pointing past the end: no records at all.
    counter = 0;
    auto past =
        AddSpoolFile("p.SPL", SpoolWriter().AddPage(page).SetHeaderSize(0xFFFFFFFF).Finish());
    WalkSpoolFile(past.string(), 3, tempDir_, handOff, counter);
    EXPECT_EQ(counter, 0);
}

TEST_F(Extractor, UnreadableSpoolFilesAndUncreatablePagesAreSkippedWithoutGaps) {
    MakeTempDir();
    CIni handOff = HandOff();
    int counter = 0;
    WalkSpoolFile((spoolFolder_ / "missing.SPL").string(), 1, tempDir_, handOff, counter);
    EXPECT_EQ(counter, 0);
    EXPECT_FALSE(handOff.HasSection("EMFFiles"));

    // A folder standing where the first page file goes: that page cannot be written.
    fs::create_directories(PageFile("1_000000.emf"));
    const Bytes second = Page("second");
    AddSpoolFile("00001.SPL", SpoolWriter().AddPage(Page("first")).AddPage(second).Finish());
    EXPECT_EQ(ExtractSpoolPages(), 0);
    EXPECT_EQ(ListedPages(), std::vector<std::string>{PageFile("1_000001.emf")});
    EXPECT_EQ(HandOff().GetInt("Setting", "EMFCount", -1), 1);
    EXPECT_EQ(ReadBytes(PageFile("1_000001.emf")), second);
}

TEST_F(Extractor, AMissingOrUnusableTempDirFallsBackToTheUsersTemporaryFolder) {
    const std::string fallback = platform_.Temp().string() + "/DravelleOutput/";
    DeleteTempDir();
    EXPECT_EQ(ReadTempDir(), fallback);
    SetTempDir(std::string(100, 'x'));  // does not fit the 80-byte read
    EXPECT_EQ(ReadTempDir(), fallback);
    SetTempDir("");
    EXPECT_EQ(ReadTempDir(), fallback);
    SetTempDir("pages/");  // relative: it would land in the spooler's working folder
    EXPECT_EQ(ReadTempDir(), fallback);

    const std::string noSeparator = platform_.Work().string() + "/pages";
    SetTempDir(noSeparator);
    EXPECT_EQ(ReadTempDir(), noSeparator + "/");
    AddSpoolFile("00001.SPL", SpoolWriter().AddPage(Page("p")).Finish());
    EXPECT_EQ(ExtractSpoolPages(), 0);
    EXPECT_TRUE(fs::exists(noSeparator + "/1_000000.emf"));
    EXPECT_EQ(Inifile(), noSeparator + "/config.ini");
}
