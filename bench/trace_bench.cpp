// Trace image costs: what the receive thread pays to add one record of 3 x 512
// samples, what the GUI thread pays to draw it, and one full repaint.
#include <benchmark/benchmark.h>

#include <QImage>
#include <QPainter>
#include <cmath>
#include <vector>

#include "link/Picker.h"
#include "records/SharedRecords.h"
#include "ui/controls/DrawerZNSCtrl.h"
#include "ui/controls/TraceImageCore.h"
#include "QtBenchMain.h"

namespace {

std::vector<int16_t> Wave(double phase) {
    std::vector<int16_t> s(512);
    for (int i = 0; i < 512; ++i)
        s[i] = i < 80 ? 0 : static_cast<int16_t>(9000 * std::sin(0.3 * i + phase) * std::exp(-(i - 80) / 150.0));
    return s;
}

zns::TraceRowSettings Settings() {
    zns::TraceRowSettings rs;
    for (auto& fa : rs.fa) fa = {10, 100, 1800, 1};
    rs.palette = 2;
    return rs;
}

// Receive-thread side: the control's AddRecord (copy into its queue, repaint request).
void BM_AddRecord(benchmark::State& state) {
    SharedData shared;
    CDrawerZNSCtrl ctrl(shared);
    ctrl.Create(0, QRect(0, 0, 900, 800), nullptr, 1017);
    const auto a = Wave(0), b = Wave(1), c = Wave(2);
    int n = 0;
    for (auto _ : state) {
        ctrl.AddRecord(a.data(), b.data(), c.data(), 512, 512, 512, 100.0 + n * 0.02, 100, 11, 2, 2, 2, 2, 1, 3);
        if (++n % 256 == 0) {
            state.PauseTiming();
            ctrl.DrawPending();
            state.ResumeTiming();
        }
    }
}
BENCHMARK(BM_AddRecord)->Unit(benchmark::kMicrosecond);

// GUI side: drawing one record into the image (rows, marks, depth column).
void BM_DrawRecord(benchmark::State& state) {
    const int scale = static_cast<int>(state.range(0));
    const int interval = static_cast<int>(state.range(1));
    zns::TraceImageCore core;
    core.SetPicker(&PickFirstArrival);
    const auto a = Wave(0), b = Wave(1), c = Wave(2);
    const zns::TraceRowSettings rs = Settings();
    zns::TraceRecord r;
    r.rx[0] = a.data();
    r.rx[1] = b.data();
    r.rx[2] = c.data();
    r.count[0] = r.count[1] = r.count[2] = 512;
    r.code[0] = r.code[1] = r.code[2] = 2;
    r.mode = 11;
    r.scale = scale;
    r.interval = interval;
    r.leftView = 1;
    r.rightView = 3;
    int n = 0;
    for (auto _ : state) {
        r.depthM = 100.0 + (n++) * interval / 100.0;
        benchmark::DoNotOptimize(core.AddRecord(r, rs));
    }
}
BENCHMARK(BM_DrawRecord)->Args({100, 2})->Args({25, 20})->Unit(benchmark::kMicrosecond);

// One full repaint of a 900 x 1180 client (three stretched copies).
void BM_FullRepaint(benchmark::State& state) {
    SharedData shared;
    CDrawerZNSCtrl ctrl(shared);
    ctrl.Create(0, QRect(0, 0, 906, 1186), nullptr, 1017);
    const auto a = Wave(0);
    for (int i = 0; i < 1500; ++i)
        ctrl.AddRecord(a.data(), a.data(), a.data(), 512, 512, 512, 100.0 + i * 0.02, 100, 11, 2, 2, 2, 2, 1, 3);
    ctrl.DrawPending();
    QImage target(ctrl.size(), QImage::Format_RGB32);
    for (auto _ : state) {
        QPainter p(&target);
        ctrl.OnPaint(p);
    }
}
BENCHMARK(BM_FullRepaint)->Unit(benchmark::kMicrosecond);

}  // namespace

ZNS_QT_BENCHMARK_MAIN()
