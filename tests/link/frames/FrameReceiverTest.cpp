#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>
#include <string>
#include <vector>

#include "link/Checksums.h"
#include "link/FrameReceiver.h"
#include "records/SharedRecords.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Got {
    int kind;  // 16, 20 or the waveform's n
    Bytes body;
    bool operator==(const Got&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Got& g) { return os << "{" << g.kind << ", " << g.body.size() << " bytes}"; }

class RecordingSink : public IFrameSink {
public:
    void OnStatusFrame(std::span<const uint8_t, 16> b) override { got.push_back({16, Bytes(b.begin(), b.end())}); }
    void OnConfigFrame(std::span<const uint8_t, 20> b) override { got.push_back({20, Bytes(b.begin(), b.end())}); }
    void OnWaveFrame(std::span<const uint8_t> b) override {
        got.push_back({static_cast<int>(b.size()), Bytes(b.begin(), b.end())});
    }
    void OnStatusText(int part, const std::string& text) override { texts.emplace_back(part, text); }
    void OnRestoreLinkText() override { ++restores; }

    std::vector<Got> got;
    std::vector<std::pair<int, std::string>> texts;
    int restores = 0;
};

// ---- wire builders ----

void Append(Bytes& out, const Bytes& in) { out.insert(out.end(), in.begin(), in.end()); }

Bytes Closed(Bytes data) {  // data + u16 sum + end byte
    const uint16_t s = Sum16(data.data(), data.size());
    data.push_back(static_cast<uint8_t>(s & 0xFF));
    data.push_back(static_cast<uint8_t>(s >> 8));
    data.push_back(0x99);
    return data;
}

Bytes Head(int seq, int total) {
    return {0x55, 0xAA, 0x5A, 0xA5, static_cast<uint8_t>(seq), static_cast<uint8_t>(total & 0xFF),
            static_cast<uint8_t>((total >> 8) & 0xFF)};
}

Bytes Framed(int seq, const Bytes& body) {
    Bytes f = Head(seq, static_cast<int>(body.size()) + 7);
    Append(f, body);
    return f;
}

Bytes Random(std::mt19937& rng, size_t n) {
    Bytes b(n);
    for (auto& x : b) x = static_cast<uint8_t>(rng());
    return b;
}

Bytes StatusData(std::mt19937& rng) { return Random(rng, 14); }
Bytes ConfigData(std::mt19937& rng) { return Random(rng, 18); }

int TraceBytes(uint8_t traceByte) {
    int n = 0;
    for (int rx = 0; rx < 3; ++rx) n += TraceBytesForCode(TraceCodeOf(traceByte, rx));
    return n;
}

Bytes WaveData(std::mt19937& rng, uint8_t traceByte) {
    Bytes d = Random(rng, 22);
    d[21] = traceByte;
    Append(d, Random(rng, static_cast<size_t>(TraceBytes(traceByte))));
    Append(d, Random(rng, 3));
    return d;
}

// What the receiver hands on for a body (data + sum + end byte).
Got Expect(int kind, const Bytes& body) { return {kind, Bytes(body.begin(), body.begin() + kind)}; }

// A headless block that the receiver turns into a status body.
Got ExpectConverted(const Bytes& body) {
    Bytes s(body.begin(), body.begin() + 16);
    const size_t e = body.size() - 1;  // the end byte
    s[0] = static_cast<uint8_t>(s[0] & 0x3F);
    s[13] = static_cast<uint8_t>(body[e - 3] | 0x80);
    const uint16_t sum = Sum16(s.data(), 14);
    s[14] = static_cast<uint8_t>(sum & 0xFF);
    s[15] = static_cast<uint8_t>(sum >> 8);
    return {16, s};
}

// True when the receiver could take these bytes, met as a gap, for a headless status block.
bool Salvageable(const Bytes& b) {
    if (b.size() < 17) return false;
    Bytes c = b;
    return FrameReceiver::IsShortStatusFrame(c.data(), static_cast<int>(c.size())) ||
           FrameReceiver::ConvertShortFrame(c.data(), static_cast<int>(c.size()));
}

bool HasSync(const Bytes& b) {
    for (size_t i = 0; i + 4 <= b.size(); ++i)
        if (b[i] == 0x55 && b[i + 1] == 0xAA && b[i + 2] == 0x5A && b[i + 3] == 0xA5) return true;
    return false;
}

