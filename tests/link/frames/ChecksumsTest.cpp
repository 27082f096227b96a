#include <gtest/gtest.h>

#include <array>
#include <numeric>
#include <vector>

#include "link/Checksums.h"

TEST(Checksums, CommandSumWrapsModulo256) {
    std::array<uint8_t, 15> f{};
    f.fill(0xFF);
    SetCmdChecksum14(f);
    EXPECT_EQ(f[14], static_cast<uint8_t>(14 * 0xFF));
    EXPECT_TRUE(CheckCmdChecksum14(f));
    f[3] = 0;
    EXPECT_FALSE(CheckCmdChecksum14(f));

    std::array<uint8_t, 6> c9{9, 1, 2, 3, 4, 0};
    SetCmdChecksum5b(c9);
    EXPECT_EQ(c9[5], 19);
    std::array<uint8_t, 6> c2{2, 0x10, 0x27, 0, 0, 0};
    SetCmdChecksum5(c2);
    EXPECT_EQ(c2[5], 0x39);
    EXPECT_TRUE(CheckCmdChecksum5(c2));
}

TEST(Checksums, AnswerSums) {
    std::array<uint8_t, 20> answer{};
    for (int i = 0; i < 18; ++i) answer[i] = static_cast<uint8_t>(200 + i);
    const uint16_t s18 = static_cast<uint16_t>(18 * 200 + 17 * 18 / 2);
    answer[18] = static_cast<uint8_t>(s18 & 0xFF);
    answer[19] = static_cast<uint8_t>(s18 >> 8);
    EXPECT_TRUE(CheckRecordSum18(answer));
    answer[19] ^= 1;
    EXPECT_FALSE(CheckRecordSum18(answer));

    std::array<uint8_t, 16> status{};
    status.fill(0xFF);
    const uint16_t s14 = 14 * 0xFF;
    status[14] = static_cast<uint8_t>(s14 & 0xFF);
    status[15] = static_cast<uint8_t>(s14 >> 8);
    EXPECT_TRUE(CheckRecordSum14(status));
    status[0] = 0;
    EXPECT_FALSE(CheckRecordSum14(status));
}

TEST(Checksums, WaveformSumRunsOverHeadTracesAndTail) {
    std::array<uint8_t, 22> head{};
    for (int i = 0; i < 22; ++i) head[i] = static_cast<uint8_t>(i * 11);
    std::vector<uint8_t> traces(3 * 1024, 0xEE);  // the sum wraps past 65535
    std::array<uint8_t, 5> tail{1, 2, 0x20, 0, 0};
    const uint32_t total = std::accumulate(head.begin(), head.end(), 0u) +
                           std::accumulate(traces.begin(), traces.end(), 0u) + 1 + 2 + 0x20;
    tail[3] = static_cast<uint8_t>(total & 0xFF);
    tail[4] = static_cast<uint8_t>((total >> 8) & 0xFF);
    ASSERT_GT(total, 65535u);
    EXPECT_EQ(SumRecord22(head), std::accumulate(head.begin(), head.end(), 0u) & 0xFFFF);
    const uint16_t partial = AddSum16(SumRecord22(head), traces.data(), traces.size());
    EXPECT_TRUE(CheckRecordSum3(partial, tail));
    tail[2] = 0x21;
    EXPECT_FALSE(CheckRecordSum3(partial, tail));
}

TEST(Checksums, RecordByteSums) {
    EXPECT_EQ(ByteSum16(0x12FF), static_cast<uint8_t>(0x12 + 0xFF));
    EXPECT_EQ(ByteSum16(0xABCD12FF), static_cast<uint8_t>(0x12 + 0xFF));  // high bytes ignored
    EXPECT_EQ(ByteSum16(static_cast<uint16_t>(-2)), static_cast<uint8_t>(0xFE + 0xFF));
    EXPECT_EQ(ByteSum32(0x01020304), 10);
    EXPECT_EQ(ByteSum32(0xFFFFFFFF), static_cast<uint8_t>(4 * 0xFF));
    EXPECT_EQ(ByteSum32(static_cast<uint32_t>(-1000)), static_cast<uint8_t>(0x18 + 0xFC + 0xFF + 0xFF));
}
