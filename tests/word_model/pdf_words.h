// The words of a PDF with their boxes, as `pdftotext -bbox` finds them: the independent measure
// the document model's positions are checked against.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace word_model_test {

struct Box {
    double left = 0;
    double top = 0;
    double right = 0;
    double bottom = 0;
    double Area() const {
        return right > left && bottom > top ? (right - left) * (bottom - top) : 0;
    }
};

Box Union(const Box& a, const Box& b);
Box Intersection(const Box& a, const Box& b);

struct PdfWord {
    int page = 0;  // 1-based
    Box box;       // points from the page's top-left, y down
    std::string text;
};

// Runs pdftotext; nothing when it is missing or fails.
std::optional<std::vector<PdfWord>> ReadPdfWords(const std::string& pdfPath, std::string* error);

// Every place on a page where `text` stands (white space and leader dots aside): for each, the
// boxes of its lines, the parts of words it takes estimated from the characters' usual widths.
std::vector<std::vector<Box>> FindText(const std::vector<PdfWord>& words, int page,
                                       const std::string& text);

// The box of the pixels of one colour on a page rendered at 72 dpi (one pixel a point): where a
// picture of that colour went. Nothing when there are none or pdftoppm is missing.
struct Rgb {
    int red, green, blue;
};
std::optional<Box> ColouredArea(const std::string& pdfPath, int page, Rgb colour,
                                const std::string& scratchFolder);

}  // namespace word_model_test
