// The setup rules without widgets: wheel/encoder checks, echo comparisons,
// resend counting, time-sampling bounds, the enabling table.
#include <gtest/gtest.h>

#include "link/CommandFrames.h"
#include "ui/dialogs/SetupCore.h"

using namespace zns::setup;

TEST(WinchChecks, CircumferenceRangeAndCombinations) {
    EXPECT_EQ(CheckCircumference(1500.0, 5000).check, WinchCheck::Ok);
    EXPECT_EQ(CheckCircumference(250.0, 1000).check, WinchCheck::Ok);
    EXPECT_EQ(CheckCircumference(1500.1, 5000).check, WinchCheck::OutOfRange);
    EXPECT_EQ(CheckCircumference(249.9, 1000).check, WinchCheck::OutOfRange);
    EXPECT_EQ(WinchMessage(WinchCheck::OutOfRange, true), "Bad entered value.\nMin 250 - Max 1500");
    EXPECT_EQ(WinchMessage(WinchCheck::OutOfRange, false), "Bad entered value.\nMin 500 - Max 10000");

    const WinchResult r = CheckCircumference(500.0, 1000);  // q 1500, f 80
    EXPECT_EQ(r.check, WinchCheck::Ok);
    EXPECT_EQ(r.f256, 20480);
    // q 75: too low before the factor is looked at.
    EXPECT_EQ(CheckCircumference(250.0, 10000).check, WinchCheck::TooLow);
    EXPECT_EQ(WinchMessage(WinchCheck::TooLow, true), "Too low wheel/encoder combination");
    EXPECT_EQ(CheckCircumference(1500.0, 500).check, WinchCheck::TooHigh);  // q 9000
    // q 210 passes, f 571.4 does not.
    EXPECT_EQ(CheckCircumference(700.0, 10000).check, WinchCheck::BadCombination);
    EXPECT_EQ(WinchMessage(WinchCheck::BadCombination, true), "Bad wheel/encoder combination");
}

TEST(WinchChecks, LimitsInclusiveForQExclusiveForTheFactor) {
    EXPECT_EQ(CheckCircumference(1000.0, 1000).check, WinchCheck::Ok);   // q 3000
    EXPECT_EQ(CheckCircumference(300.0, 6000).check, WinchCheck::BadCombination);  // q 150, f 800
    EXPECT_EQ(CheckResolution(6000, 3000).check, WinchCheck::BadCombination);  // q 150, f 800
    EXPECT_EQ(CheckCircumference(400.0, 5100).check, WinchCheck::BadCombination);  // f exactly 510
    EXPECT_EQ(CheckCircumference(400.0, 5099).check, WinchCheck::Ok);
    EXPECT_EQ(CheckResolution(5099, 4000).check, WinchCheck::Ok);
    EXPECT_EQ(CheckResolution(499, 5000).check, WinchCheck::OutOfRange);
    EXPECT_EQ(CheckResolution(10001, 5000).check, WinchCheck::OutOfRange);
    EXPECT_EQ(CheckResolution(1000, 5000).f256, 20480);
}

TEST(WinchChecks, ArrowStepsKeepTheScaleWithinCommandOne) {
    EXPECT_TRUE(ArrowStepAllowed(500.0, 1001));
    EXPECT_FALSE(ArrowStepAllowed(250.0, 5001));   // q below 150
    EXPECT_FALSE(ArrowStepAllowed(300.0, 4000));   // q 225 but f 533: halved scale would pass 65535
    EXPECT_EQ(DepthFactor256For(1000, 500.0), 20480);
    EXPECT_EQ(DepthFactor256For(1000, 0.0), 0);
}

TEST(WinchEcho, ModeConstantAndScaleWithHalving) {
    AcquisitionSettings s;
    s.CableType = 1;
    s.PulleyDir = 1;
    s.PulsResolution = 1000;
    s.PulleysCircumference = 5000;
    s.DepthFactor256 = 20480;
    SondeStatus e;
    e.Mode = 0x30 | 0x0C;
    e.Echo1500 = 1500;
    e.EchoScale = 20480;
    EXPECT_TRUE(WinchEchoMatches(s, e));
    e.Mode = 0x20;
    EXPECT_FALSE(WinchEchoMatches(s, e));
    e.Mode = 0x30;
    e.Echo1500 = 1499;
    EXPECT_FALSE(WinchEchoMatches(s, e));
    e.Echo1500 = 1500;
    // Above 250 counts/cm the logger holds half the scale.
    s.PulsResolution = 7500;  // 300 counts/cm on a 1000 mm wheel: F256 76800
    s.PulleysCircumference = 10000;
    e.EchoScale = 38400;
    EXPECT_TRUE(WinchEchoMatches(s, e));
    e.EchoScale = static_cast<uint16_t>(76800 & 0xFFFF);
    EXPECT_FALSE(WinchEchoMatches(s, e));
}

TEST(ReadBack, ResendsUpToTheLimitThenOneWarning) {
    for (int limit : {kWinchResends, kAcquisitionResends}) {
        ReadBackCounter c(limit);
        for (int i = 0; i < limit; ++i) EXPECT_EQ(c.OnMismatch(), ReadBackCounter::Action::Resend);
        EXPECT_EQ(c.OnMismatch(), ReadBackCounter::Action::Warn);
        EXPECT_EQ(c.Retries(), 0);
        EXPECT_EQ(c.OnMismatch(), ReadBackCounter::Action::Resend);
        c.OnMatch();
        EXPECT_EQ(c.Retries(), 0);
    }
}

