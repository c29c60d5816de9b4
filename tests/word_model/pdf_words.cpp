#include "tests/word_model/pdf_words.h"

#include <unistd.h>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <string_view>

#include "tests/support/run_process.h"

namespace word_model_test {
namespace {

std::string Attribute(const std::string& tag, const std::string& name) {
    const std::string key = name + "=\"";
    const size_t at = tag.find(key);
    if (at == std::string::npos) {
        return {};
    }
    const size_t start = at + key.size();
    return tag.substr(start, tag.find('"', start) - start);
}

std::string Unescape(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '&') {
            const size_t semi = text.find(';', i);
            const std::string entity = text.substr(i + 1, semi - i - 1);
            if (entity == "amp") {
                out += '&';
            } else if (entity == "lt") {
                out += '<';
            } else if (entity == "gt") {
                out += '>';
            } else if (entity == "quot") {
                out += '"';
            } else if (entity == "apos") {
                out += '\'';
            } else {
                out += text.substr(i, semi - i + 1);
            }
            i = semi;
            continue;
        }
        out += text[i];
    }
    return out;
}

// Text as the comparison sees it: no white space, and no dots or ellipses, which tab leaders
// spread between a table-of-contents entry and its page number.
std::string WithoutSpace(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '.') {
            continue;
        }
        // U+00B7 middle dot, U+2026 ellipsis
        if (text.compare(i, 2, "\xC2\xB7") == 0) {
            ++i;
            continue;
        }
        if (text.compare(i, 3, "\xE2\x80\xA6") == 0) {
            i += 2;
            continue;
        }
        out += c;
    }
    return out;
}

// How wide a character is against the others of its word: Chinese and Japanese characters
// take a full em, others about half of one.
double Advance(const std::string& utf8) {
    double width = 0;
    for (size_t i = 0; i < utf8.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(utf8[i]);
        if ((c & 0xC0) == 0x80) {
            continue;
        }
        width += c >= 0xE2 ? 1.0 : 0.55;
    }
    return width;
}

// A program on PATH, by its full path; empty when there is none.
std::string FindProgram(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string folders = path != nullptr ? path : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= folders.size()) {
        const size_t end = std::min(folders.find(':', start), folders.size());
        const std::string candidate = folders.substr(start, end - start) + "/" + name;
        if (::access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
        start = end + 1;
    }
    return {};
}

}  // namespace

Box Union(const Box& a, const Box& b) {
    return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
            std::max(a.bottom, b.bottom)};
}

Box Intersection(const Box& a, const Box& b) {
    return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
            std::min(a.bottom, b.bottom)};
}

std::optional<std::vector<PdfWord>> ReadPdfWords(const std::string& pdfPath, std::string* error) {
    const std::string program = FindProgram("pdftotext");
    if (program.empty()) {
        *error = "pdftotext (poppler-utils) is not installed";
        return std::nullopt;
    }
    testing_support::ProcessResult run =
        testing_support::RunProcess({program, "-bbox", pdfPath, "-"});
    if (run.exitCode != 0) {
        *error = "pdftotext failed (" + std::to_string(run.exitCode) + "): " + run.errors;
        return std::nullopt;
    }
    std::vector<PdfWord> words;
    int page = 0;
    size_t at = 0;
    const std::string& html = run.output;
    while ((at = html.find('<', at)) != std::string::npos) {
        const size_t close = html.find('>', at);
        const std::string tag = html.substr(at, close - at + 1);
        if (tag.starts_with("<page ")) {
            ++page;
        } else if (tag.starts_with("<word ")) {
            const size_t end = html.find("</word>", close);
            PdfWord word;
            word.page = page;
            word.box = {std::atof(Attribute(tag, "xMin").c_str()),
                        std::atof(Attribute(tag, "yMin").c_str()),
                        std::atof(Attribute(tag, "xMax").c_str()),
                        std::atof(Attribute(tag, "yMax").c_str())};
            word.text = Unescape(html.substr(close + 1, end - close - 1));
            words.push_back(std::move(word));
        }
        at = close;
    }
    return words;
}

