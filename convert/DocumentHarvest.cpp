#include "convert/DocumentHarvest.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "contracts/DispatchIds.h"
#include "convert/ConversionController.h"
#include "convert/Dispatch.h"
#include "convert/WordAutomation.h"
#include "platform/com_ptr.h"

namespace dispid = tessaline::contracts::dispid;

namespace {

using dispatch::GetFloat;
using dispatch::GetInt;
using dispatch::GetObject;
using dispatch::GetString;
using dispatch::Item;
using dispatch::Variant;

// Information() items.
constexpr LONG kInfoEndPage = 3;
constexpr LONG kInfoHorizontal = 5;  // relative to the page
constexpr LONG kInfoVertical = 6;

constexpr LONG kTypeShape = 1;  // Hyperlink.Type: 0 text, 1 shape, 2 inline picture

// Word's field types of the cross-references it can show as links: REF, PAGEREF, NOTEREF.
constexpr LONG kCrossReferenceTypes[] = {3, 37, 72};
// Word's stories beside the body that show links: footnotes, endnotes, text boxes, and the
// even-page, primary and first-page headers and footers. (Comments are never printed.)
constexpr LONG kStoriesBesideTheBody[] = {2, 3, 5, 6, 7, 8, 9, 10, 11};
// Word's answer when a collection lacks the member asked for (a story the document has not), and
// when it has no answer for a range (text without a place in the layout).
constexpr HRESULT kNoSuchMember = static_cast<HRESULT>(0x800A1735);
constexpr HRESULT kCommandFailed = static_cast<HRESULT>(0x800A1066);

constexpr int kPointsPerInch = 72;
// A heading's text is 2 to 256 bytes long, paragraph mark included.
constexpr size_t kShortestHeading = 2;
constexpr size_t kLongestHeading = 256;
// The share of the row's progress bar each phase of the harvest fills.
constexpr double kLinksProgress = 25;
constexpr double kHeadingsProgress = 20;

// Scrolls the window to an item, selects it and hands out the window's selection.
ComPtr<IDispatch> SelectOnScreen(IDispatch* window, IDispatch* range) {
    dispatch::Call(window, dispid::kWindowScrollIntoView,
                   {Variant::Object(range), Variant::Bool(true)});
    dispatch::Call(range, dispid::kRangeSelect);
    return GetObject(window, dispid::kWindowSelection);
}

// A position of the selection on its page, in points.
float SelectionPosition(IDispatch* selection, LONG item) {
    return static_cast<float>(
        dispatch::Get(selection, dispid::kSelectionInformation, {Variant::Int32(item)}).AsDouble());
}

// The page a range ends on.
LONG PageOf(IDispatch* range) {
    return dispatch::Get(range, dispid::kRangeInformation, {Variant::Int32(kInfoEndPage)}).AsInt();
}

// Screen pixels to points, in whole points as the integer division leaves them.
int PixelsToPoints(LONG pixels, int dpi) {
    if (dpi <= 0) {
        dpi = 96;  // a device context that reports nothing: the usual screen
    }
    return static_cast<int>(static_cast<long long>(pixels) * kPointsPerInch / dpi);
}

struct Size {
    int width;
    int height;
};

// An item's on-screen size, converted to points with the main window's resolution; nothing
// when the window cannot tell where the item is.
std::optional<Size> MeasureOnScreen(IDispatch* window, IDispatch* item,
                                    const IControllerHost& host) {
    std::vector<Variant> args{Variant::Int32(0), Variant::Int32(0), Variant::Int32(0),
                              Variant::Int32(0), Variant::Object(item)};
    try {
        dispatch::Invoke(window, dispid::kWindowGetPoint, DISPATCH_METHOD, args);
    } catch (const _com_error&) {
        return std::nullopt;
    }
    const LONG width = args[2].AsInt();
    const LONG height = args[3].AsInt();
    return Size{PixelsToPoints(width, host.GetDeviceCaps(LOGPIXELSX)),
                PixelsToPoints(height, host.GetDeviceCaps(LOGPIXELSY))};
}

// Where a range of text starts once selected on screen, the page it is on, and that page's setup.
struct TextPlace {
    float x;
    float y;
    LONG page;
    ComPtr<IDispatch> setup;
};
TextPlace PlaceOfText(IDispatch* window, IDispatch* range) {
    ComPtr<IDispatch> selection = SelectOnScreen(window, range);
    const float x = SelectionPosition(selection.Get(), kInfoHorizontal);
    const float y = SelectionPosition(selection.Get(), kInfoVertical);
    const LONG page = PageOf(range);
    return {x, y, page, GetObject(range, dispid::kRangePageSetup)};
}

// A link on text: the rectangle from the selection's position and the on-screen size. A link
// that does not fit on the rest of its line wraps, and then spans the text width from the left
// margin. False when the link cannot be measured.
bool MeasureTextLink(IDispatch* window, IDispatch* range, const IControllerHost& host,
                     CHyperlinkRecord& record) {
    const auto [x, y, page, setup] = PlaceOfText(window, range);
    record.page = page;
    const float leftMargin = GetFloat(setup.Get(), dispid::kPageSetupLeftMargin);
    const float pageWidth = GetFloat(setup.Get(), dispid::kPageSetupPageWidth);
    std::optional<Size> size = MeasureOnScreen(window, range, host);
    if (!size) {
        return false;
    }
    if (size->width <= pageWidth - x - leftMargin) {
        record.left = std::trunc(x);
        record.right = std::trunc(x) + size->width;
    } else {
        record.left = std::trunc(leftMargin);
        record.right = std::trunc(std::trunc(leftMargin) + pageWidth - 2 * leftMargin);
    }
    record.top = std::trunc(y);
    record.bottom = std::trunc(y + size->height);
    return true;
}

// A link on a shape: placed from the shape's offsets against its anchor's position; a negative
// offset falls back to the anchor's position and the shape's on-screen size.
bool MeasureShapeLink(IDispatch* window, IDispatch* link, const IControllerHost& host,
                      CHyperlinkRecord& record) {
    ComPtr<IDispatch> shape = GetObject(link, dispid::kHyperlinkShape);
    ComPtr<IDispatch> anchor = GetObject(shape.Get(), dispid::kShapeAnchor);
    ComPtr<IDispatch> selection = SelectOnScreen(window, anchor.Get());
    const float x = SelectionPosition(selection.Get(), kInfoHorizontal);
    const float y = SelectionPosition(selection.Get(), kInfoVertical);
    record.page = PageOf(anchor.Get());
    std::optional<Size> size = MeasureOnScreen(window, shape.Get(), host);
    if (!size) {
        return false;
    }
    const float left = GetFloat(shape.Get(), dispid::kShapeLeft);
    if (std::trunc(left) >= 0) {
        record.left = static_cast<float>(std::trunc(left + x + 1.0));
        record.right = std::trunc(record.left + GetFloat(shape.Get(), dispid::kShapeWidth));
    } else {
        record.left = std::trunc(x);
        record.right = record.left + size->width;
    }
    const float top = GetFloat(shape.Get(), dispid::kShapeTop);
    if (top >= 0) {
        record.top = static_cast<float>(std::trunc(top + y + 1.0));
        record.bottom = std::trunc(record.top + GetFloat(shape.Get(), dispid::kShapeHeight));
    } else {
        record.top = std::trunc(y);
        record.bottom = record.top + size->height;
    }
    return true;
}

bool Exists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

// Whether a link's address is a URI ("https:", "mailto:", "file:") rather than a file's path. A
// single letter before the colon is a drive.
bool HasUriScheme(std::string_view address) {
    const size_t colon = address.find(':');
    if (colon == std::string_view::npos || colon < 2 ||
        std::isalpha(static_cast<unsigned char>(address[0])) == 0) {
        return false;
    }
    return std::all_of(address.begin(), address.begin() + colon, [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '+' || c == '-' || c == '.';
    });
}

// A path inside a URI: "#" and "?" would end it and "%" would start an escape, so they are
// escaped here; what a URI cannot hold at all (spaces and the like) the PDF engine escapes.
std::string EscapePathDelimiters(std::string_view path) {
    std::string escaped;
    escaped.reserve(path.size());
    for (char c : path) {
        if (c == '%' || c == '#' || c == '?') {
            char escape[4];
            std::snprintf(escape, sizeof escape, "%%%02X", static_cast<unsigned char>(c));
            escaped += escape;
        } else {
            escaped += c;
        }
    }
    return escaped;
}

// A link to a file, existing or not, as a file URI: a network path ("//server/share"), an
// absolute path or a drive path as it is, else the document's folder and the link's path, piece
// by piece. A document without a folder leaves a relative reference.
std::string FileUri(const std::string& path, IDispatch* document) {
    if (path.starts_with("//")) {
        return "file:" + EscapePathDelimiters(path);
    }
    if (path.starts_with('/')) {
        return "file://" + EscapePathDelimiters(path);
    }
    if (path.find(':') != std::string::npos) {
        return "file:///" + EscapePathDelimiters(path);
    }
    std::string joined = GetString(document, dispid::kDocumentPath);
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = std::min(path.find('/', start), path.size());
        if (end > start) {
            if (!joined.empty() && joined.back() != '/') {
                joined += '/';
            }
            joined.append(path, start, end - start);
        }
        start = end + 1;
    }
    return joined.starts_with('/') ? "file://" + EscapePathDelimiters(joined)
                                   : EscapePathDelimiters(joined);
}

