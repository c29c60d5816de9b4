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

// A run of consecutive words on one page whose text, without white space, is `text` without
// white space; the boxes of its lines (words on the same line joined). Empty when not found.
// `occurrence` picks the nth such run on the page (0-based).
std::vector<Box> FindText(const std::vector<PdfWord>& words, int page, const std::string& text,
                          int occurrence = 0);

}  // namespace word_model_test
