// The power panel while a log records: the Record button blinks (two picture
// swaps every 1.2 s) for as long as the log runs, and each swap is painted.
// What the heap holds after the swaps is what a long log leaves behind.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <QImage>
#include <QPushButton>

#include "link/ToolsStream.h"
#include "records/SharedRecords.h"
#include "settings/Header.h"
#include "settings/Preferences.h"
#include "ui/dialogs/PowerDlg.h"
#include "QtBenchMain.h"

namespace {

double HeapBytes() {
    const struct mallinfo2 m = mallinfo2();
    return static_cast<double>(m.uordblks + m.hblkhd);
}

// One iteration: one display tick (100 ms of the program) and a repaint of
// the Record button. 24000 ticks are 40 minutes of recording, 4000 swaps.
void BM_RecordBlinkHeap(benchmark::State& state) {
    SharedData shared;
    SettingsData settings;
    HeaderRecord header;
    zns::DataFileWriter writer;
    CToolsStream stream(shared, header, writer, {});
    CPowerDlg dlg(shared, settings, header, stream, writer);
    dlg.Create();
    shared.m_nLinkState.store(LINK_STATUS);
    {
        std::lock_guard<std::mutex> g(shared.acqMutex);
        shared.session.Recording = 1;
        shared.session.NewLogSet = 1;
    }
    auto* record = dlg.GetDlgItem<QPushButton>(CPowerDlg::IDC_RECORD);
    QImage target(record->size(), QImage::Format_ARGB32_Premultiplied);
    int swaps = 0, shown = dlg.ButtonIcon(CPowerDlg::IDC_RECORD);
    auto tick = [&] {
        dlg.OnTimer(ID_TIMER_DISPLAY);
        record->render(&target);
        if (dlg.ButtonIcon(CPowerDlg::IDC_RECORD) != shown) ++swaps, shown = dlg.ButtonIcon(CPowerDlg::IDC_RECORD);
    };
    for (int i = 0; i < 120; ++i) tick();  // every picture drawn once
    const double before = HeapBytes();
    swaps = 0;
    for (auto _ : state) tick();
    const double grown = HeapBytes() - before;
    state.counters["swaps"] = swaps;
    state.counters["heap_growth_kB"] = grown / 1024.0;
    state.counters["bytes_per_swap"] = swaps ? grown / swaps : 0.0;
}
BENCHMARK(BM_RecordBlinkHeap)->Iterations(24000)->Unit(benchmark::kMicrosecond);

}  // namespace

ZNS_QT_BENCHMARK_MAIN()
