// The metafile and spool stream builders other tests rely on: the bytes must be what Windows
// would write, and the hostile variants must break exactly what they say.
#include <algorithm>
#include <numeric>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/emf_writer.h"
#include "tests/support/spool_writer.h"

namespace ts = testing_support;

namespace {

std::vector<ts::EmfRecordInfo> RecordsOfType(const ts::Bytes& emf, std::uint32_t type) {
    std::vector<ts::EmfRecordInfo> found;
    for (const ts::EmfRecordInfo& record : ts::WalkEmfRecords(emf)) {
        if (record.type == type) {
            found.push_back(record);
        }
    }
    return found;
}

ts::RectL ReadRect(const ts::Bytes& data, std::size_t offset) {
    return {ts::ReadI32(data, offset), ts::ReadI32(data, offset + 4), ts::ReadI32(data, offset + 8),
            ts::ReadI32(data, offset + 12)};
}

void ExpectRect(const ts::Bytes& data, std::size_t offset, const ts::RectL& expected) {
    const ts::RectL r = ReadRect(data, offset);
    EXPECT_EQ(r.left, expected.left) << "at " << offset;
    EXPECT_EQ(r.top, expected.top) << "at " << offset;
    EXPECT_EQ(r.right, expected.right) << "at " << offset;
    EXPECT_EQ(r.bottom, expected.bottom) << "at " << offset;
}

std::vector<std::uint32_t> Types(const std::vector<ts::SpoolRecordInfo>& records) {
    std::vector<std::uint32_t> types;
    for (const ts::SpoolRecordInfo& record : records) {
        types.push_back(record.type);
    }
    return types;
}

}  // namespace

TEST(EmfWriter, A4HeaderDescribesThePrintedPageAndTheWholeFile) {
    const ts::Bytes emf = ts::MakeSamplePage({.payload = ts::Payload{ts::FourCc("TSPG"), {1, 2}}});
    namespace h = ts::emf_header;

    const std::vector<ts::EmfRecordInfo> records = ts::WalkEmfRecords(emf);
    ASSERT_GE(records.size(), 2u);
    for (const ts::EmfRecordInfo& record : records) {
        EXPECT_EQ(record.size % 4, 0u) << "record of type " << record.type;
    }
    EXPECT_EQ(records.front().type, ts::emr::kHeader);
    EXPECT_EQ(records.back().type, ts::emr::kEof);
    EXPECT_EQ(records.back().offset + records.back().size, emf.size()) << "EOF ends the file";
    EXPECT_EQ(records.back().size, 20u);
    EXPECT_EQ(ts::ReadU32(emf, records.back().offset + 8), 0u);    // nPalEntries
    EXPECT_EQ(ts::ReadU32(emf, records.back().offset + 12), 16u);  // offPalEntries
    EXPECT_EQ(ts::ReadU32(emf, records.back().offset + 16), 20u);  // nSizeLast

    EXPECT_EQ(ts::ReadU32(emf, h::kSignature), 0x464D4520u);
    EXPECT_EQ(ts::ReadU32(emf, h::kVersion), 0x10000u);
    EXPECT_EQ(ts::ReadU32(emf, h::kBytes), emf.size());
    EXPECT_EQ(ts::ReadU32(emf, h::kRecords), records.size());
    EXPECT_EQ(ts::ReadU16(emf, h::kHandles), 4u) << "pen, brush and font take indices 1 to 3";
    EXPECT_EQ(ts::ReadU32(emf, h::kPaletteEntries), 0u);

    ExpectRect(emf, h::kBounds, {0, 0, 4960, 7015});
    ExpectRect(emf, h::kFrame, {0, 0, 20999, 29699});
    EXPECT_EQ(ts::ReadI32(emf, h::kDevice), 4961);
    EXPECT_EQ(ts::ReadI32(emf, h::kDevice + 4), 7016);
    EXPECT_EQ(ts::ReadI32(emf, h::kMillimeters), 210);
    EXPECT_EQ(ts::ReadI32(emf, h::kMillimeters + 4), 297);
    EXPECT_EQ(ts::ReadI32(emf, h::kMicrometers), 210000);
    EXPECT_EQ(ts::ReadI32(emf, h::kMicrometers + 4), 297000);
    EXPECT_EQ(ts::ReadU32(emf, h::kPixelFormatSize), 0u);
    EXPECT_EQ(ts::ReadU32(emf, h::kPixelFormatOffset), 0u);
    EXPECT_EQ(ts::ReadU32(emf, h::kOpenGl), 0u);

    const std::u16string description(u"Tessaline\0Sample page\0\0", 23);
    EXPECT_EQ(ts::ReadU32(emf, h::kDescriptionLength), description.size());
    EXPECT_EQ(ts::ReadU32(emf, h::kDescriptionOffset), 108u);
    EXPECT_EQ(ts::ReadUtf16(emf, 108, description.size()), description);
    EXPECT_EQ(records.front().size, 108u + 48u) << "46 description bytes padded to 48";
    EXPECT_EQ(records[1].offset, records.front().size);

    const auto payload = RecordsOfType(emf, ts::emr::kComment);
    ASSERT_EQ(payload.size(), 1u);
    EXPECT_EQ(ts::AsString(ts::Bytes(emf.begin() + payload[0].offset + 12,
                                     emf.begin() + payload[0].offset + 18)),
              std::string("TSPG\x01\x02", 6));
}

