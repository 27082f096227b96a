// The answer-frame reception machine fed in arbitrary chunks.
//
// Input: byte 0 chooses the mode (bit 0 script, bits 1 and 2 both set: the
// communication check, when one frame in three is handled), bytes 1..4 seed
// the chunking.
//  - raw mode: the rest is the byte stream itself;
//  - script mode: the rest describes a stream of valid, odd, broken and
//    headless frames with garbage between them, and the frames the receiver
//    must hand on are known in advance.
// Both modes feed the stream three ways (whole, random reads with empty reads
// between them, 24-byte blocks) and require the same frames, in the same
// order, with the same counters, each time; a receive loop restarted at any
// point gives what the two parts give on their own. Every frame handed on must
// have a valid sum and a length the logger sends.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "link/Checksums.h"
#include "link/FrameReceiver.h"
#include "records/SharedRecords.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Result {
    std::vector<Bytes> frames;
    int packets = 0;
    int lost = 0;
    int rejected = 0;
    bool operator==(const Result&) const = default;
};

class CheckingSink : public IFrameSink {
public:
    void OnStatusFrame(std::span<const uint8_t, 16> b) override {
        FUZZ_CHECK(CheckRecordSum14(b), "status frame with a wrong sum handed on");
        frames.emplace_back(b.begin(), b.end());
    }
    void OnConfigFrame(std::span<const uint8_t, 20> b) override {
        FUZZ_CHECK(CheckRecordSum18(b), "configuration answer with a wrong sum handed on");
        frames.emplace_back(b.begin(), b.end());
    }
    void OnWaveFrame(std::span<const uint8_t> b) override {
        const int n = static_cast<int>(b.size());
        FUZZ_CHECK(FrameReceiver::IsKnownBodyLength(n + 1), "waveform of length %d handed on", n);
        FUZZ_CHECK(FrameReceiver::WaveSizeMatches(b.data(), n), "waveform whose traces do not fill it");
        // The handler checks the sum in pieces: head, traces, tail.
        uint16_t partial = SumRecord22(std::span<const uint8_t, 22>(b.data(), 22));
        partial = AddSum16(partial, b.data() + 22, static_cast<size_t>(n - 27));
        FUZZ_CHECK(CheckRecordSum3(partial, std::span<const uint8_t, 5>(b.data() + n - 5, 5)),
                   "waveform with a wrong sum handed on");
        frames.emplace_back(b.begin(), b.end());
    }
    void OnStatusText(int part, const std::string& text) override {
        FUZZ_CHECK(part >= 1 && part <= 3, "status-bar part %d", part);
        FUZZ_CHECK(!text.empty());
    }
    void OnRestoreLinkText() override {
        FUZZ_CHECK(waitShown, "link text restored without a data wait");
        waitShown = false;
        ++restores;
    }

    std::vector<Bytes> frames;
    bool waitShown = false;
    int restores = 0;
};

Result Collect(FrameReceiver& rx, CheckingSink& sink) {
    Result r;
    r.frames = std::move(sink.frames);
    r.packets = rx.PacketCount();
    r.lost = rx.LostFrames();
    r.rejected = rx.RejectedFrames();
    return r;
}

bool g_commCheck = false;  // during the communication check one frame in three is handled

Result FeedWhole(const Bytes& s) {
    SharedData shared;
    shared.m_bCommCheck = g_commCheck;
    CheckingSink sink;
    FrameReceiver rx(shared, sink);
    rx.Feed(s.data(), s.size());
    return Collect(rx, sink);
}

Result FeedBlocks(const Bytes& s) {
    SharedData shared;
    shared.m_bCommCheck = g_commCheck;
    CheckingSink sink;
    FrameReceiver rx(shared, sink);
    for (size_t i = 0; i < s.size(); i += FrameReceiver::kReadBlock) {
        size_t n = std::min(FrameReceiver::kReadBlock, s.size() - i);
        FUZZ_CHECK(rx.OnRead(s.data() + i, n) == FrameReceiver::ReadResult::Data);
    }
    return Collect(rx, sink);
}

