// Sonic traces, gamma counts, the link-quality model and the link scenarios.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>

#include "SimTestSupport.h"
#include "sim/SimSignal.h"

using namespace simtest;
using zns::sim::Scenario;
using zns::sim::SimConfig;
using zns::sim::SimLogger;

namespace {

std::vector<int16_t> Samples(const Bytes& body, size_t at, size_t n) {
    std::vector<int16_t> s(n);
    for (size_t i = 0; i < n; ++i) s[i] = I16(body, at + 2 * i);
    return s;
}

// Time (us) of the zero crossing before the first sample beyond the threshold.
double Pick(const std::vector<int16_t>& s, double stepUs, double threshold) {
    for (size_t i = 0; i < s.size(); ++i) {
        if (std::abs(s[i]) <= threshold) continue;
        for (size_t j = i; j > 0; --j) {
            const double a = s[j - 1], b = s[j];
            if ((a <= 0 && b > 0) || (a >= 0 && b < 0)) return ((j - 1) + a / (a - b)) * stepUs;
        }
        return 0.0;
    }
    return -1.0;
}

double Rms(const std::vector<int16_t>& s) {
    double e = 0;
    for (int16_t v : s) e += double(v) * v;
    return std::sqrt(e / s.size());
}

int LongestValidRun(const SimConfig& cfg, Scenario sc, int drive, int upDrive, int divisor) {
    int best = 0, run = 0;
    for (int g = 0; g <= 40; ++g) {
        run = SimLogger::LinkStatus(cfg, sc, drive, g, upDrive, divisor) == 0x01 ? run + 1 : 0;
        best = std::max(best, run);
    }
    return best;
}

// Uphole drive the program derives from a divisor and a downhole drive.
int UpholeRule(int divisor, int drive) {
    int u = divisor * drive / 10;
    u = std::min(u, drive);
    u = std::max(u, 5);
    return std::min(u, 30);
}

Settings8 Powered(uint8_t traceByte, uint8_t g1 = 0, uint8_t g2 = 0, uint8_t g3 = 0) {
    Settings8 s;
    s.mode = 12;
    s.interval = 300;
    s.baud = 6;
    s.upGain = 16;
    s.downDrive = 27;
    s.upDrive = 16;
    s.traceByte = traceByte;
    s.g1 = g1;
    s.g2 = g2;
    s.g3 = g3;
    return s;
}

}  // namespace

TEST(SimSignal, FirstArrivalsFollowOffsetTimesSlowness) {
    Rig rig;
    rig.Send(Cmd8(Powered(0x2A)));  // 512 samples at 4 us on every receiver
    rig.Run(1500);
    const auto waves = rig.Waves();
    ASSERT_GE(waves.size(), 3u);
    const Bytes& b = waves.back().body;
    const double slowness = SimLogger::FormationSlowness(100.0);
    const SimConfig cfg;
    double picks[3];
    for (int r = 0; r < 3; ++r) {
        const auto s = Samples(b, 22 + 1024 * r, 512);
        picks[r] = Pick(s, 4.0, 5 * cfg.noiseAmplitude);
        EXPECT_NEAR(picks[r], cfg.toolDelayUs + cfg.rxOffsetM[r] * slowness, 8.0) << "receiver " << r + 1;
    }
    EXPECT_LT(picks[0], picks[1]);
    EXPECT_LT(picks[1], picks[2]);
    EXPECT_NEAR(picks[2] - picks[0], (cfg.rxOffsetM[2] - cfg.rxOffsetM[0]) * slowness, 10.0);
}

TEST(SimSignal, SampleStepOfCodeThreeIsEightMicroseconds) {
    zns::sim::detail::Noise noise(7);
    zns::sim::detail::TraceParams p;
    p.offsetM = 1.22;
    p.slowness = 250.0;
    p.samples = 512;
    p.stepUs = 8.0;
    std::vector<int16_t> s(512);
    zns::sim::detail::SynthesizeTrace(p, noise, s.data());
    EXPECT_NEAR(Pick(s, 8.0, 5 * p.noiseAmplitude), zns::sim::detail::CompressionalArrivalUs(p), 16.0);
}

