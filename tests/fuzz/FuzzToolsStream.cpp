// The frame handlers (CToolsStream::OnConfigFrame, OnStatusFrame, OnWaveFrame)
// behind the reception machine, recording into a data file.
//
// Input: a settings block (recording state and mode, wheel, first-arrival
// windows), then a script of frames with valid sums (status, configuration
// answer, waveform, headless status), frames with wrong sums, loose bytes,
// clock steps and recording switches.
// Checked: every row has a finite depth; the handlers never report a write
// failure on a good disk; the data file holds only whole records that re-check,
// its size is the writer's, its elapsed times never go back; the shared records
// stay consistent (trace codes and byte counts, picks inside their window).
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "link/Checksums.h"
#include "link/CommandFrames.h"
#include "link/FrameReceiver.h"
#include "link/LinkReport.h"
#include "link/Picker.h"
#include "records/SharedRecords.h"
#include "link/ToolsStream.h"
#include "settings/Header.h"

namespace {

using Bytes = std::vector<uint8_t>;

fuzz::ScratchDir& Scratch() {
    static fuzz::ScratchDir dir;
    return dir;
}

class Report : public NullLinkReport {
public:
    void OnLinkStatus(int code) override {
        FUZZ_CHECK(code == LINK_STATUS_VALUES || code == LINK_STATUS_SENT || code == LINK_STATUS_STATE, "code %d", code);
    }
    void ShowAlert(int code) override { FUZZ_CHECK(code == LINK_ALERT_0 || code == LINK_ALERT_1); }
    void OnNewFrame(const int16_t* a, const int16_t* b, const int16_t* c, double depth) override {
        FUZZ_CHECK(a && b && c);
        FUZZ_CHECK(std::isfinite(depth), "a row at depth %g", depth);
        ++rows;
    }
    void RecordingFailed(const std::string& message) override {
        FUZZ_CHECK(false, "write failure on a good disk: %s", message.c_str());
    }
    long rows = 0;
};

class Sink : public IFrameSink {
public:
    explicit Sink(CToolsStream& s) : m_s(s) {}
    void OnStatusFrame(std::span<const uint8_t, 16> b) override { m_s.OnStatusFrame(b); }
    void OnConfigFrame(std::span<const uint8_t, 20> b) override { m_s.OnConfigFrame(b); }
    void OnWaveFrame(std::span<const uint8_t> b) override { m_s.OnWaveFrame(b); }

private:
    CToolsStream& m_s;
};

Bytes Closed(Bytes data) {
    const uint16_t s = Sum16(data.data(), data.size());
    data.push_back(static_cast<uint8_t>(s & 0xFF));
    data.push_back(static_cast<uint8_t>(s >> 8));
    data.push_back(0x99);
    return data;
}

Bytes Framed(uint8_t seq, const Bytes& body) {
    const size_t total = body.size() + 7;
    Bytes f = {0x55, 0xAA, 0x5A, 0xA5, seq, static_cast<uint8_t>(total & 0xFF), static_cast<uint8_t>(total >> 8)};
    f.insert(f.end(), body.begin(), body.end());
    return f;
}

Bytes Take(fuzz::Reader& r, size_t n) {
    Bytes d(n);
    for (auto& b : d) b = r.U8();
    return d;
}

// A trace: noise, or a pulse arriving at a chosen sample.
void Trace(fuzz::Reader& r, int bytes, Bytes& out) {
    const uint8_t kind = r.U8();
    fuzz::Rng rng(r.U16());
    const int samples = bytes / 2;
    const int arrival = kind % 64 * samples / 64;
    for (int i = 0; i < samples; ++i) {
        int v = static_cast<int>(rng.Below(64)) - 32;
        if (kind & 0x40 && i >= arrival) v += static_cast<int>(20000 * std::sin((i - arrival) * 0.3) * std::exp(-(i - arrival) / 40.0));
        if (kind & 0x80) v = static_cast<int16_t>(rng.Next());
        out.push_back(static_cast<uint8_t>(v & 0xFF));
        out.push_back(static_cast<uint8_t>((v >> 8) & 0xFF));
    }
}

void CheckShared(const SharedData& shared) {
    const SondeStatus s = shared.SnapshotSonde();
    const AcquisitionSettings set = shared.SnapshotSettings();
    for (int rx = 0; rx < 3; ++rx) {
        FUZZ_CHECK(s.Code[rx] == TraceCodeOf(s.TraceByte, rx));
        FUZZ_CHECK(s.TraceBytes[rx] == TraceBytesForCode(s.Code[rx]));
        if (s.TravelTime[rx] != kNoPick) {
            // A pick lies inside its window and inside the trace.
            const FirstArrivalSettings& fa = set.FA[rx];
            FUZZ_CHECK(fa.Use, "receiver %d picked with its pick off", rx + 1);
            FUZZ_CHECK(s.TravelTime[rx] <= TraceSamplesForCode(s.Code[rx]) * SampleStepUsForCode(s.Code[rx]),
                       "pick %u us beyond trace of code %d", s.TravelTime[rx], s.Code[rx]);
            FUZZ_CHECK(static_cast<int>(s.TravelTime[rx]) >= fa.StartWindow && static_cast<int>(s.TravelTime[rx]) <= fa.EndWindow,
                       "pick %u us outside %d..%d", s.TravelTime[rx], fa.StartWindow, fa.EndWindow);
        }
    }
    const LiveValues v = shared.SnapshotLive();
    FUZZ_CHECK(std::isfinite(v.Depth) && std::isfinite(v.Speed));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Reader r(data, size);
    const std::string dataPath = Scratch().File("log.zne");
    std::remove(dataPath.c_str());

    zns::FakeClock clock;
    SharedData shared;
    HeaderRecord header;
    zns::DataFileWriter writer;
    CToolsStream ts(shared, header, writer, {}, clock);
    Report report;
    CToolsStream::FrameHooks hooks;
    hooks.report = &report;
    int f1 = 0;
    hooks.sendF1 = [&] { return ++f1 < 1000000; };
    ts.SetFrameHooks(hooks);
    Sink sink(ts);
    FrameReceiver rx(shared, sink);

    // Settings.
    const uint8_t flags = r.U8();
    {
        std::lock_guard<std::mutex> g(shared.acqMutex);
        AcquisitionSettings& s = shared.settings;
        const int modes[4] = {RECMODE_UP, RECMODE_DOWN, RECMODE_TIME, RECMODE_TIME};
        s.RecordingMode = modes[(flags >> 5) & 3];
        s.PulsResolution = r.U16();
        s.PulleysCircumference = r.U16();
        s.DepthFactor256 = DepthFactor256(s);
        s.DepthFactor = s.DepthFactor256 * 0.00390625;
        for (auto& fa : s.FA) {
            fa.Use = r.U8() & 1;
            fa.Threshold = static_cast<int8_t>(r.U8());
            fa.StartWindow = r.U16() % 5000;
            fa.EndWindow = r.U16() % 5000;
        }
        shared.session.Recording = flags & 1;
        shared.session.StartingRecord = (flags >> 1) & 1;
    }
    shared.g_bFirstRecordPending.store(flags & 4);
    shared.m_bDownDirection.store(flags & 8);
    shared.m_bCommCheck.store(flags & 0x80);
    FUZZ_CHECK(writer.Open(dataPath, ""));

    static const bool verbose = std::getenv("ZNS_FUZZ_VERBOSE") != nullptr;
    uint8_t seq = 0;
    for (int item = 0; item < 400 && !r.Empty(); ++item) {
        Bytes bytes;
        const uint8_t tag = r.U8();
        switch (tag % 9) {
            case 0: bytes = Framed(seq++, Closed(Take(r, 14))); break;
            case 1: bytes = Framed(seq++, Closed(Take(r, 18))); break;
            case 2:
            case 3: {
                const uint8_t traceByte = r.U8() & 0x3F;
                Bytes d = Take(r, 22);
                d[21] = traceByte;
                for (int k = 0; k < 3; ++k)
                    if (TraceCodeOf(traceByte, k) != TLC_NONE) Trace(r, TraceBytesForCode(TraceCodeOf(traceByte, k)), d);
                const Bytes tail = Take(r, 3);
                d.insert(d.end(), tail.begin(), tail.end());
                bytes = Framed(seq++, Closed(std::move(d)));
                break;
            }
            case 4: {  // a status block without its head, after a frame
                bytes = Framed(seq++, Closed(Take(r, 14)));
                const Bytes headless = Closed(Take(r, 14));
                bytes.insert(bytes.end(), headless.begin(), headless.end());
                const Bytes next = Framed(seq++, Closed(Take(r, 14)));
                bytes.insert(bytes.end(), next.begin(), next.end());
                break;
            }
            case 5: bytes = Take(r, r.U8()); break;
            case 6: clock.Advance(r.U16()); break;
            case 7: {  // the recorder switches
                const uint8_t b = r.U8();
                std::lock_guard<std::mutex> g(shared.acqMutex);
                shared.session.Recording = b & 1;
                shared.session.StartingRecord = (b >> 1) & 1;
                shared.g_bFirstRecordPending.store(b & 4);
                shared.m_bDownDirection.store(b & 8);
                break;
            }
            case 8: {  // a frame with a wrong sum
                Bytes b = Closed(Take(r, tag & 0x10 ? 18 : 14));
                b[b.size() - 2] ^= 0x01;
                bytes = Framed(seq++, b);
                break;
            }
        }
        clock.Advance(10);
        if (!bytes.empty()) rx.OnRead(bytes.data(), bytes.size());
        CheckShared(shared);
        if (verbose) {
            const LiveValues v = shared.SnapshotLive();
            std::fprintf(stderr, "item %d tag %d: depth %.3f speed %.3f mode %d rows %ld size %lld\n", item, tag % 9,
                         v.Depth, v.Speed, shared.SnapshotSonde().Mode, report.rows,
                         static_cast<long long>(writer.Size()));
        }
    }
    const int64_t written = writer.Size();
    writer.Close();

    // The data file: whole records only, each re-checked, times in order.
    std::FILE* f = std::fopen(dataPath.c_str(), "rb");
    FUZZ_CHECK(f != nullptr);
    int64_t total = 0;
    uint32_t lastElapsed = 0;
    for (;;) {
        zns::DataFileRecord rec;
        size_t n = 0;
        const zns::RecordStatus st = zns::ReadRecord(f, rec, &n);
        if (st == zns::RecordStatus::EndOfFile) break;
        FUZZ_CHECK(st == zns::RecordStatus::Ok, "record at byte %lld: status %d", static_cast<long long>(total),
                   static_cast<int>(st));
        FUZZ_CHECK(rec.elapsedMs >= lastElapsed, "elapsed time went back from %u to %u", lastElapsed, rec.elapsedMs);
        FUZZ_CHECK((rec.traceByte & 0xC0) == 0);
        lastElapsed = rec.elapsedMs;
        total += static_cast<int64_t>(n);
    }
    std::fclose(f);
    if (verbose) std::fprintf(stderr, "rows %ld, data file %lld bytes, packets %d\n", report.rows,
                              static_cast<long long>(total), rx.PacketCount());
    FUZZ_CHECK(total == written, "file holds %lld bytes, the writer counted %lld", static_cast<long long>(total),
               static_cast<long long>(written));
    return 0;
}
