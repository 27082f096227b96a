#include "ui/controls/TraceImageCore.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

namespace zns {

namespace {

// Rows per record by scale (25, 50, 100, 200, 500) and depth interval (2, 5, 10, 20 cm).
constexpr int kRowsPerRecord[5][4] = {
    {4, 10, 20, 40},
    {2, 5, 10, 20},
    {1, 2, 5, 10},
    {0, 1, 2, 4},
    {0, 0, 1, 2},
};
constexpr double kRowStepM[5] = {0.005, 0.01, 0.02, 0.05, 0.1};
constexpr int kIntervals[4] = {2, 5, 10, 20};

int ScaleIndex(int scale) {
    switch (scale) {
        case 50: return 1;
        case 100: return 2;
        case 200: return 3;
        case 500: return 4;
        default: return 0;  // 1/25 and any unlisted scale
    }
}

int IntervalIndex(int interval) {
    switch (interval) {
        case 5: return 1;
        case 10: return 2;
        case 20: return 3;
        default: return 0;  // 2 cm and any unlisted interval
    }
}

uint32_t Rgb(double r, double g, double b) {
    auto c = [](double v) { return static_cast<uint32_t>(static_cast<int>(v)) & 0xFFu; };
    return 0xFF000000u | (c(r) << 16) | (c(g) << 8) | c(b);
}

// Tracks chosen by the views: receiver index 0..2, -1 for none, -2 for a value outside the list.
int LeftReceiver(int view) { return view == 0 ? -1 : view == 1 ? 0 : view == 2 ? 1 : -2; }
int RightReceiver(int view) { return view == 0 ? -1 : view == 2 ? 1 : view == 3 ? 2 : -2; }

}  // namespace

TraceImageCore::TraceImageCore()
    : m_pixels(static_cast<size_t>(kTraceImageWidth) * kTraceImageRows, kTraceTrackBackground) {
    BuildPalettes(0, 0);
    ClearImage();
}

void TraceImageCore::BuildPalettes(uint32_t faLeftColorRef, uint32_t faRightColorRef) {
    for (int i = 0; i < 256; ++i) {
        m_palette[i][0] = Rgb(i, i, i);

        if (i <= 127) {
            const double v = i * 255.0 / 127.0;
            m_palette[i][1] = Rgb(v, v, 255);
        } else {
            const double v = 255.0 - (i - 128) * 255.0 / 127.0;
            m_palette[i][1] = Rgb(255, v, v);
        }

        if (i <= 42)
            m_palette[i][2] = Rgb(255.0 - i * 255.0 / 42.0, 0, 255);
        else if (i <= 85)
            m_palette[i][2] = Rgb(0, (i - 42) * 255.0 / 43.0, 255);
        else if (i <= 128)
            m_palette[i][2] = Rgb((i - 85) * 255.0 / 43.0, 255, 255);
        else if (i <= 169) {
            const double v = 255.0 - (i - 128) * 255.0 / 41.0;
            m_palette[i][2] = Rgb(v, 255, v);
        } else if (i <= 211)
            m_palette[i][2] = Rgb((i - 169) * 255.0 / 42.0, 255, 0);
        else
            m_palette[i][2] = Rgb(255, 255.0 - (i - 211) * 255.0 / 44.0, 0);
    }
    m_faLeft = ColorRefToPixel(faLeftColorRef);
    m_faRight = ColorRefToPixel(faRightColorRef);
}

uint32_t TraceImageCore::AmplitudeToColor(double sample, int gain, int palette) const {
    const double v = std::clamp(sample * gain / 256.0, -127.0, 127.0);
    const int index = static_cast<int>(v + 128.0);
    return PaletteColor(index, palette);
}

void TraceImageCore::ClearImage() {
    for (int row = 0; row < kTraceImageRows; ++row) {
        uint32_t* p = m_pixels.data() + static_cast<size_t>(row) * kTraceImageWidth;
        std::fill(p, p + kTraceTrackWidth, kTraceTrackBackground);
        std::fill(p + kTraceColumnX, p + kTraceRightX, m_btnFace);
        std::fill(p + kTraceRightX, p + kTraceImageWidth, kTraceTrackBackground);
    }
    m_lastLabelled = kTraceNoLabel;
    m_windowTop = kTraceGuardRows;
    m_labelGuard = 0;
    m_labelMargin = 0;
    m_tickCounter = 0;
    m_suppressLabels = true;
    m_suppressCounter = 0;
    m_lastRow = -1;
}

void TraceImageCore::ResetCounters() {
    m_decimation = 0;
    m_parity = false;
    m_pageRows = 0;
}

int TraceImageCore::AddRecord(const TraceRecord& rec, const TraceRowSettings& rs) {
    for (int code : rec.code)
        if (code < 0 || code > 3) return 0;

    m_scale = rec.scale;
    m_mode = rec.mode;

    const int si = ScaleIndex(rec.scale);
    const int ci = IntervalIndex(rec.interval);
    int rows = kRowsPerRecord[si][ci];
    double step = kRowStepM[si];

    if (rec.mode == 10 || rec.mode == 11) {
        m_down = rec.mode == 11;
        const int interval = kIntervals[ci];
        if (interval == 2 && rec.scale == 200) {
            // One row every third and every second record in turn.
            ++m_decimation;
            if (!m_parity) {
                if (m_decimation < 3) return 0;
                m_parity = true;
            } else {
                if (m_decimation < 2) return 0;
                m_parity = false;
            }
            rows += 1;
        } else if (interval == 2 && rec.scale == 500) {
            if (++m_decimation < 5) return 0;
            rows += 1;
        }
        m_decimation = 0;
        if (interval == 5 && (rec.scale == 100 || rec.scale == 500)) {
            const bool was = m_parity;
            m_parity = !m_parity;
            if (was && !m_parity) rows += 1;
        }
    } else {
        rows = 5 + kRowsPerRecord[0][0];
        step = kRowStepM[0];
        m_down = false;
    }

    const int leftRx = LeftReceiver(rec.leftView);
    const int rightRx = RightReceiver(rec.rightView);
    const bool drawable = leftRx != -2 && rightRx != -2;

    double depthM = std::isfinite(rec.depthM) ? rec.depthM : 0.0;
    int drawn = 0;
    if (drawable && rows > 0) {
        // Every row of a record carries the same tracks: build them once.
        const int palette = rs.palette;
        auto track = [&](uint32_t* dst, int rx, int gainView, int faRx, uint32_t faColour) {
            const int16_t* s = rx >= 0 ? rec.rx[rx] : nullptr;
            const int count = rx >= 0 && s ? rec.count[rx] : 0;
            const int period = rx >= 0 && rec.code[rx] == 3 ? 8 : 4;
            const int gain = gainView >= 1 && gainView <= 3 ? rs.displayGain[gainView - 1] : 1;
            BuildTrack(dst, s, count, period, gain, palette, rs.fa[faRx], faColour);
        };
        track(m_rowTracks.data(), leftRx, rec.leftView, rec.leftView == 2 ? 1 : 0, m_faLeft);
        track(m_rowTracks.data() + kTraceTrackWidth, rightRx, rec.rightView, rec.rightView == 3 ? 2 : 1,
              m_faRight);
    }
    for (int r = 0; r < rows; ++r) {
        if (drawable) {
            DrawRecord(m_down, depthM);
            ++drawn;
        }
        depthM += m_down ? step : -step;
    }
    return drawn;
}

void TraceImageCore::BuildTrack(uint32_t* dst, const int16_t* s, int count, int period, int gain, int palette,
                                const TraceFaSettings& fa, uint32_t faColour) const {
    if (count == 256) {
        for (int k = 0; k < 128; ++k) {
            const double a = s[2 * k], b = s[2 * k + 1];
            dst[3 * k] = AmplitudeToColor(a, gain, palette);
            dst[3 * k + 1] = AmplitudeToColor((a + b) / 2.0, gain, palette);
            dst[3 * k + 2] = AmplitudeToColor(b, gain, palette);
        }
    } else if (count == 512) {
        for (int k = 0; k < 128; ++k) {
            dst[3 * k] = AmplitudeToColor(s[4 * k], gain, palette);
            dst[3 * k + 1] = AmplitudeToColor(s[4 * k + 1], gain, palette);
            dst[3 * k + 2] = AmplitudeToColor((double(s[4 * k + 2]) + s[4 * k + 3]) / 2.0, gain, palette);
        }
    } else {
        // No trace, or a sample count that is not a trace length: white for the
        // samples there are, background for the rest (never stale rows).
        const int n = std::clamp(count, 0, kTraceTrackWidth);
        std::fill(dst, dst + n, kTraceWhite);
        std::fill(dst + n, dst + kTraceTrackWidth, kTraceTrackBackground);
    }

    if (count > 0 && s && fa.use != 0 && period >= 4 && period <= 8 && m_picker) {
        const int t = m_picker(s, period, count, fa.start, fa.end, fa.threshold + 127);
        // 65535 is "no pick"; a mark is kept inside its own track.
        if (t > 0 && t < 65535) {
            const double xd = static_cast<double>(kTraceTrackWidth) / (double(period) * count) * t;
            const int x = static_cast<int>(std::clamp(xd, 0.0, double(kTraceTrackWidth - 2)));
            dst[x] = faColour;
            dst[x + 1] = faColour;
        }
    }
}

void TraceImageCore::MoveWindow(bool down) {
    // The window is copied together with the guard band on its growing side, so
    // that the far half of a label drawn into the band survives the move.
    uint32_t* px = m_pixels.data();
    const size_t w = kTraceImageWidth;
    if (down) {
        const int first = m_windowTop;
        const int last = std::min(kTraceImageRows, m_windowTop + kTracePageRows + kTraceGuardRows);
        std::memmove(px + kTraceGuardRows * w, px + first * w, static_cast<size_t>(last - first) * w * 4);
        m_windowTop = kTraceGuardRows;
    } else {
        const int first = std::max(0, m_windowTop - kTraceGuardRows);
        const int last = m_windowTop + kTracePageRows;
        const int dst = kTraceUpWindowTop - (m_windowTop - first);
        std::memmove(px + dst * w, px + first * w, static_cast<size_t>(last - first) * w * 4);
        m_windowTop = kTraceUpWindowTop;
    }
}

void TraceImageCore::DrawRecord(bool down, double depthM) {
    double depthCm = std::trunc(depthM * 100.0);
    depthCm = std::clamp(depthCm, -1e12, 1e12);
    if (m_lastLabelled == kTraceNoLabel) m_lastLabelled = down ? depthCm - 1 : depthCm + 1;

    int row;
    if (down) {
        row = m_windowTop + kTracePageRows;
        if (row > kTraceLastRow) {
            MoveWindow(true);
            row = m_windowTop + kTracePageRows;
        }
        DrawRow(row, depthCm);
        m_windowTop += 1;
    } else {
        row = m_windowTop - 1;
        if (row < kTraceGuardRows) {
            MoveWindow(false);
            row = m_windowTop - 1;
        }
        DrawRow(row, depthCm);
        m_windowTop = row;
    }
}

void TraceImageCore::DrawRow(int row, double depthCm) {
    uint32_t* p = m_pixels.data() + static_cast<size_t>(row) * kTraceImageWidth;
    std::memcpy(p, m_rowTracks.data(), kTraceTrackWidth * 4);
    std::memcpy(p + kTraceRightX, m_rowTracks.data() + kTraceTrackWidth, kTraceTrackWidth * 4);
    DrawDepthColumn(row, depthCm);
    ++m_pageRows;
    m_lastRow = row;
    if (m_pageRowHook) m_pageRowHook();
}

void TraceImageCore::PaintColumnOutsideGuard(uint32_t* col) const {
    if (m_labelGuard > 0) {
        const int margin = std::clamp(m_labelMargin, 0, kTraceColumnWidth / 2);
        std::fill(col, col + margin, m_btnFace);
        std::fill(col + kTraceColumnWidth - margin, col + kTraceColumnWidth, m_btnFace);
    } else {
        std::fill(col, col + kTraceColumnWidth, m_btnFace);
    }
}

void TraceImageCore::DrawDepthColumn(int row, double depthCm) {
    uint32_t* col = m_pixels.data() + static_cast<size_t>(row) * kTraceImageWidth + kTraceColumnX;

    // The first five rows after a clear get no label text.
    if (m_suppressLabels && ++m_suppressCounter >= 6) {
        m_suppressLabels = false;
        m_suppressCounter = 0;
    }

    const double diff = std::trunc(depthCm - m_lastLabelled);
    ++m_tickCounter;
    bool labelled = true;  // false only when a label could not be written

    if (diff == 0 || m_mode == 12) {
        PaintColumnOutsideGuard(col);
    } else {
        // Scan from this depth back towards the last one for the first value to label.
        const int64_t last = static_cast<int64_t>(m_lastLabelled);
        const int64_t stepBack = diff > 0 ? -1 : 1;
        int tick = 0;
        bool found = false;
        int64_t v = last + static_cast<int64_t>(diff);
        char text[24];
        int len = 0;
        for (; v != last; v += stepBack) {
            len = static_cast<int>(std::to_chars(text, text + sizeof text, v).ptr - text);
            bool label = false;
            if (v == 0) {
                label = true;
            } else if (len >= 2 && text[len - 1] == '0') {
                if (m_scale == 25 || m_scale == 50 || m_scale == 100) tick = 4;
                const char tens = text[len - 2];
                if (m_scale == 500) {
                    if (tens == '0') {
                        tick = 6;
                        const char hundreds = len >= 3 ? text[len - 3] : ' ';
                        if (hundreds == '0' || hundreds == '5') label = true;
                    }
                } else {
                    if (tens == '5') tick = m_scale == 200 ? 4 : 6;
                    if (tens == '0') label = true;
                }
            }
            if (label) {
                tick = 6;
                found = true;
                break;
            }
        }

        PaintColumnOutsideGuard(col);
        if (tick > 0 && m_tickCounter > 4) {
            m_tickCounter = 0;
            std::fill(col + 2, col + tick, kTraceBlack);
            std::fill(col + kTraceColumnWidth - tick, col + kTraceColumnWidth - 2, kTraceBlack);
        }

        if (found && !m_suppressLabels) {
            // Whole metres: the text of v without its last two digits.
            const std::string label(text, len >= 2 ? len - 2 : len);
            const bool big = label.size() > 3;
            int w = 0, h = 0;
            labelled = false;
            if (!m_labels) {
                labelled = true;  // no fonts here: ticks only
            } else if (m_labels->MeasureText(label, big, w, h)) {
                w -= 1;
                h -= 1;
                const int y = row - h / 2 - (big ? 1 : 0);
                const uint32_t colour = depthCm < 0 ? kTraceRed : kTraceBlack;
                if (m_labels->DrawText(m_pixels.data(), kTraceImageWidth, kTraceImageRows, kTraceColumnCentre, y,
                                       label, big, colour, m_btnFace)) {
                    labelled = true;
                    m_labelGuard = h / 2;
                    m_labelMargin = (kTraceColumnWidth - w) / 2;
                }
            }
        }
    }

    if (labelled) m_lastLabelled = depthCm;
    if (m_labelGuard > 0) --m_labelGuard;
}

// ---------------------------------------------------------------------------

bool TraceRecordFeed::Push(const TraceRecord& rec) {
    Item item;
    item.rec = rec;
    size_t total = 0;
    for (int i = 0; i < 3; ++i) {
        int n = rec.rx[i] ? std::clamp(rec.count[i], 0, static_cast<int>(kMaxSamples)) : 0;
        item.rec.count[i] = n;
        item.offset[i] = static_cast<int>(total);
        total += static_cast<size_t>(n);
    }
    item.samples.resize(total);
    for (int i = 0; i < 3; ++i) {
        if (item.rec.count[i] > 0)
            std::memcpy(item.samples.data() + item.offset[i], rec.rx[i], item.rec.count[i] * sizeof(int16_t));
        item.rec.rx[i] = nullptr;
    }
    std::lock_guard<std::mutex> g(m_lock);
    if (m_items.size() >= kMaxPending) {
        ++m_dropped;
        return false;
    }
    m_items.push_back(std::move(item));
    return true;
}

void TraceRecordFeed::PushClear() {
    Item item;
    item.clear = true;
    std::lock_guard<std::mutex> g(m_lock);
    // Records before a clear would be erased by it; only their decimation
    // count would remain, which a fresh image does not need.
    m_items.clear();
    m_items.push_back(std::move(item));
}

void TraceRecordFeed::Take(std::vector<Item>& out) {
    out.clear();
    {
        std::lock_guard<std::mutex> g(m_lock);
        out.swap(m_items);
    }
    for (Item& it : out)
        for (int i = 0; i < 3; ++i)
            it.rec.rx[i] = it.rec.count[i] > 0 ? it.samples.data() + it.offset[i] : nullptr;
}

size_t TraceRecordFeed::Pending() const {
    std::lock_guard<std::mutex> g(m_lock);
    return m_items.size();
}

uint64_t TraceRecordFeed::Dropped() const {
    std::lock_guard<std::mutex> g(m_lock);
    return m_dropped;
}

}  // namespace zns
