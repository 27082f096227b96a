#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <thread>
#include <vector>

#include "link/Checksums.h"
#include "link/CommandFrames.h"
#include "records/SharedRecords.h"

namespace {

AcquisitionSettings Winch(int pulses, int circumference) {
    AcquisitionSettings s;
    s.PulsResolution = pulses;
    s.PulleysCircumference = circumference;
    return s;
}

uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

std::vector<uint8_t> Front(CommandQueue& q) {
    std::vector<uint8_t> f;
    q.Front(f);
    return f;
}

}  // namespace

TEST(CommandFrames, Command0CableByte) {
    AcquisitionSettings s;
    s.CableType = 1;
    s.PulleyDir = 1;
    EXPECT_EQ(BuildCmd0(s), (std::array<uint8_t, 3>{0x00, 0x30, 0x30}));
    s.PulleyDir = 0;
    EXPECT_EQ(BuildCmd0(s), (std::array<uint8_t, 3>{0x00, 0x10, 0x10}));
    s.CableType = 0;
    s.PulleyDir = 1;
    EXPECT_EQ(BuildCmd0(s), (std::array<uint8_t, 3>{0x00, 0x20, 0x20}));
}

TEST(CommandFrames, Command1ScaleAndSideEffects) {
    AcquisitionSettings s = Winch(1000, 5000);
    auto f = BuildCmd1(s, 90);
    EXPECT_EQ(s.DepthFactor256, 20480);
    EXPECT_DOUBLE_EQ(s.DepthFactor, 80.0);
    EXPECT_EQ(s.Const1500, 1500);
    EXPECT_DOUBLE_EQ(s.Const1500d, 1500.0);
    EXPECT_EQ(f[0], 1);
    EXPECT_EQ(U16(&f[2]), 1500);
    EXPECT_EQ(U16(&f[4]), 20480);
    EXPECT_EQ(f[6], 90);
    EXPECT_TRUE(CheckCmdChecksum7(f));
}

TEST(CommandFrames, HalvingBoundaryIsOneRuleForCommands1And8) {
    // 250.0 counts per cm exactly: sent as is.
    EXPECT_FALSE(IsEncoderScaleHalved(64000));
    EXPECT_TRUE(IsEncoderScaleHalved(64001));  // 250.00390625

    AcquisitionSettings s = Winch(625, 1000);
    s.RecordingMode = RECMODE_DOWN;
    s.DepthInterval = 5;
    ASSERT_EQ(DepthFactor256(s), 64000);
    EXPECT_EQ(U16(&BuildCmd1(s, 90)[4]), 64000);
    EXPECT_EQ(U16(&BuildCmd8(s, 90)[2]), 5);

    s = Winch(8019, 12830);
    s.RecordingMode = RECMODE_UP;
    s.DepthInterval = 5;
    ASSERT_EQ(DepthFactor256(s), 64001);
    EXPECT_EQ(U16(&BuildCmd1(s, 90)[4]), 32000);
    EXPECT_EQ(EncoderScaleWord(s), 32000);
    EXPECT_EQ(U16(&BuildCmd8(s, 90)[2]), 10);

    // Counts per cm a hair above 250 that truncate to F256 = 64000: command 1 sends
    // the full scale, so command 8 must not double the interval either.
    s = Winch(115, 184);
    s.RecordingMode = RECMODE_DOWN;
    s.DepthInterval = 5;
    ASSERT_GT(115 / (184 / 10.0) * 40.0, 250.0);
    ASSERT_EQ(DepthFactor256(s), 64000);
    EXPECT_EQ(U16(&BuildCmd1(s, 90)[4]), 64000);
    EXPECT_EQ(U16(&BuildCmd8(s, 90)[2]), 5);
}

