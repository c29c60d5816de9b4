#include "ui/AddFile.h"

#include <sys/stat.h>

#include <cstdio>
#include <memory>

std::string LowerCaseExtension(const std::string& path) {
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos) {
        return {};
    }
    std::string extension = path.substr(dot);
    for (char& c : extension) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return extension;
}

std::string FormatSizeText(std::uint32_t bytes) {
    // The list has always shown sizes through a single-precision number; keep its rounding.
    const float size = static_cast<float>(bytes);
    const double kb = size * (1.0 / 1024);
    char text[64];
    if (kb < 100) {
        std::snprintf(text, sizeof text, "%0.2f KB", kb);
    } else {
        std::snprintf(text, sizeof text, "%lld KB", static_cast<long long>(size) / 1024);
    }
    return text;
}

AddFileResult AddFile(JobList& jobs, const std::string& path, bool& warnDuplicate,
                      const AddFileMessage& showMessage) {
    const std::string extension = LowerCaseExtension(path);
    if (extension != ".doc" && extension != ".docx") {
        showMessage("NOTPDF", true);
        return AddFileResult::NotWordDocument;
    }
    for (const auto& job : jobs) {
        if (job->m_strFilePath == path) {
            if (warnDuplicate) {
                showMessage("Added", false);
                warnDuplicate = false;
            }
            return AddFileResult::Duplicate;
        }
    }

    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return AddFileResult::NotFound;
    }
    auto job = std::make_unique<CWordRecord>();
    job->m_strFilePath = path;
    const std::size_t slash = path.rfind('/');
    job->m_strFileName = slash == std::string::npos ? std::string() : path.substr(slash + 1);
    job->m_bChecked = true;
    // A folder's directory entry has no size of its own.
    const auto bytes = S_ISDIR(info.st_mode) ? 0u : static_cast<std::uint32_t>(info.st_size);
    job->m_strSizeText = FormatSizeText(bytes);
    jobs.push_back(std::move(job));
    return AddFileResult::Added;
}
