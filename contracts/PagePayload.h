// How a printed page travels inside its EMF: the "Tessaline" printer driver writes it, the PDF
// engine reads it.
//
// A page's EMF holds three records: EMR_HEADER (the whole structure, no description), one
// EMR_COMMENT whose data is kPagePayloadId followed by the page's content as a one-page PDF, and
// EMR_EOF. The PDF engine places the payload over the metafile's frame.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "contracts/EmfLayout.h"

namespace tessaline::contracts {

// The identifier at the start of the payload comment's data. Its little-endian bytes are 'T',
// 'S', 'P', 'G', so the file shows "TSPG".
inline constexpr std::uint32_t kPagePayloadId = std::uint32_t{'T'} | (std::uint32_t{'S'} << 8) |
                                                (std::uint32_t{'P'} << 16) |
                                                (std::uint32_t{'G'} << 24);

// The payload comment's record up to its payload: head, cbData, identifier.
inline constexpr std::uint32_t kPayloadCommentHeadSize = emf::kCommentHeadSize + 4;

// The payload comment's record size for a payload of `payloadSize` bytes, padded to 4.
constexpr std::uint32_t PayloadCommentSize(std::size_t payloadSize) {
    return static_cast<std::uint32_t>((std::uint64_t{kPayloadCommentHeadSize} + payloadSize + 3) &
                                      ~std::uint64_t{3});
}

// The size of a page's whole EMF.
constexpr std::uint32_t PageEmfSize(std::size_t payloadSize) {
    return emf::kHeaderFullSize + PayloadCommentSize(payloadSize) + emf::kEofSize;
}

// Everything of a page's EMF before the payload bytes: EMR_HEADER and the comment's head. The
// page's geometry (bounds, frame and the reference device's sizes) comes from `page`; sizes,
// counts, signature and version are set here.
inline std::string PageEmfHead(emf::Header page, std::size_t payloadSize) {
    page.headerSize = emf::kHeaderFullSize;
    page.signature = emf::header::kSignatureValue;
    page.version = emf::header::kVersionValue;
    page.bytes = PageEmfSize(payloadSize);
    page.records = 3;  // header, payload comment, EOF
    page.handles = 1;  // the metafile itself
    page.descriptionLength = 0;
    page.descriptionOffset = 0;
    page.paletteEntries = 0;
    page.pixelFormatSize = 0;
    page.pixelFormatOffset = 0;
    page.openGl = 0;
    std::string out;
    out.reserve(emf::kHeaderFullSize + kPayloadCommentHeadSize);
    emf::AppendHeader(out, page);
    emf::AppendCommentHead(out, PayloadCommentSize(payloadSize),
                           static_cast<std::uint32_t>(4 + payloadSize));
    emf::ByteWriter(out).U32(kPagePayloadId);
    return out;
}

// Everything after the payload bytes: the comment's padding and EMR_EOF.
inline std::string PageEmfTail(std::size_t payloadSize) {
    std::string out(PayloadCommentSize(payloadSize) - kPayloadCommentHeadSize - payloadSize, '\0');
    emf::AppendEof(out);
    return out;
}

}  // namespace tessaline::contracts