TEST(CommandFrames, Command8Fields) {
    AcquisitionSettings s = Winch(8019, 12830);  // halved scale
    s.CableType = 1;
    s.PulleyDir = 1;
    s.RecordingMode = RECMODE_TIME;
    s.TimeInterval = 500;
    s.DepthInterval = 40000;  // doubled would wrap; not used in time mode
    s.UpGain = 7;
    s.DownDrive = 33;
    s.GainRx1 = 12;
    s.GainRx2 = 24;
    s.GainRx3 = 36;
    s.ChnBlanking = 0x105;  // low byte taken
    s.BaudDivisor = 5;
    s.UpDrive = 9;
    s.ZNSModus_Rx1 = 1;
    s.ZNSModus_Rx2 = 2;
    s.ZNSModus_Rx3 = 3;
    auto f = BuildCmd8(s, 95);
    EXPECT_EQ(f[0], 8);
    EXPECT_EQ(f[1], 0x30 + 12);
    EXPECT_EQ(U16(&f[2]), 500);
    EXPECT_EQ(f[4], 95);
    EXPECT_EQ(f[5], 7);
    EXPECT_EQ(f[6], 33);
    EXPECT_EQ(f[7], 12);
    EXPECT_EQ(f[8], 24);
    EXPECT_EQ(f[9], 36);
    EXPECT_EQ(f[10], 0x05);
    EXPECT_EQ(f[11], 5);
    EXPECT_EQ(f[12], 9);
    EXPECT_EQ(f[13], 0x39);
    EXPECT_TRUE(CheckCmdChecksum14(f));

    s.RecordingMode = RECMODE_UP;
    EXPECT_EQ(BuildCmd8(s, 95)[1], 0x30 + 10);
    EXPECT_EQ(U16(&BuildCmd8(s, 95)[2]), static_cast<uint16_t>(80000));  // doubled to 16 bits
}

TEST(CommandFrames, AutomaticGainSends255) {
    AcquisitionSettings s;
    s.GainRx1 = 3;
    s.GainRx2 = 6;
    s.GainRx3 = 9;
    s.AGC_Rx1 = s.AGC_Rx2 = s.AGC_Rx3 = 1;
    auto f8 = BuildCmd8(s, 90);
    auto f9 = BuildCmd9(s);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(f8[7 + i], 255);
        EXPECT_EQ(f9[1 + i], 255);
    }
    s.AGC_Rx2 = 0;
    EXPECT_EQ(BuildCmd9(s)[2], 6);
    EXPECT_EQ(BuildCmd9(s)[1], 255);
}

TEST(CommandFrames, TraceLengthByte) {
    AcquisitionSettings s;
    s.ZNSModus_Rx1 = 1;
    s.ZNSModus_Rx2 = 2;
    s.ZNSModus_Rx3 = 3;
    EXPECT_EQ(TraceLengthByte(s), 0x39);
    EXPECT_EQ(BuildCmd10(s)[3], 0x39);
    // A code out of range stays in its own two bits.
    s.ZNSModus_Rx1 = 5;
    EXPECT_EQ(TraceLengthByte(s) & 0x3C, 0x38);
}

TEST(CommandFrames, Command2Preset) {
    AcquisitionSettings s;
    s.DepthFactor = 80.0;
    s.DepthDatum = 12.3456;
    auto f = BuildCmd2(s);
    const int32_t v = static_cast<int32_t>(f[1] | (f[2] << 8) | (f[3] << 16) | (static_cast<uint32_t>(f[4]) << 24));
    EXPECT_EQ(v, 98764);  // trunc(80 * 100 * 12.3456)
    s.DepthDatum = -1.23456;
    auto g = BuildCmd2(s);
    const int32_t w = static_cast<int32_t>(g[1] | (g[2] << 8) | (g[3] << 16) | (static_cast<uint32_t>(g[4]) << 24));
    EXPECT_EQ(w, -9876);  // toward zero
    s.DepthDatum = 1e12;  // saturates rather than wrapping
    EXPECT_EQ(DepthCounterPreset(s), INT32_MAX);
}

TEST(CommandFrames, WheelWithoutCircumferenceGivesZeroScale) {
    AcquisitionSettings s = Winch(1000, 0);
    EXPECT_EQ(DepthFactor256(s), 0);
    auto f = BuildCmd1(s, 90);
    EXPECT_EQ(U16(&f[4]), 0);
    EXPECT_TRUE(CheckCmdChecksum7(f));
    s = Winch(0, 0);  // 0 / 0
    EXPECT_EQ(DepthFactor256(s), 0);
}

