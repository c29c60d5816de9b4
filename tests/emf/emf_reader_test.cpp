// The metafile reader: what it takes from a well-formed header and records, and how it refuses
// metafiles whose sizes, offsets or counts do not hold together.
#include <gtest/gtest.h>

#include "components/pdfengine/emf/EmfReader.h"
#include "components/pdfengine/emf/EmfRecords.h"
#include "tests/support/emf_writer.h"

namespace {

using testing_support::Bytes;
using testing_support::EmfWriter;
namespace emf_header = testing_support::emf_header;

std::string ParseError(const Bytes& bytes) {
    emf::EmfMetafile metafile;
    std::string error;
    EXPECT_FALSE(emf::EmfMetafile::Parse(bytes, &metafile, &error));
    EXPECT_FALSE(error.empty());
    return error;
}

// A small metafile: header with a description, two drawing records, a comment, EOF.
Bytes SmallMetafile() {
    EmfWriter emf(testing_support::PageSize::Letter(300), std::u16string(u"App\0Pic\0", 8));
    emf.SetMapMode(testing_support::kMmText);
    emf.Rectangle({10, 20, 30, 40});
    emf.Comment(testing_support::AsBytes("hello"));
    return emf.Finish();
}

TEST(EmfReader, ReadsTheHeaderFields) {
    const testing_support::PageSize page = testing_support::PageSize::Letter(300);
    const Bytes bytes = SmallMetafile();
    emf::EmfMetafile metafile;
    std::string error;
    ASSERT_TRUE(emf::EmfMetafile::Parse(bytes, &metafile, &error)) << error;
    const emf::EmfHeader& header = metafile.Header();
    EXPECT_EQ(header.signature, emf::kEmfSignature);
    EXPECT_EQ(header.bytes, bytes.size());
    EXPECT_EQ(header.records, 5u);
    EXPECT_EQ(header.device.cx, page.DeviceWidth());
    EXPECT_EQ(header.device.cy, page.DeviceHeight());
    EXPECT_EQ(header.frame.right, page.widthHundredthsMm - 1);
    EXPECT_EQ(header.frame.bottom, page.heightHundredthsMm - 1);
    EXPECT_EQ(header.bounds.right, page.DeviceWidth() - 1);
    EXPECT_EQ(header.millimeters.cx, 216);
    ASSERT_TRUE(header.micrometers.has_value());
    EXPECT_EQ(header.micrometers->cx, page.widthHundredthsMm * 10);
    ASSERT_TRUE(header.pixelFormatSize.has_value());
    EXPECT_EQ(*header.pixelFormatSize, 0u);
    EXPECT_EQ(header.description, std::u16string(u"App\0Pic\0\0", 9));
    // 300 dpi from the micrometre size, not the rounded millimetres.
    EXPECT_NEAR(header.PixelsPerMmX(), 300 / 25.4, 0.01);
    EXPECT_NEAR(header.PixelsPerMmY(), 300 / 25.4, 0.01);
}

TEST(EmfReader, WalksRecordsAndComments) {
    const Bytes bytes = SmallMetafile();
    emf::EmfMetafile metafile;
    std::string error;
    ASSERT_TRUE(emf::EmfMetafile::Parse(bytes, &metafile, &error)) << error;
    const auto& records = metafile.Records();
    ASSERT_EQ(records.size(), 5u);
    const std::vector<std::uint32_t> types = {emf::record::kHeader, emf::record::kSetMapMode,
                                              emf::record::kRectangle, emf::record::kComment,
                                              emf::record::kEof};
    std::size_t offset = 0;
    for (std::size_t i = 0; i < records.size(); ++i) {
        EXPECT_EQ(records[i].type, types[i]);
        EXPECT_EQ(records[i].offset, offset);
        EXPECT_EQ(records[i].parameters.size(), records[i].size - 8u);
        offset += records[i].size;
    }
    EXPECT_EQ(offset, bytes.size());
    emf::ByteReader rectangle(records[2].parameters);
    EXPECT_EQ(rectangle.I32(), 10);
    EXPECT_EQ(rectangle.I32(), 20);

    const auto comments = metafile.Comments();
    ASSERT_EQ(comments.size(), 1u);
    EXPECT_EQ(comments[0].recordIndex, 3u);
    EXPECT_EQ(std::string(comments[0].data.begin(), comments[0].data.end()), "hello");
}

TEST(EmfReader, FindsPayloadCommentsByIdentifier) {
    EmfWriter emf;
    emf.PayloadComment(testing_support::FourCc("TSPG"), testing_support::AsBytes("%PDF-1.7 a"));
    emf.PayloadComment(testing_support::FourCc("OTHR"), testing_support::AsBytes("x"));
    emf.Comment(testing_support::AsBytes("TS"));  // shorter than an identifier
    emf.PayloadComment(testing_support::FourCc("TSPG"), {});
    emf::EmfMetafile metafile;
    std::string error;
    ASSERT_TRUE(emf::EmfMetafile::Parse(emf.Finish(), &metafile, &error)) << error;
    const auto found = metafile.CommentsWithIdentifier(testing_support::FourCc("TSPG"));
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(std::string(found[0].begin(), found[0].end()), "%PDF-1.7 a");
    EXPECT_TRUE(found[1].empty());
}

TEST(EmfReader, IgnoresBytesAfterTheAnnouncedLength) {
    Bytes bytes = SmallMetafile();
    const std::size_t length = bytes.size();
    bytes.resize(length + 100, 0xEE);
    emf::EmfMetafile metafile;
    std::string error;
    ASSERT_TRUE(emf::EmfMetafile::Parse(bytes, &metafile, &error)) << error;
    EXPECT_EQ(metafile.Records().back().offset + metafile.Records().back().size, length);
}

TEST(EmfReader, RefusesBadHeaders) {
    EXPECT_NE(ParseError({}).find("too few"), std::string::npos);
    EXPECT_NE(ParseError(Bytes(87, 0)).find("too few"), std::string::npos);

    Bytes notHeader = SmallMetafile();
    testing_support::PatchU32(notHeader, 0, emf::record::kEof);
    EXPECT_NE(ParseError(notHeader).find("EMR_HEADER"), std::string::npos);

    Bytes signature = SmallMetafile();
    testing_support::PatchU32(signature, emf_header::kSignature, 0x20464D45);
    EXPECT_NE(ParseError(signature).find("signature"), std::string::npos);

    for (std::uint32_t size : {0u, 84u, 110u}) {
        Bytes headerSize = SmallMetafile();
        testing_support::PatchU32(headerSize, 4, size);
        EXPECT_NE(ParseError(headerSize).find("header size"), std::string::npos) << size;
    }

    Bytes device = SmallMetafile();
    testing_support::PatchU32(device, emf_header::kDevice, 0);
    EXPECT_NE(ParseError(device).find("device size"), std::string::npos);

    Bytes description = SmallMetafile();
    testing_support::PatchU32(description, emf_header::kDescriptionLength, 1000);
    EXPECT_NE(ParseError(description).find("description"), std::string::npos);
    testing_support::PatchU32(description, emf_header::kDescriptionLength, 0x80000001);
    EXPECT_NE(ParseError(description).find("description"), std::string::npos);
}

TEST(EmfReader, RefusesLengthsAndCountsThatDisagree) {
    const Bytes good = SmallMetafile();

    Bytes truncated(good.begin(), good.end() - 4);
    EXPECT_NE(ParseError(truncated).find("truncated"), std::string::npos);

    Bytes unaligned = good;
    testing_support::PatchU32(unaligned, emf_header::kBytes,
                              static_cast<std::uint32_t>(good.size() - 2));
    EXPECT_NE(ParseError(unaligned).find("bad EMF length"), std::string::npos);

    Bytes shorter = good;  // nBytes cuts EMR_EOF off
    testing_support::PatchU32(shorter, emf_header::kBytes,
                              static_cast<std::uint32_t>(good.size() - 20));
    EXPECT_NE(ParseError(shorter).find("without EMR_EOF"), std::string::npos);

    Bytes count = good;
    testing_support::PatchU32(count, emf_header::kRecords, 6);
    EXPECT_NE(ParseError(count).find("announces 6 records"), std::string::npos);
}

TEST(EmfReader, RefusesRecordsThatDoNotFit) {
    const Bytes good = SmallMetafile();
    const auto records = testing_support::WalkEmfRecords(good);
    ASSERT_EQ(records.size(), 5u);
    const std::size_t rectangle = records[2].offset;

    for (std::uint32_t size : {0u, 4u, 26u}) {
        Bytes bad = good;
        testing_support::PatchU32(bad, rectangle + 4, size);
        EXPECT_NE(ParseError(bad).find("bad record size"), std::string::npos) << size;
    }
    for (std::uint32_t size : {0x1000u, 0xFFFFFFFCu}) {
        Bytes bad = good;
        testing_support::PatchU32(bad, rectangle + 4, size);
        EXPECT_NE(ParseError(bad).find("runs past the end"), std::string::npos) << size;
    }

    Bytes comment = good;  // cbData larger than the record
    testing_support::PatchU32(comment, records[3].offset + 8, 0x7FFFFFFF);
    EXPECT_NE(ParseError(comment).find("comment data"), std::string::npos);

    Bytes secondHeader = good;
    testing_support::PatchU32(secondHeader, rectangle, emf::record::kHeader);
    EXPECT_NE(ParseError(secondHeader).find("second EMR_HEADER"), std::string::npos);
}

TEST(EmfReader, AFailedParseLeavesTheTargetAlone) {
    emf::EmfMetafile metafile;
    std::string error;
    ASSERT_TRUE(emf::EmfMetafile::Parse(SmallMetafile(), &metafile, &error));
    Bytes bad = SmallMetafile();
    testing_support::PatchU32(bad, emf_header::kSignature, 0);
    EXPECT_FALSE(emf::EmfMetafile::Parse(bad, &metafile, &error));
    EXPECT_EQ(metafile.Records().size(), 5u);
    EXPECT_EQ(metafile.Header().signature, emf::kEmfSignature);
}

}  // namespace