// ---- stream generator ----

struct Stream {
    Bytes bytes;
    std::vector<Got> expected;  // handled frames, in order
    int packets = 0;            // every dispatch, handled or not
    int lost = 0;
    int lastState = LINK_IDLE;
    int units = 0;
    // How often each disturbance was generated (see Generator::Kind).
    std::array<int, 11> seen{};
};

class Generator {
public:
    enum Kind { kGarbage, kFalseSync, kBadSum, kBadEnd, kHeadless, kHeadlessWave, kWrongLength, kSeqGap,
                kUnknownLength, kWaveMismatch, kOversize };

    explicit Generator(uint32_t seed, int maxK = 6) : m_rng(seed), m_maxK(maxK) {}

    Stream Make(int units) {
        Stream s;
        for (int u = 0; u < units; ++u) Unit(s, u == units - 1);
        return s;
    }

    // One unit: an optional disturbance, then a valid framed frame. The last unit is a
    // plain status frame, so that nothing is left waiting at the end of the stream.
    void Unit(Stream& s, bool last) {
        ++s.units;
        if (last) {
            Valid(s, 0);
            return;
        }
        switch (m_rng() % 12) {
            case 0: Garbage(s, false); ++s.seen[kGarbage]; break;
            case 1: Garbage(s, true); ++s.seen[kFalseSync]; break;
            case 2: BadFrame(s, true); ++s.seen[kBadSum]; break;
            case 3: BadFrame(s, false); ++s.seen[kBadEnd]; break;
            case 4: if (m_afterValid) { Headless(s, false); ++s.seen[kHeadless]; } break;
            case 5: if (m_afterValid) { Headless(s, true); ++s.seen[kHeadlessWave]; } break;
            case 6: WrongLength(s); ++s.seen[kWrongLength]; break;
            case 7: m_seq = (m_seq + 1 + static_cast<int>(m_rng() % 20)) & 0xFF; ++s.seen[kSeqGap]; break;
            default: break;
        }
        Valid(s, static_cast<int>(m_rng() % 16));
    }

    // A framed frame that passes its checks; `pick` chooses the kind.
    void Valid(Stream& s, int pick) {
        Bytes body;
        int handled = 0;     // kind the sink sees, 0 for none
        int state = LINK_RX_ERROR;
        int total = -1;      // declared total length, -1 for the true one
        if (pick <= 5) {
            body = Closed(StatusData(m_rng));
            handled = 16;
            state = LINK_STATUS;
        } else if (pick <= 8) {
            body = Closed(ConfigData(m_rng));
            handled = 20;
            state = LINK_ANSWER;
        } else if (pick <= 12) {
            const uint8_t tb = WaveByte();
            body = Closed(WaveData(m_rng, tb));
            handled = static_cast<int>(body.size()) - 1;
            state = LINK_WAVES;
        } else if (pick == 13) {
            // A length the logger does not send.
            int n;
            do n = 2 + static_cast<int>(m_rng() % 700);
            while (FrameReceiver::IsKnownBodyLength(n + 1));
            body = Closed(Random(m_rng, static_cast<size_t>(n - 2)));
        } else if (pick == 14) {
            // Waveform length whose trace byte announces other traces.
            uint8_t tb = WaveByte();
            body = Closed(WaveData(m_rng, tb));
            Bytes d(body.begin(), body.end() - 3);
            do d[21] = static_cast<uint8_t>(m_rng() & 0x3F);
            while (TraceBytes(d[21]) == TraceBytes(tb));
            body = Closed(d);
        } else {
            // Declared body above 8192 (or a total below 7): read as a 24-byte body.
            body = Closed(Random(m_rng, 21));
            total = (m_rng() % 2) ? 9000 + 7 + static_cast<int>(m_rng() % 50000) : static_cast<int>(m_rng() % 7);
        }
        const int seq = NextSeq();
        Bytes f = total < 0 ? Framed(seq, body) : Head(seq, total);
        if (total >= 0) Append(f, body);
        Append(s.bytes, f);
        if (handled) s.expected.push_back(Expect(handled, body));
        if (pick == 13) ++s.seen[kUnknownLength];
        if (pick == 14) ++s.seen[kWaveMismatch];
        if (pick == 15) ++s.seen[kOversize];
        if (m_lastValidSeq >= 0) s.lost += (seq - m_lastValidSeq - 1) & 0xFF;
        m_lastValidSeq = seq;
        ++s.packets;
        s.lastState = state;
        m_afterValid = true;
    }

