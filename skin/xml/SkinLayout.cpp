#include "skin/xml/SkinLayout.h"

#include <algorithm>

#include "skin/xml/XMLParse.h"

namespace {

SkinRect ReadRect(const XMLParse& xml, XMLNode entry) {
    return {xml.Int("left", entry), xml.Int("top", entry), xml.Int("length", entry),
            xml.Int("height", entry)};
}

// Calls read(entry) for each element called entryName of the list called listName, up to
// kMaxSkinEntries.
template <typename Read>
void ForEachEntry(const XMLParse& xml, XMLNode section, const char* listName, const char* entryName,
                  Read read) {
    XMLNode list = xml.Node(section, listName, 0);
    int n = std::min(xml.Count(entryName, list), kMaxSkinEntries);
    for (int i = 0; i < n; ++i) {
        read(xml.Node(list, entryName, i));
    }
}

}  // namespace

std::optional<SkinLayout> ReadSkinLayout(const std::string& skinFolder,
                                         const std::string& section) {
    XMLParse xml;
    if (!xml.Load(skinFolder + kSkinSettingFile)) {
        return std::nullopt;
    }
    XMLNode root = xml.Node(nullptr, "AppSetting", 0);
    XMLNode sec = root ? xml.Node(root, section, 0) : nullptr;

    SkinLayout layout;
    if (!sec) {
        return layout;
    }
    if (XMLNode background = xml.Node(sec, "BackGround", 0)) {
        layout.background = skinFolder + xml.String("szFilePath", background);
    }
    ForEachEntry(xml, sec, "BmpButtons", "BmpButton", [&](XMLNode entry) {
        layout.buttons.push_back(
            {xml.Int("BmpButtonID", entry), skinFolder + xml.String("szFilePath", entry),
             ReadRect(xml, entry), xml.Int("ButtonType", entry), xml.Int("ButtonShowHide", entry)});
    });
    ForEachEntry(xml, sec, "BmpStatics", "BmpStatic", [&](XMLNode entry) {
        SkinStatic s{xml.Int("BmpStaticID", entry), skinFolder + xml.String("szFilePath", entry),
                     ReadRect(xml, entry),          xml.Int("extendnx", entry),
                     xml.Int("extendny", entry),    xml.Int("parentid", entry)};
        // Either one at -1 means the picture is simply stretched.
        if (s.extendX == -1 || s.extendY == -1) {
            s.extendX = s.extendY = 0;
        }
        layout.statics.push_back(std::move(s));
    });
    ForEachEntry(xml, sec, "WindowsPos", "WindowPos", [&](XMLNode entry) {
        layout.placements.push_back({xml.Int("ControlID", entry), ReadRect(xml, entry)});
    });
    return layout;
}