// Where a link outside the document leads, whole: its address (a URI as it is, a file's path as
// a file URI), then "#" and the place in it when the link names one.
std::string LinkUri(const std::string& address, const std::string& subAddress,
                    IDispatch* document) {
    std::string uri = HasUriScheme(address) ? address : FileUri(address, document);
    if (!subAddress.empty()) {
        uri += '#';
        uri += subAddress;
    }
    return uri;
}

// Points a link into the document at a range: where it starts, on the page it ends on.
void PointAt(IDispatch* window, IDispatch* range, CHyperlinkRecord& record) {
    ComPtr<IDispatch> selection = SelectOnScreen(window, range);
    record.destY = SelectionPosition(selection.Get(), kInfoVertical);
    record.destPage = PageOf(range);
    record.hasBookmarkTarget = 1;
}

// Reads a link's place or target; false when what it measures or leads to has no place in the
// layout (hidden text, a bookmark in a header), which leaves that link or target out.
template <typename Read>
bool ReadWherePlaced(Read read) {
    try {
        read();
        return true;
    } catch (const _com_error& error) {
        if (error.Error() != kCommandFailed) {
            throw;
        }
        return false;
    }
}

// Points a link into the document at the bookmark its SubAddress names, when there is one
// and the layout places it: a link to a bookmark in a header leads nowhere, as a link to a
// missing bookmark does, instead of failing the document.
void FindBookmarkTarget(IDispatch* document, IDispatch* window, const std::string& name,
                        CHyperlinkRecord& record) {
    ComPtr<IDispatch> bookmarks = GetObject(document, dispid::kDocumentBookmarks);
    const LONG count = GetInt(bookmarks.Get(), dispid::kBookmarksCount);
    for (LONG b = 1; b <= count; ++b) {
        ComPtr<IDispatch> bookmark = Item(bookmarks.Get(), b);
        if (GetString(bookmark.Get(), dispid::kBookmarkName) != name) {
            continue;
        }
        ComPtr<IDispatch> range = GetObject(bookmark.Get(), dispid::kBookmarkRange);
        if (!ReadWherePlaced([&] { PointAt(window, range.Get(), record); })) {
            record.hasBookmarkTarget = 0;
        }
        return;
    }
}