std::optional<Box> ColouredArea(const std::string& pdfPath, int page, Rgb colour,
                                const std::string& scratchFolder) {
    const std::string program = FindProgram("pdftoppm");
    if (program.empty()) {
        return std::nullopt;
    }
    const std::string prefix = scratchFolder + "/page-" + std::to_string(page);
    testing_support::ProcessResult run =
        testing_support::RunProcess({program, "-r", "72", "-f", std::to_string(page), "-l",
                                     std::to_string(page), "-singlefile", pdfPath, prefix});
    std::ifstream image(prefix + ".ppm", std::ios::binary);
    std::string magic;
    int width = 0;
    int height = 0;
    int maximum = 0;
    if (run.exitCode != 0 || !(image >> magic >> width >> height >> maximum) || magic != "P6" ||
        maximum != 255) {
        return std::nullopt;
    }
    image.get();  // the one white space before the pixels
    std::vector<unsigned char> pixels(static_cast<size_t>(width) * height * 3);
    image.read(reinterpret_cast<char*>(pixels.data()), static_cast<std::streamsize>(pixels.size()));
    std::optional<Box> area;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const unsigned char* p = &pixels[(static_cast<size_t>(y) * width + x) * 3];
            if (std::abs(p[0] - colour.red) > 40 || std::abs(p[1] - colour.green) > 40 ||
                std::abs(p[2] - colour.blue) > 40) {
                continue;
            }
            const Box pixel{double(x), double(y), double(x + 1), double(y + 1)};
            area = area ? Union(*area, pixel) : pixel;
        }
    }
    return area;
}

std::vector<std::vector<Box>> FindText(const std::vector<PdfWord>& words, int page,
                                       const std::string& text) {
    std::vector<std::vector<Box>> found;
    const std::string wanted = WithoutSpace(text);
    if (wanted.empty()) {
        return found;
    }
    for (size_t first = 0; first < words.size(); ++first) {
        if (words[first].page != page) {
            continue;
        }
        // The words from this one on, joined, until the text would fit after the first word.
        const std::string head = WithoutSpace(words[first].text);
        std::string joined;
        std::vector<size_t> ends;  // where each word ends in `joined`
        for (size_t w = first; w < words.size() && words[w].page == page &&
                               joined.size() < head.size() + wanted.size();
             ++w) {
            joined += WithoutSpace(words[w].text);
            ends.push_back(joined.size());
        }
        const size_t at = joined.find(wanted);
        if (at == std::string::npos || at >= head.size() || head.empty()) {
            continue;  // found later, from another first word
        }
        const size_t stop = at + wanted.size();
        std::vector<Box> lines;
        size_t begin = 0;
        for (size_t k = 0; k < ends.size() && begin < stop; begin = ends[k], ++k) {
            const PdfWord& word = words[first + k];
            const std::string own = joined.substr(begin, ends[k] - begin);
            Box box = word.box;
            // The part of the word the text takes, by the characters' usual widths.
            const double total = Advance(own);
            if (total > 0) {
                const double width = word.box.right - word.box.left;
                const size_t from = at > begin ? at - begin : 0;
                const size_t to = std::min(stop, ends[k]) - begin;
                box.left = word.box.left + width * Advance(own.substr(0, from)) / total;
                box.right = word.box.left + width * Advance(own.substr(0, to)) / total;
            }
            // A word whose vertical middle lies in the current line's box continues that line.
            const double middle = (box.top + box.bottom) / 2;
            if (!lines.empty() && middle > lines.back().top && middle < lines.back().bottom) {
                lines.back() = Union(lines.back(), box);
            } else {
                lines.push_back(box);
            }
        }
        found.push_back(std::move(lines));
    }
    return found;
}

}  // namespace word_model_test
