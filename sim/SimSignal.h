#pragma once
// Sonic traces and gamma counts of the simulated sonde (internal to the simulator).
#include <cstdint>

namespace zns::sim::detail {

// Small fast generator for sample noise: traces need millions of draws per scenario.
struct Noise {
    uint64_t s;
    explicit Noise(uint64_t seed) : s(seed ? seed : 0x9E3779B97F4A7C15ull) {}
    uint64_t Next() {
        s ^= s << 13;
        s ^= s >> 7;
        s ^= s << 17;
        return s;
    }
    // Roughly normal, unit deviation (sum of four uniforms).
    double Gauss();
};

struct TraceParams {
    int samples = 512;
    double stepUs = 4.0;
    double offsetM = 1.0;       // transmitter-receiver spacing
    double slowness = 300.0;    // formation compressional slowness, us/m
    double gainDb = 0.0;        // applied gain
    double baseAmplitude = 6000.0;
    double nearOffsetM = 0.91;  // the amplitude reference
    double noiseAmplitude = 6.0;
    double toolDelayUs = 60.0;
};

// Arrival times (us) the synthesiser uses; exposed so tests can check picks.
double CompressionalArrivalUs(const TraceParams& p);

// Peak sample magnitude the trace would have at 0 dB (without noise).
double PeakAtZeroDb(const TraceParams& p);

// Gain an automatic-gain sonde would choose (dB, 0..36).
int AutoGainDb(const TraceParams& p);

// Writes p.samples signed 16-bit samples.
void SynthesizeTrace(const TraceParams& p, Noise& noise, int16_t* out);

// Gamma counts of one frame at a depth.
uint16_t GammaCount(double depthM, Noise& noise);

}  // namespace zns::sim::detail
