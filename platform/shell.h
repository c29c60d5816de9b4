// The shell: where the user keeps documents, and opening a file or web address with the user's
// default application.
#pragma once

#include <string>

namespace platform {

// The user's personal documents folder, without a trailing "/": XDG_DOCUMENTS_DIR from
// ${XDG_CONFIG_HOME:-$HOME/.config}/user-dirs.dirs when it names one, else $HOME/Documents.
// Empty when there is no home folder.
std::string PersonalDocumentsFolder();

// Opens a file or URL with the user's default application through xdg-open, without waiting
// for it: the launcher runs on its own and is reaped in the background. The argument reaches it
// as written, never through a shell. True when the launcher was started; whether it found an
// application is not known here.
bool ShellOpen(const std::string& fileOrUrl);

}  // namespace platform
