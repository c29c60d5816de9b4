#include "components/printer/PrintJob.h"

#include <sys/stat.h>

#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace printer {
namespace {

constexpr char kMagic[4] = {'T', 'S', 'P', 'J'};
constexpr char kPageTag[4] = {'P', 'A', 'G', 'E'};
constexpr char kTrailerTag[4] = {'T', 'E', 'N', 'D'};
constexpr std::uint64_t kHeaderSize = 12;    // magic, version, name length
constexpr std::uint64_t kPageHeadSize = 24;  // tag, width, height, payload length
constexpr std::uint64_t kTrailerSize = 8;    // tag, page count

void PutU32(unsigned char* out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        out[i] = static_cast<unsigned char>(value >> (8 * i));
    }
}

void PutU64(unsigned char* out, std::uint64_t value) {
    for (int i = 0; i < 8; ++i) {
        out[i] = static_cast<unsigned char>(value >> (8 * i));
    }
}

std::uint32_t GetU32(const unsigned char* in) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) {
        value = (value << 8) | in[i];
    }
    return value;
}

std::uint64_t GetU64(const unsigned char* in) {
    std::uint64_t value = 0;
    for (int i = 7; i >= 0; --i) {
        value = (value << 8) | in[i];
    }
    return value;
}

bool ValidPageSize(double points) {
    return std::isfinite(points) && points > 0 && points <= kMaxPageSizePoints;
}

bool ReadAt(std::FILE* file, std::uint64_t offset, void* data, std::size_t size) {
    return fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0 &&
           std::fread(data, 1, size, file) == size;
}

struct PageHead {
    double width = 0;
    double height = 0;
    std::uint32_t payloadLength = 0;
};

// Reads and checks the page record at `offset`, whose payload must end by `end`.
bool ReadPageHead(std::FILE* file, std::uint64_t offset, std::uint64_t end, PageHead* head,
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

}  // namespace

// ---- PrintJobWriter ----

PrintJobWriter::~PrintJobWriter() {
    Abandon();
}

void PrintJobWriter::Abandon() {
    file_.Abandon();
    pageCount_ = 0;
}

bool PrintJobWriter::Write(const void* data, std::size_t size) {
    if (!file_.Write({static_cast<const char*>(data), size})) {
        Abandon();
        return false;
    }
    return true;
}

bool PrintJobWriter::Create(const std::string& path, const std::string& documentName) {
    Abandon();
    if (path.empty() || documentName.size() > kMaxDocumentNameBytes) {
        return false;
    }
    // Readable by its user only: the job holds the document's content.
    if (!file_.Begin(path, platform::FileReplacement::Permissions::kPrivate)) {
        return false;
    }
    pageCount_ = 0;

    unsigned char head[kHeaderSize];
    std::memcpy(head, kMagic, 4);
    PutU32(head + 4, kPrintJobVersion);
    PutU32(head + 8, static_cast<std::uint32_t>(documentName.size()));
    return Write(head, sizeof head) && Write(documentName.data(), documentName.size());
}

bool PrintJobWriter::AddPage(double widthPoints, double heightPoints, std::string_view payload) {
    if (!file_.Active() || !ValidPageSize(widthPoints) || !ValidPageSize(heightPoints) ||
        payload.size() > kMaxPagePayloadBytes || pageCount_ == UINT32_MAX) {
        return false;
    }
    unsigned char head[kPageHeadSize];
    std::memcpy(head, kPageTag, 4);
    PutU64(head + 4, std::bit_cast<std::uint64_t>(widthPoints));
    PutU64(head + 12, std::bit_cast<std::uint64_t>(heightPoints));
    PutU32(head + 20, static_cast<std::uint32_t>(payload.size()));
    if (!Write(head, sizeof head) || !Write(payload.data(), payload.size())) {
        return false;
    }
    ++pageCount_;
    return true;
}

bool PrintJobWriter::Finish() {
    if (!file_.Active()) {
        return false;
    }
    unsigned char trailer[kTrailerSize];
    std::memcpy(trailer, kTrailerTag, 4);
    PutU32(trailer + 4, pageCount_);
    if (!Write(trailer, sizeof trailer)) {
        return false;
    }
    const bool committed = file_.Commit();
    Abandon();
    return committed;
}

// ---- PrintJobReader ----

PrintJobReader::~PrintJobReader() {
    Close();
}

void PrintJobReader::Close() {
    if (file_ != nullptr) {
        std::fclose(file_);
        file_ = nullptr;
    }
}

bool PrintJobReader::Fail(std::string* error, const std::string& what) {
    Close();
    if (error != nullptr) {
        *error = "print job " + path_ + ": " + what;
    }
    return false;
}

bool PrintJobReader::Open(const std::string& path, std::string* error) {
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

    unsigned char head[kHeaderSize];
    if (size < kHeaderSize + kTrailerSize || !ReadAt(file_, 0, head, sizeof head)) {
        return Fail(error, "too short to be a print job");
    }
    if (std::memcmp(head, kMagic, 4) != 0) {
        return Fail(error, "not a print job (bad magic)");
    }
    if (const std::uint32_t version = GetU32(head + 4); version != kPrintJobVersion) {
        return Fail(error, "unsupported version " + std::to_string(version));
    }
    const std::uint32_t nameLength = GetU32(head + 8);
    if (nameLength > kMaxDocumentNameBytes || nameLength > size - kHeaderSize - kTrailerSize) {
        return Fail(error, "document name runs past the end of the file");
    }
    documentName_.resize(nameLength);
    if (!ReadAt(file_, kHeaderSize, documentName_.data(), nameLength)) {
        return Fail(error, "cannot read the document name");
    }

    unsigned char trailer[kTrailerSize];
    const std::uint64_t pagesEnd = size - kTrailerSize;
    if (!ReadAt(file_, pagesEnd, trailer, sizeof trailer) ||
        std::memcmp(trailer, kTrailerTag, 4) != 0) {
        return Fail(error, "no trailer: the job is truncated or was never finished");
    }
    const std::uint32_t declaredPages = GetU32(trailer + 4);

    // Walk the page heads so that structural damage shows here rather than halfway through.
    const std::uint64_t firstPage = kHeaderSize + nameLength;
    std::uint64_t offset = firstPage;
    std::uint32_t pages = 0;
    while (offset < pagesEnd) {
        PageHead page;
        std::string problem;
        if (!ReadPageHead(file_, offset, pagesEnd, &page, &problem)) {
            return Fail(error, "page " + std::to_string(pages + 1) + ": " + problem);
        }
        offset += kPageHeadSize + page.payloadLength;
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

bool PrintJobReader::NextPage(PrintedPage* page, std::string* error) {
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
    PageHead head;
    std::string problem;
    if (!ReadPageHead(file_, position_, pagesEnd_, &head, &problem)) {
        return Fail(error, "page " + std::to_string(pagesRead_ + 1) + ": " + problem);
    }
    page->payload.resize(head.payloadLength);
    if (std::fread(page->payload.data(), 1, head.payloadLength, file_) != head.payloadLength) {
        return Fail(error, "page " + std::to_string(pagesRead_ + 1) + ": payload cut short");
    }
    page->widthPoints = head.width;
    page->heightPoints = head.height;
    position_ += kPageHeadSize + head.payloadLength;
    ++pagesRead_;
    return true;
}

}  // namespace printer