TEST(SimSignal, GainIsAppliedAndAutomaticGainReported) {
    Rig rig;
    rig.Send(Cmd8(Powered(0x2A, 0, 12, 255)));
    rig.Run(1500);
    const auto waves = rig.Waves();
    ASSERT_FALSE(waves.empty());
    const Bytes& b = waves.back().body;
    const auto rx1 = Samples(b, 22, 512), rx2 = Samples(b, 22 + 1024, 512), rx3 = Samples(b, 22 + 2048, 512);
    // Rx2 is farther than Rx1; take out the spreading loss before comparing the gain.
    const SimConfig cfg;
    const double spread = std::pow(cfg.rxOffsetM[0] / cfg.rxOffsetM[1], 1.5);
    EXPECT_NEAR(Rms(rx2) / Rms(rx1) / spread, std::pow(10.0, 12.0 / 20.0), 0.6);
    EXPECT_EQ(b[15], 0);
    EXPECT_EQ(b[16], 12);
    EXPECT_GT(b[17], 0);
    EXPECT_LE(b[17], 36);
    const int peak = std::abs(*std::max_element(rx3.begin(), rx3.end(), [](int16_t a, int16_t c) {
        return std::abs(a) < std::abs(c);
    }));
    EXPECT_GT(peak, 8000);
    EXPECT_LT(peak, 32767) << "automatic gain does not clip";
}

TEST(SimSignal, FormationAndGammaVaryWithDepth) {
    std::vector<double> s, g;
    for (double d = 0; d < 500; d += 0.5) {
        s.push_back(SimLogger::FormationSlowness(d));
        g.push_back(SimLogger::FormationGammaApi(d));
    }
    const auto [smin, smax] = std::minmax_element(s.begin(), s.end());
    EXPECT_GE(*smin, 150.0);
    EXPECT_LE(*smax, 480.0);
    EXPECT_GT(*smax - *smin, 200.0);
    // Slow (shaly) beds are the radioactive ones.
    const double ms = std::accumulate(s.begin(), s.end(), 0.0) / s.size();
    const double mg = std::accumulate(g.begin(), g.end(), 0.0) / g.size();
    double cov = 0;
    for (size_t i = 0; i < s.size(); ++i) cov += (s[i] - ms) * (g[i] - mg);
    EXPECT_GT(cov, 0.0);

    // Gamma counts in frames scatter around the formation's value.
    SimConfig cfg;
    cfg.startDepthM = 37.0;
    Rig rig(cfg);
    rig.Send(Cmd8(Powered(0x00)));
    rig.Run(30000, 50);
    const auto waves = rig.Waves();
    ASSERT_GE(waves.size(), 90u);
    double sum = 0;
    for (const Frame& f : waves) sum += U16(f.body, 13);
    EXPECT_NEAR(sum / waves.size(), SimLogger::FormationGammaApi(37.0), 3.0);
}

TEST(SimLink, NormalScenarioHasAWorkingRangeUpToTheFastestDivisor) {
    const SimConfig cfg;
    // First communication as the auto-check starts it: drive 15, uphole 25, divisor 20.
    EXPECT_EQ(SimLogger::LinkStatus(cfg, Scenario::Normal, 15, 7, 25, 20), 0x02);
    EXPECT_EQ(SimLogger::LinkStatus(cfg, Scenario::Normal, 15, 8, 25, 20), 0x01);
    EXPECT_EQ(SimLogger::LinkStatus(cfg, Scenario::Normal, 15, 30, 25, 20), 0x01);
    EXPECT_EQ(SimLogger::LinkStatus(cfg, Scenario::Normal, 15, 31, 25, 20), 0x08);
    // The drive sweep finds one run of passing drives, 10..45.
    for (int d = 5; d <= 60; ++d)
        EXPECT_EQ(SimLogger::LinkStatus(cfg, Scenario::Normal, d, 12, 25, 20) == 0x01, d >= 10 && d <= 45) << d;
    // Gain ranges of at least 7 values down to the fastest divisor, none beyond it.
    const int drive = (10 + 45) / 2;
    for (int div : {20, 15, 12, 10, 9, 8, 7, 6})
        EXPECT_GE(LongestValidRun(cfg, Scenario::Normal, drive, UpholeRule(div, drive), div), 7) << div;
    for (int div : {5, 4})
        EXPECT_LT(LongestValidRun(cfg, Scenario::Normal, drive, UpholeRule(div, drive), div), 7) << div;
    // Uphole pulses too wide for the bit give checksum errors.
    EXPECT_EQ(SimLogger::LinkStatus(cfg, Scenario::Normal, drive, 15, 17, 4), 0x08);

    SimConfig slower;
    slower.fastestBaudDivisor = 10;
    EXPECT_GE(LongestValidRun(slower, Scenario::Normal, drive, UpholeRule(10, drive), 10), 7);
    EXPECT_LT(LongestValidRun(slower, Scenario::Normal, drive, UpholeRule(9, drive), 9), 7);
}

