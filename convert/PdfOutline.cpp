#include "convert/PdfOutline.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "convert/ConversionController.h"
#include "platform/locale.h"

namespace {

constexpr int kDeepestLevel = 8;
// A top-level title goes through a conversion buffer of this many UTF-16 units, terminator
// included; longer titles are cut.
constexpr std::size_t kTopTitleUnits = 256;

// The value of the piece's leading decimal digits; 0 without any. Saturates instead of wrapping.
int LeadingNumber(std::string_view piece) {
    long long value = 0;
    for (char ch : piece) {
        if (ch < '0' || ch > '9') {
            break;
        }
        value = std::min<long long>(value * 10 + (ch - '0'), 0x7FFFFFFF);
    }
    return static_cast<int>(value);
}

std::vector<std::string_view> SplitNonEmpty(std::string_view text, char separator) {
    std::vector<std::string_view> pieces;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(separator, start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        if (end > start) {
            pieces.push_back(text.substr(start, end - start));
        }
        start = end + 1;
    }
    return pieces;
}

std::u16string TopLevelTitle(const std::string& title) {
    std::u16string wide = platform::Utf8ToUtf16(title);
    if (wide.size() >= kTopTitleUnits) {
        std::size_t keep = kTopTitleUnits - 1;
        // Never leave half of a surrogate pair at the end.
        if (wide[keep - 1] >= 0xD800 && wide[keep - 1] <= 0xDBFF) {
            --keep;
        }
        wide.resize(keep);
    }
    return wide;
}

// Engine ids of entries made so far; 0 means none yet (the engine's ids are above 0).
class OutlineWriter {
  public:
    OutlineWriter(IPDFDocument4* engine, LONG charset) : engine_(engine), charset_(charset) {}

    LONG Child(LONG parent, const std::u16string& title) {
        if (parent == 0) {
            parent = Root();
        }
        LONG id = 0;
        CheckEngine(engine_->AddOutlineChild(parent, CEngineText(title).Get(), charset_, &id));
        return id;
    }
    LONG Sibling(LONG previous, const std::u16string& title) {
        LONG id = 0;
        CheckEngine(engine_->AddOutlineSibling(previous, CEngineText(title).Get(), charset_, &id));
        return id;
    }

  private:
    LONG Root() {
        if (!haveRoot_) {
            CheckEngine(engine_->GetOutlineRoot(&root_));
            haveRoot_ = true;
        }
        return root_;
    }

    IPDFDocument4* engine_;
    LONG charset_;
    LONG root_ = 0;
    bool haveRoot_ = false;
};

}  // namespace

LONG OutlineCharset() {
    return GetUserDefaultUILanguage() == 0x0804 ? kOutlineCharsetGb2312 : kOutlineCharsetDefault;
}

void BuildOutline(CConversionController& controller, IPDFDocument4* engine) {
    const std::size_t count =
        std::min<std::size_t>(controller.m_bookmarks.size(),
                              static_cast<std::size_t>(std::max(controller.m_nBookmarkCount, 0)));
    if (count == 0) {
        return;
    }
    CheckEngine(engine->SetOutlineMode(1));
    OutlineWriter writer(engine, OutlineCharset());

    LONG lastTop = 0;
    std::array<LONG, kDeepestLevel + 1> lastOfLevel{};  // index 1-8
    std::array<int, kDeepestLevel + 1> current{};       // c[1..8]
    std::array<int, kDeepestLevel + 1> previous{};      // p[1..8]
    LONG createdLast = 0;

    for (std::size_t i = 0; i < count; ++i) {
        const CBookmarkEntry& entry = controller.m_bookmarks[i];
        if (entry.number.find('.') == std::string::npos) {
            const std::u16string title = TopLevelTitle(entry.title);
            // The first entry hangs under the root; later ones follow the last top-level entry.
            lastTop = lastTop == 0 ? writer.Child(0, title) : writer.Sibling(lastTop, title);
            createdLast = lastTop;
            current.fill(0);
            previous.fill(0);
        } else {
            const std::vector<std::string_view> pieces = SplitNonEmpty(entry.number, '.');
            const std::size_t given =
                std::min<std::size_t>(pieces.empty() ? 0 : pieces.size() - 1, kDeepestLevel);
            for (std::size_t k = 1; k <= given; ++k) {
                current[k] = LeadingNumber(pieces[k]);
            }
            if (given >= 1) {
                for (std::size_t k = given + 1; k <= kDeepestLevel; ++k) {
                    current[k] = 0;
                }
            }
            int level = 0;
            while (level < kDeepestLevel && current[level + 1] > 0) {
                ++level;
            }
            if (level > 0) {
                const std::u16string title = platform::Utf8ToUtf16(entry.title);
                LONG id = 0;
                if (previous[level] > 0 && lastOfLevel[level] != 0) {
                    id = writer.Sibling(lastOfLevel[level], title);
                } else {
                    // Under the entry one level up; with none yet (a list that starts below the
                    // top level), under the outline's root.
                    const LONG parent = level == 1 ? lastTop : lastOfLevel[level - 1];
                    id = writer.Child(parent, title);
                }
                lastOfLevel[level] = id;
                createdLast = id;
            }
            previous = current;
        }
        // A heading without an entry of its own moves the destination of the entry before it;
        // with no entry at all yet there is nothing to point.
        if (createdLast != 0) {
            LONG destination = 0;
            CheckEngine(engine->CreateDestination(static_cast<LONG>(entry.page - 1), entry.y,
                                                  &destination));
            CheckEngine(engine->SetOutlineDestination(createdLast, destination));
        }
    }

    controller.m_bookmarks.clear();
    controller.m_nBookmarkCount = 0;
}
