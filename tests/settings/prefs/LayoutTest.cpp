// The window-layout file "HxZn.dat": 281 bytes, byte for byte.
#include "PrefsTestUtil.h"

using namespace prefs_test;

namespace {

std::string U32(uint32_t v) {
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i) s[static_cast<size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
    return s;
}

class LayoutTest : public PrefsFixture {};

TEST_F(LayoutTest, FirstStartWritesTheExact281Bytes) {
    Prefs().StartupLoad();
    std::string expected;
    expected += '\x01';
    expected += std::string(16, '\0');
    // Main window: length 44, flags 0, show 0, min 0 0, max 0 0, normal 10 10 700 500.
    expected += U32(44) + U32(0) + U32(0) + U32(0) + U32(0) + U32(0) + U32(0) + U32(10) + U32(10) + U32(700) + U32(500);
    expected += std::string(5 * 44, '\0');
    ASSERT_EQ(expected.size(), 281u);
    EXPECT_EQ(ReadAll(Dat()), expected);
    for (int i = LAYOUT_MAGNIFIER; i < LAYOUT_SLOTS; ++i) EXPECT_FALSE(data.layout.placement[i].IsPresent()) << i;
    EXPECT_TRUE(data.layout.placement[LAYOUT_MAIN].IsPresent());
}

TEST_F(LayoutTest, PlacementsSitAtTheirOffsetsLittleEndian) {
    EXPECT_EQ(zns::PlacementOffset(LAYOUT_MAIN), 17u);
    EXPECT_EQ(zns::PlacementOffset(LAYOUT_MAGNIFIER), 61u);
    EXPECT_EQ(zns::PlacementOffset(LAYOUT_WIDE_RX1), 105u);
    EXPECT_EQ(zns::PlacementOffset(LAYOUT_WIDE_RX2), 149u);
    EXPECT_EQ(zns::PlacementOffset(LAYOUT_WIDE_RX3), 193u);
    EXPECT_EQ(zns::PlacementOffset(LAYOUT_SETUP), 237u);

    WindowLayout w;
    w.mark = 1;
    for (int i = 0; i < 16; ++i) w.reserved[i] = static_cast<uint8_t>(0xA0 + i);
    for (int i = 0; i < LAYOUT_SLOTS; ++i) {
        WindowPlacement& p = w.placement[i];
        p.length = 44;
        p.flags = 2;
        p.showCmd = 1 + static_cast<uint32_t>(i);
        p.minX = -1;
        p.minY = -32000;
        p.maxX = 0x01020304;
        p.maxY = -8;
        p.left = 100 * i;
        p.top = 7;
        p.right = 100 * i + 640;
        p.bottom = 480;
    }
    const auto img = zns::EncodeWindowLayout(w);
    for (int i = 0; i < LAYOUT_SLOTS; ++i) {
        const uint8_t* p = img.data() + zns::PlacementOffset(i);
        EXPECT_EQ(p[0], 44);
        EXPECT_EQ(p[8], 1 + i);
        EXPECT_EQ(p[12], 0xFF);  // -1
        EXPECT_EQ(p[15], 0xFF);
        EXPECT_EQ(p[20], 0x04);
        EXPECT_EQ(p[23], 0x01);
    }
    EXPECT_EQ(img[1], 0xA0);
    EXPECT_EQ(img[16], 0xAF);

    const WindowLayout back = zns::DecodeWindowLayout(img.data(), img.size());
    EXPECT_EQ(zns::EncodeWindowLayout(back), img);
    EXPECT_EQ(back.placement[LAYOUT_SETUP].minY, -32000);
}

TEST_F(LayoutTest, APlacementCountsOnlyWithALengthOf1To999) {
    WindowPlacement p;
    for (uint32_t len : {0u, 1000u, 0xFFFFFFFFu}) {
        p.length = len;
        EXPECT_FALSE(p.IsPresent()) << len;
    }
    for (uint32_t len : {1u, 44u, 999u}) {
        p.length = len;
        EXPECT_TRUE(p.IsPresent()) << len;
    }
}

TEST_F(LayoutTest, SaveAndReloadKeepsEveryByteAndMarksTheFile) {
    Prefs().StartupLoad();
    data.layout.mark = 0;
    data.layout.reserved[3] = 9;
    data.layout.placement[LAYOUT_WIDE_RX2].length = 44;
    data.layout.placement[LAYOUT_WIDE_RX2].right = 1234;
    Prefs().SaveAll();
    const std::string saved = ReadAll(Dat());
    ASSERT_EQ(saved.size(), 281u);
    EXPECT_EQ(saved[0], 1);

    Restart().StartupLoad();
    EXPECT_EQ(data.layout.reserved[3], 9);
    EXPECT_EQ(data.layout.placement[LAYOUT_WIDE_RX2].right, 1234);
    EXPECT_TRUE(data.layout.placement[LAYOUT_WIDE_RX2].IsPresent());
    EXPECT_EQ(ReadAll(Dat()), saved) << "loading writes nothing";
}

TEST_F(LayoutTest, AShortFileIsTakenAsFarAsItGoesWithoutAReset) {
    WriteAll(Cfg(), "[BrannicLogger]\r\nFilePath=/logs\r\n");
    // Mark, reserved bytes and the first 12 bytes of the main placement.
    std::string bytes = std::string(1, '\x07') + std::string(16, '\x05') + U32(44) + U32(3) + U32(1);
    WriteAll(Dat(), bytes);
    Prefs().StartupLoad();
    EXPECT_EQ(data.layout.mark, 7) << "the mark is ignored on load";
    EXPECT_EQ(data.layout.reserved[15], 5);
    const WindowPlacement& m = data.layout.placement[LAYOUT_MAIN];
    EXPECT_EQ(m.length, 44u);
    EXPECT_EQ(m.flags, 3u);
    EXPECT_EQ(m.showCmd, 1u);
    EXPECT_EQ(m.left, 0);
    EXPECT_EQ(m.bottom, 0);
    EXPECT_FALSE(data.layout.placement[LAYOUT_SETUP].IsPresent());
    EXPECT_EQ(zns::FixedFieldText(data.files.szFilePath), "/logs") << "no reset of the file defaults";
    EXPECT_EQ(ReadAll(Dat()), bytes);
}

TEST_F(LayoutTest, EmptyAndOversizedFiles) {
    WriteAll(Cfg(), "[BrannicLogger]\r\nFilePath=/logs\r\n");
    WriteAll(Dat(), "");
    Prefs().StartupLoad();
    EXPECT_FALSE(data.layout.placement[LAYOUT_MAIN].IsPresent());
    EXPECT_EQ(zns::FixedFieldText(data.files.szFilePath), "/logs");

    std::string big(400, '\0');
    big[zns::PlacementOffset(LAYOUT_SETUP)] = 44;
    big[300] = 'x';
    WriteAll(Dat(), big);
    Restart().StartupLoad();
    EXPECT_TRUE(data.layout.placement[LAYOUT_SETUP].IsPresent());
}

TEST_F(LayoutTest, AnUnreadableLayoutResetsTheDefaults) {
    WriteAll(Cfg(), "[BrannicLogger]\r\nFilePath=/logs\r\n");
    ASSERT_TRUE(zns::MakeDirs(Dat()));  // opens, but every read fails
    Prefs().StartupLoad();
    EXPECT_EQ(zns::FixedFieldText(data.files.szFilePath), dir);
    EXPECT_TRUE(data.layout.placement[LAYOUT_MAIN].IsPresent());
    EXPECT_TRUE(zns::DirExists(Dat())) << "a layout that cannot be written is skipped silently";
    EXPECT_FALSE(zns::FileExists(Dat() + ".tmp"));
}

}  // namespace
