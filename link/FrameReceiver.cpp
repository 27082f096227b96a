#include "link/FrameReceiver.h"

#include <algorithm>
#include <cstring>

#include "link/Checksums.h"
#include "platform/NumText.h"

namespace {

constexpr uint8_t kSync[4] = {0x55, 0xAA, 0x5A, 0xA5};
constexpr size_t kHeadSize = 7;
// Search keeps at most this many bytes since the last frame; beyond it the start
// of the gap is forgotten (it can no longer be judged as a headless block).
constexpr size_t kMaxGap = 2 * FrameReceiver::kMaxBody;

bool IsSyncAt(const uint8_t* p) { return p[0] == kSync[0] && p[1] == kSync[1] && p[2] == kSync[2] && p[3] == kSync[3]; }

void PutU16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v & 0xFF);
    p[1] = static_cast<uint8_t>(v >> 8);
}

}  // namespace

FrameReceiver::FrameReceiver(SharedData& shared, IFrameSink& sink) : m_shared(shared), m_sink(sink) {
    m_gap.reserve(kMaxGap + 1);
}

void FrameReceiver::Reset() {
    m_mode = Mode::Search;
    m_gap.clear();
    m_judgeFrom = 0;
    m_gapTainted = false;
    m_expected = m_collected = m_scanFrom = 0;
    m_work.clear();
    m_workPos = 0;
    m_refeed.clear();
    m_prevSequence = -1;
    m_emptyReads = 0;
    m_dataWaitShown = false;
    m_commCheckCount = 0;
}

// ---- stream helpers ----

int FrameReceiver::BodyLength(uint16_t totalLength) {
    const int body = (totalLength - static_cast<int>(kHeadSize)) & 0xFFFF;
    return body > kMaxBody ? kOversizeBody : body;
}

bool FrameReceiver::IsKnownBodyLength(int bodyLength) {
    const int n = bodyLength - 1;
    if (n == 16 || n == 20) return true;
    return n >= 27 && (n - 27) % 512 == 0 && (n - 27) / 512 <= 6;
}

bool FrameReceiver::FindFrameHeader(const uint8_t* bytes, int count, int& position, int& sequence, int& bodyLength) {
    if (bytes != nullptr && count >= 8) {
        const uint8_t* p = bytes;
        const uint8_t* last = bytes + count - 8;  // a head and at least one body byte
        while (p <= last) {
            p = static_cast<const uint8_t*>(std::memchr(p, kSync[0], static_cast<size_t>(last - p) + 1));
            if (p == nullptr) break;
            if (IsSyncAt(p)) {
                position = static_cast<int>(p - bytes) + static_cast<int>(kHeadSize);
                sequence = p[4];
                bodyLength = BodyLength(ReadU16(p + 5));
                return true;
            }
            ++p;
        }
    }
    position = std::max(0, count - static_cast<int>(kHeadSize));
    return false;
}

void FrameReceiver::CountLostFrames(int& previous, int sequence, int& lost) {
    lost = 0;
    if (previous < 0) {
        previous = sequence;
        return;
    }
    if (sequence == previous) return;
    lost = (sequence - previous - 1) & 0xFF;
    previous = sequence;
}

bool FrameReceiver::IsShortStatusFrame(const uint8_t* b, int count) {
    return b != nullptr && count == 17 && b[16] == kEndByte && ReadU16(b + 14) == Sum16(b, 14);
}

bool FrameReceiver::ConvertShortFrame(uint8_t* b, int count) {
    if (b == nullptr || count < 18) return false;
    // The end byte is looked for inside the block only.
    int e = count;
    for (int i = count - 1; i >= 11; --i) {
        if (b[i] == kEndByte) {
            e = i;
            break;
        }
    }
    if (e < 16) return false;
    if (ReadU16(b + e - 2) != Sum16(b, static_cast<size_t>(e - 2))) return false;
    b[0] = static_cast<uint8_t>(b[0] % 64);
    b[13] = static_cast<uint8_t>(b[e - 3] | 0x80);
    PutU16(b + 14, Sum16(b, 14));
    return true;
}