std::string AfterFirstUnderscore(const std::string& text) {
    size_t underscore = text.find('_');
    return underscore == std::string::npos ? text : text.substr(underscore + 1);
}

// The text of a field's code or result range.
std::string FieldText(IDispatch* fields, LONG index, DISPID part) {
    ComPtr<IDispatch> field = Item(fields, index);
    ComPtr<IDispatch> range = GetObject(field.Get(), part);
    return GetString(range.Get(), dispid::kRangeText);
}

// The text a table-of-contents link's heading begins with, from the fields in the link's text:
// the bookmark named in a lone field's code, or the entry's text without its page number.
std::string MatchTextFromFields(IDispatch* range, LONG type) {
    ComPtr<IDispatch> fields = GetObject(range, dispid::kRangeFields);
    const LONG count = GetInt(fields.Get(), dispid::kFieldsCount);
    if (count == 1) {
        std::string code = AfterFirstUnderscore(FieldText(fields.Get(), 1, dispid::kFieldCode));
        if (!code.empty()) {
            code.pop_back();
        }
        return code;
    }
    if (count < 1) {
        return {};
    }
    if (type == 2) {
        std::string code = AfterFirstUnderscore(FieldText(fields.Get(), 1, dispid::kFieldCode));
        std::erase(code, '"');
        return code;
    }
    std::string entry = FieldText(fields.Get(), 1, dispid::kFieldResult);
    const size_t pageNumber = FieldText(fields.Get(), 2, dispid::kFieldResult).size();
    entry.resize(entry.size() > pageNumber ? entry.size() - pageNumber : 0);
    return entry;
}

