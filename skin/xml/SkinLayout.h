// What a skin file says about one dialog: its background picture, its skinned buttons and
// statics and its plain placements, read without touching a window. Applying them to a dialog
// needs the skinned controls; this is the reading half.
#pragma once

#include <optional>
#include <string>
#include <vector>

// The skin file's name inside a skin folder.
inline constexpr char kSkinSettingFile[] = "SkinSetting.xml";
// The main window's section.
inline constexpr char kMainDlgSetting[] = "MainDlgSetting";
// Each list holds at most this many entries; later ones are ignored.
inline constexpr int kMaxSkinEntries = 260;

struct SkinRect {
    int left = 0;
    int top = 0;
    int length = 0;  // width
    int height = 0;
};

struct SkinButton {
    int id = 0;
    std::string picture;  // skin folder + szFilePath
    SkinRect rect;
    int buttonType = 0;      // 1: check button
    int buttonShowHide = 0;  // 1: hidden
};

struct SkinStatic {
    int id = 0;
    std::string picture;
    SkinRect rect;
    int extendX = 0;  // repeated column, 0 = none
    int extendY = 0;  // repeated row, 0 = none
    int parentId = 0;
};

struct SkinPlacement {
    int id = 0;
    SkinRect rect;
};

struct SkinLayout {
    std::string background;  // skin folder + szFilePath; empty without a BackGround element
    std::vector<SkinButton> buttons;
    std::vector<SkinStatic> statics;
    std::vector<SkinPlacement> placements;
};

// Reads section of skinFolder + "SkinSetting.xml", in document order. skinFolder ends in a
// separator; picture paths are appended to it as they stand. Nothing when the file is missing
// or malformed, so that the caller changes nothing.
std::optional<SkinLayout> ReadSkinLayout(const std::string& skinFolder, const std::string& section);
