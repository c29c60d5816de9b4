#include "components/pdfengine/emf/EmfReader.h"

#include <utility>

#include "components/pdfengine/emf/EmfRecords.h"

namespace emf {
namespace {

namespace layout = tessaline::contracts::emf;

constexpr std::uint32_t kRecordHeadSize = layout::kRecordHeadSize;
constexpr std::uint32_t kCommentHeadSize = layout::kCommentHeadSize;

bool Fail(std::string* error, std::string message) {
    if (error) {
        *error = std::move(message);
    }
    return false;
}

std::string At(std::size_t offset) {
    return " (record at byte " + std::to_string(offset) + ")";
}

bool ReadHeader(std::span<const std::uint8_t> bytes, EmfHeader* header, std::string* error) {
    switch (layout::ReadHeader(bytes, header)) {
        case layout::HeaderStatus::kOk:
            break;
        case layout::HeaderStatus::kTooShort:
            return Fail(error, "not a metafile: " + std::to_string(bytes.size()) +
                                   " bytes are too few for an EMF header");
        case layout::HeaderStatus::kNotHeaderRecord:
            return Fail(error, "not a metafile: the first record is not EMR_HEADER");
        case layout::HeaderStatus::kBadSignature:
            return Fail(error, "not a metafile: the header signature is not \" EMF\"");
    }
    if (header->headerSize < kHeaderBaseSize || header->headerSize % 4 != 0) {
        return Fail(error, "bad EMF header size " + std::to_string(header->headerSize) +
                               " (at least 88 and a multiple of 4)");
    }
    if (header->bytes < header->headerSize || header->bytes % 4 != 0) {
        return Fail(error,
                    "bad EMF length " + std::to_string(header->bytes) + " in the header (nBytes)");
    }
    if (header->bytes > bytes.size()) {
        return Fail(error, "truncated metafile: the header announces " +
                               std::to_string(header->bytes) + " bytes, the data holds " +
                               std::to_string(bytes.size()));
    }
    if (header->records < 2) {
        return Fail(error, "bad record count " + std::to_string(header->records) +
                               " in the header (a metafile holds at least header and EOF)");
    }
    if (header->device.cx <= 0 || header->device.cy <= 0 || header->millimeters.cx <= 0 ||
        header->millimeters.cy <= 0) {
        return Fail(error, "bad reference device size in the EMF header");
    }
    if (header->pixelFormatSize && *header->pixelFormatSize != 0 &&
        (*header->pixelFormatOffset < kHeaderBaseSize ||
         !InRange(*header->pixelFormatOffset, *header->pixelFormatSize, header->headerSize))) {
        return Fail(error, "the EMF header's pixel format lies outside the header record");
    }
    // Some writers leave the micrometre size zero; the millimetre size then stands alone.
    if (header->micrometers && (header->micrometers->cx <= 0 || header->micrometers->cy <= 0)) {
        header->micrometers.reset();
    }
    const std::uint32_t descriptionLength = header->descriptionLength;
    const std::uint32_t descriptionOffset = header->descriptionOffset;
    if (descriptionLength != 0) {
        if (descriptionOffset < kHeaderBaseSize ||
            !InRange(descriptionOffset, std::uint64_t{descriptionLength} * 2, header->headerSize)) {
            return Fail(error, "the EMF description lies outside the header record");
        }
        ByteReader text(bytes, descriptionOffset);
        header->description.reserve(descriptionLength);
        for (std::uint32_t i = 0; i < descriptionLength; ++i) {
            header->description.push_back(static_cast<char16_t>(text.U16()));
        }
    }
    return true;
}

}  // namespace

double EmfHeader::PixelsPerMmX() const {
    if (micrometers) {
        return device.cx * 1000.0 / micrometers->cx;
    }
    return static_cast<double>(device.cx) / millimeters.cx;
}

double EmfHeader::PixelsPerMmY() const {
    if (micrometers) {
        return device.cy * 1000.0 / micrometers->cy;
    }
    return static_cast<double>(device.cy) / millimeters.cy;
}

bool EmfMetafile::Parse(std::span<const std::uint8_t> bytes, EmfMetafile* out, std::string* error) {
    return Parse(std::vector<std::uint8_t>(bytes.begin(), bytes.end()), out, error);
}

bool EmfMetafile::Parse(std::vector<std::uint8_t> bytes, EmfMetafile* out, std::string* error) {
    EmfMetafile parsed;
    parsed.bytes_ = std::move(bytes);
    if (!ReadHeader(parsed.bytes_, &parsed.header_, error)) {
        return false;
    }
    // Only the announced length counts; anything after it (spool padding) is not ours.
    const std::span<const std::uint8_t> file(parsed.bytes_.data(), parsed.header_.bytes);
    std::size_t offset = 0;
    bool sawEof = false;
    while (!sawEof) {
        if (file.size() - offset < kRecordHeadSize) {
            return Fail(error, "the metafile ends without EMR_EOF" + At(offset));
        }
        ByteReader in(file, offset);
        EmfRecord rec;
        rec.type = in.U32();
        rec.size = in.U32();
        rec.offset = offset;
        if (rec.size < kRecordHeadSize || rec.size % 4 != 0) {
            return Fail(error, "bad record size " + std::to_string(rec.size) +
                                   " (at least 8 and a multiple of 4)" + At(offset));
        }
        if (rec.size > file.size() - offset) {
            return Fail(error, "record of " + std::to_string(rec.size) +
                                   " bytes runs past the end of the metafile" + At(offset));
        }
        if (offset != 0 && rec.type == record::kHeader) {
            return Fail(error, "a second EMR_HEADER" + At(offset));
        }
        if (rec.type == record::kComment) {
            ByteReader comment(file, offset + kRecordHeadSize);
            const std::uint32_t dataSize = comment.U32();
            if (rec.size < kCommentHeadSize || dataSize > rec.size - kCommentHeadSize) {
                return Fail(error, "comment data larger than its record" + At(offset));
            }
        }
        rec.parameters = file.subspan(offset + kRecordHeadSize, rec.size - kRecordHeadSize);
        parsed.records_.push_back(rec);
        sawEof = rec.type == record::kEof;
        offset += rec.size;
    }
    if (parsed.records_.size() != parsed.header_.records) {
        return Fail(error, "the header announces " + std::to_string(parsed.header_.records) +
                               " records, the metafile holds " +
                               std::to_string(parsed.records_.size()));
    }
    *out = std::move(parsed);
    return true;
}

std::vector<EmfComment> EmfMetafile::Comments() const {
    std::vector<EmfComment> comments;
    for (std::size_t i = 0; i < records_.size(); ++i) {
        const EmfRecord& rec = records_[i];
        if (rec.type != record::kComment) {
            continue;
        }
        ByteReader in(rec.parameters);
        const std::uint32_t dataSize = in.U32();  // checked against the record by Parse
        comments.push_back({i, rec.parameters.subspan(4, dataSize)});
    }
    return comments;
}

std::vector<std::span<const std::uint8_t>> EmfMetafile::CommentsWithIdentifier(
    std::uint32_t identifier) const {
    std::vector<std::span<const std::uint8_t>> found;
    for (const EmfComment& comment : Comments()) {
        ByteReader in(comment.data);
        if (in.U32() == identifier && in.Ok()) {
            found.push_back(comment.data.subspan(4));
        }
    }
    return found;
}

}  // namespace emf