TEST(Acquisition, MinimumTimeSamplingAndItsMessage) {
    AcquisitionSettings s;
    s.ZNSModus_Rx1 = s.ZNSModus_Rx2 = s.ZNSModus_Rx3 = 2;
    s.BaudDivisor = 4;
    std::string baud;
    EXPECT_EQ(MinTimeSampling(s, &baud), 250);  // 213.44 ms raised to 250
    EXPECT_EQ(baud, "156250");
    s.BaudDivisor = 20;
    EXPECT_EQ(MinTimeSampling(s, &baud), 1003);
    EXPECT_EQ(TimeSamplingMessage(1000, 1003, baud),
              "TIME SAMPLING : 1000\nBad entered value\n(MIN 1003- MAX 5000) at 31250 baud.");
    s.ZNSModus_Rx1 = s.ZNSModus_Rx2 = s.ZNSModus_Rx3 = 0;
    EXPECT_EQ(MinTimeSampling(s), 250);
    s.BaudDivisor = 11;
    MinTimeSampling(s, &baud);
    EXPECT_EQ(baud, "none");
}

TEST(Acquisition, EchoComparedByTraceByteAndInTimeModeByInterval) {
    AcquisitionSettings s;
    s.ZNSModus_Rx1 = 1;
    s.ZNSModus_Rx2 = 2;
    s.ZNSModus_Rx3 = 3;
    s.TimeInterval = 500;
    s.RecordingMode = RECMODE_TIME;
    EXPECT_EQ(ExpectedTraceByte(s), 0x39);
    SondeStatus e;
    e.TraceByte = 0x39;
    e.Step = 500;
    EXPECT_FALSE(AcquisitionEchoMismatch(s, e));
    e.Step = 400;
    EXPECT_TRUE(AcquisitionEchoMismatch(s, e));
    s.RecordingMode = RECMODE_DOWN;
    EXPECT_FALSE(AcquisitionEchoMismatch(s, e));
    e.TraceByte = 0x38;
    EXPECT_TRUE(AcquisitionEchoMismatch(s, e));
    EXPECT_TRUE(EchoStatusClean(1));
    EXPECT_FALSE(EchoStatusClean(0x09));
}

TEST(Acquisition, TextsOfCodesNamesAndEchoes) {
    EXPECT_EQ(SamplePeriodText(0), "---");
    EXPECT_EQ(SamplePeriodText(2), "4 \xB5s");
    EXPECT_EQ(SamplePeriodText(3), "8 \xB5s");
    EXPECT_EQ(ReplayTraceText(3), "4 mSec");
    EXPECT_EQ(ReplayTraceText(0), "-");
    EXPECT_EQ(PaddedName("Near"), "     Near");  // (15 - 4) / 2 = 5
    EXPECT_EQ(PaddedName("A very long receiver"), "A very long receiver");
    EXPECT_EQ(Trim("  Far \t"), "Far");

    EXPECT_EQ(LiveSamplingTexts(0x00, 7, false).time, "-");
    const SamplingTexts t = LiveSamplingTexts(0x2C, 500, false);
    EXPECT_EQ(t.time, "500");
    EXPECT_EQ(t.depth, "-");
    const SamplingTexts d = LiveSamplingTexts(0x0B, 0x0114, true);  // low byte 20, halved
    EXPECT_EQ(d.time, "-");
    EXPECT_EQ(d.depth, "10");
    EXPECT_EQ(ReplaySamplingTexts(10, 480, 5).time, "480");
    EXPECT_EQ(ReplaySamplingTexts(12, 480, 5).depth, "5");
}

TEST(SetupEnablesTable, PowerLinkRecordingAndAutoCheck) {
    SetupState st;
    st.linkState = LINK_STATUS;
    st.rxNumber = 2;
    SetupEnables e = ComputeEnables(st);  // off, linked
    EXPECT_TRUE(e.winch);
    EXPECT_TRUE(e.probeSet);
    EXPECT_TRUE(e.probeControls);
    EXPECT_FALSE(e.sampling);
    EXPECT_FALSE(e.comm);
    EXPECT_FALSE(e.traceList[0]);
    st.linkState = LINK_CHECKING;
    EXPECT_FALSE(ComputeEnables(st).winch);
    st.replayLoaded = true;
    EXPECT_TRUE(ComputeEnables(st).traceStatics);

    st = {};
    st.powered = true;
    st.rxNumber = 2;
    e = ComputeEnables(st);
    EXPECT_FALSE(e.winch);
    EXPECT_TRUE(e.traceList[0]);
    EXPECT_TRUE(e.traceList[1]);
    EXPECT_FALSE(e.traceList[2]);
    EXPECT_TRUE(e.sampling);
    EXPECT_TRUE(e.comm);
    EXPECT_TRUE(e.probeControls);
    st.commCheck = true;  // the auto-check holds the communication and probe controls
    e = ComputeEnables(st);
    EXPECT_FALSE(e.comm);
    EXPECT_FALSE(e.probeControls);
    EXPECT_TRUE(e.sampling);
    st.commCheck = false;
    st.recording = true;
    e = ComputeEnables(st);
    EXPECT_FALSE(e.sampling || e.comm || e.probeControls || e.traceList[0]);

    st = {};
    st.sondeGamma = true;
    EXPECT_TRUE(ComputeEnables(st).gammaShown);
    st.playerRuns = true;  // replay: the header decides
    EXPECT_FALSE(ComputeEnables(st).gammaShown);
    st.headerGamma = true;
    EXPECT_TRUE(ComputeEnables(st).gammaShown);
}