TEST(CommandFrames, Command3And10Fields) {
    AcquisitionSettings s;
    s.UpGain = 0x1FF;
    s.DownDrive = 60;
    s.BaudDivisor = 20;
    s.UpDrive = 6;
    EXPECT_EQ(BuildCmd3(s), (std::array<uint8_t, 4>{3, 0xFF, 60, static_cast<uint8_t>(3 + 0xFF + 60)}));
    EXPECT_EQ(BuildCmd10(s), (std::array<uint8_t, 5>{10, 20, 6, 0, 36}));
}

// Every frame built from any settings passes its own checker and has its code's length.
TEST(CommandFrames, EveryBuiltFramePassesItsChecker) {
    std::mt19937 rng(1234);
    auto any = [&] { return static_cast<int32_t>(rng()); };
    for (int round = 0; round < 2000; ++round) {
        AcquisitionSettings s;
        s.PulleyDir = static_cast<uint8_t>(rng());
        s.CableType = any();
        s.PulsResolution = any() % 100000;
        s.PulleysCircumference = any() % 100000;
        s.DepthFactor = (any() % 100000) / 7.0;
        s.DepthDatum = (any() % 1000000) / 13.0;
        s.UpGain = any();
        s.BaudDivisor = any();
        s.DownDrive = any();
        s.UpDrive = any();
        s.TimeInterval = static_cast<uint16_t>(rng());
        s.DepthInterval = static_cast<uint16_t>(rng());
        s.RecordingMode = 10 + static_cast<int>(rng() % 3);
        for (int rx = 0; rx < 3; ++rx) {
            s.ZNSModus(rx) = any();
            s.GainRx(rx) = any();
            s.AGC_Rx(rx) = static_cast<int>(rng() % 2);
        }
        s.ChnBlanking = any();
        const uint8_t v = static_cast<uint8_t>(rng());
        auto f0 = BuildCmd0(s);
        auto f1 = BuildCmd1(s, v);
        auto f2 = BuildCmd2(s);
        auto f3 = BuildCmd3(s);
        auto f8 = BuildCmd8(s, v);
        auto f9 = BuildCmd9(s);
        auto f10 = BuildCmd10(s);
        ASSERT_TRUE(CheckCommandFrame(f0.data(), f0.size()));
        ASSERT_TRUE(CheckCommandFrame(f1.data(), f1.size()));
        ASSERT_TRUE(CheckCommandFrame(f2.data(), f2.size()));
        ASSERT_TRUE(CheckCommandFrame(f3.data(), f3.size()));
        ASSERT_TRUE(CheckCommandFrame(f8.data(), f8.size()));
        ASSERT_TRUE(CheckCommandFrame(f9.data(), f9.size()));
        ASSERT_TRUE(CheckCommandFrame(f10.data(), f10.size()));
        // Command 1 and command 8 halve and double on the same side of 64000 = 250 x 256.
        const int32_t f256 = s.DepthFactor256;
        const bool halved = f256 > 64000;
        ASSERT_EQ(U16(&f1[4]), static_cast<uint16_t>(halved ? f256 / 2 : f256));
        if (s.RecordingMode != RECMODE_TIME) {
            ASSERT_EQ(U16(&f8[2]), static_cast<uint16_t>(halved ? s.DepthInterval * 2 : s.DepthInterval));
        }
    }
}

TEST(CommandFrames, CheckerRejectsCorruptFrames) {
    AcquisitionSettings s;
    auto f = BuildCmd8(s, 90);
    for (size_t i = 0; i < f.size(); ++i) {
        auto g = f;
        g[i] ^= 0x01;
        EXPECT_FALSE(CheckCommandFrame(g.data(), g.size())) << i;
    }
    EXPECT_FALSE(CheckCommandFrame(f.data(), 14));  // length does not match code 8
    const uint8_t unknown[3] = {4, 0, 4};
    EXPECT_FALSE(CheckCommandFrame(unknown, 3));
    EXPECT_FALSE(CheckCommandFrame(nullptr, 3));
}

