// What the document analysis leaves for the PDF thread: one record per hyperlink of the document
// and the outline's bookmark entries. Positions are in points from the page's top-left corner,
// y growing downwards; pages are 1-based, as the word processor counts them.
#pragma once

#include <string>

#include "platform/win_types.h"

// One link: a hyperlink, or one of the links beyond them (a note mark, a cross-reference); where
// it sits and where it leads.
struct CHyperlinkRecord {
    std::string target;  // the URI the link opens (a file:// URI for a file), or empty for a link
                         // into the document
    float left = 0;      // the link's rectangle, whole numbers of points
    float top = 0;
    float right = 0;
    float bottom = 0;
    INT page = 0;               // the page the link starts on
    float destY = 0;            // a link into the document: vertical position of the target
    INT destPage = 0;           // ... and its page
    INT hasBookmarkTarget = 0;  // the target is a bookmark that was found
    INT hasHeadingTarget = 0;   // a table-of-contents entry whose heading was found
    INT isLocalFile = 0;        // the link names an existing local file
};

// An outline entry (title, y, page, number) or, during one harvest, a table-of-contents link
// waiting for its heading (kind, matchText, title, sequence, linkNumber).
struct CBookmarkEntry {
    std::string kind;       // "range" for a text link, "shape" for a link on a shape
    std::string matchText;  // what the entry's heading text begins with
    std::string title;
    INT sequence = 0;    // 1, 2, ... in order of creation
    INT linkNumber = 0;  // 1-based position of the link's record in the hyperlink records
    float y = 0;
    INT page = 0;
    std::string number;  // "1", "1.2", "1.2.3"...
};
