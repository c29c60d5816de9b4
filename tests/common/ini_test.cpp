#include "common/ini/Ini.h"

#include <gtest/gtest.h>
#include <locale.h>

#include <climits>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "tests/support/run_process.h"
#include "tests/support/scoped_environment.h"

namespace {

using Strings = std::vector<std::string>;

// The items of a double-NUL-terminated list, which must end within size bytes.
Strings Items(const char* list, size_t size) {
    Strings items;
    size_t i = 0;
    while (i < size && list[i] != '\0') {
        items.emplace_back(list + i, strnlen(list + i, size - i));
        i += items.back().size() + 1;
    }
    EXPECT_LT(i, size) << "the list does not end inside the buffer";
    return items;
}

// A value with a letter every 97 bytes, so that a lost or repeated block shows.
std::string PatternValue(size_t length) {
    std::string value(length, 'x');
    for (size_t i = 0; i < length; i += 97) {
        value[i] = static_cast<char>('a' + i / 97 % 26);
    }
    return value;
}

class IniTest : public ::testing::Test {
  protected:
    std::filesystem::path File() const { return env_.Work() / "test.ini"; }
    void Put(const std::string& content) { testing_support::WriteFile(File(), content); }
    std::string Content() const { return testing_support::ReadFile(File()); }

