#include "sim/SimSignal.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <vector>

#include "sim/SimLogger.h"

namespace zns::sim {

namespace {
constexpr double kPi = 3.14159265358979323846;
}

// Layered formation: slow shaly beds with high gamma, fast clean beds with low gamma.
double SimLogger::FormationSlowness(double depthM) {
    double s = 310.0 + 90.0 * std::sin(2 * kPi * depthM / 23.7) +
               45.0 * std::sin(2 * kPi * depthM / 7.1 + 1.3) +
               20.0 * std::sin(2 * kPi * depthM / 2.3 + 0.4);
    return std::clamp(s, 150.0, 480.0);
}

double SimLogger::FormationGammaApi(double depthM) {
    double api = 75.0 + 0.35 * (FormationSlowness(depthM) - 310.0) +
                 15.0 * std::sin(2 * kPi * depthM / 3.7);
    return std::max(api, 5.0);
}

namespace detail {

double Noise::Gauss() {
    double sum = 0.0;
    for (int i = 0; i < 4; ++i) sum += static_cast<double>(Next() >> 11) * (1.0 / 9007199254740992.0);
    return (sum - 2.0) * 1.7320508075688772;  // variance of 4 uniforms is 1/3
}

namespace {

constexpr double kFluidSlowness = 650.0;  // us/m, borehole fluid

struct Wavelet {
    double arrivalUs, freqHz, amplitude, decayUs, riseUs;
};

// sin(2 pi f t) e^{-t/decay} (1 - e^{-t/rise}) from the arrival on, added into acc.
// Stepped as two rotating phasors, so no sin/exp per sample.
void AddWavelet(std::vector<double>& acc, double stepUs, const Wavelet& w) {
    const int n = static_cast<int>(acc.size());
    int i0 = static_cast<int>(std::ceil(w.arrivalUs / stepUs));
    if (i0 < 0) i0 = 0;
    if (i0 >= n) return;
    const double t = i0 * stepUs - w.arrivalUs;
    const double omega = 2 * kPi * w.freqHz * 1e-6;  // rad per us
    const double k1 = 1.0 / w.decayUs, k2 = k1 + 1.0 / w.riseUs;
    std::complex<double> z1 = std::polar(w.amplitude * std::exp(-t * k1), omega * t);
    std::complex<double> z2 = std::polar(w.amplitude * std::exp(-t * k2), omega * t);
    const std::complex<double> r1 = std::polar(std::exp(-stepUs * k1), omega * stepUs);
    const std::complex<double> r2 = std::polar(std::exp(-stepUs * k2), omega * stepUs);
    const double tiny = 1e-3 * std::abs(w.amplitude);
    for (int i = i0; i < n; ++i) {
        acc[i] += z1.imag() - z2.imag();
        z1 *= r1;
        z2 *= r2;
        if (std::abs(z1.real()) + std::abs(z1.imag()) < tiny) break;
    }
}

std::vector<Wavelet> Arrivals(const TraceParams& p) {
    const double amp = p.baseAmplitude * std::pow(p.nearOffsetM / std::max(p.offsetM, 0.1), 1.5) *
                       std::sqrt(300.0 / p.slowness);
    // Sized so that at the operator's usual gains (a few dB) the traces fill a good
    // part of the converter's range, as a real sonde's do; the compressional head
    // wave is the one the far receivers' short windows hold.
    std::vector<Wavelet> w;
    w.push_back({CompressionalArrivalUs(p), 20000.0, 3.5 * amp, 90.0, 8.0});
    const double shear = 1.75 * p.slowness;
    if (shear < kFluidSlowness)  // no refracted shear in slow rock
        w.push_back({p.toolDelayUs + p.offsetM * shear, 11000.0, 2.0 * amp, 160.0, 20.0});
    w.push_back({p.toolDelayUs + p.offsetM * kFluidSlowness, 14000.0, 0.6 * amp, 120.0, 10.0});
    const double stoneley = std::max(700.0, 0.3 * shear + 600.0);
    w.push_back({p.toolDelayUs + p.offsetM * stoneley, 4000.0, 3.0 * amp, 500.0, 80.0});
    return w;
}

std::vector<double> Clean(const TraceParams& p) {
    std::vector<double> acc(static_cast<size_t>(std::max(p.samples, 0)), 0.0);
    for (const Wavelet& w : Arrivals(p)) AddWavelet(acc, p.stepUs, w);
    return acc;
}

}  // namespace

double CompressionalArrivalUs(const TraceParams& p) {
    return p.toolDelayUs + p.offsetM * p.slowness;
}

double PeakAtZeroDb(const TraceParams& p) {
    double peak = 0.0;
    for (double v : Clean(p)) peak = std::max(peak, std::abs(v));
    return peak;
}

int AutoGainDb(const TraceParams& p) {
    const double peak = PeakAtZeroDb(p);
    if (peak <= 0.0) return 36;
    int g = static_cast<int>(std::floor(20.0 * std::log10(16000.0 / peak)));
    return std::clamp(g, 0, 36);
}

void SynthesizeTrace(const TraceParams& p, Noise& noise, int16_t* out) {
    std::vector<double> acc = Clean(p);
    const double gain = std::pow(10.0, p.gainDb / 20.0);
    for (size_t i = 0; i < acc.size(); ++i) {
        double v = (acc[i] + p.noiseAmplitude * noise.Gauss()) * gain;
        v = std::clamp(std::round(v), -32767.0, 32767.0);
        out[i] = static_cast<int16_t>(v);
    }
}

uint16_t GammaCount(double depthM, Noise& noise) {
    const double api = SimLogger::FormationGammaApi(depthM);
    const double c = api + std::sqrt(api) * noise.Gauss();
    return static_cast<uint16_t>(std::clamp(std::round(c), 0.0, 65535.0));
}

}  // namespace detail
}  // namespace zns::sim