Result FeedRandom(const Bytes& s, uint32_t seed) {
    SharedData shared;
    shared.m_bCommCheck = g_commCheck;
    CheckingSink sink;
    FrameReceiver rx(shared, sink);
    fuzz::Rng rng(seed);
    size_t i = 0;
    int empties = 0;
    while (i < s.size()) {
        const uint32_t pick = rng.Below(16);
        if (pick == 0) {
            // A run of empty reads, long enough to show "Data wait ..." at times.
            const int runs = 1 + static_cast<int>(rng.Below(14));
            for (int k = 0; k < runs; ++k) {
                const FrameReceiver::ReadResult res = rx.OnRead(nullptr, 0);
                ++empties;
                if (res == FrameReceiver::ReadResult::DataWait) {
                    FUZZ_CHECK(empties >= FrameReceiver::kEmptyReadsBeforeWait, "data wait after %d empty reads", empties);
                    sink.waitShown = true;
                } else {
                    FUZZ_CHECK(res == FrameReceiver::ReadResult::Empty);
                }
            }
            continue;
        }
        size_t n = pick < 8 ? 1 + rng.Below(8) : pick < 14 ? 1 + rng.Below(64) : 1 + rng.Below(4096);
        n = std::min(n, s.size() - i);
        const bool waited = sink.waitShown;
        const int restores = sink.restores;
        FUZZ_CHECK(rx.OnRead(s.data() + i, n) == FrameReceiver::ReadResult::Data);
        FUZZ_CHECK(!waited || sink.restores == restores + 1, "data after a wait did not restore the link text");
        empties = 0;
        i += n;
    }
    return Collect(rx, sink);
}

// A receive loop that ends at `cut` (the link was lost) and starts again.
Result FeedWithRestart(const Bytes& s, size_t cut) {
    SharedData shared;
    shared.m_bCommCheck = g_commCheck;
    CheckingSink sink;
    FrameReceiver rx(shared, sink);
    rx.Feed(s.data(), cut);
    rx.Reset();
    rx.Feed(s.data() + cut, s.size() - cut);
    return Collect(rx, sink);
}

// ---- script mode ----

void Put(Bytes& out, const Bytes& in) { out.insert(out.end(), in.begin(), in.end()); }

// No byte of a scripted body starts a sync word, so every frame is found
// where it was put.
uint8_t NoSync(uint8_t b) { return b == 0x55 ? 0x56 : b; }

Bytes Data(fuzz::Reader& r, size_t n) {
    Bytes d(n);
    for (auto& b : d) b = NoSync(r.U8());
    return d;
}

Bytes Closed(Bytes data) {
    const uint16_t s = Sum16(data.data(), data.size());
    data.push_back(static_cast<uint8_t>(s & 0xFF));
    data.push_back(static_cast<uint8_t>(s >> 8));
    data.push_back(FrameReceiver::kEndByte);
    return data;
}

Bytes Head(uint8_t seq, size_t bodySize) {
    const size_t total = bodySize + 7;
    return {0x55, 0xAA, 0x5A, 0xA5, seq, static_cast<uint8_t>(total & 0xFF), static_cast<uint8_t>(total >> 8)};
}

struct Script {
    Bytes stream;
    Result expected;
    // Every frame the machine passes on, handled by a sink (body) or not (empty).
    std::vector<Bytes> deliveries;
    Bytes gap;  // bytes since the last head, judged when the next head comes
    int prevSeq = -1;

    // A head arrives: the bytes before it are judged as a headless status block.
    void JudgeGap() {
        if (!gap.empty() && gap.size() <= static_cast<size_t>(FrameReceiver::kMaxBody) + 7) {
            Bytes b = gap;
            const int c = static_cast<int>(b.size());
            if (FrameReceiver::IsShortStatusFrame(b.data(), c) || FrameReceiver::ConvertShortFrame(b.data(), c))
                deliveries.emplace_back(b.begin(), b.begin() + 16);
        }
        gap.clear();
    }
    // A whole frame with a valid sum and end byte.
    void GoodFrame(uint8_t seq, const Bytes& body) {
        JudgeGap();
        Put(stream, Head(seq, body.size()));
        Put(stream, body);
        int lost = 0;
        FrameReceiver::CountLostFrames(prevSeq, seq, lost);
        expected.lost += lost;
        const int n = static_cast<int>(body.size()) - 1;
        const bool handled = n == 16 || n == 20 || (FrameReceiver::IsKnownBodyLength(n + 1) &&
                                                    FrameReceiver::WaveSizeMatches(body.data(), n));
        deliveries.push_back(handled ? Bytes(body.begin(), body.begin() + n) : Bytes());
    }
    // A frame whose sum or end byte is wrong: rejected, its body searched again.
    void BadFrame(uint8_t seq, const Bytes& body) {
        JudgeGap();
        Put(stream, Head(seq, body.size()));
        Put(stream, body);
        ++expected.rejected;
        gap = body;
    }
    void Loose(const Bytes& bytes) {
        Put(stream, bytes);
        Put(gap, bytes);
    }
    Result Expected() const {
        Result r = expected;
        for (size_t i = 0; i < deliveries.size(); ++i) {
            if (g_commCheck && i % 3 != 2) continue;
            ++r.packets;
            if (!deliveries[i].empty()) r.frames.push_back(deliveries[i]);
        }
        return r;
    }
};

