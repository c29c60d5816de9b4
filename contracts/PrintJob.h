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

#include <sys/stat.h>

#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/atomic_file.h"

namespace tessaline::contracts {

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

// The layout's pieces, for the reader and writer below.
namespace print_job_detail {

inline constexpr char kMagic[4] = {'T', 'S', 'P', 'J'};
inline constexpr char kPageTag[4] = {'P', 'A', 'G', 'E'};
inline constexpr char kTrailerTag[4] = {'T', 'E', 'N', 'D'};
inline constexpr std::uint64_t kHeaderSize = 12;    // magic, version, name length
inline constexpr std::uint64_t kPageHeadSize = 24;  // tag, width, height, payload length
inline constexpr std::uint64_t kTrailerSize = 8;    // tag, page count

inline void PutU32(unsigned char* out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        out[i] = static_cast<unsigned char>(value >> (8 * i));
    }
}

inline void PutU64(unsigned char* out, std::uint64_t value) {
    for (int i = 0; i < 8; ++i) {
        out[i] = static_cast<unsigned char>(value >> (8 * i));
    }
}

inline std::uint32_t GetU32(const unsigned char* in) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) {
        value = (value << 8) | in[i];
    }
    return value;
}

inline std::uint64_t GetU64(const unsigned char* in) {
    std::uint64_t value = 0;
    for (int i = 7; i >= 0; --i) {
        value = (value << 8) | in[i];
    }
    return value;
}

inline bool ValidPageSize(double points) {
    return std::isfinite(points) && points > 0 && points <= kMaxPageSizePoints;
}

inline bool ReadAt(std::FILE* file, std::uint64_t offset, void* data, std::size_t size) {
    return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0 &&
           std::fread(data, 1, size, file) == size;
}

struct PageHead {
    double width = 0;
    double height = 0;
    std::uint32_t payloadLength = 0;
};

// Reads and checks the page record at `offset`, whose payload must end by `end`.
inline bool ReadPageHead(std::FILE* file, std::uint64_t offset, std::uint64_t end, PageHead* head,
                         std::string* problem) {
    unsigned char bytes[kPageHeadSize];
    if (end - offset < kPageHeadSize || !ReadAt(file, offset, bytes, sizeof bytes)) {
        *problem = "page record cut short";
        return false;
    }
    if (std::memcmp(bytes, kPageTag, 4) != 0) {
        *problem = "page record has no page tag";
        return false;
    }
    head->width = std::bit_cast<double>(GetU64(bytes + 4));
    head->height = std::bit_cast<double>(GetU64(bytes + 12));
    head->payloadLength = GetU32(bytes + 20);
    if (!ValidPageSize(head->width) || !ValidPageSize(head->height)) {
        *problem = "page size out of range";
        return false;
    }
    if (head->payloadLength > kMaxPagePayloadBytes ||
        head->payloadLength > end - offset - kPageHeadSize) {
        *problem = "page payload runs past the end of the pages";
        return false;
    }
    return true;
}

}  // namespace print_job_detail

// ---- PrintJobWriter ----

inline PrintJobWriter::~PrintJobWriter() {
    Abandon();
}

inline void PrintJobWriter::Abandon() {
    file_.Abandon();
    pageCount_ = 0;
}

inline bool PrintJobWriter::Write(const void* data, std::size_t size) {
    if (!file_.Write({static_cast<const char*>(data), size})) {
        Abandon();
        return false;
    }
    return true;
}

inline bool PrintJobWriter::Create(const std::string& path, const std::string& documentName) {
    Abandon();
    if (path.empty() || documentName.size() > kMaxDocumentNameBytes) {
        return false;
    }
    // Readable by its user only: the job holds the document's content.
    if (!file_.Begin(path, platform::FileReplacement::Permissions::kPrivate)) {
        return false;
    }
    pageCount_ = 0;

    unsigned char head[print_job_detail::kHeaderSize];
    std::memcpy(head, print_job_detail::kMagic, 4);
    print_job_detail::PutU32(head + 4, kPrintJobVersion);
    print_job_detail::PutU32(head + 8, static_cast<std::uint32_t>(documentName.size()));
    return Write(head, sizeof head) && Write(documentName.data(), documentName.size());
}

inline bool PrintJobWriter::AddPage(double widthPoints, double heightPoints,
                                    std::string_view payload) {
    if (!file_.Active() || !print_job_detail::ValidPageSize(widthPoints) ||
        !print_job_detail::ValidPageSize(heightPoints) || payload.size() > kMaxPagePayloadBytes ||
        pageCount_ == UINT32_MAX) {
        return false;
    }
    unsigned char head[print_job_detail::kPageHeadSize];
    std::memcpy(head, print_job_detail::kPageTag, 4);
    print_job_detail::PutU64(head + 4, std::bit_cast<std::uint64_t>(widthPoints));
    print_job_detail::PutU64(head + 12, std::bit_cast<std::uint64_t>(heightPoints));
    print_job_detail::PutU32(head + 20, static_cast<std::uint32_t>(payload.size()));
    if (!Write(head, sizeof head) || !Write(payload.data(), payload.size())) {
        return false;
    }
    ++pageCount_;
    return true;
}