TEST(CommandFrames, QueueCommandKeepsFrameAndQueuesIt) {
    SharedData d;
    d.settings = Winch(1000, 5000);
    d.settings.CableType = 1;
    d.settings.PulleyDir = 1;
    ASSERT_TRUE(QueueCommand(d, CMD_0));
    ASSERT_TRUE(QueueCommand(d, CMD_1, 92));
    EXPECT_EQ(d.TxLength(), 3 + 8);
    EXPECT_EQ(d.txQueue.Frames(), 2u);
    EXPECT_EQ(Front(d.txQueue), (std::vector<uint8_t>{0x00, 0x30, 0x30}));
    d.txQueue.PopFront();
    const std::vector<uint8_t> f1 = Front(d.txQueue);
    EXPECT_EQ(f1, std::vector<uint8_t>(d.m_pCmd1Frame.begin(), d.m_pCmd1Frame.end()));
    EXPECT_EQ(f1[6], 92);
    EXPECT_EQ(d.settings.DepthFactor256, 20480);  // side effect in the shared settings
    d.txQueue.PopFront();
    EXPECT_EQ(d.TxLength(), 0);

    for (int code : {CMD_2, CMD_3, CMD_8, CMD_9, CMD_10}) ASSERT_TRUE(QueueCommand(d, code, 90)) << code;
    EXPECT_EQ(d.TxLength(), 6 + 4 + 15 + 6 + 5);
    EXPECT_FALSE(QueueCommand(d, 4));
    EXPECT_FALSE(QueueCommand(d, 11));
}

TEST(CommandFrames, NothingQueuedWhenTheCheckFailsOrTheQueueIsFull) {
    SharedData d;
    uint8_t bad[3] = {0, 0x30, 0x31};
    EXPECT_FALSE(PushCheckedFrame(d, bad, 3));
    EXPECT_EQ(d.TxLength(), 0);
    while (QueueCommand(d, CMD_0)) {
    }
    const int pending = d.TxLength();
    EXPECT_EQ(d.txQueue.Frames(), CommandQueue::kMaxFrames);
    EXPECT_FALSE(QueueCommand(d, CMD_8, 90));
    EXPECT_EQ(d.TxLength(), pending);
}

// Builders on two threads (GUI and receive) and the one writer: every frame arrives
// whole and the kept command 1 is one that was queued.
TEST(CommandFrames, BuildersOnTwoThreadsAndOneWriter) {
    SharedData d;
    d.settings = Winch(1000, 5000);
    std::atomic<bool> done{false};
    std::vector<std::vector<uint8_t>> written;
    std::thread writer([&] {
        std::vector<uint8_t> f;
        while (!done.load() || d.txQueue.Frames() > 0) {
            if (!d.txQueue.WaitForFrame(5)) continue;
            if (d.txQueue.Front(f)) {
                written.push_back(f);
                d.txQueue.PopFront();
            }
        }
    });
    auto builder = [&](int code) {
        for (int i = 0; i < 500; ++i) {
            while (!QueueCommand(d, code, static_cast<uint8_t>(80 + i % 20))) std::this_thread::yield();
        }
    };
    std::thread gui(builder, CMD_8);
    std::thread rx(builder, CMD_1);
    gui.join();
    rx.join();
    done = true;
    d.txQueue.Wake();
    writer.join();
    ASSERT_EQ(written.size(), 1000u);
    for (const auto& f : written) ASSERT_TRUE(CheckCommandFrame(f.data(), f.size()));
    EXPECT_EQ(d.TxLength(), 0);
    std::vector<uint8_t> lastCmd1;
    for (const auto& f : written)
        if (f[0] == CMD_1) lastCmd1 = f;
    EXPECT_EQ(lastCmd1, std::vector<uint8_t>(d.m_pCmd1Frame.begin(), d.m_pCmd1Frame.end()));
}