Bytes Build(fuzz::Reader& r, Result& expected) {
    Script s;
    constexpr size_t kMaxStream = 16 * 1024;
    while (!r.Empty() && s.stream.size() < kMaxStream) {
        const uint8_t tag = r.U8();
        const uint8_t seq = NoSync(r.U8());
        switch (tag % 9) {
            case 0: s.GoodFrame(seq, Closed(Data(r, 14))); break;  // status
            case 1: s.GoodFrame(seq, Closed(Data(r, 18))); break;  // configuration answer
            case 2: {                                               // waveform
                const uint8_t traceByte = r.U8() & 0x3F;
                Bytes d = Data(r, 22);
                d[21] = traceByte;
                fuzz::Rng fill(r.U16());
                for (int rx = 0; rx < 3; ++rx)
                    for (int i = 0; i < TraceBytesForCode(TraceCodeOf(traceByte, rx)); ++i)
                        d.push_back(NoSync(static_cast<uint8_t>(fill.Next() >> 24)));
                Put(d, Data(r, 3));
                s.GoodFrame(seq, Closed(std::move(d)));
                break;
            }
            case 3: {  // any other length, waveform lengths with the wrong trace byte included
                const size_t n = r.U8() % 4 == 0 ? 25 + 512 * (r.U8() % 7) : r.U16() % 700;
                s.GoodFrame(seq, Closed(Data(r, n)));
                break;
            }
            case 4: {  // garbage
                Bytes g = Data(r, r.U8());
                if (s.gap.size() + g.size() < 4000) s.Loose(g);
                break;
            }
            case 5: {  // a status body without its head
                if (s.gap.size() < 4000) s.Loose(Closed(Data(r, 14)));
                break;
            }
            case 6:
            case 7: {  // broken sum or end byte
                Bytes b = Closed(Data(r, tag % 2 ? 14 : 18));
                if (tag & 0x10)
                    b.back() = 0x98;
                else
                    b[b.size() - 3] ^= static_cast<uint8_t>(1 + r.U8() % 255);
                s.BadFrame(seq, b);
                break;
            }
            case 8: {  // the stream ends inside a frame
                Bytes b = Closed(Data(r, 14));
                s.JudgeGap();
                Put(s.stream, Head(seq, b.size()));
                s.stream.insert(s.stream.end(), b.begin(), b.begin() + r.U8() % b.size());
                expected = s.Expected();
                return s.stream;
            }
        }
    }
    expected = s.Expected();  // bytes after the last frame are never judged
    return s.stream;
}

std::string Describe(const Result& r) {
    std::string t = "frames:";
    for (const Bytes& f : r.frames) t += " " + std::to_string(f.size());
    t += " packets " + std::to_string(r.packets) + " lost " + std::to_string(r.lost) + " rejected " +
         std::to_string(r.rejected);
    return t;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Reader r(data, size);
    const uint8_t mode = r.U8();
    const uint32_t seed = r.U32();

    Bytes stream;
    Result expected;
    const bool scripted = mode & 1;
    g_commCheck = (mode & 6) == 6;
    if (scripted) {
        stream = Build(r, expected);
    } else {
        std::string_view rest = r.Rest();
        stream.assign(rest.begin(), rest.end());
    }

    const Result whole = FeedWhole(stream);
    static const bool verbose = std::getenv("ZNS_FUZZ_VERBOSE") != nullptr;
    if (verbose) std::fprintf(stderr, "%s stream %zu bytes: %s\n", scripted ? "script" : "raw", stream.size(),
                              Describe(whole).c_str());
    if (scripted)
        FUZZ_CHECK(whole == expected, "expected %s\ngot      %s", Describe(expected).c_str(), Describe(whole).c_str());
    const Result blocks = FeedBlocks(stream);
    FUZZ_CHECK(blocks == whole, "24-byte reads: %s\nwhole: %s", Describe(blocks).c_str(), Describe(whole).c_str());
    const Result random = FeedRandom(stream, seed);
    FUZZ_CHECK(random == whole, "random reads: %s\nwhole: %s", Describe(random).c_str(), Describe(whole).c_str());
    FUZZ_CHECK(whole.packets >= static_cast<int>(whole.frames.size()));

    // A restart forgets the frame in progress and nothing before it: what comes
    // out is what the part before the cut gives, then what the part after it
    // gives on its own.
    const size_t cut = stream.empty() ? 0 : seed % (stream.size() + 1);
    const Result restarted = FeedWithRestart(stream, cut);
    Result parts = FeedWhole(Bytes(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(cut)));
    const Result after = FeedWhole(Bytes(stream.begin() + static_cast<std::ptrdiff_t>(cut), stream.end()));
    parts.frames.insert(parts.frames.end(), after.frames.begin(), after.frames.end());
    parts.packets += after.packets;
    parts.lost += after.lost;
    parts.rejected += after.rejected;
    FUZZ_CHECK(restarted == parts, "restart at %zu: %s\nparts: %s", cut, Describe(restarted).c_str(),
               Describe(parts).c_str());
    return 0;
}