// A hyperlink's target, as the word processor gives it.
struct LinkTarget {
    std::string address;
    std::string subAddress;
    LONG type = 0;
    ComPtr<IDispatch> range;  // a text link's own text
};

// Reads a hyperlink's target and measures it into the record (its rectangle and page, whether
// it names an existing file); nothing when the window cannot measure it.
std::optional<LinkTarget> ReadLink(IDispatch* window, IDispatch* link, const IControllerHost& host,
                                   CHyperlinkRecord& record) {
    LinkTarget target;
    target.address = GetString(link, dispid::kHyperlinkAddress);
    const std::string name = GetString(link, dispid::kHyperlinkName);
    target.subAddress = GetString(link, dispid::kHyperlinkSubAddress);

    record.isLocalFile = target.address == name && Exists(name) ? 1 : 0;

    target.type = GetInt(link, dispid::kHyperlinkType);
    if (target.type == kTypeShape) {
        if (!MeasureShapeLink(window, link, host, record)) {
            return std::nullopt;
        }
    } else {
        target.range = GetObject(link, dispid::kHyperlinkRange);
        if (!MeasureTextLink(window, target.range.Get(), host, record)) {
            return std::nullopt;
        }
    }
    return target;
}

// The bookmark a cross-reference's field code names when it asks to be a link (its \h
// switch): " REF name \h ", " PAGEREF name \p \h ". Empty otherwise.
std::string LinkedBookmark(const std::string& code) {
    std::vector<std::string> words;
    for (size_t at = 0; at < code.size();) {
        const size_t start = code.find_first_not_of(" \t\r\n", at);
        if (start == std::string::npos) {
            break;
        }
        size_t end = code.find_first_of(" \t\r\n", start);
        end = end == std::string::npos ? code.size() : end;
        words.push_back(code.substr(start, end - start));
        at = end;
    }
    const bool linked = std::any_of(words.begin(), words.end(), [](const std::string& word) {
        return word == "\\h" || word == "\\H";
    });
    if (!linked || words.size() < 2) {
        return {};
    }
    std::string name = words[1];
    if (name.size() >= 2 && name.front() == '"' && name.back() == '"') {
        name = name.substr(1, name.size() - 2);
    }
    return name;
}

// The links a word processor's own PDF export makes beyond the hyperlinks collection, measured
// like hyperlinks and appended to the records after theirs.
struct LinksBeyondHyperlinks {
    CConversionController& dialog;
    IDispatch* document;
    IDispatch* window;
    const IControllerHost& host;

    // Adds a record unless a link on its page already leads there over the same text (a
    // page reference inside a table-of-contents entry). False when the user asked to leave.
    bool Add(CHyperlinkRecord record) {
        const bool known =
            std::any_of(dialog.m_links.begin(), dialog.m_links.end(), [&](const auto& other) {
                return other.page == record.page && other.target == record.target &&
                       other.destPage == record.destPage &&
                       std::fabs(other.destY - record.destY) < 1 && other.left < record.right &&
                       record.left < other.right && other.top < record.bottom &&
                       record.top < other.bottom;
            });
        if (!known) {
            dialog.m_links.push_back(std::move(record));
        }
        return !dialog.m_bExitRequested;
    }
};

