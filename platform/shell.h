// The shell's folders: where the user keeps documents.
#pragma once

#include <string>

namespace platform {

// The user's personal documents folder, without a trailing "/": XDG_DOCUMENTS_DIR from
// ${XDG_CONFIG_HOME:-$HOME/.config}/user-dirs.dirs when it names one, else $HOME/Documents.
// Empty when there is no home folder.
std::string PersonalDocumentsFolder();

}  // namespace platform