TEST(EmfWriter, PageGeometryRoundsToWholePixelsAndMillimetres) {
    const ts::PageSize letter = ts::PageSize::Letter();  // 215.9 x 279.4 mm
    EXPECT_EQ(letter.DeviceWidth(), 5100);
    EXPECT_EQ(letter.DeviceHeight(), 6600);
    const ts::Bytes emf = ts::EmfWriter(letter).Finish();
    EXPECT_EQ(ts::ReadI32(emf, ts::emf_header::kMillimeters), 216);
    EXPECT_EQ(ts::ReadI32(emf, ts::emf_header::kMillimeters + 4), 279);
    ExpectRect(emf, ts::emf_header::kFrame, {0, 0, 21589, 27939});

    const ts::PageSize odd = ts::PageSize::Millimetres(100.5, 50.25, 300);
    EXPECT_EQ(odd.widthHundredthsMm, 10050);
    EXPECT_EQ(odd.DeviceWidth(), 1187);  // 1187.01
    EXPECT_EQ(odd.DeviceHeight(), 594);  // 593.50

    const ts::Bytes bare = ts::EmfWriter().Finish();
    EXPECT_EQ(bare.size(), 108u + 20u) << "no description: header and EOF only";
    EXPECT_EQ(ts::ReadU32(bare, ts::emf_header::kRecords), 2u);
    EXPECT_EQ(ts::ReadU32(bare, ts::emf_header::kDescriptionOffset), 0u);
    EXPECT_EQ(ts::ReadU16(bare, ts::emf_header::kHandles), 1u);
}

TEST(EmfWriter, HandlesAreReusedAfterDeleteAndCountedByTheHighestIndex) {
    ts::EmfWriter emf;
    EXPECT_EQ(emf.CreatePen(ts::kPsSolid, 3, ts::Rgb(1, 2, 3)), 1u);
    EXPECT_EQ(emf.CreateBrushIndirect(ts::kBsSolid, 0), 2u);
    EXPECT_EQ(emf.CreateBrushIndirect(ts::kBsSolid, 0), 3u);
    emf.DeleteObject(1);
    EXPECT_EQ(emf.ExtCreateFontIndirectW({.faceName = u"Liberation Sans"}), 1u);
    emf.SelectObject(ts::StockObject(ts::kNullPen));
    const ts::Bytes bytes = emf.Finish();
    EXPECT_EQ(ts::ReadU16(bytes, ts::emf_header::kHandles), 4u);

    const auto pens = RecordsOfType(bytes, ts::emr::kCreatePen);
    ASSERT_EQ(pens.size(), 1u);
    EXPECT_EQ(pens[0].size, 28u);
    EXPECT_EQ(ts::ReadU32(bytes, pens[0].offset + 8), 1u);  // ihPen
    EXPECT_EQ(ts::ReadI32(bytes, pens[0].offset + 16), 3);  // width
    EXPECT_EQ(ts::ReadU32(bytes, pens[0].offset + 24), 0x030201u);
    EXPECT_EQ(RecordsOfType(bytes, ts::emr::kCreateBrushIndirect).at(1).size, 24u);

    const auto fonts = RecordsOfType(bytes, ts::emr::kExtCreateFontIndirectW);
    ASSERT_EQ(fonts.size(), 1u);
    EXPECT_EQ(fonts[0].size, 104u) << "ihFont and a 92-byte LOGFONTW";
    EXPECT_EQ(ts::ReadI32(bytes, fonts[0].offset + 12), -100);  // lfHeight
    EXPECT_EQ(ts::ReadUtf16(bytes, fonts[0].offset + 12 + 28, 16),
              std::u16string(u"Liberation Sans\0", 16));

    const auto selects = RecordsOfType(bytes, ts::emr::kSelectObject);
    ASSERT_EQ(selects.size(), 1u);
    EXPECT_EQ(ts::ReadU32(bytes, selects[0].offset + 8), 0x80000008u);
}

