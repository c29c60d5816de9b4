#include "tests/support/spool_writer.h"

#include <algorithm>
#include <array>
#include <limits>
#include <stdexcept>

namespace testing_support {

std::string_view SpoolRecordName(std::uint32_t type) {
    static constexpr std::array<std::string_view, srt::kLastKnown> kNames = {
        "SRT_METAFILE",       "SRT_ENGINE_FONT",      "SRT_DEVMODE",
        "SRT_TYPE1_FONT",     "SRT_PRESTARTPAGE",     "SRT_DESIGNVECTOR",
        "SRT_SUBSET_FONT",    "SRT_DELTA_FONT",       "SRT_FORM_METAFILE",
        "SRT_BW_METAFILE",    "SRT_BW_FORM_METAFILE", "SRT_METAFILE_DATA",
        "SRT_EXT_METAFILE",   "SRT_EXT_BW_METAFILE",  "SRT_EXT_ENGINE_FONT",
        "SRT_EXT_TYPE1_FONT", "SRT_EXT_DESIGNVECTOR", "SRT_EXT_SUBSET_FONT",
        "SRT_EXT_DELTA_FONT", "SRT_EXT_PS_JOB_DATA",
    };
    if (type == 0 || type > srt::kLastKnown) {
        return {};
    }
    return kNames[type - 1];
}

namespace {
void AppendFixedUtf16(Bytes& out, std::u16string_view text, std::size_t units) {
    std::u16string field(text.substr(0, units - 1));  // always NUL-terminated
    field.resize(units, u'\0');
    AppendUtf16(out, field);
}

void AppendI16(Bytes& out, std::int16_t value) {
    AppendU16(out, static_cast<std::uint16_t>(value));
}

void AppendI64(Bytes& out, std::int64_t value) {
    const auto bits = static_cast<std::uint64_t>(value);
    AppendU32(out, static_cast<std::uint32_t>(bits));
    AppendU32(out, static_cast<std::uint32_t>(bits >> 32));
}

constexpr std::uint64_t RoundUp4(std::uint64_t n) {
    return (n + 3) & ~std::uint64_t{3};
}

constexpr std::size_t kHeaderReadLimit = 2048;
constexpr std::size_t kFixedHeader = 16;
constexpr std::size_t kNameLimit = 255;
}  // namespace

Bytes MakeDevmode(const DevmodeOptions& options) {
    // DM_ORIENTATION, DM_PAPERSIZE/LENGTH/WIDTH, DM_SCALE, DM_COPIES, DM_DEFAULTSOURCE,
    // DM_PRINTQUALITY, DM_COLOR, DM_DUPLEX, DM_YRESOLUTION, DM_TTOPTION, DM_FORMNAME.
    constexpr std::uint32_t kFields = 0x1 | 0x2 | 0x4 | 0x8 | 0x10 | 0x100 | 0x200 | 0x400 | 0x800 |
                                      0x1000 | 0x2000 | 0x4000 | 0x10000;
    Bytes out;
    AppendFixedUtf16(out, options.deviceName, 32);
    AppendU16(out, 0x0401);  // dmSpecVersion: DM_SPECVERSION
    AppendU16(out, 0x0600);  // dmDriverVersion
    AppendU16(out, 220);     // dmSize
    AppendU16(out, 0);       // dmDriverExtra
    AppendU32(out, kFields);
    AppendI16(out, options.orientation);
    AppendI16(out, options.paperSize);
    AppendI16(out, options.paperLength);
    AppendI16(out, options.paperWidth);
    AppendI16(out, 100);                 // dmScale, percent
    AppendI16(out, 1);                   // dmCopies
    AppendI16(out, 7);                   // dmDefaultSource: DMBIN_AUTO
    AppendI16(out, options.resolution);  // dmPrintQuality
    AppendI16(out, 2);                   // dmColor: DMCOLOR_COLOR
    AppendI16(out, 1);                   // dmDuplex: DMDUP_SIMPLEX
    AppendI16(out, options.resolution);  // dmYResolution
    AppendI16(out, 2);                   // dmTTOption: DMTT_DOWNLOAD
    AppendI16(out, 0);                   // dmCollate
    AppendFixedUtf16(out, options.formName, 32);
    AppendU16(out, 0);  // dmLogPixels
    // dmBitsPerPel to dmPanningHeight: display fields, unused by printers.
    out.resize(220, 0);
    return out;
}

SpoolWriter::SpoolWriter(std::u16string documentName, std::optional<std::u16string> outputName)
    : documentName_(std::move(documentName)), outputName_(std::move(outputName)) {}

std::uint32_t SpoolWriter::NaturalHeaderSize() const {
    std::uint64_t end = kFixedHeader + 2 * (documentName_.size() + (omitNameTerminator_ ? 0 : 1));
    if (outputName_) {
        end += 2 * (outputName_->size() + 1);
    }
    return static_cast<std::uint32_t>(RoundUp4(end));
}

SpoolWriter& SpoolWriter::Add(std::uint32_t type, std::uint32_t declaredSize, const Bytes& data) {
    records_.push_back({type, NextOffset(), declaredSize, true});
    AppendU32(body_, type);
    AppendU32(body_, declaredSize);
    body_.insert(body_.end(), data.begin(), data.end());
    return *this;
}

SpoolWriter& SpoolWriter::AddRecord(std::uint32_t type, const Bytes& data) {
    if (data.size() > std::numeric_limits<std::uint32_t>::max()) {
        throw std::length_error("a spool record holds at most 4 GiB");
    }
    return Add(type, static_cast<std::uint32_t>(data.size()), data);
}

SpoolWriter& SpoolWriter::AddPage(const Bytes& emf, std::size_t paddingBytes) {
    Bytes data = emf;
    data.resize(emf.size() + paddingBytes, 0xA5);
    return AddRecord(srt::kMetafileData, data);
}

SpoolWriter& SpoolWriter::AddPageWithNBytes(const Bytes& emf, std::uint32_t nBytes,
                                            std::size_t paddingBytes) {
    Bytes patched = emf;
    PatchU32(patched, kPageNBytesOffset, nBytes);
    return AddPage(patched, paddingBytes);
}

SpoolWriter& SpoolWriter::AddRecordHead(std::uint32_t type, std::uint32_t declaredSize,
                                        const Bytes& following) {
    return Add(type, declaredSize, following);
}

SpoolWriter& SpoolWriter::AddDevmode(const DevmodeOptions& options) {
    return AddRecord(srt::kDevmode, MakeDevmode(options));
}

SpoolWriter& SpoolWriter::AddEveryKnownType(const Bytes& page) {
    EmfWriter small(PageSize::A4());
    small.SetMapMode(kMmText);
    const Bytes smallEmf = small.Finish();
    const Bytes designVector = [] {
        Bytes v;
        AppendU32(v, 0x08007664);  // DESIGNVECTOR signature
        AppendU32(v, 0);           // no axes
        return v;
    }();
    std::array<std::uint64_t, srt::kLastKnown + 1> offsetOf{};
    const auto backTo = [&](std::uint32_t type) {
        Bytes distance;
        AppendI64(distance, static_cast<std::int64_t>(NextOffset() - offsetOf[type]));
        return distance;
    };
    for (std::uint32_t type = 1; type <= srt::kLastKnown; ++type) {
        offsetOf[type] = NextOffset();
        switch (type) {
            case srt::kMetafile:
            case srt::kFormMetafile:
            case srt::kBwMetafile:
            case srt::kBwFormMetafile:
                AddRecord(type, smallEmf);
                break;
            case srt::kEngineFont:
            case srt::kType1Font:
            case srt::kSubsetFont:
            case srt::kDeltaFont:
                AddRecord(type, PatternBytes(40 + 4 * type, type));
                break;
            case srt::kDevmode:
                AddDevmode();
                break;
            case srt::kPreStartPage:
                AddRecord(type, Bytes(8, 0));
                break;
            case srt::kDesignVector:
            case srt::kExtDesignVector:
                AddRecord(type, designVector);
                break;
            case srt::kMetafileData:
                AddPage(page);
                break;
            case srt::kExtMetafile:
            case srt::kExtBwMetafile:
                AddRecord(type, backTo(srt::kMetafileData));
                break;
            case srt::kExtEngineFont:
                AddRecord(type, backTo(srt::kEngineFont));
                break;
            case srt::kExtType1Font:
                AddRecord(type, backTo(srt::kType1Font));
                break;
            case srt::kExtSubsetFont:
                AddRecord(type, backTo(srt::kSubsetFont));
                break;
            case srt::kExtDeltaFont:
                AddRecord(type, backTo(srt::kDeltaFont));
                break;
            case srt::kExtPsJobData:
                AddRecord(type, AsBytes("%%BeginFeature: *Tessaline True\n%%EndFeature\n"));
                break;
        }
    }
    return *this;
}

SpoolWriter& SpoolWriter::SetHeaderSize(std::uint32_t value) {
    headerSize_ = value;
    return *this;
}

SpoolWriter& SpoolWriter::SetDocumentNameOffset(std::uint32_t value) {
    documentNameOffset_ = value;
    return *this;
}

SpoolWriter& SpoolWriter::OmitNameTerminator(bool omit) {
    if (!records_.empty()) {
        // Record offsets already handed out depend on the header size.
        throw std::logic_error("OmitNameTerminator must come before the first record");
    }
    omitNameTerminator_ = omit;
    return *this;
}

SpoolWriter& SpoolWriter::TruncateAt(std::size_t length) {
    truncateAt_ = length;
    return *this;
}

std::vector<SpoolRecordInfo> SpoolWriter::Records() const {
    std::vector<SpoolRecordInfo> records = records_;
    for (SpoolRecordInfo& record : records) {
        record.complete = record.offset + kSpoolRecordHead + record.size <= NextOffset();
    }
    return records;
}

Bytes SpoolWriter::Finish() const {
    const std::uint32_t headerSize = NaturalHeaderSize();
    const std::uint32_t nameBytes =
        static_cast<std::uint32_t>(2 * (documentName_.size() + (omitNameTerminator_ ? 0 : 1)));
    Bytes out;
    out.reserve(headerSize + body_.size());
    AppendU32(out, kSpoolVersion);
    AppendU32(out, headerSize_.value_or(headerSize));
    AppendU32(out, documentNameOffset_.value_or(kFixedHeader));
    AppendU32(out, outputName_ ? kFixedHeader + nameBytes : 0);
    AppendUtf16(out, documentName_);
    if (!omitNameTerminator_) {
        AppendU16(out, 0);
    }
    if (outputName_) {
        AppendUtf16(out, *outputName_);
        AppendU16(out, 0);
    }
    // With the terminator left out, a zero here would end the name after all. The padding is
    // 0 or 2 bytes, as everything before it is whole UTF-16 units.
    while (out.size() < headerSize) {
        AppendU16(out, omitNameTerminator_ && !outputName_ ? u'_' : 0);
    }
    out.insert(out.end(), body_.begin(), body_.end());
    if (truncateAt_ && *truncateAt_ < out.size()) {
        out.resize(*truncateAt_);
    }
    return out;
}

void SpoolWriter::WriteTo(const std::filesystem::path& path) const {
    WriteBytes(path, Finish());
}

Bytes Truncated(Bytes spool, std::size_t length) {
    if (length < spool.size()) {
        spool.resize(length);
    }
    return spool;
}

Bytes WithPageNBytes(Bytes spool, std::size_t pageIndex, std::uint32_t nBytes) {
    const ParsedSpool parsed = ReadSpool(spool);
    if (pageIndex >= parsed.pages.size()) {
        throw std::out_of_range("the stream has no such page");
    }
    const SpoolRecordInfo& record = parsed.records[parsed.pages[pageIndex].recordIndex];
    PatchU32(spool, record.offset + kSpoolRecordHead + kPageNBytesOffset, nBytes);
    return spool;
}

ParsedSpool ReadSpool(const Bytes& spool) {
    ParsedSpool parsed;
    const std::size_t window = std::min(spool.size(), kHeaderReadLimit);
    if (window >= kFixedHeader) {
        const std::uint32_t nameOffset = ReadU32(spool, 8);
        if (nameOffset < window) {
            std::u16string name;
            std::size_t at = nameOffset;
            while (name.size() < kNameLimit && window - at >= 2) {
                const char16_t unit = static_cast<char16_t>(ReadU16(spool, at));
                if (unit == u'\0') {
                    parsed.documentNameTerminated = true;
                    break;
                }
                name.push_back(unit);
                at += 2;
            }
            parsed.documentName = std::move(name);
        }
    }
    if (spool.size() < 8) {
        return parsed;
    }
    parsed.headerSize = ReadU32(spool, 4);
    // 64-bit positions: a size that would wrap a 32-bit position runs past the end and ends
    // the walk here.
    std::uint64_t position = *parsed.headerSize;
    while (position <= spool.size() && spool.size() - position >= kSpoolRecordHead) {
        SpoolRecordInfo record{ReadU32(spool, position), position, ReadU32(spool, position + 4)};
        const std::uint64_t dataStart = position + kSpoolRecordHead;
        record.complete = spool.size() - dataStart >= record.size;
        parsed.records.push_back(record);
        if (record.type == srt::kMetafileData && record.complete && record.size != 0) {
            SpoolPage page;
            page.recordIndex = parsed.records.size() - 1;
            if (record.size >= kPageNBytesOffset + 4) {
                page.nBytes = ReadU32(spool, dataStart + kPageNBytesOffset);
                if (*page.nBytes <= record.size) {
                    page.emf.assign(
                        spool.begin() + static_cast<std::ptrdiff_t>(dataStart),
                        spool.begin() + static_cast<std::ptrdiff_t>(dataStart) + *page.nBytes);
                }
            }
            parsed.pages.push_back(std::move(page));
        }
        position = dataStart + record.size;
    }
    return parsed;
}

}  // namespace testing_support
