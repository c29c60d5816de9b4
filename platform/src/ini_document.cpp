#include "platform/src/ini_document.h"

#include "platform/text.h"

namespace platform {
namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeBom = "\xFF\xFE";

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string DecodeUtf16Le(std::string_view bytes) {
    std::u16string units;
    units.reserve(bytes.size() / 2);
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        units.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                              (static_cast<unsigned char>(bytes[i + 1]) << 8)));
    }
    return Utf16ToUtf8(units);
}

std::string EncodeUtf16Le(std::string_view text) {
    std::u16string units = Utf8ToUtf16(text);
    std::string bytes;
    bytes.reserve(units.size() * 2);
    for (char16_t unit : units) {
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>(unit >> 8));
    }
    return bytes;
}

}  // namespace

std::string_view TrimIniBlanks(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

IniDocument::LineView IniDocument::Classify(std::string_view text) {
    LineView view;
    std::string_view trimmed = TrimIniBlanks(text);
    if (trimmed.empty() || trimmed.front() == ';') {
        view.kind = Kind::kOther;
    } else if (trimmed.front() == '[') {
        size_t close = trimmed.find(']');
        view.kind = Kind::kSection;
        view.name = TrimIniBlanks(trimmed.substr(
            1, close == std::string_view::npos ? std::string_view::npos : close - 1));
    } else {
        view.kind = Kind::kEntry;
        size_t equals = trimmed.find('=');
        if (equals == std::string_view::npos) {
            view.name = trimmed;
        } else {
            view.name = TrimIniBlanks(trimmed.substr(0, equals));
            view.value = TrimIniBlanks(trimmed.substr(equals + 1));
        }
    }
    return view;
}

IniDocument::Line IniDocument::ParseLine(std::string text) {
    LineView view = Classify(text);
    Line line;
    line.kind = view.kind;
    line.name = std::string(view.name);
    line.value = std::string(view.value);
    line.text = std::move(text);
    return line;
}

std::optional<std::string> IniDocument::FindValue(std::string_view content,
                                                  std::string_view section, std::string_view key) {
    if (content.starts_with(kUtf16LeBom)) {
        return Parse(content).Value(section, key);
    }
    if (content.starts_with(kUtf8Bom)) {
        content.remove_prefix(kUtf8Bom.size());
    }
    const std::string_view wantedSection = TrimIniBlanks(section);
    const std::string_view wantedKey = TrimIniBlanks(key);
    // The first section of that name is the one that counts, as in the parsed document.
    bool inSection = false;
    bool sectionSeen = false;
    size_t start = 0;
    while (start < content.size()) {
        size_t newline = content.find('\n', start);
        size_t end = newline == std::string_view::npos ? content.size() : newline;
        LineView line = Classify(content.substr(start, end - start));
        if (line.kind == Kind::kSection) {
            if (inSection) {
                return std::nullopt;
            }
            inSection = !sectionSeen && EqualsNoCase(line.name, wantedSection);
            sectionSeen = sectionSeen || inSection;
        } else if (inSection && line.kind == Kind::kEntry && EqualsNoCase(line.name, wantedKey)) {
            return std::string(line.value);
        }
        start = newline == std::string_view::npos ? content.size() : newline + 1;
    }
    return std::nullopt;
}

IniDocument IniDocument::Parse(std::string_view content) {
    IniDocument doc;
    std::string decoded;
    if (content.starts_with(kUtf16LeBom)) {
        doc.utf16_ = true;
        decoded = DecodeUtf16Le(content.substr(kUtf16LeBom.size()));
        content = decoded;
    } else if (content.starts_with(kUtf8Bom)) {
        doc.utf8Bom_ = true;
        content.remove_prefix(kUtf8Bom.size());
    }
    size_t firstNewline = content.find('\n');
    doc.crlf_ = firstNewline != std::string_view::npos && firstNewline > 0 &&
                content[firstNewline - 1] == '\r';
    doc.finalNewline_ = content.empty() || content.back() == '\n';
    size_t start = 0;
    while (start < content.size()) {
        size_t newline = content.find('\n', start);
        size_t end = newline == std::string_view::npos ? content.size() : newline;
        std::string_view text = content.substr(start, end - start);
        if (!text.empty() && text.back() == '\r') {
            text.remove_suffix(1);
        }
        doc.lines_.push_back(ParseLine(std::string(text)));
        start = newline == std::string_view::npos ? content.size() : newline + 1;
    }
    return doc;
}

std::string IniDocument::Serialize() const {
    const char* eol = crlf_ ? "\r\n" : "\n";
    std::string text;
    for (size_t i = 0; i < lines_.size(); ++i) {
        text += lines_[i].text;
        if (i + 1 < lines_.size() || finalNewline_) {
            text += eol;
        }
    }
    if (utf16_) {
        return std::string(kUtf16LeBom) + EncodeUtf16Le(text);
    }
    return utf8Bom_ ? std::string(kUtf8Bom) + text : text;
}

std::optional<IniDocument::Range> IniDocument::FindSection(std::string_view section) const {
    std::string_view wanted = TrimIniBlanks(section);
    for (size_t i = 0; i < lines_.size(); ++i) {
        if (lines_[i].kind == Kind::kSection && EqualsNoCase(lines_[i].name, wanted)) {
            size_t end = i + 1;
            while (end < lines_.size() && lines_[end].kind != Kind::kSection) {
                ++end;
            }
            return Range{i, end};
        }
    }
    return std::nullopt;
}

size_t IniDocument::FindEntry(const Range& range, std::string_view key) const {
    std::string_view wanted = TrimIniBlanks(key);
    for (size_t i = range.header + 1; i < range.end; ++i) {
        if (lines_[i].kind == Kind::kEntry && EqualsNoCase(lines_[i].name, wanted)) {
            return i;
        }
    }
    return lines_.size();
}

size_t IniDocument::InsertionPoint(const Range& range) const {
    size_t point = range.header + 1;
    for (size_t i = range.header + 1; i < range.end; ++i) {
        if (lines_[i].kind == Kind::kEntry) {
            point = i + 1;
        }
    }
    return point;
}

IniDocument::Line IniDocument::EntryLine(std::string_view key, std::string_view value) {
    return ParseLine(std::string(TrimIniBlanks(key)) + "=" + std::string(value));
}

void IniDocument::AppendSection(std::string_view section) {
    // A blank line keeps sections apart, as Windows writes them.
    if (!lines_.empty() && !TrimIniBlanks(lines_.back().text).empty()) {
        lines_.push_back(ParseLine(""));
    }
    lines_.push_back(ParseLine("[" + std::string(TrimIniBlanks(section)) + "]"));
    finalNewline_ = true;
}

std::vector<std::string> IniDocument::SectionNames() const {
    std::vector<std::string> names;
    for (const Line& line : lines_) {
        if (line.kind != Kind::kSection) {
            continue;
        }
        bool seen = false;
        for (const std::string& name : names) {
            seen = seen || EqualsNoCase(name, line.name);
        }
        if (!seen) {
            names.push_back(line.name);
        }
    }
    return names;
}

bool IniDocument::HasSection(std::string_view section) const {
    return FindSection(section).has_value();
}

std::optional<std::string> IniDocument::Value(std::string_view section,
                                              std::string_view key) const {
    auto range = FindSection(section);
    if (!range) {
        return std::nullopt;
    }
    size_t entry = FindEntry(*range, key);
    if (entry == lines_.size()) {
        return std::nullopt;
    }
    return lines_[entry].value;
}

std::vector<std::string> IniDocument::KeyNames(std::string_view section) const {
    std::vector<std::string> names;
    if (auto range = FindSection(section)) {
        for (size_t i = range->header + 1; i < range->end; ++i) {
            if (lines_[i].kind == Kind::kEntry) {
                names.push_back(lines_[i].name);
            }
        }
    }
    return names;
}

std::vector<std::string> IniDocument::SectionLines(std::string_view section) const {
    std::vector<std::string> result;
    if (auto range = FindSection(section)) {
        for (size_t i = range->header + 1; i < range->end; ++i) {
            if (lines_[i].kind == Kind::kEntry) {
                result.emplace_back(TrimIniBlanks(lines_[i].text));
            }
        }
    }
    return result;
}

bool IniDocument::SetValue(std::string_view section, std::string_view key, std::string_view value) {
    auto range = FindSection(section);
    if (!range) {
        AppendSection(section);
        lines_.push_back(EntryLine(key, value));
        return true;
    }
    size_t entry = FindEntry(*range, key);
    if (entry == lines_.size()) {
        lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(InsertionPoint(*range)),
                      EntryLine(key, value));
        return true;
    }
    if (lines_[entry].value == value && lines_[entry].text.find('=') != std::string::npos) {
        return false;
    }
    lines_[entry] = EntryLine(key, value);
    return true;
}

