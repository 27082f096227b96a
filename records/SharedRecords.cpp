#include "records/SharedRecords.h"

#include <algorithm>
#include <cstring>

int TraceBytesForCode(int code) {
    switch (code) {
        case TLC_256_4US: return 512;
        case TLC_512_4US:
        case TLC_512_8US: return 1024;
        default: return 0;
    }
}

int TraceSamplesForCode(int code) { return TraceBytesForCode(code) / 2; }

int SampleStepUsForCode(int code) {
    switch (code) {
        case TLC_256_4US:
        case TLC_512_4US: return 4;
        case TLC_512_8US: return 8;
        default: return 0;
    }
}

SharedData::SharedData() {
    for (auto& f : m_bNewData) f.store(false);
}

void SharedData::SnapshotTrace(int rx, int16_t* out, size_t count) const {
    if (rx < 0 || rx > 2 || out == nullptr) return;
    std::lock_guard<std::mutex> g(acqMutex);
    std::memcpy(out, m_pTraceRx[rx].data(), std::min(count, kTraceSamples) * sizeof(int16_t));
}