TEST(EmfWriter, TextRecordPlacesStringAndAdvancesWhereItsOffsetsPoint) {
    ts::EmfWriter emf;
    emf.SelectObject(emf.ExtCreateFontIndirectW({.height = -120}));
    const std::u16string odd = u"Grüße !";            // 7 units: the string needs padding
    const std::u16string text = u"Grüße \U0001F600";  // 8 units with the surrogate pair
    const std::vector<std::int32_t> dx = {50, 40, 40, 40, 40, 25, 60, 0};
    emf.ExtTextOutW({300, 400}, odd, {50, 40, 40, 40, 40, 25, 60});
    emf.ExtTextOutW({300, 600}, text, dx, ts::kEtoClipped, {10, 20, 30, 40});
    emf.ExtTextOutW({0, 0}, u"ab");
    const ts::Bytes bytes = emf.Finish();

    const auto texts = RecordsOfType(bytes, ts::emr::kExtTextOutW);
    ASSERT_EQ(texts.size(), 3u);
    struct Expected {
        std::u16string text;
        std::vector<std::int32_t> dx;
    };
    const Expected expected[] = {{odd, {50, 40, 40, 40, 40, 25, 60}},
                                 {text, dx},
                                 {u"ab", {60, 60}}};  // default advance: half of |lfHeight|
    for (std::size_t i = 0; i < texts.size(); ++i) {
        SCOPED_TRACE(i);
        const std::size_t at = texts[i].offset;
        const std::size_t n = expected[i].text.size();
        EXPECT_EQ(ts::ReadU32(bytes, at + 44), n);  // nChars
        const std::uint32_t offString = ts::ReadU32(bytes, at + 48);
        const std::uint32_t offDx = ts::ReadU32(bytes, at + 72);
        EXPECT_EQ(offString, 76u);
        EXPECT_GE(offDx, offString + 2 * n);
        EXPECT_EQ(offDx % 4, 0u);
        EXPECT_EQ(texts[i].size, offDx + 4 * n) << "the advances end the record";
        EXPECT_EQ(ts::ReadUtf16(bytes, at + offString, n), expected[i].text);
        for (std::size_t k = 0; k < n; ++k) {
            EXPECT_EQ(ts::ReadI32(bytes, at + offDx + 4 * k), expected[i].dx[k]) << "dx " << k;
        }
        const std::int32_t x = ts::ReadI32(bytes, at + 36);
        const std::int32_t width = std::accumulate(expected[i].dx.begin(), expected[i].dx.end(), 0);
        EXPECT_EQ(ReadRect(bytes, at + 8).right - ReadRect(bytes, at + 8).left, width);
        EXPECT_EQ(ReadRect(bytes, at + 8).left, x);
        EXPECT_FLOAT_EQ(ts::ReadF32(bytes, at + 28), 2540.0f / 600);  // exScale
    }
    EXPECT_EQ(ts::ReadU32(bytes, texts[1].offset + 52), ts::kEtoClipped);
    ExpectRect(bytes, texts[1].offset + 56, {10, 20, 30, 40});
    EXPECT_THROW(emf.ExtTextOutW({0, 0}, u"abc", {1, 2}), std::invalid_argument);
}

