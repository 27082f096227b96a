#include "records/CommandQueue.h"

#include <chrono>

namespace {
void Settle(const CommandQueue::Ticket& ticket, CommandQueue::Fate fate) {
    if (ticket) ticket->store(fate);
}
}  // namespace

bool CommandQueue::Push(const uint8_t* frame, size_t len, Ticket ticket) {
    if (frame == nullptr || len == 0 || len > kMaxFrame) return false;
    {
        std::lock_guard<std::mutex> g(m_mutex);
        if (m_frames.size() >= kMaxFrames) return false;
        m_frames.push_back({std::vector<uint8_t>(frame, frame + len), std::move(ticket)});
        m_pending.fetch_add(static_cast<int>(len));
    }
    m_cv.notify_one();
    return true;
}

bool CommandQueue::Front(std::vector<uint8_t>& out, bool* tracked) const {
    std::lock_guard<std::mutex> g(m_mutex);
    if (m_frames.empty()) return false;
    out = m_frames.front().bytes;
    if (tracked) *tracked = m_frames.front().ticket != nullptr;
    return true;
}

void CommandQueue::PopFront(bool written) {
    std::lock_guard<std::mutex> g(m_mutex);
    if (m_frames.empty()) return;
    m_pending.fetch_sub(static_cast<int>(m_frames.front().bytes.size()));
    Settle(m_frames.front().ticket, written ? Fate::Written : Fate::GivenUp);
    m_frames.pop_front();
}

bool CommandQueue::WaitForFrame(int timeoutMs) {
    std::unique_lock<std::mutex> lk(m_mutex);
    m_cv.wait_for(lk, std::chrono::milliseconds(timeoutMs), [&] { return !m_frames.empty() || m_wake; });
    m_wake = false;
    return !m_frames.empty();
}

void CommandQueue::Clear() {
    std::lock_guard<std::mutex> g(m_mutex);
    for (const Entry& e : m_frames) Settle(e.ticket, Fate::GivenUp);
    m_frames.clear();
    m_pending.store(0);
}

size_t CommandQueue::Frames() const {
    std::lock_guard<std::mutex> g(m_mutex);
    return m_frames.size();
}

void CommandQueue::Wake() {
    {
        std::lock_guard<std::mutex> g(m_mutex);
        m_wake = true;
    }
    m_cv.notify_all();
}