bool FrameReceiver::WaveSizeMatches(const uint8_t* body, int n) {
    if (body == nullptr || n < 27) return false;
    int total = 27;
    for (int rx = 0; rx < 3; ++rx) total += TraceBytesForCode(TraceCodeOf(body[21], rx));
    return total == n;
}

// ---- reads ----

FrameReceiver::ReadResult FrameReceiver::OnRead(const uint8_t* data, size_t count) {
    if (data == nullptr || count == 0) {
        if (m_emptyReads < kEmptyReadsBeforeWait) ++m_emptyReads;
        if (m_emptyReads < kEmptyReadsBeforeWait) return ReadResult::Empty;
        PostText(1, kDataWaitText);
        m_dataWaitShown = true;
        return ReadResult::DataWait;
    }
    // Any read with data ends a wait, a full block as well as a short one.
    m_emptyReads = 0;
    if (m_dataWaitShown) {
        m_dataWaitShown = false;
        if (!m_shared.m_bExiting.load()) m_sink.OnRestoreLinkText();
    }
    Feed(data, count);
    return ReadResult::Data;
}

void FrameReceiver::Feed(const uint8_t* data, size_t count) {
    if (data == nullptr) count = 0;
    size_t i = 0;
    for (;;) {
        if (m_workPos < m_work.size()) {
            m_workPos += Step(m_work.data() + m_workPos, m_work.size() - m_workPos);
        } else if (i < count) {
            if (!m_work.empty()) {
                m_work.clear();
                m_workPos = 0;
            }
            i += Step(data + i, count - i);
        } else {
            break;
        }
        if (!m_refeed.empty()) {
            // The bytes of an abandoned frame are scanned again, before anything
            // not yet looked at.
            m_refeed.insert(m_refeed.end(), m_work.begin() + static_cast<std::ptrdiff_t>(m_workPos), m_work.end());
            m_work.swap(m_refeed);
            m_workPos = 0;
            m_refeed.clear();
        }
    }
}

size_t FrameReceiver::Step(const uint8_t* p, size_t n) {
    return m_mode == Mode::Search ? SearchStep(p, n) : CollectStep(p, n);
}

size_t FrameReceiver::SearchStep(const uint8_t* p, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        if (m_gap.size() >= kMaxGap) {
            // Keep what may still be the start of a head.
            m_gap.erase(m_gap.begin(), m_gap.end() - static_cast<std::ptrdiff_t>(kHeadSize - 1));
            m_gapTainted = true;
            m_judgeFrom = 0;
        }
        m_gap.push_back(p[i]);
        const size_t s = m_gap.size();
        if (s < kHeadSize) continue;
        const uint8_t* h = m_gap.data() + s - kHeadSize;
        if (!IsSyncAt(h)) continue;
        const int body = BodyLength(ReadU16(h + 5));
        if (body < kMinBody) continue;  // cannot hold a sum and an end byte: not a head

        std::memcpy(m_head.data(), h, kHeadSize);
        m_sequence = h[4];
        const size_t headAt = s - kHeadSize;
        if (!m_gapTainted && headAt > m_judgeFrom) JudgeGap(m_gap.data() + m_judgeFrom, headAt - m_judgeFrom);
        m_gap.clear();
        m_judgeFrom = 0;
        m_gapTainted = false;
        m_mode = Mode::Collect;
        m_expected = body;
        m_collected = 0;
        m_scanFrom = 0;
        return i + 1;
    }
    return n;
}

size_t FrameReceiver::CollectStep(const uint8_t* p, size_t n) {
    const size_t take = std::min(n, static_cast<size_t>(m_expected - m_collected));
    std::memcpy(m_body.data() + m_collected, p, take);
    m_collected += static_cast<int>(take);
    if (m_collected == m_expected) {
        CloseFrame();
    } else if (KnownHeadCollected()) {
        // A head of a kind the logger sends has arrived inside this body: the head
        // that started it was wrong or its body was cut short. Give up now rather
        // than hold the frames behind it until the declared length is reached.
        Abandon();
    }
    return take;
}

