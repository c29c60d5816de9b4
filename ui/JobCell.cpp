#include "ui/JobCell.h"

#include <string>

#include "lang/LanguageProvider.h"

namespace {
constexpr COLORREF kFailedTextColor = 0x000000C8;  // dark red
}  // namespace

void FillJobCellInfo(const CWordRecord& job, CellInfo& info) {
    switch (info.column) {
        case 0:
            info.hasCheckBox = true;
            info.checkBoxNoSelectColors = false;
            info.checkState = job.m_bChecked ? DFCS_CHECKED : 0;
            info.text = std::to_string(info.row + 1);
            break;
        case 1:
            info.text = job.m_strFileName;
            info.tip = job.m_strFilePath;
            break;
        case 2:
            info.text = job.m_strSizeText;
            break;
        case kSettingsColumn:
            info.image = kSettingsImage;
            info.imageCentered = true;
            info.imageClickable = true;
            info.imageNoSelectColors = false;
            break;
        case kProgressColumn:
            if (job.m_bFailed && !job.m_bChecked) {
                // A failed document says so, and why when pointed at.
                info.text = LangText("JobFailure", "Failed");
                info.textColor = kFailedTextColor;
                info.tip = job.m_strFailure;
                break;
            }
            info.text = job.m_strOutputName;
            info.link = job.m_bDone;
            info.tip = job.m_bChecked ? std::string() : job.m_strOutputPath;
            info.progressMax = job.m_bShowProgress ? 100 : 0;
            info.progressValue = job.m_bShowProgress ? job.m_nProgress.load() : 0;
            info.progressEdge = 0;
            break;
        default:
            break;
    }
}