// A note's number: on the note's first line, from the left margin to where the note's text
// begins, at most as high as the line of the note's mark in the text.
bool MeasureNoteNumber(IDispatch* window, IDispatch* text, float markHeight,
                       const IControllerHost& host, CHyperlinkRecord& record) {
    const auto [x, y, page, setup] = PlaceOfText(window, text);
    record.page = page;
    const float leftMargin = GetFloat(setup.Get(), dispid::kPageSetupLeftMargin);
    std::optional<Size> size = MeasureOnScreen(window, text, host);
    if (!size) {
        return false;
    }
    const float height = std::min(markHeight, static_cast<float>(size->height));
    record.left = std::trunc(leftMargin);
    // A note whose text starts at the margin still gets a number of some width.
    record.right = std::max(std::trunc(x), record.left + std::trunc(height / 2));
    record.top = std::trunc(y);
    record.bottom = std::trunc(y + height);
    return true;
}

// A note's mark is a character or two of a small raised font: its link is made at least half
// as wide as it is high, around its middle, so that it can be hit.
void WidenToBeHit(CHyperlinkRecord& record) {
    const float width = std::trunc((record.bottom - record.top) / 2);
    if (record.right - record.left < width) {
        record.left = std::trunc((record.left + record.right - width) / 2);
        record.right = record.left + width;
    }
}

// Each footnote's or endnote's mark in the text leads to the note, and the note's number back
// to the mark.
bool HarvestNotes(LinksBeyondHyperlinks& links, DISPID notesMember, DISPID countMember,
                  DISPID rangeMember, DISPID referenceMember) {
    ComPtr<IDispatch> notes = GetObject(links.document, notesMember);
    const LONG count = GetInt(notes.Get(), countMember);
    for (LONG i = 1; i <= count; ++i) {
        ComPtr<IDispatch> note = Item(notes.Get(), i);
        ComPtr<IDispatch> mark = GetObject(note.Get(), referenceMember);
        ComPtr<IDispatch> text = GetObject(note.Get(), rangeMember);
        CHyperlinkRecord toNote;
        CHyperlinkRecord back;
        bool measured = false;
        bool numbered = false;
        const bool placed = ReadWherePlaced([&] {
            measured = MeasureTextLink(links.window, mark.Get(), links.host, toNote);
            if (measured) {
                WidenToBeHit(toNote);
                PointAt(links.window, text.Get(), toNote);
                numbered = MeasureNoteNumber(links.window, text.Get(), toNote.bottom - toNote.top,
                                             links.host, back);
                if (numbered) {
                    PointAt(links.window, mark.Get(), back);
                }
            }
        });
        if (!placed || !measured) {
            continue;
        }
        if (!links.Add(std::move(toNote)) || (numbered && !links.Add(std::move(back)))) {
            return false;
        }
    }
    return true;
}

// The cross-references among the fields that Word shows as links lead to their bookmarks; one
// whose bookmark is gone leads nowhere and is left out.
bool HarvestCrossReferences(LinksBeyondHyperlinks& links, IDispatch* fields) {
    const LONG count = GetInt(fields, dispid::kFieldsCount);
    for (LONG i = 1; i <= count; ++i) {
        ComPtr<IDispatch> field = Item(fields, i);
        const LONG type = GetInt(field.Get(), dispid::kFieldType);
        if (std::find(std::begin(kCrossReferenceTypes), std::end(kCrossReferenceTypes), type) ==
            std::end(kCrossReferenceTypes)) {
            continue;
        }
        ComPtr<IDispatch> code = GetObject(field.Get(), dispid::kFieldCode);
        const std::string bookmark = LinkedBookmark(GetString(code.Get(), dispid::kRangeText));
        if (bookmark.empty()) {
            continue;
        }
        ComPtr<IDispatch> result = GetObject(field.Get(), dispid::kFieldResult);
        CHyperlinkRecord record;
        bool measured = false;
        const bool placed = ReadWherePlaced([&] {
            measured = MeasureTextLink(links.window, result.Get(), links.host, record);
            if (measured) {
                FindBookmarkTarget(links.document, links.window, bookmark, record);
            }
        });
        if (placed && measured && record.hasBookmarkTarget && !links.Add(std::move(record))) {
            return false;
        }
    }
    return true;
}

