#pragma once
// FIFO of whole command frames with one writer (the send thread). Builders on any
// thread push; nothing overwrites a frame that has not been written yet.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

class CommandQueue {
public:
    static constexpr size_t kMaxFrame = 32;     // the longest frame is 15 bytes
    static constexpr size_t kMaxFrames = 64;    // a backlog this deep means the link is gone

    // What became of a queued frame, for a sender that waits to know.
    enum class Fate : int { Pending, Written, GivenUp };
    using Ticket = std::shared_ptr<std::atomic<Fate>>;
    static Ticket NewTicket() { return std::make_shared<std::atomic<Fate>>(Fate::Pending); }

    // Queues one whole frame, its fate told to `ticket` if given. False for an
    // empty or over-long frame or a full queue.
    bool Push(const uint8_t* frame, size_t len, Ticket ticket = nullptr);
    // Copies the oldest frame without removing it; false when empty. `tracked`:
    // its sender waits for its fate.
    bool Front(std::vector<uint8_t>& out, bool* tracked = nullptr) const;
    // Removes the oldest frame once the writer is done with it.
    void PopFront(bool written = true);
    // Waits up to timeoutMs for a frame; true when one is queued.
    bool WaitForFrame(int timeoutMs);
    // Drops every frame: none of them went out.
    void Clear();
    // Bytes queued and not yet written: non-zero means a command is pending.
    int PendingBytes() const { return m_pending.load(); }
    size_t Frames() const;
    // Wakes a waiting writer (shutdown).
    void Wake();

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    struct Entry {
        std::vector<uint8_t> bytes;
        Ticket ticket;
    };
    std::deque<Entry> m_frames;
    std::atomic<int> m_pending{0};
    bool m_wake = false;
};
