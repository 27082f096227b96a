#pragma once
// Pixel logic of the trace image (CDrawerZNSCtrl), kept free of Qt so that it
// can be tested on a plain buffer. The image is 812 x 3540 pixels of the form
// 0xFFRRGGBB (the memory layout of QImage::Format_RGB32): three pages of 1180
// rows inside guard bands of 32 rows. Each row holds the left track (x 0..383),
// the depth column (x 384..427) and the right track (x 428..811).
//
// Threads: TraceImageCore itself is not locked; its owner draws into it on one
// thread (the GUI thread). Records reach it from the workers through
// TraceRecordFeed, which only copies under its own short lock.
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace zns {

inline constexpr int kTraceImageWidth = 812;
inline constexpr int kTraceImageRows = 3540;
inline constexpr int kTracePageRows = 1180;
inline constexpr int kTraceGuardRows = 32;
inline constexpr int kTraceTrackWidth = 384;
inline constexpr int kTraceColumnX = 384;
inline constexpr int kTraceColumnWidth = 44;
inline constexpr int kTraceColumnCentre = 406;
inline constexpr int kTraceRightX = 428;
// Last row before the bottom guard band, first row of the window when it is
// moved up against the bottom guard band.
inline constexpr int kTraceLastRow = kTraceImageRows - kTraceGuardRows - 1;                    // 3507
inline constexpr int kTraceUpWindowTop = kTraceImageRows - kTraceGuardRows - kTracePageRows;   // 2328
inline constexpr double kTraceNoLabel = 2147483647.0;  // last labelled depth after a clear

inline constexpr uint32_t kTraceTrackBackground = 0xFFF9F4E7;
inline constexpr uint32_t kTraceBtnFace = 0xFFF0F0F0;  // COLOR_BTNFACE
inline constexpr uint32_t kTraceBlack = 0xFF000000;
inline constexpr uint32_t kTraceWhite = 0xFFFFFFFF;
inline constexpr uint32_t kTraceRed = 0xFFFF0000;

// COLORREF (0x00BBGGRR) to image pixel (0xFFRRGGBB).
constexpr uint32_t ColorRefToPixel(uint32_t cr) {
    return 0xFF000000u | ((cr & 0xFFu) << 16) | (cr & 0xFF00u) | ((cr >> 16) & 0xFFu);
}

// Depth labels need fonts; the control provides them (over Qt), tests may fake them.
class ITraceLabelRenderer {
public:
    virtual ~ITraceLabelRenderer() = default;
    // Size of `text` in the label font: `big` is "Courier New" 14 x 7, else the
    // stock fixed font. False when the text cannot be measured.
    virtual bool MeasureText(const std::string& text, bool big, int& width, int& height) = 0;
    // Draws `text` centred on xCentre with its top at yTop, on an opaque
    // background, into the 0xFFRRGGBB image. False when nothing was drawn.
    virtual bool DrawText(uint32_t* pixels, int width, int rows, int xCentre, int yTop,
                          const std::string& text, bool big, uint32_t colour, uint32_t background) = 0;
};

// The first-arrival picker: (samples, step µs, count, window start µs, window end µs, level) -> µs.
using TraceFirstArrivalPicker = int (*)(const int16_t* samples, int step, int count, int start, int end,
                                        int level);

// First-arrival settings of one receiver.
struct TraceFaSettings {
    int threshold = 0;
    int start = 0;
    int end = 0;
    int use = 0;
};

// What the rows read from the shared records when they are drawn.
struct TraceRowSettings {
    TraceFaSettings fa[3];         // Rx1..Rx3
    int displayGain[3] = {1, 1, 1};  // g_nDisplayGainRx1..3
    int palette = 0;               // SessionState::BlackAndWhite
};

// One waveform record as AddRecord receives it.
struct TraceRecord {
    const int16_t* rx[3] = {nullptr, nullptr, nullptr};
    int count[3] = {0, 0, 0};  // samples (0, 256 or 512 when sound)
    double depthM = 0.0;
    int scale = 25;            // VScale: 25, 50, 100, 200, 500
    int mode = 12;             // 10 up, 11 down, 12 time
    int code[3] = {0, 0, 0};   // trace-length codes
    int interval = 2;          // cm
    int leftView = 1;
    int rightView = 2;
};

class TraceImageCore {
public:
    TraceImageCore();

    // Fills the three palettes; the FA colours are COLORREF values.
    void BuildPalettes(uint32_t faLeftColorRef, uint32_t faRightColorRef);
    // Palette row of a sample: trunc(clamp(sample x gain / 256, -127, 127) + 128).
    uint32_t AmplitudeToColor(double sample, int gain, int palette) const;
    uint32_t PaletteColor(int row, int palette) const { return m_palette[row & 255][palette < 0 || palette > 2 ? 0 : palette]; }

    // Whole image to the backgrounds, window back to row 32, labels suppressed for five rows.
    void ClearImage();
    // Decimation counter and parity flag back to their start (control creation).
    void ResetCounters();

    // One record: its rows, decimated by scale and interval. Returns the number of rows drawn.
    int AddRecord(const TraceRecord& rec, const TraceRowSettings& rs);

    void SetLabelRenderer(ITraceLabelRenderer* r) { m_labels = r; }
    void SetPicker(TraceFirstArrivalPicker p) { m_picker = p; }
    void SetBtnFace(uint32_t pixel) { m_btnFace = 0xFF000000u | pixel; }
    uint32_t BtnFace() const { return m_btnFace; }

    // The image, row-major, kTraceImageWidth pixels per row.
    const uint32_t* Pixels() const { return m_pixels.data(); }
    uint32_t* Pixels() { return m_pixels.data(); }
    uint32_t Pixel(int x, int row) const { return m_pixels[static_cast<size_t>(row) * kTraceImageWidth + x]; }

    int WindowTopRow() const { return m_windowTop; }
    bool IsDown() const { return m_down; }
    int Mode() const { return m_mode; }
    int Scale() const { return m_scale; }
    double LastLabelledDepth() const { return m_lastLabelled; }
    int LabelGuardRows() const { return m_labelGuard; }
    // Row of the image shown at the top of a client area `clientHeight` rows high.
    int SourceTopRow(int clientHeight) const {
        return m_down ? m_windowTop + kTracePageRows - clientHeight : m_windowTop;
    }
    // Rows drawn since the counter was last reset (the printed page's rows).
    int PageRowCounter() const { return m_pageRows; }
    void ResetPageRowCounter() { m_pageRows = 0; }
    // Called after every drawn row, once the page row counter has counted it
    // (automatic page printing). The window top row is still the one before the row.
    void SetPageRowHook(std::function<void()> hook) { m_pageRowHook = std::move(hook); }
    int LastDrawnRow() const { return m_lastRow; }

private:
    void DrawRecord(bool down, double depthM);
    void DrawRow(int row, double depthCm);
    void BuildTrack(uint32_t* dst, const int16_t* s, int count, int period, int gain, int palette,
                    const TraceFaSettings& fa, uint32_t faColour) const;
    void DrawDepthColumn(int row, double depthCm);
    void PaintColumnOutsideGuard(uint32_t* col) const;
    void MoveWindow(bool down);

    std::vector<uint32_t> m_pixels;
    std::array<uint32_t, 2 * kTraceTrackWidth> m_rowTracks{};  // left and right track of the current record
    std::array<std::array<uint32_t, 3>, 256> m_palette{};
    uint32_t m_faLeft = 0xFF000000u, m_faRight = 0xFF000000u;
    uint32_t m_btnFace = kTraceBtnFace;
    ITraceLabelRenderer* m_labels = nullptr;
    TraceFirstArrivalPicker m_picker = nullptr;

    int m_windowTop = kTraceGuardRows;
    bool m_down = false;
    int m_scale = 25;
    int m_mode = 12;
    double m_lastLabelled = kTraceNoLabel;
    int m_labelGuard = 0;
    int m_labelMargin = 0;
    int m_tickCounter = 0;
    bool m_suppressLabels = true;
    int m_suppressCounter = 0;
    int m_decimation = 0;
    bool m_parity = false;
    int m_pageRows = 0;
    int m_lastRow = -1;
    std::function<void()> m_pageRowHook;
};

// Records handed from the receive or player thread to the drawing thread. The
// worker copies the samples under a short lock and never waits for drawing;
// the drawing thread takes everything pending at once.
class TraceRecordFeed {
public:
    struct Item {
        bool clear = false;        // a ClearImage request, in order with the records
        TraceRecord rec;           // rx pointers refer into `samples` once taken
        std::vector<int16_t> samples;
        int offset[3] = {0, 0, 0};
    };
    static constexpr size_t kMaxSamples = 8192;  // size of the shared trace buffers
    static constexpr size_t kMaxPending = 4096;

    // Copies the record (counts above kMaxSamples are cut to it). False when the
    // queue is full and the record was dropped.
    bool Push(const TraceRecord& rec);
    void PushClear();
    // Moves every pending item into `out` (cleared first), rx pointers fixed up.
    void Take(std::vector<Item>& out);
    size_t Pending() const;
    uint64_t Dropped() const;

private:
    mutable std::mutex m_lock;
    std::vector<Item> m_items;
    uint64_t m_dropped = 0;
};

}  // namespace zns