bool FrameReceiver::KnownHeadCollected() {
    while (m_scanFrom < m_collected) {
        int pos = 0, seq = 0, len = 0;
        const int count = m_collected - m_scanFrom;
        if (!FrameReceiver::FindFrameHeader(m_body.data() + m_scanFrom, count, pos, seq, len)) {
            m_scanFrom += pos;
            return false;
        }
        if (IsKnownBodyLength(len)) return true;
        m_scanFrom += pos - static_cast<int>(kHeadSize) + 1;
    }
    return false;
}

void FrameReceiver::CloseFrame() {
    const int n = m_expected - 1;
    const bool ok = m_body[n] == kEndByte &&
                    Sum16(m_body.data(), static_cast<size_t>(m_expected - 3)) == ReadU16(m_body.data() + m_expected - 3);
    if (!ok) {
        Abandon();
        return;
    }
    m_mode = Mode::Search;
    m_gap.clear();
    m_judgeFrom = 0;
    m_gapTainted = false;
    // Sequence numbers are taken from checked frames only, so that a false sync in
    // noise does not count phantom losses.
    int lost = 0;
    CountLostFrames(m_prevSequence, m_sequence, lost);
    if (lost > 0) m_lostFrames.fetch_add(lost);
    Deliver(m_body.data(), n);
}

void FrameReceiver::Abandon() {
    m_rejected.fetch_add(1);
    // Everything after the first sync byte of the failed head is scanned again: the
    // next head may start inside the failed head or anywhere in its body.
    m_refeed.assign(m_head.begin() + 1, m_head.end());
    m_refeed.insert(m_refeed.end(), m_body.begin(), m_body.begin() + m_collected);
    m_mode = Mode::Search;
    m_gap.clear();
    m_judgeFrom = kHeadSize - 1;  // the gap to judge starts where the failed body did
    m_gapTainted = false;
    m_collected = 0;
}

void FrameReceiver::JudgeGap(uint8_t* bytes, size_t count) {
    if (count > static_cast<size_t>(kMaxBody) + kHeadSize) return;
    const int c = static_cast<int>(count);
    if (IsShortStatusFrame(bytes, c) || ConvertShortFrame(bytes, c)) Deliver(bytes, 16);
}

void FrameReceiver::Deliver(const uint8_t* body, int n) {
    // During the communication check one frame in three is handled.
    if (m_shared.m_bCommCheck.load()) {
        if (m_commCheckCount < 2) {
            ++m_commCheckCount;
            return;
        }
        m_commCheckCount = 0;
    } else {
        m_commCheckCount = 0;
    }
    DispatchFrame(body, n);
}

void FrameReceiver::DispatchFrame(const uint8_t* body, int n) {
    if (n == 16) {
        m_shared.m_nLinkState.store(LINK_STATUS);
        m_sink.OnStatusFrame(std::span<const uint8_t, 16>(body, 16));
    } else if (n == 20) {
        m_shared.m_nLinkState.store(LINK_ANSWER);
        m_sink.OnConfigFrame(std::span<const uint8_t, 20>(body, 20));
    } else if (IsKnownBodyLength(n + 1) && WaveSizeMatches(body, n)) {
        m_shared.m_nLinkState.store(LINK_WAVES);
        m_sink.OnWaveFrame(std::span<const uint8_t>(body, static_cast<size_t>(n)));
    } else {
        // Unknown length, or a waveform whose traces do not fill its body.
        m_shared.m_nLinkState.store(LINK_RX_ERROR);
    }
    const int packets = m_packets.fetch_add(1) + 1;
    PostText(2, zns::Format("Packet size %d Bytes", n));
    PostText(3, zns::Format("%d", packets));
    m_shared.m_bRxActivity.store(true);
}

void FrameReceiver::PostText(int part, const std::string& text) {
    if (!m_shared.m_bExiting.load()) m_sink.OnStatusText(part, text);
}