    testing_support::ScopedPlatform env_;
    std::string path_ = File().string();
    CIni ini_{path_.c_str()};
};

TEST_F(IniTest, PathIsOwnedAndCopiedDeeply) {
    char buffer[8];
    std::memset(buffer, '#', sizeof(buffer));
    EXPECT_EQ(ini_.GetPath(nullptr, 0), path_.size());
    EXPECT_EQ(ini_.GetPath(buffer, 5), 4u);
    EXPECT_EQ(std::string(buffer), path_.substr(0, 4));
    EXPECT_EQ(buffer[5], '#');

    ASSERT_TRUE(ini_.WriteString("S", "K", "v"));
    CIni assigned;
    {
        CIni copy(ini_);
        assigned = copy;
    }
    ini_.SetPath(nullptr);
    EXPECT_EQ(ini_.GetPath(nullptr, 0), 0u);
    EXPECT_EQ(assigned.GetString("S", "K"), "v");
    EXPECT_EQ(assigned.GetString("S", "Missing"), "");

    // Without a path reads give the default and writes fail.
    CIni none;
    EXPECT_EQ(none.GetString("S", "K", "dflt"), "dflt");
    EXPECT_FALSE(none.WriteString("S", "K", "v"));
}

// Values around the 512-byte growth steps are read whole.
TEST_F(IniTest, LongValuesAreReadWhole) {
    for (size_t length : {510u, 511u, 512u, 513u, 1023u, 1024u, 1025u}) {
        std::string value = PatternValue(length);
        ASSERT_TRUE(ini_.WriteString("Long", "Value", value.c_str()));
        EXPECT_EQ(ini_.GetString("Long", "Value"), value) << length;
        EXPECT_EQ(ini_.GetString("Long", "Value", nullptr, 0), length);
        std::vector<char> buffer(length + 1, '\0');
        EXPECT_EQ(ini_.GetString("Long", "Value", buffer.data(), length), length);
        EXPECT_EQ(std::string(buffer.data()), value) << length;
    }
}

// Slow by design: the read grows 512 bytes per platform call, about 2000 calls here.
TEST_F(IniTest, MegabyteValueIsReadWhole) {
    std::string value = PatternValue(1u << 20);
    ASSERT_TRUE(ini_.WriteString("Long", "Value", value.c_str()));
    EXPECT_TRUE(ini_.GetString("Long", "Value") == value);
}

TEST_F(IniTest, StringsKeysAndTheMissingKeyMarker) {
    ASSERT_TRUE(ini_.WriteString("S", "K", "abcdef"));
    char buffer[8];
    std::memset(buffer, '#', sizeof(buffer));
    // A value of size bytes or more fills exactly size bytes, with no terminator.
    EXPECT_EQ(ini_.GetString("S", "K", buffer, 4), 4u);
    EXPECT_EQ(std::string(buffer, 5), "abcd#");
    EXPECT_EQ(ini_.GetString("S", "Missing", buffer, 7, "dflt"), 4u);
    EXPECT_STREQ(buffer, "dflt");
    EXPECT_EQ(ini_.GetString(nullptr, "K", "dflt"), "dflt");

    EXPECT_FALSE(ini_.WriteString("S", nullptr, "v"));
    // A null value writes an empty value; it never deletes.
    ASSERT_TRUE(ini_.WriteString("S", "Empty", nullptr));
    EXPECT_TRUE(ini_.HasKey("S", "Empty"));
    EXPECT_NE(Content().find("Empty="), std::string::npos);
    EXPECT_TRUE(ini_.DeleteKey("S", "Empty"));
    EXPECT_FALSE(ini_.HasKey("S", "Empty"));
    // A null key must not take the whole section with it.
    EXPECT_FALSE(ini_.DeleteKey("S", nullptr));
    EXPECT_TRUE(ini_.HasKey("S", "K"));

    EXPECT_TRUE(ini_.AppendString("S", "K", "gh"));
    EXPECT_FALSE(ini_.AppendString("S", "K", nullptr));
    EXPECT_EQ(ini_.GetString("S", "K"), "abcdefgh");

    ASSERT_TRUE(ini_.WriteString("S", "Marker", "{63788286-AE30-4D6B-95DF-3B451C1C79F9}"));
    EXPECT_FALSE(ini_.HasKey("S", "Marker"));
    EXPECT_TRUE(ini_.DeleteSection("S"));
    EXPECT_FALSE(ini_.HasKey("S", "K"));
}

TEST_F(IniTest, IntegersReadAsWindowsStrtoul) {
    Put("[N]\nHex=0x1F\nNeg=-5\nBig=4294967296\nJunk=  42abc\nBin=101\nEmpty=\nLong=" +
        std::string(63, '0') + "12\n");
    EXPECT_EQ(ini_.GetInt("N", "Hex", -1, 16), 31);
    EXPECT_EQ(ini_.GetInt("N", "Hex", -1, 7), 0);
    EXPECT_EQ(ini_.GetInt("N", "Neg", 0), -5);
    EXPECT_EQ(ini_.GetUInt("N", "Neg", 0), 0xFFFFFFFBu);
    EXPECT_EQ(ini_.GetUInt("N", "Big", 0), 0xFFFFFFFFu);
    EXPECT_EQ(ini_.GetInt("N", "Junk", 0), 42);
    EXPECT_EQ(ini_.GetInt("N", "Bin", 0, 2), 5);
    EXPECT_EQ(ini_.GetInt("N", "Empty", 77), 77);
    // Only the first 64 bytes count: 63 zeros and a "1".
    EXPECT_EQ(ini_.GetInt("N", "Long", 0), 1);
}

TEST_F(IniTest, IntegersWrittenInEachBase) {
    const std::string ones(32, '1');
    struct Case {
        int value;
        int base;
        const char* text;
    };
    for (const Case& c : {Case{5, 2, "101"}, Case{0, 2, "0"}, Case{-1, 2, ones.c_str()},
                          Case{8, 8, "10"}, Case{255, 16, "FF"}, Case{-7, 3, "-7"}}) {
        ASSERT_TRUE(ini_.WriteInt("N", "V", c.value, c.base));
        EXPECT_EQ(ini_.GetString("N", "V"), c.text) << c.value << " base " << c.base;
        EXPECT_EQ(ini_.GetInt("N", "V", 99, c.base), c.value);
    }
    ASSERT_TRUE(ini_.WriteUInt("N", "U", 4294967295u));
    EXPECT_EQ(ini_.GetString("N", "U"), "4294967295");

    EXPECT_TRUE(ini_.AddToInt("N", "Count", 5, 16));
    EXPECT_TRUE(ini_.AddToInt("N", "Count", 11, 16));
    EXPECT_EQ(ini_.GetString("N", "Count"), "10");
    ASSERT_TRUE(ini_.WriteInt("N", "Max", INT_MAX));
    EXPECT_TRUE(ini_.AddToInt("N", "Max", 1));
    EXPECT_EQ(ini_.GetInt("N", "Max", 0), INT_MIN);
}

TEST_F(IniTest, BooleansAndCharacters) {
    Put("[B]\nYes=Yes\nTrue=TRUE\nTwo=2\nMinus=-1\nNo=no\nZero=0\nEmpty=\nText=hello\n");
    for (const char* key : {"Yes", "True", "Two", "Minus"}) {
        EXPECT_TRUE(ini_.GetBool("B", key, FALSE)) << key;
    }
    EXPECT_FALSE(ini_.GetBool("B", "No", TRUE));
    EXPECT_FALSE(ini_.GetBool("B", "Zero", TRUE));
    EXPECT_TRUE(ini_.GetBool("B", "Empty", TRUE));
    EXPECT_TRUE(ini_.WriteBool("B", "Flag", 5));
    EXPECT_EQ(ini_.GetString("B", "Flag"), "1");
    EXPECT_TRUE(ini_.ToggleBool("B", "Flag"));
    EXPECT_EQ(ini_.GetString("B", "Flag"), "0");

    EXPECT_EQ(ini_.GetChar("B", "Text", '?'), 'h');
    EXPECT_EQ(ini_.GetChar("B", "Empty", '?'), '?');
    EXPECT_TRUE(ini_.WriteChar("B", "Char", 'z'));
    EXPECT_EQ(ini_.GetString("B", "Char"), "z");
}

TEST_F(IniTest, DoublesInFixedNotation) {
    const struct {
        double value;
        int precision;
        const char* text;
    } cases[] = {{1.5, -1, "1.500000"}, {3.14159, 2, "3.14"}, {2.0, 0, "2.000000"}};
    for (const auto& c : cases) {
        EXPECT_TRUE(ini_.WriteDouble("D", "A", c.value, c.precision));
        EXPECT_EQ(ini_.GetString("D", "A"), c.text);
    }
    // Values beyond any small fixed buffer are written in full.
    EXPECT_TRUE(ini_.WriteDouble("D", "Huge", -1e300, 3));
    EXPECT_EQ(ini_.GetString("D", "Huge").size(), 306u);

    Put("[D]\nSci=2.5e3\nEmpty=\n");
    EXPECT_DOUBLE_EQ(ini_.GetDouble("D", "Sci", 0.0), 2500.0);
    EXPECT_DOUBLE_EQ(ini_.GetDouble("D", "Empty", 7.25), 7.25);
    EXPECT_TRUE(ini_.AddToDouble("D", "Sci", 0.25, 2));
    EXPECT_EQ(ini_.GetString("D", "Sci"), "2500.25");
}

// Switches LC_NUMERIC to a locale with a decimal comma: an installed one, or one compiled into
// folder with localedef and found through LOCPATH.
bool UseCommaLocale(const std::filesystem::path& folder,
                    std::optional<testing_support::ScopedEnvVar>& locpath) {
    if (setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr) {
        return true;
    }
    std::filesystem::create_directories(folder);
    testing_support::RunProcess(
        {"/usr/bin/localedef", "-i", "de_DE", "-f", "UTF-8", (folder / "de_DE.UTF-8").string()});
    locpath.emplace("LOCPATH", folder.string());
    return setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
}

TEST_F(IniTest, DoublesIgnoreTheProcessLocale) {
    const std::string saved = setlocale(LC_NUMERIC, nullptr);
    std::optional<testing_support::ScopedEnvVar> locpath;
    if (!UseCommaLocale(env_.Work() / "locales", locpath)) {
        GTEST_SKIP() << "no locale with a decimal comma is installed or can be compiled";
    }
    const bool comma = std::strcmp(localeconv()->decimal_point, ",") == 0;
    const bool written = ini_.WriteDouble("D", "A", 1.5, 1);
    const double read = ini_.GetDouble("D", "A", 0.0);
    setlocale(LC_NUMERIC, saved.c_str());
    ASSERT_TRUE(comma);
    EXPECT_TRUE(written);
    EXPECT_EQ(ini_.GetString("D", "A"), "1.5");
    EXPECT_DOUBLE_EQ(read, 1.5);
}

TEST_F(IniTest, HexBlocksPointsAndRectangles) {
    Put("[H]\nOdd=0A1\nBad=0G\nLower=0a0b0c\n");
    unsigned char bytes[4] = {0xEE, 0xEE, 0xEE, 0xEE};
    EXPECT_EQ(ini_.GetHexBlock("H", "Odd", bytes, sizeof(bytes)), 1u);
    EXPECT_EQ(bytes[0], 0x0A);
    EXPECT_EQ(bytes[1], 0xEE);
    EXPECT_EQ(ini_.GetHexBlock("H", "Bad", bytes, sizeof(bytes)), 0u);
    EXPECT_EQ(ini_.GetHexBlock("H", "Lower", nullptr, 0, 1), 2u);
    EXPECT_EQ(ini_.GetHexBlock("H", "Lower", bytes, 1, 1), 1u);
    EXPECT_EQ(bytes[0], 0x0B);
    EXPECT_EQ(bytes[1], 0xEE);
    EXPECT_EQ(ini_.GetHexBlock("H", "Lower", bytes, sizeof(bytes), 3), 0u);

    const unsigned char data[] = {0x00, 0xAB, 0x7F};
    EXPECT_FALSE(ini_.WriteHexBlock("H", "Data", nullptr, 3));
    EXPECT_TRUE(ini_.WriteHexBlock("H", "Data", data, sizeof(data)));
    EXPECT_TRUE(ini_.AppendHexBlock("H", "Data", data + 1, 1));
    EXPECT_EQ(ini_.GetString("H", "Data"), "00AB7FAB");

    const POINT defaultPoint{7, 7};
    const RECT defaultRect{9, 9, 9, 9};
    ASSERT_TRUE(ini_.WritePoint("G", "P", POINT{1, -2}));
    ASSERT_TRUE(ini_.WriteRect("G", "R", RECT{-10, 20, INT_MAX, INT_MIN}));
    // Little-endian 32-bit fields in order.
    EXPECT_EQ(ini_.GetString("G", "P"), "01000000FEFFFFFF");
    POINT p = ini_.GetPoint("G", "P", defaultPoint);
    EXPECT_EQ(std::make_pair(p.x, p.y), std::make_pair(1, -2));
    RECT r = ini_.GetRect("G", "R", defaultRect);
    EXPECT_EQ(std::make_tuple(r.left, r.top, r.right, r.bottom),
              std::make_tuple(-10, 20, INT_MAX, INT_MIN));
    // Too few bytes give the default.
    EXPECT_EQ(ini_.GetRect("G", "P", defaultRect).left, 9);
    ASSERT_TRUE(ini_.WriteString("G", "Short", "01000000"));
    EXPECT_EQ(ini_.GetPoint("G", "Short", defaultPoint).x, 7);
}

TEST_F(IniTest, ListsSplitTrimAndFitTheBuffer) {
    Put("[L]\nItems=a, b,,c ,  ,d\nPath=x::y::::z\nBlank= , ,\nWhole=one, two\n");
    char buffer[32];
    EXPECT_EQ(ini_.GetList("L", "Items", buffer, sizeof(buffer)), 8u);
    EXPECT_EQ(Items(buffer, sizeof(buffer)), (Strings{"a", "b", "c", "d"}));
    EXPECT_EQ(ini_.GetList("L", "Items", nullptr, 0), 8u);
    EXPECT_EQ(ini_.GetList("L", "Items", buffer, sizeof(buffer), ",", FALSE), 13u);
    EXPECT_EQ(Items(buffer, sizeof(buffer)), (Strings{"a", " b", "c ", "  ", "d"}));
    EXPECT_EQ(ini_.GetList("L", "Path", buffer, sizeof(buffer), "::"), 6u);
    EXPECT_EQ(Items(buffer, sizeof(buffer)), (Strings{"x", "y", "z"}));
    EXPECT_EQ(ini_.GetList("L", "Blank", buffer, sizeof(buffer)), 0u);
    EXPECT_EQ(ini_.GetList("L", "Whole", nullptr, 0, ""), 8u);
    EXPECT_EQ(ini_.GetList("L", "Whole", buffer, 5, ""), 3u);
    EXPECT_EQ(Items(buffer, 5), Strings{"one"});

    // Pieces are cut to the room left; nothing is written past the buffer and the list always
    // ends inside it.
    const Strings expected[] = {{}, {}, {}, {"o"}, {"on"}, {"one"}, {"one"}, {"one", "t"}};
    for (DWORD size = 0; size < 8; ++size) {
        std::memset(buffer, '#', sizeof(buffer));
        DWORD count = ini_.GetList("L", "Whole", buffer, size);
        EXPECT_EQ(buffer[size], '#') << size;
        if (size > 0) {
            EXPECT_EQ(Items(buffer, size), expected[size]) << size;
            EXPECT_EQ(buffer[count], '\0') << size;
        }
    }
}

TEST_F(IniTest, EnumeratingSectionsAndKeys) {
    Put("[First]\nAlpha=1\n  Gamma   = 3\nbare line\n=orphan\nBeta=\n[Second]\n[Third]\nX=y\n");
    char buffer[64];
    EXPECT_EQ(ini_.GetSectionNames(nullptr, 0), 21u);
    EXPECT_EQ(ini_.GetSectionNames(buffer, sizeof(buffer)), 19u);
    EXPECT_EQ(Items(buffer, sizeof(buffer)), (Strings{"First", "Second", "Third"}));
    EXPECT_TRUE(ini_.HasSection("THIRD"));
    EXPECT_FALSE(ini_.HasSection("Fourth"));

    EXPECT_EQ(ini_.GetSectionLines("Second", nullptr, 0), 2u);
    // Names before "=", trimmed; lines without a name do not count.
    EXPECT_EQ(ini_.GetKeyNames("First", nullptr, 0), 17u);
    EXPECT_EQ(ini_.GetKeyNames("First", buffer, sizeof(buffer)), 17u);
    EXPECT_EQ(Items(buffer, sizeof(buffer)), (Strings{"Alpha", "Gamma", "Beta"}));
    std::memset(buffer, '#', sizeof(buffer));
    EXPECT_EQ(ini_.GetKeyNames("First", buffer, 10), 9u);
    EXPECT_EQ(Items(buffer, 10), (Strings{"Alpha", "Ga"}));
    EXPECT_EQ(buffer[10], '#');
    EXPECT_EQ(ini_.GetKeyNames("First", buffer, 8), 6u);
    EXPECT_EQ(Items(buffer, 8), Strings{"Alpha"});

    // A listing longer than one growth step: 200 lines "KeyN=N" with 490 value digits in all.
    for (int i = 0; i < 200; ++i) {
        ASSERT_TRUE(ini_.WriteInt("Many", ("Key" + std::to_string(i)).c_str(), i));
    }
    DWORD needed = ini_.GetSectionLines("Many", nullptr, 0);
    std::vector<char> lines(needed);
    EXPECT_EQ(ini_.GetSectionLines("Many", lines.data(), needed) + 2, needed);
    EXPECT_EQ(Items(lines.data(), needed).size(), 200u);
    EXPECT_EQ(ini_.GetKeyNames("Many", nullptr, 0), needed - 2 - 200 - 490);
}

TEST_F(IniTest, CopyingAndMovingSections) {
    Put("[From]\nA=1\nB=2\n[To]\nOld=x\n");
    const std::string before = Content();
    EXPECT_FALSE(ini_.CopySection("From", "FROM", FALSE));
    EXPECT_FALSE(ini_.MoveSection("From", "from", FALSE));
    EXPECT_FALSE(ini_.CopySection("Absent", "New", FALSE));
    EXPECT_FALSE(ini_.CopySection("From", "To", TRUE));
    EXPECT_EQ(Content(), before);

    // The target is replaced, not merged.
    EXPECT_TRUE(ini_.CopySection("From", "To", FALSE));
    EXPECT_FALSE(ini_.HasKey("To", "Old"));
    EXPECT_EQ(ini_.GetString("To", "B"), "2");
    EXPECT_TRUE(ini_.MoveSection("From", "Moved", TRUE));
    EXPECT_FALSE(ini_.HasSection("From"));
    EXPECT_EQ(ini_.GetString("Moved", "A"), "1");
}

TEST_F(IniTest, CopyingAndMovingKeys) {
    Put("[S]\nA=1\nEmpty=\n[T]\nB=old\n");
    const std::string before = Content();
    EXPECT_FALSE(ini_.CopyKey("S", "A", "s", "a", FALSE));
    EXPECT_FALSE(ini_.MoveKey("S", "A", "s", "a", FALSE));
    EXPECT_FALSE(ini_.CopyKey("S", "Absent", "T", "C", FALSE));
    EXPECT_FALSE(ini_.CopyKey("S", "A", "T", "B", TRUE));
    EXPECT_EQ(Content(), before);

    EXPECT_TRUE(ini_.CopyKey("S", "A", "T", "B", FALSE));
    EXPECT_EQ(ini_.GetString("T", "B"), "1");
    EXPECT_TRUE(ini_.CopyKey("S", "Empty", "New", "E", TRUE));
    EXPECT_TRUE(ini_.HasKey("New", "E"));
    EXPECT_TRUE(ini_.MoveKey("S", "A", "T", "C", TRUE));
    EXPECT_FALSE(ini_.HasKey("S", "A"));
    EXPECT_EQ(ini_.GetString("T", "C"), "1");
}

}  // namespace
