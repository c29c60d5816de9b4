// Builds EMF spool streams (the spooler's *.SPL files) for tests, well formed or deliberately
// broken, and reads them back the way the page extractor is meant to.
//
// Layout, all fields 32-bit little-endian:
//   header:  version 0x00010000, header size (offset of the first record), document name offset,
//            output name offset (0 when none), then the UTF-16LE names with their NULs, padded to 4
//   records: type, size (data bytes after this 8-byte head), data
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "contracts/SpoolLayout.h"
#include "tests/support/emf_writer.h"

namespace testing_support {

// Spool record types.
namespace srt {
inline constexpr std::uint32_t kMetafile = 1;
inline constexpr std::uint32_t kEngineFont = 2;
inline constexpr std::uint32_t kDevmode = tessaline::contracts::spool::kDevmodeRecord;
inline constexpr std::uint32_t kType1Font = 4;
inline constexpr std::uint32_t kPreStartPage = 5;
inline constexpr std::uint32_t kDesignVector = 6;
inline constexpr std::uint32_t kSubsetFont = 7;
inline constexpr std::uint32_t kDeltaFont = 8;
inline constexpr std::uint32_t kFormMetafile = 9;
inline constexpr std::uint32_t kBwMetafile = 10;
inline constexpr std::uint32_t kBwFormMetafile = 11;
inline constexpr std::uint32_t kMetafileData = tessaline::contracts::spool::kMetafileDataRecord;
inline constexpr std::uint32_t kExtMetafile = 13;
inline constexpr std::uint32_t kExtBwMetafile = 14;
inline constexpr std::uint32_t kExtEngineFont = 15;
inline constexpr std::uint32_t kExtType1Font = 16;
inline constexpr std::uint32_t kExtDesignVector = 17;
inline constexpr std::uint32_t kExtSubsetFont = 18;
inline constexpr std::uint32_t kExtDeltaFont = 19;
inline constexpr std::uint32_t kExtPsJobData = 20;
inline constexpr std::uint32_t kLastKnown = 20;
}  // namespace srt

// "SRT_METAFILE" ... "SRT_EXT_PS_JOB_DATA" for types 1 to 20, empty for any other type.
std::string_view SpoolRecordName(std::uint32_t type);

inline constexpr std::uint32_t kSpoolVersion = tessaline::contracts::spool::kVersion;
inline constexpr std::size_t kSpoolRecordHead = tessaline::contracts::spool::kRecordHeadSize;
// Where the EMF header keeps nBytes, counted from the start of a page record's data.
inline constexpr std::size_t kPageNBytesOffset = emf_header::kBytes;

struct DevmodeOptions {
    std::u16string deviceName = u"Tessaline";
    std::int16_t orientation = 1;     // DMORIENT_PORTRAIT; 2 is landscape
    std::int16_t paperSize = 9;       // DMPAPER_A4; 1 is Letter
    std::int16_t paperLength = 2970;  // tenths of a millimetre
    std::int16_t paperWidth = 2100;
    std::int16_t resolution = 600;  // dmPrintQuality and dmYResolution, dpi
    std::u16string formName = u"A4";
};

// A DEVMODEW of 220 bytes (no driver-private data).
Bytes MakeDevmode(const DevmodeOptions& options = {});

// One record of a spool stream: where its head starts and what its size field says.
struct SpoolRecordInfo {
    std::uint32_t type = 0;
    std::uint64_t offset = 0;
    std::uint32_t size = 0;
    bool complete = true;  // all `size` data bytes are present in the stream
};

class SpoolWriter {
  public:
    explicit SpoolWriter(std::u16string documentName = u"Document",
                         std::optional<std::u16string> outputName = std::nullopt);