    // Noise, optionally with a false sync word and a random length in it.
    void Garbage(Stream& s, bool falseSync) {
        for (;;) {
            Bytes g = Random(m_rng, 1 + m_rng() % 60);
            size_t at = g.size();
            if (falseSync && m_rng() % 3 == 0) {
                // A sync word at the very end: the frame behind supplies the rest of its head.
                Bytes h = Head(static_cast<int>(m_rng()), 0);
                h.resize(5 + m_rng() % 2);
                if (HasSync(g) || Salvageable(g)) continue;
                Append(g, h);
                Append(s.bytes, g);
                m_afterValid = false;
                return;
            }
            if (falseSync) {
                at = m_rng() % (g.size() + 1);
                Bytes h = Head(static_cast<int>(m_rng()), static_cast<int>(m_rng() & 0xFFFF));
                g.insert(g.begin() + static_cast<std::ptrdiff_t>(at), h.begin(), h.end());
            }
            Bytes before(g.begin(), g.begin() + static_cast<std::ptrdiff_t>(at));
            Bytes after(g.begin() + static_cast<std::ptrdiff_t>(std::min(at + 7, g.size())), g.end());
            if (HasSync(before) || HasSync(after) || Salvageable(g) || Salvageable(before) || Salvageable(after))
                continue;
            Append(s.bytes, g);
            m_afterValid = false;
            return;
        }
    }

    // A framed frame with a wrong sum or a wrong end byte; it uses up a sequence number.
    void BadFrame(Stream& s, bool badSum) {
        for (;;) {
            Bytes body = (m_rng() % 2) ? Closed(StatusData(m_rng)) : Closed(WaveData(m_rng, WaveByte()));
            const size_t n = body.size();
            if (badSum)
                body[n - 3] ^= static_cast<uint8_t>(1 + m_rng() % 255);
            else
                body[n - 1] = static_cast<uint8_t>(0x99 ^ (1 + m_rng() % 255));
            if (Salvageable(body)) continue;
            Append(s.bytes, Framed(NextSeq(), body));
            m_afterValid = false;
            return;
        }
    }

    // A status block (17 bytes) or a whole waveform body arriving without a head.
    void Headless(Stream& s, bool wave) {
        if (!wave) {
            Bytes body = Closed(StatusData(m_rng));
            Append(s.bytes, body);
            s.expected.push_back(Expect(16, body));
        } else {
            Bytes body = Closed(WaveData(m_rng, WaveByte()));
            Append(s.bytes, body);
            s.expected.push_back(ExpectConverted(body));
        }
        ++s.packets;
        s.lastState = LINK_STATUS;
        m_afterValid = false;
    }

    // A head whose declared length is not that of the body behind it: the body is
    // taken as a headless block.
    void WrongLength(Stream& s) {
        const bool wave = m_rng() % 2;
        Bytes body = wave ? Closed(WaveData(m_rng, WaveByte())) : Closed(StatusData(m_rng));
        const int b = static_cast<int>(body.size());
        int declared;
        for (;;) {
            declared = 3 + static_cast<int>(m_rng() % 9000);
            const int eff = FrameReceiver::BodyLength(static_cast<uint16_t>(declared + 7));
            if (eff == b) continue;
            // A shorter declared body must not pass its checks by chance.
            if (eff < b && body[eff - 1] == 0x99 && Sum16(body.data(), eff - 3) == ReadU16(body.data() + eff - 3))
                continue;
            break;
        }
        Bytes f = Head(NextSeq(), declared + 7);
        Append(f, body);
        Append(s.bytes, f);
        s.expected.push_back(wave ? ExpectConverted(body) : Expect(16, body));
        ++s.packets;
        s.lastState = LINK_STATUS;
        m_afterValid = false;
    }

private:
    uint8_t WaveByte() {
        // Any codes whose traces fit k <= m_maxK blocks of 512 bytes.
        for (;;) {
            const uint8_t tb = static_cast<uint8_t>(m_rng() & 0x3F);
            if (TraceBytes(tb) / 512 <= m_maxK) return tb;
        }
    }
    int NextSeq() {
        const int s = m_seq;
        m_seq = (m_seq + 1) & 0xFF;
        return s;
    }

