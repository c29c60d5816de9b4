// Where LibreOffice laid out the document's text: pages and positions on them, in points from
// the page's top-left corner, measured with the document view's cursor.
#pragma once

#include <string>
#include <vector>

#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/text/XPageCursor.hpp>
#include <com/sun/star/text/XTextRange.hpp>
#include <com/sun/star/text/XTextViewCursor.hpp>

namespace word_model {

// A place on a page: the top-left of the character cell (the line's top), in points.
struct PagePlace {
    int page = 0;  // 1-based
    double x = 0;
    double y = 0;
};

// A range's extent: where it starts and the bounding box of all its lines, in points.
struct RangeExtent {
    PagePlace start;
    int endPage = 0;
    double left = 0;
    double top = 0;
    double right = 0;
    double bottom = 0;
};

struct PageFormat {
    double width = 0;       // points
    double height = 0;      // points
    double leftMargin = 0;  // points
};

class Layout {
  public:
    explicit Layout(const css::uno::Reference<css::frame::XModel>& model);

    int PageCount();
    // A collapsed range's place. Fails with Word's command error when the text has no place in
    // the page layout (hidden, or in a header, footer or other text Word does not measure).
    PagePlace Place(const css::uno::Reference<css::text::XTextRange>& position);
    RangeExtent Measure(const css::uno::Reference<css::text::XTextRange>& range);
    // The page style in force on a page.
    PageFormat FormatOfPage(int page);
    // Whether the text has a place in the page layout at all.
    static bool HasLayout(const css::uno::Reference<css::text::XTextRange>& range);

  private:
    struct Page {
        std::string style;
        double top = 0;  // 1/100 mm, in the view's coordinates less the document border
        PageFormat format;
    };
    void Prepare();
    double LineHeight(const css::uno::Reference<css::text::XTextRange>& position);

    css::uno::Reference<css::frame::XModel> model_;
    css::uno::Reference<css::text::XTextViewCursor> cursor_;
    css::uno::Reference<css::text::XPageCursor> pageCursor_;
    std::vector<Page> pages_;
    bool prepared_ = false;
};

}  // namespace word_model