    // A record of any type, known or not, with exactly these data bytes.
    SpoolWriter& AddRecord(std::uint32_t type, const Bytes& data);
    // A page: a type 12 record whose data is the EMF followed by `paddingBytes` bytes of 0xA5,
    // which are not part of the page.
    SpoolWriter& AddPage(const Bytes& emf, std::size_t paddingBytes = 0);
    SpoolWriter& AddDevmode(const DevmodeOptions& options = {});
    // One record of each known type 1..20 in ascending order with small plausible content;
    // type 12 carries `page`. Types 1, 9, 10 and 11 carry a small EMF of their own (which is
    // not a page), 13 and 14 the distance back to the page record, 15, 16, 18 and 19 the
    // distance back to the matching font record.
    SpoolWriter& AddEveryKnownType(const Bytes& page);

    // Hostile streams.
    // A page record whose EMF has its nBytes field (data bytes 48..51) set to `nBytes`.
    SpoolWriter& AddPageWithNBytes(const Bytes& emf, std::uint32_t nBytes,
                                   std::size_t paddingBytes = 0);
    // A record head whose size field says `declaredSize` whatever number of bytes follows; the
    // `following` bytes are written after it. Anything added later comes after those bytes.
    SpoolWriter& AddRecordHead(std::uint32_t type, std::uint32_t declaredSize,
                               const Bytes& following = {});
    // Values for the header fields instead of the true ones; the layout does not move.
    SpoolWriter& SetHeaderSize(std::uint32_t value);
    SpoolWriter& SetDocumentNameOffset(std::uint32_t value);
    // Writes the document name without its NUL; the header padding then holds '_' rather than
    // zeros, so the name runs on into whatever follows.
    SpoolWriter& OmitNameTerminator(bool omit = true);
    // Cuts the finished stream after `length` bytes (no effect when it is not shorter).
    SpoolWriter& TruncateAt(std::size_t length);

    // The true header size: the end of the names rounded up to 4, where the first record starts.
    std::uint32_t NaturalHeaderSize() const;
    // The records as written, before any truncation; `complete` when the data a record's size
    // claims lies inside the stream.
    std::vector<SpoolRecordInfo> Records() const;

    Bytes Finish() const;
    void WriteTo(const std::filesystem::path& path) const;

  private:
    SpoolWriter& Add(std::uint32_t type, std::uint32_t declaredSize, const Bytes& data);
    std::uint64_t NextOffset() const { return NaturalHeaderSize() + body_.size(); }

    std::u16string documentName_;
    std::optional<std::u16string> outputName_;
    Bytes body_;
    std::vector<SpoolRecordInfo> records_;
    std::optional<std::uint32_t> headerSize_;
    std::optional<std::uint32_t> documentNameOffset_;
    bool omitNameTerminator_ = false;
    std::optional<std::size_t> truncateAt_;
};

// Hostile variants of a finished stream.
Bytes Truncated(Bytes spool, std::size_t length);
// The stream with the nBytes field of its `pageIndex`-th page record (0-based, counting type 12
// records the reference reader finds) set to `nBytes`. Throws std::out_of_range without it.
Bytes WithPageNBytes(Bytes spool, std::size_t pageIndex, std::uint32_t nBytes);

// A type 12 record found by the reference reader: one page file to be expected.
struct SpoolPage {
    std::size_t recordIndex = 0;          // into ParsedSpool::records
    std::optional<std::uint32_t> nBytes;  // nullopt when the data is shorter than 52 bytes
    // The first nBytes bytes of the data; empty when nBytes is larger than the record or
    // missing (what an extractor does with a record too short to hold nBytes is its own choice).
    Bytes emf;
};

struct ParsedSpool {
    // From the first 2048 bytes, when the stream has at least 16 and the name starts inside
    // them: up to its NUL, the end of those bytes or 255 units, whichever comes first.
    std::optional<std::u16string> documentName;
    bool documentNameTerminated = false;
    std::optional<std::uint32_t> headerSize;  // nullopt when the stream is under 8 bytes
    // Every record head that fits, from the header size on. The walk ends at the first head
    // that does not fit whole, or after a record whose data runs past the end (included, with
    // complete = false).
    std::vector<SpoolRecordInfo> records;
    // One per complete type 12 record of non-zero size, in stream order.
    std::vector<SpoolPage> pages;
};

// The reference reader the extractor's output is compared against.
ParsedSpool ReadSpool(const Bytes& spool);

}  // namespace testing_support
