#include "pdf_words.h"

#include <unistd.h>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string_view>

#include "support/run_process.h"

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

std::string WithoutSpace(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n' && c != '\v') {
            out += c;
        }
    }
    return out;
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

size_t CodePoints(const std::string& utf8) {
    return static_cast<size_t>(std::count_if(utf8.begin(), utf8.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
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

std::vector<Box> FindText(const std::vector<PdfWord>& words, int page, const std::string& text,
                          int occurrence) {
    const std::string wanted = WithoutSpace(text);
    if (wanted.empty()) {
        return {};
    }
    for (size_t first = 0; first < words.size(); ++first) {
        if (words[first].page != page) {
            continue;
        }
        // The link may start after an opening bracket or quote and end before punctuation
        // that shares its word.
        std::string joined = WithoutSpace(words[first].text);
        while (!joined.empty() && std::string_view("([{\"'").find(joined[0]) != std::string::npos &&
               wanted[0] != joined[0]) {
            joined.erase(0, 1);
        }
        size_t last = first + 1;
        for (; last < words.size() && words[last].page == page && joined.size() < wanted.size();
             ++last) {
            joined += WithoutSpace(words[last].text);
        }
        const bool matches = joined.starts_with(wanted) && joined.size() - wanted.size() <= 2;
        if (!matches || occurrence-- > 0) {
            continue;
        }
        std::vector<Box> lines;
        for (size_t w = first; w < last; ++w) {
            const Box& box = words[w].box;
            // A word whose vertical middle lies in the current line's box continues that line.
            const double middle = (box.top + box.bottom) / 2;
            if (!lines.empty() && middle > lines.back().top && middle < lines.back().bottom) {
                lines.back() = Union(lines.back(), box);
            } else {
                lines.push_back(box);
            }
        }
        return lines;
    }
    // Text without spaces (Chinese, Japanese) shares its word with its neighbours: the part of
    // the word it takes, its characters being of one width.
    for (const PdfWord& word : words) {
        if (word.page != page) {
            continue;
        }
        const std::string whole = WithoutSpace(word.text);
        const size_t at = whole.find(wanted);
        if (at == std::string::npos || occurrence-- > 0) {
            continue;
        }
        const double total = static_cast<double>(CodePoints(whole));
        const double before = static_cast<double>(CodePoints(whole.substr(0, at)));
        const double inside = static_cast<double>(CodePoints(wanted));
        const double width = word.box.right - word.box.left;
        Box box = word.box;
        box.left = word.box.left + width * before / total;
        box.right = box.left + width * inside / total;
        return {box};
    }
    return {};
}

}  // namespace word_model_test
