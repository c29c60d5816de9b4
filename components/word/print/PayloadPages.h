// Cuts a rendered PDF into the one-page PDFs the "Tessaline" printer carries as page payloads.
//
// A payload page is what the printed sheet shows, and nothing else:
//   - one upright page whose MediaBox is [0 0 width height] in points, the size of the source
//     page's visible area (its CropBox within its MediaBox, turned by its /Rotate, scaled by its
//     /UserUnit); no CropBox, Rotate or UserUnit of its own, so whoever places the payload only
//     has to fit it onto the sheet;
//   - the source page's content streams, unchanged; when the visible area is not already upright
//     at the origin, a short stream before them maps it there (and clips to it) and one after
//     them restores the state;
//   - only the resources the content uses, plus the page's transparency group;
//   - no annotations, outline, structure tree, named destinations, forms or document metadata.
// Fonts, images and every other shared object are copied byte for byte from the source (no
// re-encoding, no object streams) and the file is written deterministically, so an object that
// several pages share comes out identical in each of their payloads and the PDF engine can keep
// one copy of it in the assembled document.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

namespace word_print {

struct PayloadPage {
    double widthPoints = 0;
    double heightPoints = 0;
    std::string pdf;  // the page as a complete one-page PDF
};

// Reads the source lazily: one page's objects are written at a time and stream data is read
// from the file only while its page is written, so memory stays bounded by the largest page,
// not the document.
class PayloadPages {
  public:
    PayloadPages();
    PayloadPages(const PayloadPages&) = delete;
    PayloadPages& operator=(const PayloadPages&) = delete;
    ~PayloadPages();

    // Opens the PDF. A file that cannot be read, is damaged, is encrypted or has no pages gives
    // false with the reason in *error.
    bool Open(const std::string& pdfPath, std::string* error);
    std::size_t PageCount() const;
    // Makes the payload of page `index` (0-based). False with the reason in *error when the page
    // cannot be made (a damaged content stream or object, a page size out of range).
    bool MakePage(std::size_t index, PayloadPage* page, std::string* error);

  private:
    struct Source;
    std::unique_ptr<Source> Load(std::string* error) const;

    std::string path_;
    std::unique_ptr<Source> source_;
};

}  // namespace word_print
