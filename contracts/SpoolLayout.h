// The layout of a spool stream (the spooler's *.SPL file) as the "Tessaline" printer driver
// writes it and the spool extractor reads it. All fields are 32-bit little-endian.
//
//   header   version, header size (where the first record starts), document name offset,
//            output name offset (0 when none), then the UTF-16LE names with their NULs, padded
//            to 4
//   records  type, size (the data bytes after this 8-byte head), data
#pragma once

#include <cstddef>
#include <cstdint>

namespace tessaline::contracts::spool {

inline constexpr std::uint32_t kVersion = 0x00010000;

// Byte offsets of the header fields.
inline constexpr std::size_t kHeaderSizeOffset = 4;
inline constexpr std::size_t kDocumentNameOffsetOffset = 8;
// The header up to the names: version, header size and the two name offsets.
inline constexpr std::uint32_t kFixedHeaderSize = 16;

inline constexpr std::uint32_t kRecordHeadSize = 8;

// Record types.
inline constexpr std::uint32_t kDevmodeRecord = 3;        // SRT_DEVMODE: the job's DEVMODEW
inline constexpr std::uint32_t kMetafileDataRecord = 12;  // SRT_METAFILE_DATA: one page's EMF

}  // namespace tessaline::contracts::spool
