// What a job's row shows in each column of the batch list: check box and number, name, size,
// the settings icon, and the status (progress bar, then the PDF's name as a link).
#pragma once

#include "convert/WordRecord.h"
#include "ui/CellInfo.h"

inline constexpr int kSettingsColumn = 3;
inline constexpr int kProgressColumn = 4;
inline constexpr int kSettingsImage = 0;  // the settings icon's index in the list's images

// Fills info for info.row, info.column from the row's job.
void FillJobCellInfo(const CWordRecord& job, CellInfo& info);