    std::mt19937 m_rng;
    int m_maxK;
    int m_seq = 0;
    int m_lastValidSeq = -1;
    bool m_afterValid = true;  // the stream start counts as a frame boundary
};

// Feeds `bytes` cut at the given offsets.
void FeedCuts(FrameReceiver& rx, const Bytes& bytes, const std::vector<size_t>& cuts) {
    size_t from = 0;
    for (size_t c : cuts) {
        rx.Feed(bytes.data() + from, c - from);
        from = c;
    }
    rx.Feed(bytes.data() + from, bytes.size() - from);
}

void ExpectStream(const Stream& s, const RecordingSink& sink, const FrameReceiver& rx, const SharedData& d,
                  const std::string& where) {
    ASSERT_EQ(sink.got.size(), s.expected.size()) << where;
    for (size_t i = 0; i < s.expected.size(); ++i) ASSERT_EQ(sink.got[i], s.expected[i]) << where << " item " << i;
    EXPECT_EQ(rx.PacketCount(), s.packets) << where;
    EXPECT_EQ(rx.LostFrames(), s.lost) << where;
    EXPECT_EQ(d.m_nLinkState.load(), s.lastState) << where;
}

struct Fixture {
    SharedData d;
    RecordingSink sink;
    FrameReceiver rx{d, sink};
};

Bytes StatusFrame(int seq, std::mt19937& rng, Bytes* bodyOut = nullptr) {
    Bytes body = Closed(StatusData(rng));
    if (bodyOut) *bodyOut = body;
    return Framed(seq, body);
}

}  // namespace

// ---- the generated streams ----

TEST(FrameReceiverStream, EverySplitPointGivesTheSameFrames) {
    Generator gen(7, 1);
    Stream s = gen.Make(60);
    for (size_t k = 0; k < s.seen.size(); ++k) ASSERT_GT(s.seen[k], 0) << "kind " << k;
    ASSERT_LT(s.bytes.size(), 20000u);  // keeps the test quick under AddressSanitizer
    for (size_t cut = 0; cut <= s.bytes.size(); ++cut) {
        Fixture f;
        FeedCuts(f.rx, s.bytes, {cut});
        ExpectStream(s, f.sink, f.rx, f.d, "cut " + std::to_string(cut));
        if (HasFailure()) return;
    }
}

TEST(FrameReceiverStream, ReadsOf24BytesOneByteAndRandomChunks) {
    for (uint32_t seed = 1; seed <= 40; ++seed) {
        Generator gen(seed * 7919u);
        Stream s = gen.Make(150);
        {
            Fixture f;
            for (size_t i = 0; i < s.bytes.size(); i += FrameReceiver::kReadBlock) {
                const size_t n = std::min(FrameReceiver::kReadBlock, s.bytes.size() - i);
                // Reads go into a buffer of exactly their size, so that ASan sees any overread.
                Bytes block(s.bytes.begin() + static_cast<std::ptrdiff_t>(i),
                            s.bytes.begin() + static_cast<std::ptrdiff_t>(i + n));
                EXPECT_EQ(f.rx.OnRead(block.data(), block.size()), FrameReceiver::ReadResult::Data);
            }
            ExpectStream(s, f.sink, f.rx, f.d, "24-byte reads, seed " + std::to_string(seed));
        }
        {
            Fixture f;
            for (uint8_t b : s.bytes) f.rx.Feed(&b, 1);
            ExpectStream(s, f.sink, f.rx, f.d, "1-byte reads, seed " + std::to_string(seed));
        }
        {
            Fixture f;
            std::mt19937 rng(seed);
            std::vector<size_t> cuts;
            for (size_t at = 0;;) {
                at += 1 + rng() % 5000;
                if (at >= s.bytes.size()) break;
                cuts.push_back(at);
            }
            FeedCuts(f.rx, s.bytes, cuts);
            ExpectStream(s, f.sink, f.rx, f.d, "random chunks, seed " + std::to_string(seed));
        }
        if (HasFailure()) return;
    }
}

