// The print job: what the word processor's PrintOut hands to the printer's driver. One file per
// job, written and read a page at a time, so a job of any length never needs more than one page
// in memory.
//
// Layout, integers little-endian, sizes as IEEE 754 doubles (little-endian):
//   header   "TSPJ", u32 version (1), u32 name length, the document name (UTF-8, no NUL)
//   page     "PAGE", f64 width, f64 height (points), u32 payload length, the payload bytes
//   trailer  "TEND", u32 page count
// The trailer is written last, so a job cut short anywhere is recognised as such.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "platform/atomic_file.h"

namespace printer {

inline constexpr std::uint32_t kPrintJobVersion = 1;
// PDF's page size limit; larger pages would not survive the conversion anyway.
inline constexpr double kMaxPageSizePoints = 14400.0;
// Keeps every page's EMF, and the spool record carrying it, within their 32-bit sizes.
inline constexpr std::uint32_t kMaxPagePayloadBytes = 0xFFFF0000u;
inline constexpr std::uint32_t kMaxDocumentNameBytes = 65536;

struct PrintedPage {
    double widthPoints = 0;
    double heightPoints = 0;
    std::string payload;  // the page's own content as a one-page PDF
};

// Writes a job under a temporary name in the target's folder and renames it into place on
// Finish, so a reader never sees half a job. A writer destroyed before Finish removes its file.
class PrintJobWriter {
  public:
    PrintJobWriter() = default;
    PrintJobWriter(const PrintJobWriter&) = delete;
    PrintJobWriter& operator=(const PrintJobWriter&) = delete;
    ~PrintJobWriter();

    // Starts a job for `path` (readable by its user only). A name longer than
    // kMaxDocumentNameBytes, or a folder that cannot be written, gives false.
    bool Create(const std::string& path, const std::string& documentName);
    // Appends a page. Sizes must be finite, above 0 and at most kMaxPageSizePoints; the payload
    // at most kMaxPagePayloadBytes. False (and the job abandoned) when the write fails.
    bool AddPage(double widthPoints, double heightPoints, std::string_view payload);
    // Writes the trailer and moves the job to its path. False when anything failed; the job is
    // then abandoned and nothing is left at the path's temporary name.
    bool Finish();
    // Drops the job without publishing it.
    void Abandon();

  private:
    bool Write(const void* data, std::size_t size);

    platform::FileReplacement file_;
    std::uint32_t pageCount_ = 0;
};

// Reads a finished job. Open checks the whole structure (without reading payloads) against the
// file's size, so a truncated or corrupt job is refused before any page is handed out.
class PrintJobReader {
  public:
    PrintJobReader() = default;
    PrintJobReader(const PrintJobReader&) = delete;
    PrintJobReader& operator=(const PrintJobReader&) = delete;
    ~PrintJobReader();

    bool Open(const std::string& path, std::string* error);
    const std::string& DocumentName() const { return documentName_; }
    std::uint32_t PageCount() const { return pageCount_; }
    // The next page, reusing `page`'s buffer. False after the last page with `error` cleared,
    // or on a failure with `error` saying why.
    bool NextPage(PrintedPage* page, std::string* error);

  private:
    bool Fail(std::string* error, const std::string& what);
    void Close();

    std::FILE* file_ = nullptr;
    std::string path_;
    std::string documentName_;
    std::uint32_t pageCount_ = 0;
    std::uint32_t pagesRead_ = 0;
    std::uint64_t position_ = 0;  // where the next page record starts
    std::uint64_t pagesEnd_ = 0;  // where the trailer starts
};

}  // namespace printer
