// Pop-up menus made from a table of commands, their texts from the selected language.
#pragma once

#include <span>

class QMenu;

struct MenuItem {
    int id;           // kMenuSeparator for a separator
    const char* key;  // the text's key in the menu's language section
};
inline constexpr int kMenuSeparator = 0;

// Adds the items in table order, texts as written (an "&" is no mnemonic here), each command's
// action carrying its id as its data.
void AddMenuItems(QMenu& menu, const char* section, std::span<const MenuItem> items);