TEST(EmfWriter, BitmapIsA24BitBottomUpDibWithPaddedRows) {
    ts::EmfWriter emf;
    // 3 x 2 pixels: 9 bytes a row, padded to 12.
    emf.StretchDIBits({100, 200}, {300, 200}, 3, 2,
                      {0x112233, 0x445566, 0x778899, 0xAABBCC, 0xDDEEFF, 0x010203});
    const ts::Bytes bytes = emf.Finish();
    const auto dibs = RecordsOfType(bytes, ts::emr::kStretchDiBits);
    ASSERT_EQ(dibs.size(), 1u);
    const std::size_t at = dibs[0].offset;
    ExpectRect(bytes, at + 8, {100, 200, 399, 399});
    const std::uint32_t offBmi = ts::ReadU32(bytes, at + 48);
    const std::uint32_t cbBmi = ts::ReadU32(bytes, at + 52);
    const std::uint32_t offBits = ts::ReadU32(bytes, at + 56);
    const std::uint32_t cbBits = ts::ReadU32(bytes, at + 60);
    EXPECT_EQ(cbBmi, 40u);
    EXPECT_EQ(offBits, offBmi + cbBmi);
    EXPECT_EQ(cbBits, 24u);
    EXPECT_EQ(dibs[0].size, offBits + cbBits);
    EXPECT_EQ(ts::ReadI32(bytes, at + 72), 300);  // cxDest
    EXPECT_EQ(ts::ReadI32(bytes, at + 76), 200);  // cyDest
    EXPECT_EQ(ts::ReadU32(bytes, at + 68), 0x00CC0020u);
    EXPECT_EQ(ts::ReadU32(bytes, at + offBmi), 40u);
    EXPECT_EQ(ts::ReadI32(bytes, at + offBmi + 4), 3);
    EXPECT_EQ(ts::ReadI32(bytes, at + offBmi + 8), 2) << "positive height: bottom-up";
    EXPECT_EQ(ts::ReadU16(bytes, at + offBmi + 14), 24u);
    const ts::Bytes bits(bytes.begin() + at + offBits, bytes.begin() + at + offBits + cbBits);
    const ts::Bytes expected = {0xCC, 0xBB, 0xAA, 0xFF, 0xEE, 0xDD, 0x03, 0x02, 0x01, 0, 0, 0,
                                0x33, 0x22, 0x11, 0x66, 0x55, 0x44, 0x99, 0x88, 0x77, 0, 0, 0};
    EXPECT_EQ(bits, expected) << "bottom row first, blue-green-red";
}

TEST(EmfWriter, CommentsArePaddedAndSamplePagesReachTheTargetSize) {
    ts::EmfWriter emf;
    emf.PayloadComment(ts::FourCc("TSPG"), {0xDE, 0xAD, 0xBE, 0xEF, 0x42});
    emf.Comment({7});
    const ts::Bytes bytes = emf.Finish();
    const auto comments = RecordsOfType(bytes, ts::emr::kComment);
    ASSERT_EQ(comments.size(), 2u);
    EXPECT_EQ(comments[0].size, 24u);
    EXPECT_EQ(ts::ReadU32(bytes, comments[0].offset + 8), 9u) << "cbData: identifier and body";
    EXPECT_EQ(ts::AsString(ts::Bytes(bytes.begin() + comments[0].offset + 12,
                                     bytes.begin() + comments[0].offset + 16)),
              "TSPG");
    EXPECT_EQ(comments[1].size, 16u);
    EXPECT_EQ(ts::ReadU32(bytes, comments[1].offset + 8), 1u);

    constexpr std::size_t kMiB = 1024 * 1024;
    const ts::Bytes big = ts::MakeSamplePage({.targetBytes = kMiB});
    EXPECT_EQ(big.size(), kMiB);
    EXPECT_EQ(ts::ReadU32(big, ts::emf_header::kBytes), kMiB);
    const auto walked = ts::WalkEmfRecords(big);
    EXPECT_EQ(walked.back().type, ts::emr::kEof);
    EXPECT_EQ(ts::ReadU32(big, ts::emf_header::kRecords), walked.size());

    const std::size_t plain = ts::MakeSamplePage().size();
    EXPECT_EQ(ts::MakeSamplePage({.targetBytes = plain + 5}).size(), plain + 16)
        << "a gap smaller than the smallest comment";
    EXPECT_EQ(ts::MakeSamplePage({.targetBytes = plain + 22}).size(), plain + 24);
    EXPECT_EQ(ts::MakeSamplePage({.targetBytes = plain - 100}).size(), plain);
}

