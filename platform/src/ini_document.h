// An INI file in memory, kept line by line so that a change rewrites only the lines it touches
// and the rest of the file (comments, order, line ends, byte-order mark) stays as it was.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

class IniDocument {
  public:
    // Parses file content: a UTF-8 byte-order mark, a UTF-16LE file with its byte-order mark,
    // LF or CRLF line ends.
    static IniDocument Parse(std::string_view content);
    // The value of one key straight from file content, without building the document: what
    // Parse(content).Value(section, key) gives, for the frequent single read.
    static std::optional<std::string> FindValue(std::string_view content, std::string_view section,
                                                std::string_view key);
    // The content to write back, in the file's own encoding and line ends.
    std::string Serialize() const;

    std::vector<std::string> SectionNames() const;
    bool HasSection(std::string_view section) const;
    // The value of a key; nullopt when the section or the key is missing.
    std::optional<std::string> Value(std::string_view section, std::string_view key) const;
    std::vector<std::string> KeyNames(std::string_view section) const;
    // The section's entry lines, trimmed ("key=value", or the bare text of a line without "=").
    std::vector<std::string> SectionLines(std::string_view section) const;

    // Each returns whether the document changed.
    bool SetValue(std::string_view section, std::string_view key, std::string_view value);
    bool DeleteKey(std::string_view section, std::string_view key);
    bool DeleteSection(std::string_view section);
    // Replaces the section's entries with the given lines (creating the section when missing).
    bool ReplaceSection(std::string_view section, const std::vector<std::string>& lines);

  private:
    enum class Kind { kOther, kSection, kEntry };
    struct Line {
        Kind kind = Kind::kOther;
        std::string text;   // the line as it stands in the file, without its line end
        std::string name;   // section name or key, trimmed
        std::string value;  // entry value, trimmed
    };
    struct Range {
        size_t header;  // index of the section header line
        size_t end;     // one past the section's last line
    };

    struct LineView {
        Kind kind = Kind::kOther;
        std::string_view name;
        std::string_view value;
    };
    static LineView Classify(std::string_view text);
    static Line ParseLine(std::string text);
    std::optional<Range> FindSection(std::string_view section) const;
    size_t FindEntry(const Range& range, std::string_view key) const;  // lines_.size() if none
    // Where a new entry of the section goes: after its last entry line.
    size_t InsertionPoint(const Range& range) const;
    void AppendSection(std::string_view section);
    static Line EntryLine(std::string_view key, std::string_view value);

    std::vector<Line> lines_;
    bool utf8Bom_ = false;
    bool utf16_ = false;
    bool crlf_ = false;
    bool finalNewline_ = true;
};

// Blanks that surround names and values: spaces and tabs (and a stray CR).
std::string_view TrimIniBlanks(std::string_view text);

}  // namespace platform
