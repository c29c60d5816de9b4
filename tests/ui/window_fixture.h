// The main window in a test: its program folder (the test executable's own) laid out like the
// build's, so the window finds its languages and skin, and without a Config.ini from an earlier
// test. The window tests share that folder and never run at the same time.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "ui/CFolvaneDlg.h"

namespace testing_support {

// Links every entry of the build's program folder into this program's folder (once), and
// removes Config.ini.
void PrepareWindowProgramFolder(const std::string& buildProgramFolder);

// The real window, with message boxes and the Add dialog answered by the test.
class AnsweredWindow : public CFolvaneDlg {
  public:
    using CFolvaneDlg::CFolvaneDlg;
    std::vector<std::string> messages;
    int answer = IDYES;               // to a Yes/No question
    std::vector<std::string> chosen;  // the Add dialog's selection
    bool realFileDialog = false;      // show Qt's file dialog instead

  protected:
    int RunMessageBox(const std::string& text, const std::string& caption, UINT type) override;
    std::vector<std::string> AskForDocuments() override;
};

}  // namespace testing_support