TEST(FrameReceiverStream, EveryWaveformLength) {
    std::mt19937 rng(99);
    Fixture f;
    Bytes stream;
    std::vector<int> lengths;
    for (int tb = 0; tb < 64; ++tb) {
        Bytes body = Closed(WaveData(rng, static_cast<uint8_t>(tb)));
        Append(stream, Framed(tb, body));
        lengths.push_back(static_cast<int>(body.size()) - 1);
    }
    f.rx.Feed(stream.data(), stream.size());
    ASSERT_EQ(f.sink.got.size(), 64u);
    for (int tb = 0; tb < 64; ++tb) EXPECT_EQ(f.sink.got[tb].kind, lengths[tb]);
    EXPECT_EQ(f.rx.LostFrames(), 0);
    std::vector<int> ks;
    for (int n : lengths) ks.push_back((n - 27) / 512);
    for (int k = 0; k <= 6; ++k) EXPECT_NE(std::find(ks.begin(), ks.end(), k), ks.end()) << k;
}

// ---- the cases one by one ----

TEST(FrameReceiver, StatusFrameSplitAcrossTwoReadsIsDispatchedOnce) {
    Fixture f;
    std::mt19937 rng(1);
    Bytes body;
    Bytes frame = StatusFrame(5, rng, &body);
    f.rx.OnRead(frame.data(), 10);
    EXPECT_TRUE(f.sink.got.empty());
    f.rx.OnRead(frame.data() + 10, frame.size() - 10);
    ASSERT_EQ(f.sink.got.size(), 1u);
    EXPECT_EQ(f.sink.got[0], Expect(16, body));
    EXPECT_EQ(f.d.m_nLinkState.load(), LINK_STATUS);
    EXPECT_TRUE(f.d.m_bRxActivity.load());
}

TEST(FrameReceiver, GarbageBeforeSyncAndSyncStraddlingReads) {
    Fixture f;
    std::mt19937 rng(2);
    Bytes stream = {0x01, 0x02, 0x55, 0xAA, 0x5A, 0x00, 0x55};  // near-syncs
    Bytes body;
    Append(stream, StatusFrame(1, rng, &body));
    // The sync word is cut between the reads.
    f.rx.OnRead(stream.data(), 9);
    f.rx.OnRead(stream.data() + 9, stream.size() - 9);
    ASSERT_EQ(f.sink.got.size(), 1u);
    EXPECT_EQ(f.sink.got[0], Expect(16, body));
}

TEST(FrameReceiver, OversizeDeclaredBodyIsReadAs24Bytes) {
    Fixture f;
    std::mt19937 rng(3);
    Bytes body24 = Closed(Random(rng, 21));
    Bytes stream = Head(0, 9000);
    Append(stream, body24);
    Bytes status;
    Append(stream, StatusFrame(1, rng, &status));
    f.rx.Feed(stream.data(), stream.size());
    EXPECT_EQ(f.rx.PacketCount(), 2);  // the 24-byte body is an unhandled frame
    ASSERT_EQ(f.sink.got.size(), 1u);
    EXPECT_EQ(f.sink.got[0], Expect(16, status));
    ASSERT_GE(f.sink.texts.size(), 4u);
    EXPECT_EQ(f.sink.texts[0], (std::pair<int, std::string>(2, "Packet size 23 Bytes")));
    EXPECT_EQ(f.sink.texts[1], (std::pair<int, std::string>(3, "1")));
    EXPECT_EQ(f.sink.texts[2], (std::pair<int, std::string>(2, "Packet size 16 Bytes")));
    EXPECT_EQ(f.sink.texts[3], (std::pair<int, std::string>(3, "2")));
}

TEST(FrameReceiver, WrongSumIsDroppedAndTheNextFrameFound) {
    Fixture f;
    std::mt19937 rng(4);
    Bytes bad = Closed(ConfigData(rng));
    bad[5] ^= 0x40;
    Bytes stream = Framed(1, bad);
    Bytes good;
    Append(stream, StatusFrame(2, rng, &good));
    f.rx.Feed(stream.data(), stream.size());
    ASSERT_EQ(f.sink.got.size(), 1u);
    EXPECT_EQ(f.sink.got[0], Expect(16, good));
    EXPECT_EQ(f.rx.RejectedFrames(), 1);
    EXPECT_EQ(f.rx.PacketCount(), 1);
}

TEST(FrameReceiver, HeadlessStatusBlockThenFramedFrame) {
    Fixture f;
    std::mt19937 rng(5);
    Bytes headless = Closed(StatusData(rng));
    Bytes config = Closed(ConfigData(rng));
    Bytes stream = headless;
    Append(stream, Framed(1, config));
    f.rx.Feed(stream.data(), stream.size());
    ASSERT_EQ(f.sink.got.size(), 2u);
    EXPECT_EQ(f.sink.got[0], Expect(16, headless));
    EXPECT_EQ(f.sink.got[1], Expect(20, config));
    EXPECT_EQ(f.d.m_nLinkState.load(), LINK_ANSWER);
}