// The first story of a type, or nothing when the document has none.
ComPtr<IDispatch> StoryOfType(IDispatch* stories, LONG type) {
    try {
        return Item(stories, type);
    } catch (const _com_error& error) {
        if (error.Error() != kNoSuchMember) {
            throw;
        }
        return {};
    }
}

// The hyperlinks and cross-references beside the body (in notes, text boxes, headers and
// footers) become links where they are shown: Word gives a header or footer as one story per
// page that shows it. Links that lead nowhere are left out.
bool HarvestStories(LinksBeyondHyperlinks& links) {
    ComPtr<IDispatch> stories = GetObject(links.document, dispid::kDocumentStoryRanges);
    for (LONG type : kStoriesBesideTheBody) {
        for (ComPtr<IDispatch> story = StoryOfType(stories.Get(), type); story;
             story = dispatch::Get(story.Get(), dispid::kRangeNextStoryRange).AsDispatch()) {
            ComPtr<IDispatch> hyperlinks = GetObject(story.Get(), dispid::kRangeHyperlinks);
            const LONG count = GetInt(hyperlinks.Get(), dispid::kHyperlinksCount);
            for (LONG i = 1; i <= count; ++i) {
                ComPtr<IDispatch> link = Item(hyperlinks.Get(), i);
                CHyperlinkRecord record;
                std::optional<LinkTarget> read;
                const bool placed = ReadWherePlaced([&] {
                    read = ReadLink(links.window, link.Get(), links.host, record);
                    if (read && read->address.empty()) {
                        FindBookmarkTarget(links.document, links.window, read->subAddress, record);
                    }
                });
                if (!placed || !read || (read->address.empty() && !record.hasBookmarkTarget)) {
                    continue;
                }
                if (!read->address.empty()) {
                    record.target = LinkUri(read->address, read->subAddress, links.document);
                }
                if (!links.Add(std::move(record))) {
                    return false;
                }
            }
            ComPtr<IDispatch> fields = GetObject(story.Get(), dispid::kRangeFields);
            if (!HarvestCrossReferences(links, fields.Get())) {
                return false;
            }
        }
    }
    return true;
}

// Shows the job's progress in its row; false when the user asked to leave.
bool ReportProgress(CConversionController& dialog, CWordRecord& job, int percent) {
    job.m_bShowProgress = true;
    job.m_nProgress = percent;
    dialog.Host().RedrawJob(dialog.m_nCurrentJob);
    return !dialog.m_bExitRequested;
}

// A heading's text as an outline title: the paragraph mark, tabs, line breaks and other white
// space or control characters are no part of it, so each run of them becomes one space and
// none stays at either end. Empty for a heading without text.
std::string OutlineTitle(std::string_view text) {
    std::string title;
    bool blank = false;
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= ' ' || byte == 0x7F) {
            blank = true;
            continue;
        }
        if (blank && !title.empty()) {
            title += ' ';
        }
        blank = false;
        title += c;
    }
    return title;
}

// "1", "1.2", "1.2.3": the counters of levels 1 to `level` joined by dots.
std::string OutlineNumber(const int (&levels)[10], int level) {
    std::string number = std::to_string(levels[1]);
    for (int k = 2; k <= level; ++k) {
        number += '.';
        number += std::to_string(levels[k]);
    }
    return number;
}

}  // namespace

bool HeadingMatches(std::string_view text, std::string_view matchText) {
    const long long length = static_cast<long long>(text.size());
    const long long difference = length - static_cast<long long>(matchText.size());
    // The text ends in the paragraph mark, which the match text lacks.
    const long long n = difference >= 1 ? length - 2 : length - 1;
    // A byte past the end of the match text differs from any byte of the text.
    if (n < 1 || n > static_cast<long long>(matchText.size())) {
        return false;
    }
    return text.substr(0, static_cast<size_t>(n)) == matchText.substr(0, static_cast<size_t>(n));
}