TEST(SpoolWriter, StreamRoundTripsThroughTheReferenceReader) {
    const ts::Bytes page1 = ts::MakeSamplePage({.text = u"first"});
    const ts::Bytes page2 = ts::MakeSamplePage({.page = ts::PageSize::Letter(), .text = u"two"});
    ts::SpoolWriter writer(u"Quarterly report.docx", u"LPT1:");
    writer.AddDevmode().AddPage(page1).AddRecord(99, {1, 2, 3}).AddPage(page2, 13);
    const ts::Bytes spool = writer.Finish();

    // Header: 16 bytes, 22 units of name with NUL, 6 of output name with NUL.
    EXPECT_EQ(ts::ReadU32(spool, 0), 0x00010000u);
    EXPECT_EQ(ts::ReadU32(spool, 4), 72u);
    EXPECT_EQ(writer.NaturalHeaderSize(), 72u);
    EXPECT_EQ(ts::ReadU32(spool, 8), 16u);
    EXPECT_EQ(ts::ReadU32(spool, 12), 60u);
    EXPECT_EQ(ts::ReadUtf16(spool, 60, 6), std::u16string(u"LPT1:\0", 6));

    const ts::ParsedSpool parsed = ts::ReadSpool(spool);
    EXPECT_EQ(parsed.documentName, u"Quarterly report.docx");
    EXPECT_TRUE(parsed.documentNameTerminated);
    EXPECT_EQ(parsed.headerSize, 72u);
    EXPECT_EQ(Types(parsed.records), (std::vector<std::uint32_t>{3, 12, 99, 12}));
    const auto written = writer.Records();
    ASSERT_EQ(parsed.records.size(), written.size());
    for (std::size_t i = 0; i < written.size(); ++i) {
        EXPECT_EQ(parsed.records[i].offset, written[i].offset) << i;
        EXPECT_EQ(parsed.records[i].size, written[i].size) << i;
        EXPECT_TRUE(parsed.records[i].complete) << i;
    }
    EXPECT_EQ(parsed.records[0].offset, 72u);
    EXPECT_EQ(parsed.records[0].size, 220u);
    EXPECT_EQ(parsed.records[3].size, page2.size() + 13) << "padding is inside the record";
    EXPECT_EQ(parsed.records[3].offset + 8 + parsed.records[3].size, spool.size());
    ASSERT_EQ(parsed.pages.size(), 2u);
    EXPECT_EQ(parsed.pages[0].emf, page1);
    EXPECT_EQ(parsed.pages[1].emf, page2) << "padding excluded";
    EXPECT_EQ(parsed.pages[1].recordIndex, 3u);
}

TEST(SpoolWriter, EveryKnownTypeAppearsOnceAndOnlyTheDataRecordIsAPage) {
    const ts::Bytes page = ts::MakeSamplePage();
    ts::SpoolWriter writer(u"All types");
    writer.AddEveryKnownType(page);
    const ts::Bytes spool = writer.Finish();
    const ts::ParsedSpool parsed = ts::ReadSpool(spool);

    std::vector<std::uint32_t> oneToTwenty(20);
    std::iota(oneToTwenty.begin(), oneToTwenty.end(), 1u);
    EXPECT_EQ(Types(parsed.records), oneToTwenty);
    ASSERT_EQ(parsed.pages.size(), 1u);
    EXPECT_EQ(parsed.pages[0].emf, page);
    EXPECT_EQ(parsed.records[parsed.pages[0].recordIndex].type, ts::srt::kMetafileData);

    // An extended metafile record points back at the page record.
    const auto& ext = parsed.records[ts::srt::kExtMetafile - 1];
    EXPECT_EQ(ts::ReadU32(spool, ext.offset + 8), ext.offset - parsed.records[11].offset);

    const auto& devmode = parsed.records[ts::srt::kDevmode - 1];
    const std::size_t dm = devmode.offset + 8;
    EXPECT_EQ(devmode.size, 220u);
    EXPECT_EQ(ts::ReadUtf16(spool, dm, 10), std::u16string(u"Tessaline\0", 10));
    EXPECT_EQ(ts::ReadU16(spool, dm + 68), 220u);  // dmSize
    EXPECT_EQ(ts::ReadU16(spool, dm + 78), 9u);    // dmPaperSize: A4
    EXPECT_EQ(ts::ReadU16(spool, dm + 90), 600u);  // dmPrintQuality
    EXPECT_EQ(ts::ReadU16(spool, dm + 96), 600u);  // dmYResolution
    EXPECT_EQ(ts::ReadUtf16(spool, dm + 102, 3), std::u16string(u"A4\0", 3));

    EXPECT_EQ(ts::SpoolRecordName(1), "SRT_METAFILE");
    EXPECT_EQ(ts::SpoolRecordName(12), "SRT_METAFILE_DATA");
    EXPECT_EQ(ts::SpoolRecordName(20), "SRT_EXT_PS_JOB_DATA");
    EXPECT_EQ(ts::SpoolRecordName(99), "");
}

