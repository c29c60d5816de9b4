// Writes the seed corpus for the spool walk fuzzer: ordinary spool files and the hostile shapes
// the walk must survive, so the fuzzer starts from every kind of record layout.
#include <cstdio>
#include <filesystem>
#include <string>

#include "tests/support/emf_writer.h"
#include "tests/support/spool_writer.h"

using testing_support::Bytes;
using testing_support::SpoolWriter;

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_spool_corpus FOLDER\n");
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    std::filesystem::create_directories(folder);
    int written = 0;
    auto seed = [&](const std::string& name, const Bytes& bytes) {
        testing_support::WriteBytes(folder / (name + ".spl"), bytes);
        ++written;
    };

    testing_support::SamplePageOptions small;
    small.page = testing_support::PageSize::Millimetres(50, 30);
    const Bytes page = testing_support::MakeSamplePage(small);

    seed("two-pages",
         SpoolWriter(u"Two.docx").AddDevmode().AddPage(page).AddPage(page, 5).Finish());
    seed("every-type", SpoolWriter(u"Every").AddEveryKnownType(page).Finish());
    seed("unknown-types",
         SpoolWriter().AddRecord(99, Bytes(10, 1)).AddPage(page).AddRecord(0, {}).Finish());
    seed("no-pages", SpoolWriter(u"Empty").AddDevmode().Finish());
    seed("nbytes-too-large",
         SpoolWriter()
             .AddPageWithNBytes(page, static_cast<std::uint32_t>(page.size() * 2))
             .Finish());
    seed("short-page", SpoolWriter().AddRecord(12, Bytes(40, 3)).Finish());
    seed("huge-size",
         SpoolWriter().AddPage(page).AddRecordHead(12, 0xFFFFFF00u, Bytes(8)).Finish());
    seed(
        "wrapping-size",
        SpoolWriter().AddPage(page).AddRecordHead(3, 0xFFFFFFF8u, Bytes(8)).AddPage(page).Finish());
    seed("name-outside", SpoolWriter(u"Name").SetDocumentNameOffset(4000).AddPage(page).Finish());
    seed("name-unterminated", SpoolWriter(u"Name").OmitNameTerminator().AddPage(page).Finish());
    seed("header-past-end", SpoolWriter().SetHeaderSize(1u << 20).AddPage(page).Finish());
    seed("truncated", testing_support::Truncated(SpoolWriter().AddPage(page).AddPage(page).Finish(),
                                                 page.size() + 40));
    seed("tiny", Bytes{1, 0, 1, 0, 16, 0, 0, 0});

    std::printf("%d seeds in %s\n", written, folder.c_str());
    return 0;
}