TEST(FrameReceiver, WaveformBodyBehindAWrongHeadBecomesAMarkedStatus) {
    Fixture f;
    std::mt19937 rng(6);
    Bytes wave = Closed(WaveData(rng, 0x01));  // one 256-sample trace
    Bytes stream = Head(1, 3099 + 1 + 7);      // announces three long traces
    Append(stream, wave);
    Bytes status;
    Append(stream, StatusFrame(3, rng, &status));
    f.rx.Feed(stream.data(), stream.size());
    ASSERT_EQ(f.sink.got.size(), 2u);
    const Got conv = ExpectConverted(wave);
    EXPECT_EQ(f.sink.got[0], conv);
    EXPECT_EQ(f.sink.got[0].body[13] & 0x80, 0x80);
    EXPECT_EQ(f.sink.got[1], Expect(16, status));
    EXPECT_EQ(f.rx.LostFrames(), 0);  // the wrong head's number is not taken
}

TEST(FrameReceiver, SequenceGapsCountLostFrames) {
    Fixture f;
    std::mt19937 rng(7);
    Bytes stream = StatusFrame(250, rng);
    Append(stream, StatusFrame(2, rng));
    Append(stream, StatusFrame(2, rng));  // the same number again: nothing
    Append(stream, StatusFrame(3, rng));
    f.rx.Feed(stream.data(), stream.size());
    EXPECT_EQ(f.sink.got.size(), 4u);
    EXPECT_EQ(f.rx.LostFrames(), 7);

    int prev = -1, lost = -1;
    FrameReceiver::CountLostFrames(prev, 17, lost);
    EXPECT_EQ(prev, 17);
    EXPECT_EQ(lost, 0);
    FrameReceiver::CountLostFrames(prev, 17, lost);
    EXPECT_EQ(lost, 0);
    FrameReceiver::CountLostFrames(prev, 16, lost);
    EXPECT_EQ(lost, 254);
}

TEST(FrameReceiver, FalseSyncInNoiseCountsNoLoss) {
    Fixture f;
    std::mt19937 rng(8);
    Bytes stream = StatusFrame(10, rng);
    Append(stream, {0x55, 0xAA, 0x5A, 0xA5, 200, 0x20, 0x00, 1, 2, 3});  // false head, seq 200
    Append(stream, StatusFrame(11, rng));
    f.rx.Feed(stream.data(), stream.size());
    EXPECT_EQ(f.sink.got.size(), 2u);
    EXPECT_EQ(f.rx.LostFrames(), 0);
}

TEST(FrameReceiver, SyncWordWhoseHeadRunsIntoTheNextFrame) {
    // Noise ends in 55 AA 5A A5 and a sequence byte: the frame behind it gives the
    // "length" (55 AA, read as a 24-byte body) and loses its own sync word to it.
    Fixture f;
    std::mt19937 rng(16);
    Bytes stream = {0x10, 0x55, 0xAA, 0x5A, 0xA5, 0x07};
    Bytes a, b;
    Append(stream, StatusFrame(1, rng, &a));
    Append(stream, StatusFrame(2, rng, &b));
    f.rx.Feed(stream.data(), stream.size());
    ASSERT_EQ(f.sink.got.size(), 2u);
    EXPECT_EQ(f.sink.got[0], Expect(16, a));
    EXPECT_EQ(f.sink.got[1], Expect(16, b));
}

TEST(FrameReceiver, CommunicationCheckHandlesOneFrameInThree) {
    Fixture f;
    std::mt19937 rng(9);
    f.d.m_bCommCheck = true;
    std::vector<Bytes> bodies;
    Bytes stream;
    for (int i = 0; i < 7; ++i) {
        Bytes b;
        Append(stream, StatusFrame(i, rng, &b));
        bodies.push_back(b);
    }
    f.rx.Feed(stream.data(), stream.size());
    ASSERT_EQ(f.sink.got.size(), 2u);
    EXPECT_EQ(f.sink.got[0], Expect(16, bodies[2]));
    EXPECT_EQ(f.sink.got[1], Expect(16, bodies[5]));
    EXPECT_EQ(f.rx.PacketCount(), 2);
    EXPECT_EQ(f.rx.LostFrames(), 0);

    f.d.m_bCommCheck = false;
    Bytes more = StatusFrame(7, rng);
    f.rx.Feed(more.data(), more.size());
    EXPECT_EQ(f.sink.got.size(), 3u);
}

