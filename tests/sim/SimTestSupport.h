#pragma once
// Test-side view of the wire: command frames built by hand and a strict, separate
// parser of the answer stream (it shares no code with the simulator).
#include <cstdint>
#include <vector>

#include "platform/Clock.h"
#include "sim/SimLogger.h"

namespace simtest {

using Bytes = std::vector<uint8_t>;

inline Bytes Close(Bytes f) {
    unsigned sum = 0;
    for (uint8_t b : f) sum += b;
    f.push_back(static_cast<uint8_t>(sum & 0xFF));
    return f;
}

inline Bytes Cmd0(uint8_t cable = 0) { return Close({0, cable}); }

inline Bytes Cmd1(uint8_t cable, uint16_t scale, uint8_t volts, uint16_t c1500 = 1500) {
    return Close({1, cable, uint8_t(c1500 & 0xFF), uint8_t(c1500 >> 8), uint8_t(scale & 0xFF), uint8_t(scale >> 8),
                  volts});
}

inline Bytes Cmd2(int32_t counter) {
    const auto u = static_cast<uint32_t>(counter);
    return Close({2, uint8_t(u), uint8_t(u >> 8), uint8_t(u >> 16), uint8_t(u >> 24)});
}

inline Bytes Cmd3(uint8_t gain, uint8_t drive) { return Close({3, gain, drive}); }

struct Settings8 {
    uint8_t cable = 0;
    uint8_t mode = 12;
    uint16_t interval = 250;
    uint8_t volts = 90;
    uint8_t upGain = 15;
    uint8_t downDrive = 27;
    uint8_t g1 = 6, g2 = 12, g3 = 18;
    uint8_t blanking = 0;
    uint8_t baud = 10;
    uint8_t upDrive = 20;
    uint8_t traceByte = 0x15;  // codes 1, 1, 1
};

inline Bytes Cmd8(const Settings8& s) {
    return Close({8, uint8_t(s.cable + s.mode), uint8_t(s.interval & 0xFF), uint8_t(s.interval >> 8), s.volts,
                  s.upGain, s.downDrive, s.g1, s.g2, s.g3, s.blanking, s.baud, s.upDrive, s.traceByte});
}

inline Bytes Cmd9(uint8_t g1, uint8_t g2, uint8_t g3, uint8_t blanking) { return Close({9, g1, g2, g3, blanking}); }

inline Bytes Cmd10(uint8_t baud, uint8_t upDrive, uint8_t traceByte) { return Close({10, baud, upDrive, traceByte}); }

inline uint16_t U16(const Bytes& b, size_t at) { return uint16_t(b[at] | (b[at + 1] << 8)); }
inline int16_t I16(const Bytes& b, size_t at) { return static_cast<int16_t>(U16(b, at)); }
inline int32_t I32(const Bytes& b, size_t at) {
    return static_cast<int32_t>(uint32_t(b[at]) | (uint32_t(b[at + 1]) << 8) | (uint32_t(b[at + 2]) << 16) |
                                (uint32_t(b[at + 3]) << 24));
}

struct Frame {
    int64_t atMs = 0;      // clock when the parser completed it
    int seq = -1;          // -1 for a headerless block
    Bytes body;            // without the end byte
    bool Status() const { return body.size() == 16; }
    bool Config() const { return body.size() == 20; }
    bool Wave() const { return body.size() >= 27 && (body.size() - 27) % 512 == 0; }
    uint8_t Mode() const { return body[0]; }
    // Frame status byte wherever the frame kind keeps it.
    int FrameStatus() const {
        if (Status()) return body[13];
        if (Wave()) return body[body.size() - 3];
        return -1;
    }
    int32_t Counter() const { return I32(body, Status() || Wave() ? 5 : 10); }
    int16_t Rate() const { return I16(body, Status() || Wave() ? 9 : 14); }
};

// Strict parser: a frame counts only with the sync word, a length that fits, the
// 16-bit sum and the end byte. Bytes between frames are kept aside; a gap that is
// exactly a headerless status body is reported as such a frame.
class Parser {
public:
    void Feed(const uint8_t* p, size_t n, int64_t atMs) {
        m_buf.insert(m_buf.end(), p, p + n);
        m_at = atMs;
        Scan();
    }
    std::vector<Frame> frames;
    size_t strayBytes = 0;   // bytes that belonged to no valid frame
    int rejected = 0;        // sync words whose frame failed a check

private:
    static bool SumOk(const Bytes& body) {
        if (body.size() < 3) return false;
        unsigned sum = 0;
        for (size_t i = 0; i + 2 < body.size(); ++i) sum += body[i];
        return (sum & 0xFFFF) == U16(body, body.size() - 2);
    }
    void Gap(Bytes gap) {
        if (gap.size() == 17 && gap[16] == 0x99) {
            Bytes body(gap.begin(), gap.begin() + 16);
            if (SumOk(body)) {
                frames.push_back({m_at, -1, body});
                return;
            }
        }
        strayBytes += gap.size();
    }
    void Scan() {
        size_t i = 0;
        Bytes& gap = m_gap;
        for (;;) {
            if (m_buf.size() - i < 7) break;
            if (!(m_buf[i] == 0x55 && m_buf[i + 1] == 0xAA && m_buf[i + 2] == 0x5A && m_buf[i + 3] == 0xA5)) {
                gap.push_back(m_buf[i++]);
                continue;
            }
            const size_t len = U16(m_buf, i + 5);
            if (len < 10 || len > 8192) {
                ++rejected;
                gap.push_back(m_buf[i++]);
                continue;
            }
            if (m_buf.size() - i < len) break;  // wait for more
            Bytes body(m_buf.begin() + long(i) + 7, m_buf.begin() + long(i + len) - 1);
            if (m_buf[i + len - 1] != 0x99 || !SumOk(body)) {
                ++rejected;
                gap.push_back(m_buf[i++]);
                continue;
            }
            if (!gap.empty()) Gap(std::move(gap));
            gap = Bytes();
            frames.push_back({m_at, m_buf[i + 4], std::move(body)});
            i += len;
        }
        // Keep the unfinished tail for the next feed; the gap waits for the next sync.
        m_buf.erase(m_buf.begin(), m_buf.begin() + long(i));
        if (m_gap.size() > 64 * 1024) {
            strayBytes += m_gap.size();
            m_gap.clear();
        }
    }
    Bytes m_buf;
    Bytes m_gap;
    int64_t m_at = 0;
};

// A simulator on a fake clock, read every `stepMs` of virtual time.
struct Rig {
    explicit Rig(zns::sim::SimConfig cfg = {}) : sim(clock, cfg) {}
    zns::FakeClock clock{1000};
    zns::sim::SimLogger sim;
    Parser parser;

    void Send(const Bytes& cmd) { sim.HostWrite(cmd.data(), cmd.size()); }
    void Drain() {
        uint8_t buf[4096];
        for (;;) {
            const size_t n = sim.HostRead(buf, sizeof buf);
            if (n == 0) break;
            parser.Feed(buf, n, clock.NowSteadyMs());
        }
    }
    void Run(int64_t ms, int64_t stepMs = 10) {
        for (int64_t t = 0; t < ms; t += stepMs) {
            clock.Advance(stepMs);
            Drain();
        }
    }
    // Frames parsed since index `from` that satisfy pred.
    template <class P>
    std::vector<Frame> Where(P pred, size_t from = 0) const {
        std::vector<Frame> out;
        for (size_t i = from; i < parser.frames.size(); ++i)
            if (pred(parser.frames[i])) out.push_back(parser.frames[i]);
        return out;
    }
    std::vector<Frame> Waves(size_t from = 0) const {
        return Where([](const Frame& f) { return f.Wave(); }, from);
    }
    std::vector<Frame> Statuses(size_t from = 0) const {
        return Where([](const Frame& f) { return f.Status(); }, from);
    }
};

}  // namespace simtest
