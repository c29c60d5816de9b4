// What the batch list asks of the window that hosts it. Every call is synchronous and made on the
// UI thread; the list knows nothing of jobs, its parent answers from them.
#pragma once

#include <string>

#include "ui/CellInfo.h"

class CMyCustomizeList;

class IListParent {
  public:
    virtual ~IListParent() = default;
    // Fills `info` for the cell info.row, info.column; every other field comes in at its default.
    virtual void OnGetCellInfo(CMyCustomizeList& list, CellInfo& info) = 0;
    // A left click on a row.
    virtual void OnCellClick(CMyCustomizeList& list, const ClickInfo& click) = 0;
    // One file of a drop of `count` files, called once per file in the drop's order.
    virtual void OnFileDropped(unsigned count, const std::string& path) = 0;
};