void NumberHeading(IDispatch* paragraph, CConversionController& dialog, IDispatch* window) {
    const LONG level = GetInt(paragraph, dispid::kParagraphOutlineLevel);
    if (level < 1 || level > 9) {
        return;
    }
    // A heading without text would be an entry without a title: it gets none, nor a number. A
    // numbered heading's title begins with its number, as the page shows it.
    ComPtr<IDispatch> range = GetObject(paragraph, dispid::kParagraphRange);
    std::string text = GetString(range.Get(), dispid::kRangeText);
    if (OutlineTitle(text).empty()) {
        return;
    }
    ComPtr<IDispatch> list = GetObject(range.Get(), dispid::kRangeListFormat);
    std::string title =
        OutlineTitle(GetString(list.Get(), dispid::kListFormatListString) + ' ' + text);
    int(&levels)[10] = dialog.m_nLevel;
    bool(&stale)[10] = dialog.m_bLevelStale;
    if (level == 1) {
        ++levels[1];
        std::fill(levels + 2, levels + 10, 0);
    } else {
        ++levels[level];
        // Every entry's parent number must exist before it. A deeper level's counter outlives
        // the heading it counted under (only a level-1 heading sets it back); once a heading of
        // a higher level came in between, that counter names a parent of the earlier heading,
        // so the level needs a filler of its own as an empty one does. Without it a heading
        // that skips a level would hang under an unrelated earlier one, out of order.
        for (int k = 1; k < level; ++k) {
            if (levels[k] != 0 && !stale[k]) {
                continue;
            }
            levels[k] = levels[k] == 0 ? 1 : levels[k] + 1;
            stale[k] = false;
            CBookmarkEntry filler;
            filler.y = 0;
            filler.page = 1;
            filler.number = OutlineNumber(levels, k);
            dialog.m_bookmarks.push_back(std::move(filler));
            ++dialog.m_nBookmarkCount;
        }
    }
    stale[level] = false;
    std::fill(stale + level + 1, stale + 10, true);
    CBookmarkEntry entry;
    entry.number = OutlineNumber(levels, level);
    entry.title = std::move(title);
    ComPtr<IDispatch> selection = SelectOnScreen(window, range.Get());
    entry.y = SelectionPosition(selection.Get(), kInfoVertical);
    entry.page = PageOf(range.Get());
    dialog.m_bookmarks.push_back(std::move(entry));
    ++dialog.m_nBookmarkCount;
}