TEST(FrameReceiver, DataWaitAfterTenEmptyReadsAndRestoredByAnyData) {
    Fixture f;
    for (int i = 0; i < 9; ++i) EXPECT_EQ(f.rx.OnRead(nullptr, 0), FrameReceiver::ReadResult::Empty);
    EXPECT_TRUE(f.sink.texts.empty());
    EXPECT_EQ(f.rx.OnRead(nullptr, 0), FrameReceiver::ReadResult::DataWait);
    EXPECT_EQ(f.rx.OnRead(nullptr, 0), FrameReceiver::ReadResult::DataWait);
    ASSERT_EQ(f.sink.texts.size(), 2u);
    EXPECT_EQ(f.sink.texts[0], (std::pair<int, std::string>(1, "Data wait ...")));
    // A full 24-byte read ends the wait as well as a short one.
    Bytes block(24, 0x00);
    EXPECT_EQ(f.rx.OnRead(block.data(), block.size()), FrameReceiver::ReadResult::Data);
    EXPECT_EQ(f.sink.restores, 1);
    EXPECT_EQ(f.rx.OnRead(block.data(), block.size()), FrameReceiver::ReadResult::Data);
    EXPECT_EQ(f.sink.restores, 1);
    // The count starts again.
    for (int i = 0; i < 9; ++i) EXPECT_EQ(f.rx.OnRead(nullptr, 0), FrameReceiver::ReadResult::Empty);
    EXPECT_EQ(f.rx.OnRead(nullptr, 0), FrameReceiver::ReadResult::DataWait);
}

TEST(FrameReceiver, NoTextsWhileExiting) {
    Fixture f;
    std::mt19937 rng(10);
    f.d.m_bExiting = true;
    Bytes frame = StatusFrame(0, rng);
    f.rx.Feed(frame.data(), frame.size());
    for (int i = 0; i < 12; ++i) f.rx.OnRead(nullptr, 0);
    f.rx.OnRead(frame.data(), frame.size());
    EXPECT_EQ(f.sink.got.size(), 2u);
    EXPECT_TRUE(f.sink.texts.empty());
    EXPECT_EQ(f.sink.restores, 0);
}

TEST(FrameReceiver, DeclaredBodyTooSmallIsNoHead) {
    Fixture f;
    std::mt19937 rng(11);
    for (int total : {7, 8, 9}) {  // bodies of 0, 1, 2 bytes
        Bytes stream = Head(1, total);
        Bytes body;
        Append(stream, StatusFrame(2, rng, &body));
        f.rx.Feed(stream.data(), stream.size());
        ASSERT_FALSE(f.sink.got.empty());
        EXPECT_EQ(f.sink.got.back(), Expect(16, body)) << total;
    }
    EXPECT_EQ(f.sink.got.size(), 3u);
    EXPECT_EQ(f.rx.RejectedFrames(), 0);
}

TEST(FrameReceiver, WaveformWhoseTracesDoNotFillItsBodyIsRejected) {
    Fixture f;
    std::mt19937 rng(12);
    Bytes d = WaveData(rng, 0x2A);  // 3 x 1024 bytes: n = 3099
    d[21] = 0x01;                   // says one 512-byte trace
    Bytes stream = Framed(0, Closed(d));
    f.rx.Feed(stream.data(), stream.size());
    EXPECT_TRUE(f.sink.got.empty());
    EXPECT_EQ(f.rx.PacketCount(), 1);
    EXPECT_EQ(f.d.m_nLinkState.load(), LINK_RX_ERROR);
    EXPECT_FALSE(FrameReceiver::WaveSizeMatches(d.data(), 3099));
    EXPECT_TRUE(FrameReceiver::WaveSizeMatches(d.data(), 27 + 512));
}

