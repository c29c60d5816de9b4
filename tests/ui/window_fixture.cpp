#include "tests/ui/window_fixture.h"

#include <system_error>

#include "platform/program_folder.h"

namespace fs = std::filesystem;

namespace testing_support {

void PrepareWindowProgramFolder(const std::string& buildProgramFolder) {
    const fs::path folder = GetProgramFolder();
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(buildProgramFolder)) {
        const fs::path link = folder / entry.path().filename();
        if (entry.path().filename() == "Config.ini" || fs::exists(fs::symlink_status(link)))
            continue;
        fs::create_symlink(entry.path(), link, ignored);
    }
    fs::remove(folder / "Config.ini", ignored);
}

int AnsweredWindow::RunMessageBox(const std::string& text, const std::string&, UINT type) {
    messages.push_back(text);
    return (type & MB_TYPEMASK) == MB_YESNO ? answer : IDOK;
}

std::vector<std::string> AnsweredWindow::AskForDocuments() {
    return realFileDialog ? CFolvaneDlg::AskForDocuments() : chosen;
}

}  // namespace testing_support