TEST(SimLink, FailingScenarios) {
    const SimConfig cfg;
    for (int d = 5; d <= 99; d += 3)
        for (int g = 0; g <= 40; g += 2)
            EXPECT_EQ(SimLogger::LinkStatus(cfg, Scenario::SondeNeverAnswers, d, g, 20, 20), 0x02);
    // No drive the sweep tries works, but the first-communication search reaches 61.
    for (int d = 5; d <= 60; ++d) EXPECT_EQ(LongestValidRun(cfg, Scenario::NoPassingDrive, d, 25, 20), 0) << d;
    EXPECT_GE(LongestValidRun(cfg, Scenario::NoPassingDrive, 61, 25, 20), 7);
}

TEST(SimLink, NoResponseFramesCarryNoTracesAndTheHeadFlag) {
    Rig rig;
    Settings8 s = Powered(0x15);
    s.downDrive = 5;  // does not reach the sonde
    rig.Send(Cmd8(s));
    rig.Run(1500);
    const auto waves = rig.Waves();
    ASSERT_FALSE(waves.empty());
    const Bytes& b = waves.back().body;
    EXPECT_EQ(b[b.size() - 3], 0x02);
    EXPECT_EQ(b[19], 0x80 | 6);
    for (size_t i = 22; i < 22 + 3 * 512; ++i) ASSERT_EQ(b[i], 0);
}

TEST(SimLink, GainEchoStuckIgnoresCommandThree) {
    SimConfig cfg;
    cfg.scenario = Scenario::GainEchoStuck;
    Rig rig(cfg);
    rig.Send(Cmd8(Powered(0x00)));
    rig.Run(600);
    EXPECT_EQ(rig.Statuses().back().body[1], 16);
    rig.Send(Cmd3(18, 27));
    rig.Run(600);
    EXPECT_EQ(rig.Statuses().back().body[1], 16) << "echo stays at the command-8 gain";
    EXPECT_EQ(rig.sim.Snapshot().upGain, 18) << "the receiver did take the gain";
    Settings8 s = Powered(0x00);
    s.upGain = 19;
    rig.Send(Cmd8(s));
    rig.Run(600);
    EXPECT_EQ(rig.Statuses().back().body[1], 19);
}

TEST(SimLink, FinalCheckFailsWhenSettingsStandStill) {
    SimConfig cfg;
    cfg.scenario = Scenario::FinalCheckFails;
    cfg.linkHoldFrames = 20;
    Rig rig(cfg);
    rig.Send(Cmd8(Powered(0x15)));
    rig.Run(20000);
    // The hold is counted in frames of the powered sonde, whatever their spacing.
    const auto powered = rig.Where([](const Frame& f) { return f.FrameStatus() >= 0 && (f.Mode() & 0x0F) != 0; });
    ASSERT_GT(powered.size(), 25u);
    for (size_t i = 0; i < powered.size(); ++i) {
        if (i < 20)
            EXPECT_EQ(powered[i].FrameStatus() & 0x08, 0) << i;
        else
            EXPECT_EQ(powered[i].FrameStatus(), 0x08) << i;
    }
    rig.Send(Cmd3(16, 27));
    rig.Run(100);
    const size_t from = rig.parser.frames.size();
    rig.Run(1000);
    const auto waves = rig.Waves(from);
    ASSERT_FALSE(waves.empty());
    EXPECT_EQ(waves.back().FrameStatus(), 0x01);
}

TEST(SimLink, SondeNeverAnswersFrames) {
    SimConfig cfg;
    cfg.scenario = Scenario::SondeNeverAnswers;
    Rig rig(cfg);
    rig.Send(Cmd8(Powered(0x15)));
    rig.Run(2000);
    const auto waves = rig.Waves();
    ASSERT_FALSE(waves.empty());
    for (const Frame& f : waves) EXPECT_EQ(f.FrameStatus(), 0x02);
    EXPECT_EQ(rig.Statuses().back().Mode() & 0x0F, 12) << "the logger itself took the mode";
}