TEST(FrameReceiver, SyncWordInsideSamplesDoesNotBreakTheFrame) {
    Fixture f;
    std::mt19937 rng(13);
    Bytes d = WaveData(rng, 0x02);
    // 55 AA 5A A5 in the samples, followed by a length no frame has.
    const Bytes fake = {0x55, 0xAA, 0x5A, 0xA5, 0x07, 0x34, 0x12};
    std::copy(fake.begin(), fake.end(), d.begin() + 100);
    Bytes body = Closed(d);
    Bytes stream = Framed(0, body);
    for (size_t cut = 0; cut <= stream.size(); cut += 7) {
        Fixture g;
        FeedCuts(g.rx, stream, {cut});
        ASSERT_EQ(g.sink.got.size(), 1u) << cut;
        EXPECT_EQ(g.sink.got[0], Expect(static_cast<int>(body.size()) - 1, body));
    }
}

TEST(FrameReceiver, ResetForgetsPartialFrameAndSequence) {
    Fixture f;
    std::mt19937 rng(14);
    Bytes a = StatusFrame(100, rng);
    f.rx.Feed(a.data(), a.size());
    Bytes b = StatusFrame(101, rng);
    f.rx.Feed(b.data(), 12);
    f.rx.Reset();
    Bytes c = StatusFrame(5, rng);
    f.rx.Feed(c.data(), c.size());
    EXPECT_EQ(f.sink.got.size(), 2u);
    EXPECT_EQ(f.rx.LostFrames(), 0);
}

// ---- helpers ----

TEST(FrameReceiverHelpers, FindFrameHeader) {
    Bytes b = {9, 9, 0x55, 0xAA, 0x5A, 0xA5, 42, 0x18, 0x00, 1};
    int pos = -1, seq = -1, len = -1;
    ASSERT_TRUE(FrameReceiver::FindFrameHeader(b.data(), static_cast<int>(b.size()), pos, seq, len));
    EXPECT_EQ(pos, 9);
    EXPECT_EQ(seq, 42);
    EXPECT_EQ(len, 17);
    // Without a body byte behind the head it is not taken yet.
    EXPECT_FALSE(FrameReceiver::FindFrameHeader(b.data(), 9, pos, seq, len));
    EXPECT_EQ(pos, 2);
    EXPECT_FALSE(FrameReceiver::FindFrameHeader(b.data(), 3, pos, seq, len));
    EXPECT_EQ(pos, 0);

    EXPECT_EQ(FrameReceiver::BodyLength(9007), 24);
    EXPECT_EQ(FrameReceiver::BodyLength(8199), 8192);
    EXPECT_EQ(FrameReceiver::BodyLength(3), 24);
    EXPECT_EQ(FrameReceiver::BodyLength(24), 17);
}

TEST(FrameReceiverHelpers, ConvertShortFrame) {
    std::mt19937 rng(15);
    // A status with extra bytes before its sum: e = 20.
    Bytes d = Random(rng, 18);
    for (auto& x : d)
        if (x == 0x99) x = 0x98;
    d[0] = 0xCA;
    Bytes block = Closed(d);
    Bytes copy = block;
    ASSERT_TRUE(FrameReceiver::ConvertShortFrame(copy.data(), static_cast<int>(copy.size())));
    EXPECT_EQ(copy[0], 0x0A);
    EXPECT_EQ(copy[13], d[17] | 0x80);
    EXPECT_TRUE(CheckRecordSum14(std::span<const uint8_t, 16>(copy.data(), 16)));
    EXPECT_TRUE(std::equal(copy.begin() + 1, copy.begin() + 13, block.begin() + 1));

    // No end byte at all: the block's last two bytes are the sum. Sized exactly, so
    // that a read past it shows under AddressSanitizer.
    Bytes noEnd(block.begin(), block.end() - 1);
    ASSERT_EQ(std::count(noEnd.begin(), noEnd.end(), 0x99), 0);
    EXPECT_TRUE(FrameReceiver::ConvertShortFrame(noEnd.data(), static_cast<int>(noEnd.size())));

    Bytes wrong = block;
    wrong[3] ^= 1;
    EXPECT_FALSE(FrameReceiver::ConvertShortFrame(wrong.data(), static_cast<int>(wrong.size())));
    EXPECT_EQ(wrong[0], block[0]);  // left as it was

    Bytes early = block;
    std::fill(early.begin() + 16, early.end(), 0x00);
    early[12] = 0x99;  // end byte before index 16
    EXPECT_FALSE(FrameReceiver::ConvertShortFrame(early.data(), static_cast<int>(early.size())));
    EXPECT_FALSE(FrameReceiver::ConvertShortFrame(block.data(), 17));
}