inline bool PrintJobWriter::Finish() {
    if (!file_.Active()) {
        return false;
    }
    unsigned char trailer[print_job_detail::kTrailerSize];
    std::memcpy(trailer, print_job_detail::kTrailerTag, 4);
    print_job_detail::PutU32(trailer + 4, pageCount_);
    if (!Write(trailer, sizeof trailer)) {
        return false;
    }
    const bool committed = file_.Commit();
    Abandon();
    return committed;
}

// ---- PrintJobReader ----

inline PrintJobReader::~PrintJobReader() {
    Close();
}

inline void PrintJobReader::Close() {
    if (file_ != nullptr) {
        std::fclose(file_);
        file_ = nullptr;
    }
}

inline bool PrintJobReader::Fail(std::string* error, const std::string& what) {
    Close();
    if (error != nullptr) {
        *error = "print job " + path_ + ": " + what;
    }
    return false;
}

inline bool PrintJobReader::Open(const std::string& path, std::string* error) {
    Close();
    path_ = path;
    documentName_.clear();
    pageCount_ = 0;
    pagesRead_ = 0;

    file_ = std::fopen(path.c_str(), "rb");
    if (file_ == nullptr) {
        return Fail(error, std::string("cannot open: ") + std::strerror(errno));
    }
    struct stat info {};
    if (::fstat(::fileno(file_), &info) != 0 || !S_ISREG(info.st_mode)) {
        return Fail(error, "not a regular file");
    }
    const auto size = static_cast<std::uint64_t>(info.st_size);

    unsigned char head[print_job_detail::kHeaderSize];
    if (size < print_job_detail::kHeaderSize + print_job_detail::kTrailerSize ||
        !print_job_detail::ReadAt(file_, 0, head, sizeof head)) {
        return Fail(error, "too short to be a print job");
    }
    if (std::memcmp(head, print_job_detail::kMagic, 4) != 0) {
        return Fail(error, "not a print job (bad magic)");
    }
    if (const std::uint32_t version = print_job_detail::GetU32(head + 4);
        version != kPrintJobVersion) {
        return Fail(error, "unsupported version " + std::to_string(version));
    }
    const std::uint32_t nameLength = print_job_detail::GetU32(head + 8);
    if (nameLength > kMaxDocumentNameBytes ||
        nameLength > size - print_job_detail::kHeaderSize - print_job_detail::kTrailerSize) {
        return Fail(error, "document name runs past the end of the file");
    }
    documentName_.resize(nameLength);
    if (!print_job_detail::ReadAt(file_, print_job_detail::kHeaderSize, documentName_.data(),
                                  nameLength)) {
        return Fail(error, "cannot read the document name");
    }

    unsigned char trailer[print_job_detail::kTrailerSize];
    const std::uint64_t pagesEnd = size - print_job_detail::kTrailerSize;
    if (!print_job_detail::ReadAt(file_, pagesEnd, trailer, sizeof trailer) ||
        std::memcmp(trailer, print_job_detail::kTrailerTag, 4) != 0) {
        return Fail(error, "no trailer: the job is truncated or was never finished");
    }
    const std::uint32_t declaredPages = print_job_detail::GetU32(trailer + 4);

    // Walk the page heads so that structural damage shows here rather than halfway through.
    const std::uint64_t firstPage = print_job_detail::kHeaderSize + nameLength;
    std::uint64_t offset = firstPage;
    std::uint32_t pages = 0;
    while (offset < pagesEnd) {
        print_job_detail::PageHead page;
        std::string problem;
        if (!print_job_detail::ReadPageHead(file_, offset, pagesEnd, &page, &problem)) {
            return Fail(error, "page " + std::to_string(pages + 1) + ": " + problem);
        }
        offset += print_job_detail::kPageHeadSize + page.payloadLength;
        ++pages;
    }
    if (pages != declaredPages) {
        return Fail(error, "the trailer counts " + std::to_string(declaredPages) +
                               " pages but the job holds " + std::to_string(pages));
    }
    pageCount_ = pages;
    position_ = firstPage;
    pagesEnd_ = pagesEnd;
    return true;
}

inline bool PrintJobReader::NextPage(PrintedPage* page, std::string* error) {
    if (file_ == nullptr) {
        return Fail(error, "not open");
    }
    if (pagesRead_ == pageCount_) {
        if (error != nullptr) {
            error->clear();
        }
        return false;
    }
    // Checked again: the file may have changed since Open.
    print_job_detail::PageHead head;
    std::string problem;
    if (!print_job_detail::ReadPageHead(file_, position_, pagesEnd_, &head, &problem)) {
        return Fail(error, "page " + std::to_string(pagesRead_ + 1) + ": " + problem);
    }
    page->payload.resize(head.payloadLength);
    if (std::fread(page->payload.data(), 1, head.payloadLength, file_) != head.payloadLength) {
        return Fail(error, "page " + std::to_string(pagesRead_ + 1) + ": payload cut short");
    }
    page->widthPoints = head.width;
    page->heightPoints = head.height;
    position_ += print_job_detail::kPageHeadSize + head.payloadLength;
    ++pagesRead_;
    return true;
}

}  // namespace tessaline::contracts