bool IniDocument::DeleteKey(std::string_view section, std::string_view key) {
    bool changed = false;
    // Every copy of the key goes, so that a deleted key cannot reappear from a duplicate line.
    while (auto range = FindSection(section)) {
        size_t entry = FindEntry(*range, key);
        if (entry == lines_.size()) {
            break;
        }
        lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(entry));
        changed = true;
    }
    return changed;
}

bool IniDocument::DeleteSection(std::string_view section) {
    bool changed = false;
    while (auto range = FindSection(section)) {
        lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(range->header),
                     lines_.begin() + static_cast<std::ptrdiff_t>(range->end));
        changed = true;
    }
    return changed;
}

bool IniDocument::ReplaceSection(std::string_view section, const std::vector<std::string>& lines) {
    auto range = FindSection(section);
    if (!range) {
        AppendSection(section);
        range = FindSection(section);
    }
    // The section's comments stay at its top, the new entries follow, and a blank line keeps
    // it apart from a section after it.
    std::vector<Line> replacement;
    for (size_t i = range->header + 1; i < range->end; ++i) {
        if (lines_[i].kind == Kind::kOther && !TrimIniBlanks(lines_[i].text).empty()) {
            replacement.push_back(lines_[i]);
        }
    }
    for (const std::string& text : lines) {
        replacement.push_back(ParseLine(std::string(TrimIniBlanks(text))));
    }
    if (range->end < lines_.size()) {
        replacement.push_back(ParseLine(""));
    }
    lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(range->header + 1),
                 lines_.begin() + static_cast<std::ptrdiff_t>(range->end));
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(range->header + 1),
                  replacement.begin(), replacement.end());
    return true;
}

}  // namespace platform
