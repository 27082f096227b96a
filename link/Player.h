#pragma once
// The replay player: one worker thread that reads a recorded data file back,
// one record per wait, at a pace set by the speed slider, the display scale and
// the log's step, and hands each record to the replay display.
//
// One thread at most: a new start joins the previous thread first. Its waits
// run on the injectable steady clock in short slices, so that Pause and Stop
// end it at once instead of after a whole wait. While it runs the thread owns
// the replay position; the GUI writes it only when the thread is joined.
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "records/SharedRecords.h"
#include "platform/Clock.h"

namespace zns {

// Speed factor of a log: its header's step / 10.0, or 1.0 for a time log
// (header LogMode 10).
double PlayerFactor(int headerStep, int headerLogMode);
// Ticks of 5 ms x factor between records: n = sliderMax - sliderPos + 1 (the
// slider's maximum plays fastest), then by the display scale: 25 -> 3n,
// 50 -> 2n, 500 -> n / 2 (at least 1), any other scale -> n.
int PlayerTicks(int sliderMax, int sliderPos, int vscale);
inline constexpr int64_t kPlayerTick100ns = 50000;  // 5 ms
// The relative wait of n ticks in 100-ns units (n x 50000 x factor, truncated);
// one tick when that is not positive (a step of 0 or below); nothing when it
// is not a number or does not fit.
std::optional<int64_t> PlayerDue100ns(int ticks, double factor);
// Milliseconds actually waited for a due time: rounded up, at most 10000.
int64_t PlayerWaitMs(int64_t due100ns);

}  // namespace zns

// What the player calls. Hooks run on the player thread: they must not block on
// the GUI thread (post instead).
struct PlayerHooks {
    // Reads the record at `position` into the replay records and advances the
    // position past it; false at the end of the file or on a damaged record.
    std::function<bool(int64_t position)> readRecord;
    // The replay display update of the record just read.
    std::function<void()> onRecord;
    // The pace cannot be computed: the player has stopped and cleared its state.
    std::function<void(const std::string& text)> onPacingFailed;
    // The run ended by itself (end of the file, a record that cannot be read,
    // a pace that cannot be set), not by Pause or Stop; called last.
    std::function<void()> onEnded;
};

class CPlayer {
public:
    static constexpr int kSliderMin = 1;
    static constexpr int kSliderMax = 50;
    static constexpr int kSliderInitial = 25;
    static constexpr int64_t kWaitSliceMs = 10;  // how soon a stop is seen during a wait

    enum : int { EXIT_DONE = 100, EXIT_NO_TIMER = 101, EXIT_BAD_PACE = 102 };

    static constexpr const char* kMsgBadPace =
        "The log's step cannot pace the replay: check \"step\" in its header file.";

    // `position` is the replay position (bytes) that readRecord advances.
    CPlayer(SharedData& shared, std::atomic<int64_t>& position, zns::IClock& clock = zns::DefaultClock(),
            PlayerHooks hooks = {});
    ~CPlayer();
    CPlayer(const CPlayer&) = delete;
    CPlayer& operator=(const CPlayer&) = delete;

    // When the running byte of SessionState is clear: joins the previous thread,
    // sets the byte and starts a thread pacing with `factor` (PlayerFactor).
    // False (nothing started) when the byte is already set.
    bool StartPlayer(double factor);
    // Clears the running byte; the thread ends within one wait slice.
    void RequestStop();
    // Waits for the thread to end. The running byte must be clear (or the file
    // must end), else this waits for the end of the file.
    void Join();
    // RequestStop, then Join.
    void Stop();

    // The slider position (any thread).
    void SetSliderPos(int pos);
    int SliderPos() const { return m_sliderPos.load(); }

    // The position, after joining a thread that is ending. GUI thread.
    int64_t Position();
    // Sets the position; the thread is stopped and joined first. GUI thread.
    void SetPosition(int64_t pos);

    bool ThreadRunning() const { return m_threadAlive.load(); }
    // Threads started and threads alive at the same time at most (tests).
    int ThreadsStarted() const { return m_started.load(); }
    int MaxConcurrentThreads() const { return m_maxAlive.load(); }
    int LastExitCode() const { return m_exitCode.load(); }

private:
    void PlayerThreadProc(double factor);
    bool RunningByte() const;
    void ClearRunningByte();
    // False when the run ended during the wait.
    bool WaitMs(int64_t ms);

    SharedData& m_shared;
    std::atomic<int64_t>& m_position;
    zns::IClock& m_clock;
    PlayerHooks m_hooks;

    std::mutex m_threadMutex;  // the thread object (GUI thread and destructor)
    std::thread m_thread;
    std::atomic<int> m_sliderPos{kSliderInitial};
    std::atomic<bool> m_threadAlive{false};
    std::atomic<int> m_alive{0};
    std::atomic<int> m_maxAlive{0};
    std::atomic<int> m_started{0};
    std::atomic<int> m_exitCode{0};
};