TEST(SpoolWriter, TruncationAndOversizedRecordsEndTheWalk) {
    const ts::Bytes page = ts::MakeSamplePage();
    ts::SpoolWriter writer(u"Doc");
    writer.AddPage(page).AddPage(page);
    const ts::Bytes whole = writer.Finish();
    const std::uint64_t secondHead = writer.Records()[1].offset;

    // Cut inside the second page's data: its head is read, no page comes of it.
    const ts::Bytes cutData = writer.TruncateAt(secondHead + 100).Finish();
    EXPECT_EQ(cutData.size(), secondHead + 100);
    EXPECT_EQ(cutData, ts::Truncated(whole, secondHead + 100));
    ts::ParsedSpool parsed = ts::ReadSpool(cutData);
    ASSERT_EQ(parsed.records.size(), 2u);
    EXPECT_FALSE(parsed.records[1].complete);
    EXPECT_EQ(parsed.pages.size(), 1u);

    // Cut inside the second head: only the first record remains.
    parsed = ts::ReadSpool(ts::Truncated(whole, secondHead + 7));
    EXPECT_EQ(parsed.records.size(), 1u);
    EXPECT_EQ(parsed.pages.size(), 1u);

    // Under 16 bytes there is no name; under 8 not even a header size.
    parsed = ts::ReadSpool(ts::Truncated(whole, 15));
    EXPECT_FALSE(parsed.documentName);
    EXPECT_EQ(parsed.headerSize, 24u);
    EXPECT_FALSE(ts::ReadSpool(ts::Truncated(whole, 7)).headerSize);

    // A last head claiming one byte more than follows: listed, incomplete, no page.
    ts::SpoolWriter liar(u"Doc");
    liar.AddPage(page).AddRecordHead(ts::srt::kMetafileData, 1000, ts::Bytes(999, 0));
    const ts::Bytes lie = liar.Finish();
    EXPECT_EQ(lie.size(), liar.Records()[1].offset + 8 + 999);
    EXPECT_FALSE(liar.Records()[1].complete);
    parsed = ts::ReadSpool(lie);
    EXPECT_EQ(Types(parsed.records), (std::vector<std::uint32_t>{12, 12}));
    EXPECT_FALSE(parsed.records[1].complete);
    EXPECT_EQ(parsed.pages.size(), 1u);

    // A size in mid-stream is trusted: the record swallows the page after it.
    ts::SpoolWriter skipper(u"Doc");
    const auto swallow = static_cast<std::uint32_t>(4 + 8 + page.size());
    skipper.AddRecordHead(99, swallow, {0, 0, 0, 0}).AddPage(page).AddDevmode();
    EXPECT_TRUE(skipper.Records()[0].complete);
    parsed = ts::ReadSpool(skipper.Finish());
    EXPECT_EQ(Types(parsed.records), (std::vector<std::uint32_t>{99, 3}));
    EXPECT_TRUE(parsed.pages.empty());
}

