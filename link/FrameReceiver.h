#pragma once
// Reassembly of the logger's answer frames from the USB byte stream. Nothing here
// owns a thread or a device: the receive thread passes every read (24-byte blocks,
// or chunks of any size) to OnRead, and the machine hands each complete frame to
// the sink, in stream order, on the caller's thread.
//
// Wire form, logger to PC:
//   55 AA 5A A5 | sequence (mod 256) | u16 total length L (7-byte head included) | body
// The body (L - 7 bytes; above 8192 taken as 24) ends in the u16 sum of the body
// bytes before it and the end byte 0x99. Body kinds by n = body length - 1:
//   16 status, 20 configuration answer, 27 + 512 k (k = 0..6) waveform, else unhandled.
// A status body may also arrive without its head (17 bytes), or as the body of a
// frame whose head was lost or wrong; such a block is converted to a status body
// with bit 7 of byte 13 set (ConvertShortFrame).
//
// The result does not depend on how the stream is cut into reads.
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "records/SharedRecords.h"

// Receives complete frames. Calls come from the thread that feeds the receiver;
// a body is valid only during the call, and a sink must not feed the same
// receiver from inside a call.
class IFrameSink {
public:
    virtual ~IFrameSink() = default;
    virtual void OnStatusFrame(std::span<const uint8_t, 16> body) = 0;
    virtual void OnConfigFrame(std::span<const uint8_t, 20> body) = 0;
    // Head (22 bytes), the traces its trace-length byte announces, tail (5 bytes).
    virtual void OnWaveFrame(std::span<const uint8_t> body) = 0;
    // Status-bar text: part 1 "Data wait ...", part 2 packet size, part 3 packet count.
    // Not called while SharedData::m_bExiting is set.
    virtual void OnStatusText(int part, const std::string& text) {}
    // Data flows again after "Data wait ..." was shown: put the link text back.
    virtual void OnRestoreLinkText() {}
};

class FrameReceiver {
public:
    static constexpr size_t kReadBlock = 24;           // bytes asked per read
    static constexpr int kMaxBody = 8192;               // larger declared bodies ...
    static constexpr int kOversizeBody = 24;            // ... are taken as this
    static constexpr int kMinBody = 3;                  // a sum and the end byte
    static constexpr uint8_t kEndByte = 0x99;
    static constexpr int kEmptyReadsBeforeWait = 10;
    static constexpr int kDataWaitSleepMs = 20;
    static constexpr const char* kDataWaitText = "Data wait ...";

    enum class ReadResult {
        Data,      // bytes were processed
        Empty,     // nothing came; read again
        DataWait,  // nothing for a while: "Data wait ..." shown; sleep kDataWaitSleepMs and PumpMessages
    };

    FrameReceiver(SharedData& shared, IFrameSink& sink);

    // Start of a receive loop: search mode, nothing collected, no previous sequence
    // number, empty-read count and one-in-three counter cleared. Counters stay.
    void Reset();

    // One read of the link; count 0 is an empty read.
    ReadResult OnRead(const uint8_t* data, size_t count);
    // Bytes only, without the empty-read bookkeeping.
    void Feed(const uint8_t* data, size_t count);

    // Frames dispatched (handled or not), shown in status-bar part 3.
    int PacketCount() const { return m_packets.load(); }
    void ResetPacketCount() { m_packets.store(0); }
    // Frames lost by sequence gaps.
    int LostFrames() const { return m_lostFrames.load(); }
    void ResetLostFrames() { m_lostFrames.store(0); }
    // Framed bodies that failed their sum or end byte, or were abandoned for a later head.
    int RejectedFrames() const { return m_rejected.load(); }

    // ---- stream helpers ----

    // Finds the first sync word at some p <= count - 8: position = p + 7 (first body
    // byte), sequence = byte p + 4, bodyLength = BodyLength(u16 at p + 5). Without one,
    // false and position = count - 7 (at least 0), where the next search restarts.
    static bool FindFrameHeader(const uint8_t* bytes, int count, int& position, int& sequence, int& bodyLength);
    // Body length of a declared total length: L - 7 modulo 65536, above kMaxBody
    // taken as kOversizeBody.
    static int BodyLength(uint16_t totalLength);
    // A body of n + 1 bytes (n as dispatched) whose kind is one the logger sends.
    static bool IsKnownBodyLength(int bodyLength);
    // Sequence numbers: the first one (previous < 0) counts nothing; a different one
    // counts the numbers skipped modulo 256; an equal one changes nothing.
    static void CountLostFrames(int& previous, int sequence, int& lost);
    // A headless block of count >= 18 bytes: e = the highest index in [11, count - 1]
    // holding 0x99, else count (e >= 16 required); when the u16 at [e - 2] is the sum of
    // bytes 0 .. e - 3, rewrites the first 16 bytes into a status body (alarm bits of
    // byte 0 cleared, byte 13 = byte e - 3 with bit 7 set, new sum at 14) and returns
    // true. Reads nothing outside the block.
    static bool ConvertShortFrame(uint8_t* bytes, int count);
    // A 17-byte status body: 0x99 at [16] and the u16 at [14] = sum of bytes 0..13.
    static bool IsShortStatusFrame(const uint8_t* bytes, int count);
    // A waveform body (n bytes, end byte excluded) whose size matches its trace-length byte.
    static bool WaveSizeMatches(const uint8_t* body, int n);

private:
    enum class Mode { Search, Collect };

    size_t Step(const uint8_t* p, size_t n);
    size_t SearchStep(const uint8_t* p, size_t n);
    size_t CollectStep(const uint8_t* p, size_t n);
    void CloseFrame();
    void Abandon();
    bool KnownHeadCollected();
    void JudgeGap(uint8_t* bytes, size_t count);
    void Deliver(const uint8_t* body, int n);
    void DispatchFrame(const uint8_t* body, int n);
    void PostText(int part, const std::string& text);

    SharedData& m_shared;
    IFrameSink& m_sink;

    Mode m_mode = Mode::Search;
    // Search: bytes since the last frame, scanned for a head; judged as a headless
    // status block when a head ends them.
    std::vector<uint8_t> m_gap;
    size_t m_judgeFrom = 0;    // leading gap bytes that belong to a failed head
    bool m_gapTainted = false; // the gap overflowed: its start is unknown
    // Collect: the head and body of the current frame.
    std::array<uint8_t, 7> m_head{};
    std::array<uint8_t, kMaxBody> m_body{};
    int m_expected = 0;
    int m_collected = 0;
    int m_scanFrom = 0;        // next body offset to look at for a later head
    int m_sequence = 0;
    // Bytes to scan again before the rest of the input (after a failed frame).
    std::vector<uint8_t> m_work;
    size_t m_workPos = 0;
    std::vector<uint8_t> m_refeed;

    int m_prevSequence = -1;
    int m_emptyReads = 0;
    bool m_dataWaitShown = false;
    int m_commCheckCount = 0;

    std::atomic<int> m_packets{0};
    std::atomic<int> m_lostFrames{0};
    std::atomic<int> m_rejected{0};
};
