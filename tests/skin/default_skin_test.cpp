// The default skin drawn at build time: its file parses and names pictures that exist, in the
// sizes the layout implies.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "skin/xml/SkinLayout.h"

namespace {

struct BmpSize {
    int width = 0;
    int height = 0;
};

// Width and height from a BMP file's headers; nothing when it is not one.
std::optional<BmpSize> ReadBmpSize(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    unsigned char head[26] = {};
    if (!in.read(reinterpret_cast<char*>(head), sizeof head) || head[0] != 'B' || head[1] != 'M') {
        return std::nullopt;
    }
    auto i32 = [&](int at) {
        return static_cast<int32_t>(head[at] | head[at + 1] << 8 | head[at + 2] << 16 |
                                    static_cast<uint32_t>(head[at + 3]) << 24);
    };
    int height = i32(22);
    return BmpSize{i32(18), height < 0 ? -height : height};
}

const std::string kSkinFolder = std::string(TESSALINE_DEFAULT_SKIN_DIR) + "/";

TEST(DefaultSkin, PlacesEveryButtonOfTheMainWindowWithItsStrip) {
    auto layout = ReadSkinLayout(kSkinFolder, kMainDlgSetting);
    ASSERT_TRUE(layout.has_value()) << kSkinFolder << kSkinSettingFile;

    auto background = ReadBmpSize(layout->background);
    ASSERT_TRUE(background.has_value()) << layout->background;
    EXPECT_EQ(background->width, 650);
    EXPECT_EQ(background->height, 450);

    std::map<int, SkinButton> buttons;
    for (const SkinButton& b : layout->buttons) {
        EXPECT_TRUE(buttons.emplace(b.id, b).second) << "button " << b.id << " placed twice";
    }
    for (int id : {1000, 1001, 1002, 1003, 1005, 1009, 1010, 1014}) {
        ASSERT_TRUE(buttons.count(id)) << "button " << id;
        const SkinButton& b = buttons[id];
        auto strip = ReadBmpSize(b.picture);
        ASSERT_TRUE(strip.has_value()) << b.picture;
        // Four frames side by side, each the button's size.
        EXPECT_EQ(strip->width, 4 * b.rect.length) << b.picture;
        EXPECT_EQ(strip->height, b.rect.height) << b.picture;
        EXPECT_EQ(b.buttonShowHide, 0) << id;
        // Inside the window, clear of the list and of each other.
        EXPECT_GE(b.rect.left, 0);
        EXPECT_LE(b.rect.left + b.rect.length, 650) << id;
        EXPECT_LE(b.rect.top + b.rect.height, 450) << id;
        EXPECT_TRUE(b.rect.top + b.rect.height <= 89 || b.rect.top >= 89 + 294) << id;
        for (const auto& [otherId, o] : buttons) {
            bool apart = b.rect.left + b.rect.length <= o.rect.left ||
                         o.rect.left + o.rect.length <= b.rect.left ||
                         b.rect.top + b.rect.height <= o.rect.top ||
                         o.rect.top + o.rect.height <= b.rect.top;
            EXPECT_TRUE(otherId == id || apart) << id << " overlaps " << otherId;
        }
    }
    for (const SkinStatic& s : layout->statics) {
        auto picture = ReadBmpSize(s.picture);
        ASSERT_TRUE(picture.has_value()) << s.picture;
        EXPECT_GT(picture->width, 0);
    }
}

TEST(DefaultSkin, DrawsTheIconsTheProgramUses) {
    for (const char* name : {"ProgramIcon.bmp", "SettingsIcon.bmp"}) {
        auto icon = ReadBmpSize(kSkinFolder + name);
        ASSERT_TRUE(icon.has_value()) << name;
        EXPECT_EQ(icon->width, 32) << name;
        EXPECT_EQ(icon->height, 32) << name;
    }
}

}  // namespace