int HarvestDocument(CConversionController& dialog, const std::string& /*path*/,
                    IDispatch* document) {
    CWordRecord& job = *dialog.m_jobs.at(dialog.m_nCurrentJob);
    const IControllerHost& host = dialog.Host();
    dialog.ClearHarvestResults();

    ComPtr<IDispatch> window = GetObject(document, dispid::kDocumentActiveWindow);
    ComPtr<IDispatch> hyperlinks = GetObject(document, dispid::kDocumentHyperlinks);
    const LONG count = GetInt(hyperlinks.Get(), dispid::kHyperlinksCount);
    // Table-of-contents links waiting for their headings; this harvest's own. With each, the
    // bookmark it names.
    std::vector<CBookmarkEntry> contents;
    std::vector<std::string> contentsTargets;

    for (LONG i = 1; i <= count; ++i) {
        ComPtr<IDispatch> link = Item(hyperlinks.Get(), i);
        CHyperlinkRecord record;
        std::optional<LinkTarget> read = ReadLink(window.Get(), link.Get(), host, record);
        if (!read) {
            continue;
        }
        const std::string& address = read->address;
        const std::string& subAddress = read->subAddress;
        const LONG type = read->type;
        const ComPtr<IDispatch>& range = read->range;

        if (address.empty()) {
            if (!subAddress.starts_with('_')) {
                FindBookmarkTarget(document, window.Get(), subAddress, record);
            } else {
                // Word names a table of contents' targets "_Toc...": the heading is found by
                // its text once all links are read.
                CBookmarkEntry reference;
                reference.sequence = static_cast<INT>(contents.size()) + 1;
                reference.linkNumber = static_cast<INT>(dialog.m_links.size()) + 1;
                if (type == kTypeShape) {
                    reference.kind = "shape";
                    reference.matchText = subAddress;
                    std::erase(reference.matchText, '_');
                } else {
                    reference.kind = "range";
                    reference.title = GetString(range.Get(), dispid::kRangeText);
                    reference.matchText = MatchTextFromFields(range.Get(), type);
                }
                contents.push_back(std::move(reference));
                contentsTargets.push_back(subAddress);
            }
        }

        if (!address.empty()) {
            record.target = LinkUri(address, subAddress, document);
        }
        dialog.m_links.push_back(std::move(record));
        if (!ReportProgress(dialog, job,
                            static_cast<int>(static_cast<double>(i) / count * kLinksProgress))) {
            return 0;
        }
    }

    const bool matchHeadings = job.m_bKeepLinks && !contents.empty();
    const bool numberHeadings = job.m_bKeepBookmarks != 0;
    if (matchHeadings || numberHeadings) {
        ComPtr<IDispatch> paragraphs = GetObject(document, dispid::kDocumentParagraphs);
        const LONG paragraphCount = GetInt(paragraphs.Get(), dispid::kParagraphsCount);
        int matches = 0;
        for (LONG p = 1; p <= paragraphCount; ++p) {
            ComPtr<IDispatch> paragraph = Item(paragraphs.Get(), p);
            if (matchHeadings) {
                ComPtr<IDispatch> range = GetObject(paragraph.Get(), dispid::kParagraphRange);
                const std::string text = GetString(range.Get(), dispid::kRangeText);
                if (text.size() >= kShortestHeading && text.size() <= kLongestHeading) {
                    for (const CBookmarkEntry& reference : contents) {
                        if (!HeadingMatches(text, reference.matchText)) {
                            continue;
                        }
                        ComPtr<IDispatch> selection = SelectOnScreen(window.Get(), range.Get());
                        // A later match overwrites an earlier one.
                        CHyperlinkRecord& target = dialog.m_links[reference.linkNumber - 1];
                        target.destY = SelectionPosition(selection.Get(), kInfoVertical);
                        target.destPage = PageOf(range.Get());
                        target.hasHeadingTarget = 1;
                        ++matches;
                        const int percent = static_cast<int>(
                            kLinksProgress + kHeadingsProgress * (matches - 1) /
                                                 static_cast<double>(contents.size()));
                        if (!ReportProgress(dialog, job, percent)) {
                            return 0;
                        }
                    }
                }
            }
            if (numberHeadings) {
                NumberHeading(paragraph.Get(), dialog, window.Get());
            }
        }
    }
    if (matchHeadings) {
        // A link to a "_Toc" bookmark that is no table-of-contents entry (a cross-reference in
        // the text: no heading begins with what its fields say) would lose its target; the
        // bookmark itself still says where it leads.
        for (std::size_t c = 0; c < contents.size(); ++c) {
            CHyperlinkRecord& record = dialog.m_links[contents[c].linkNumber - 1];
            if (!record.hasHeadingTarget) {
                FindBookmarkTarget(document, window.Get(), contentsTargets[c], record);
            }
        }
    }

    const std::size_t hyperlinkRecords = dialog.m_links.size();
    if (job.m_bKeepLinks) {
        LinksBeyondHyperlinks beyond{dialog, document, window.Get(), host};
        ComPtr<IDispatch> fields = GetObject(document, dispid::kDocumentFields);
        if (!HarvestNotes(beyond, dispid::kDocumentFootnotes, dispid::kFootnotesCount,
                          dispid::kFootnoteRange, dispid::kFootnoteReference) ||
            !HarvestNotes(beyond, dispid::kDocumentEndnotes, dispid::kEndnotesCount,
                          dispid::kEndnoteRange, dispid::kEndnoteReference) ||
            !HarvestCrossReferences(beyond, fields.Get()) || !HarvestStories(beyond)) {
            return 0;
        }
    }

    // The records beyond the hyperlinks count with them.
    dialog.m_nLinkCount = count + static_cast<INT>(dialog.m_links.size() - hyperlinkRecords);
    std::fill(std::begin(dialog.m_nLevel), std::end(dialog.m_nLevel), 0);
    std::fill(std::begin(dialog.m_bLevelStale), std::end(dialog.m_bLevelStale), false);
    return 1;
}

int CDocumentHarvester::HarvestDocument(CConversionController& controller, const std::string& path,
                                        IDispatch* document) {
    return ::HarvestDocument(controller, path, document);
}