TEST(SpoolWriter, PatchedNBytesDecidesWhatThePageHolds) {
    const ts::Bytes page = ts::MakeSamplePage();
    const auto size = static_cast<std::uint32_t>(page.size());
    ts::SpoolWriter writer;
    writer
        .AddPageWithNBytes(page, size + 9, 8)  // larger than the record: an empty page
        .AddPageWithNBytes(page, size + 8, 8)  // exactly the record: padding included
        .AddPageWithNBytes(page, 100)          // shorter: the page is cut
        .AddRecord(ts::srt::kMetafileData, ts::Bytes(51, 1))  // too short to hold nBytes
        .AddRecord(ts::srt::kMetafileData, {});               // empty: no page at all
    const ts::Bytes spool = writer.Finish();
    ts::ParsedSpool parsed = ts::ReadSpool(spool);
    ASSERT_EQ(parsed.pages.size(), 4u);
    EXPECT_EQ(parsed.pages[0].nBytes, size + 9);
    EXPECT_TRUE(parsed.pages[0].emf.empty());
    ASSERT_EQ(parsed.pages[1].emf.size(), size + 8u);
    EXPECT_EQ(parsed.pages[1].emf.back(), 0xA5) << "the padding byte";
    ts::Bytes cut(page.begin(), page.begin() + 100);
    ts::PatchU32(cut, ts::emf_header::kBytes, 100);
    EXPECT_EQ(parsed.pages[2].emf, cut);
    EXPECT_FALSE(parsed.pages[3].nBytes);
    EXPECT_TRUE(parsed.pages[3].emf.empty());
    EXPECT_EQ(ts::ReadU32(spool, parsed.records[2].offset + 8 + 48), 100u);

    const ts::Bytes good = ts::SpoolWriter().AddPage(page).AddPage(page).Finish();
    const ts::Bytes patched = ts::WithPageNBytes(good, 1, 64);
    parsed = ts::ReadSpool(patched);
    EXPECT_EQ(parsed.pages[0].emf, page);
    EXPECT_EQ(parsed.pages[1].nBytes, 64u);
    EXPECT_EQ(parsed.pages[1].emf.size(), 64u);
    EXPECT_THROW(ts::WithPageNBytes(good, 2, 64), std::out_of_range);
}

TEST(SpoolWriter, HeaderFieldsCanLieAndTheNameCanRunOn) {
    const ts::Bytes page = ts::MakeSamplePage();

    // The header size pointing at the start makes the header itself the first "record".
    ts::SpoolWriter atZero(u"Doc");
    const ts::Bytes zero = atZero.SetHeaderSize(0).AddPage(page).Finish();
    EXPECT_EQ(ts::ReadU32(zero, 4), 0u);
    ts::ParsedSpool parsed = ts::ReadSpool(zero);
    ASSERT_FALSE(parsed.records.empty());
    EXPECT_EQ(parsed.records[0].type, 0x00010000u);
    EXPECT_EQ(parsed.records[0].offset, 0u);

    // A header size far past the end: no records at all.
    parsed = ts::ReadSpool(ts::SpoolWriter().SetHeaderSize(0xFFFFFFF0u).AddPage(page).Finish());
    EXPECT_TRUE(parsed.records.empty());

    // The name offset outside the first 2048 bytes gives no name; inside it names what is there.
    parsed = ts::ReadSpool(ts::SpoolWriter().SetDocumentNameOffset(4096).AddPage(page).Finish());
    EXPECT_FALSE(parsed.documentName);
    ts::SpoolWriter shifted(u"Report");
    parsed = ts::ReadSpool(shifted.SetDocumentNameOffset(20).Finish());
    EXPECT_EQ(parsed.documentName, u"port");

    // Without its NUL the name runs through the '_' padding into the first record head.
    ts::SpoolWriter open(u"Doc");
    open.OmitNameTerminator().AddPage(page);
    const ts::Bytes unterminated = open.Finish();
    EXPECT_EQ(open.NaturalHeaderSize(), 24u);
    EXPECT_EQ(ts::ReadUtf16(unterminated, 16, 4), u"Doc_");
    parsed = ts::ReadSpool(unterminated);
    EXPECT_EQ(parsed.documentName, std::u16string(u"Doc_\x0C"));
    ASSERT_EQ(parsed.pages.size(), 1u);
    EXPECT_EQ(parsed.pages[0].emf, page);

    // A name that never ends within the 2048 bytes read is cut at 255 units.
    const ts::Bytes endless =
        ts::SpoolWriter(std::u16string(300, u'x')).OmitNameTerminator().Finish();
    parsed = ts::ReadSpool(endless);
    EXPECT_EQ(parsed.documentName, std::u16string(255, u'x'));
    EXPECT_FALSE(parsed.documentNameTerminated);
}
