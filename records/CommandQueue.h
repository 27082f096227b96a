#pragma once
// FIFO of whole command frames with one writer (the send thread). Builders on any
// thread push; nothing overwrites a frame that has not been written yet.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

class CommandQueue {
public:
    static constexpr size_t kMaxFrame = 32;     // the longest frame is 15 bytes
    static constexpr size_t kMaxFrames = 64;    // a backlog this deep means the link is gone

    // Queues one whole frame. False for an empty or over-long frame or a full queue.
    bool Push(const uint8_t* frame, size_t len);
    // Copies the oldest frame without removing it; false when empty.
    bool Front(std::vector<uint8_t>& out) const;
    // Removes the oldest frame once it has been written.
    void PopFront();
    // Waits up to timeoutMs for a frame; true when one is queued.
    bool WaitForFrame(int timeoutMs);
    void Clear();
    // Bytes queued and not yet written: non-zero means a command is pending.
    int PendingBytes() const { return m_pending.load(); }
    size_t Frames() const;
    // Wakes a waiting writer (shutdown).
    void Wake();

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    std::deque<std::vector<uint8_t>> m_frames;
    std::atomic<int> m_pending{0};
    bool m_wake = false;
};
