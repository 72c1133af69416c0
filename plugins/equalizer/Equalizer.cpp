// SPDX-License-Identifier: LGPL-2.1-or-later
// Ten-band stereo graphic equalizer as a LADSPA plug-in.
//
// Ten peaking sections at octave centres (31 Hz .. 16 kHz), in series. Each section is an RBJ
// peaking biquad whose bandwidth is pre-warped. Sections an octave apart overlap, so a section
// set to a band's own gain would also lift its neighbours (a +12 dB band adds about 2.5 dB at the
// next centre). The sections' gains are therefore solved from the ten settings: the response in
// dB at each centre is nearly linear in the sections' gains, so a 10 x 10 system through the
// sections' interaction gives them, and solving again with the interaction measured at the gains
// found corrects the part that is not linear. This runs only when a setting changes, never per
// sample. Sections 1.5 octaves wide keep the response between centres smooth (narrower ones
// ripple when every band is raised) at the price of larger section gains (up to about 34 dB).
//
// A peaking biquad equals the input plus a scaled band-pass with the same poles,
// y = x + v - v[n-2] with v = k x - a1 v[n-1] - a2 v[n-2]: seven operations instead of nine (five
// where the CPU has fused multiply-adds; that version is chosen when the library loads).
// Left and right run together in one two-lane double vector, which keeps the 31 Hz band clean at
// 96 kHz and costs no more than one float channel.
//
// Real-time contract: instantiate allocates; activate clears; run never allocates, locks or
// prints, reads each input sample before writing the output sample of the same index (so the
// host may pass the same buffer for input and output), and works on any block length.

#include <ladspa.h>

#include "plugins/common/StereoDescriptor.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <new>

namespace {

using V2 = double __attribute__((vector_size(16)));

constexpr unsigned long kUniqueId = 738150399;
constexpr int kBands = 10;
constexpr double kCentres[kBands] = {31.25, 62.5, 125, 250, 500, 1000, 2000, 4000, 8000, 16000};
constexpr const char* kBandNames[kBands] = {"31 Hz", "63 Hz", "125 Hz", "250 Hz", "500 Hz",
                                            "1 kHz", "2 kHz",  "4 kHz",  "8 kHz",  "16 kHz"};
constexpr double kBandRange = 12.0;   // dB either way
constexpr double kSectionOctaves = 1.5;  // bandwidth of a section between its half-gain points
constexpr double kReferenceDb = 12.0;    // section gain at which the interaction is first measured
constexpr int kRefinements = 2;          // solves with the interaction at the gains found
// A section this close to 0 dB is left flat: it would cost a full section for no audible change.
constexpr double kFlatSectionDb = 0.01;
constexpr double kMaxGain = 4.0;      // linear master gain
constexpr unsigned kChunk = 32;       // frames between coefficient updates while a band glides
constexpr double kGlideSeconds = 0.02;
constexpr double kBypassFadeSeconds = 0.01;
constexpr V2 kFloatMax = {3.4e38, 3.4e38};

enum Port : unsigned long {
  InL, InR, OutL, OutR, Gain, Band0, Bypass = Band0 + kBands, PortCount
};

// One band: the poles (a1, a2, normalised) and the band-pass gain k; k == 0 is a flat band.
// The coefficients are stored twice (left and right lane) so they multiply straight from memory.
struct Band {
  V2 a1 = {0, 0}, a2 = {0, 0}, k = {0, 0};
};

// Reads a control port, treating a missing port or a non-finite value as the default.
float ReadControl(const LADSPA_Data* port, float def, float lo, float hi) {
  if (!port || !std::isfinite(*port)) return def;
  return *port < lo ? lo : (*port > hi ? hi : *port);
}

class Equalizer {
 public:
  explicit Equalizer(double rate) : rate(rate) {
    for (int b = 0; b < kBands; ++b) {
      // A band whose centre does not fit below Nyquist (16 kHz at 22.05 kHz) is left flat:
      // folding it down would boost a neighbour's range instead.
      double f = kCentres[b];
      usable[b] = f < 0.47 * rate;
      double w0 = 2.0 * M_PI * f / rate;
      cosW[b] = std::cos(w0);
      double s = std::sin(w0);
      alpha[b] = usable[b] ? s * std::sinh(0.5 * std::log(2.0) * kSectionOctaves * w0 / s) : 0.0;
      atCentre[b] = std::polar(1.0, -w0);
    }
    for (int j = 0; j < kBands; ++j)
      for (int i = 0; i < kBands; ++i) referenceDb[i][j] = usable[j] ? SectionDb(j, kReferenceDb, i) : 0.0;
    glideCoef = 1.0 - std::exp(-double(kChunk) / (kGlideSeconds * rate));
    bypassStep = 1.0 / (kBypassFadeSeconds * rate);
  }

  void Connect(unsigned long port, LADSPA_Data* data) {
    if (port < PortCount) ports[port] = data;
  }

  void Activate() {
    ClearFilters();
    fresh = true;
  }

  void Run(unsigned long frames) {
    const float* inL = ports[InL];
    const float* inR = ports[InR];
    float* outL = ports[OutL];
    float* outR = ports[OutR];
    if (!inL || !inR || !outL || !outR) return;

    ReadTargets();
    if (fresh) {
      // The first block after activation starts at the settings, without gliding into them.
      for (int b = 0; b < kBands; ++b) bandDb[b] = targetDb[b];
      gain = targetGain;
      dryMix = targetDry;
      for (int b = 0; b < kBands; ++b) Design(b);
      fresh = false;
    }

    // Fully bypassed, or silence into filters at rest (their output is silence too): pass the
    // input through and settle every glide at once.
    if ((dryMix >= 1.0 && targetDry >= 1.0) || (AtRest() && (Flat() || Silent(inL, inR, frames)))) {
      if (outL != inL) std::memmove(outL, inL, frames * sizeof(float));
      if (outR != inR) std::memmove(outR, inR, frames * sizeof(float));
      gain = targetGain;
      dryMix = targetDry;
      for (int b = 0; b < kBands; ++b) {
        if (bandDb[b] != targetDb[b]) {
          bandDb[b] = targetDb[b];
          Design(b);
        }
      }
      return;
    }

    for (unsigned long done = 0; done < frames;) {
      unsigned n = unsigned(frames - done < kChunk ? frames - done : kChunk);
      GlideBands();
      ProcessChunk(inL + done, inR + done, outL + done, outR + done, n);
      done += n;
    }
    FlushTinyStates();
    if (dryMix >= 1.0) ClearFilters();
  }

 private:
  void ReadTargets() {
    targetGain = ReadControl(ports[Gain], 1.0f, 0.0f, float(kMaxGain));
    bool changed = fresh;
    for (int b = 0; b < kBands; ++b) {
      double db = ReadControl(ports[Band0 + b], 0.0f, float(-kBandRange), float(kBandRange));
      changed |= db != settingDb[b];
      settingDb[b] = db;
    }
    if (changed) SolveSections();
    targetDry = ReadControl(ports[Bypass], 0.0f, 0.0f, 1.0f) >= 0.5f ? 1.0 : 0.0;
  }

  // Response in dB of section b at gain db, at the centre of band i.
  double SectionDb(int b, double db, int i) const {
    double a = std::pow(10.0, db / 40.0);
    std::complex<double> z1 = atCentre[i], z2 = z1 * z1;
    std::complex<double> num = 1.0 + alpha[b] * a - 2.0 * cosW[b] * z1 + (1.0 - alpha[b] * a) * z2;
    std::complex<double> den = 1.0 + alpha[b] / a - 2.0 * cosW[b] * z1 + (1.0 - alpha[b] / a) * z2;
    return 20.0 * std::log10(std::abs(num / den));
  }

  // The section gains (targetDb) that put the response at each centre on its setting.
  void SolveSections() {
    double m[kBands][kBands];
    for (int pass = 0; pass <= kRefinements; ++pass) {
      for (int j = 0; j < kBands; ++j) {
        // Column j: what one dB of section j does at each centre, at the gain last found.
        double at = pass == 0 || std::fabs(targetDb[j]) < kFlatSectionDb ? kReferenceDb : targetDb[j];
        for (int i = 0; i < kBands; ++i)
          m[i][j] = !usable[j] ? double(i == j) : (pass == 0 ? referenceDb[i][j] : SectionDb(j, at, i)) / at;
      }
      double rhs[kBands];
      for (int i = 0; i < kBands; ++i) rhs[i] = usable[i] ? settingDb[i] : 0.0;
      // A band the rate cannot hold is taken out of the system: its section stays flat and its
      // centre asks nothing of the others.
      for (int i = 0; i < kBands; ++i)
        if (!usable[i])
          for (int j = 0; j < kBands; ++j) m[i][j] = double(i == j);
      Solve(m, rhs, targetDb);
    }
    for (int b = 0; b < kBands; ++b)
      if (std::fabs(targetDb[b]) < kFlatSectionDb) targetDb[b] = 0.0;
  }

  // Gaussian elimination with partial pivoting; the interaction matrix is diagonally dominant.
  static void Solve(double m[kBands][kBands], double* rhs, double* x) {
    for (int k = 0; k < kBands; ++k) {
      int p = k;
      for (int i = k + 1; i < kBands; ++i)
        if (std::fabs(m[i][k]) > std::fabs(m[p][k])) p = i;
      if (p != k) {
        for (int j = 0; j < kBands; ++j) std::swap(m[k][j], m[p][j]);
        std::swap(rhs[k], rhs[p]);
      }
      for (int i = k + 1; i < kBands; ++i) {
        double f = m[i][k] / m[k][k];
        for (int j = k; j < kBands; ++j) m[i][j] -= f * m[k][j];
        rhs[i] -= f * rhs[k];
      }
    }
    for (int i = kBands - 1; i >= 0; --i) {
      double sum = rhs[i];
      for (int j = i + 1; j < kBands; ++j) sum -= m[i][j] * x[j];
      x[i] = sum / m[i][i];
    }
  }

  // Moves each band's gain a step towards its setting; coefficients change only while moving.
  void GlideBands() {
    for (int b = 0; b < kBands; ++b) {
      double d = targetDb[b] - bandDb[b];
      if (d == 0.0) continue;
      bandDb[b] = std::fabs(d) < 0.005 ? targetDb[b] : bandDb[b] + glideCoef * d;
      Design(b);
    }
  }

  void Design(int b) {
    Band& q = eq[b];
    if (!usable[b] || bandDb[b] == 0.0) {
      // A flat section is skipped; its state restarts from zero when it is needed again, and
      // as its gain glides in from 0 dB that restart is inaudible.
      q = Band{};
      w1[b] = w2[b] = V2{0, 0};
      return;
    }
    double a = std::pow(10.0, bandDb[b] / 40.0);
    double a0 = 1.0 + alpha[b] / a;
    double a1 = -2.0 * cosW[b] / a0, a2 = (1.0 - alpha[b] / a) / a0, k = alpha[b] * (a - 1.0 / a) / a0;
    // The state holds k times the band-pass state, so a new k rescales it.
    if (q.k[0] != 0.0) {
      const double ratio = k / q.k[0];
      w1[b] *= ratio;
      w2[b] *= ratio;
    }
    q.a1 = V2{a1, a1};
    q.a2 = V2{a2, a2};
    q.k = V2{k, k};
  }

  // Runs up to five bands over a chunk; with the count fixed at compile time the states stay in
  // registers (ten bands at once would not fit in sixteen).
  template <int N>
  __attribute__((always_inline)) static inline void RunBands(const Band* band, V2* w1, V2* w2, V2* buf, unsigned n) {
    V2 s1[N], s2[N];
    for (int k = 0; k < N; ++k) {
      s1[k] = w1[k];
      s2[k] = w2[k];
    }
    for (unsigned i = 0; i < n; ++i) {
      V2 x = buf[i];
      for (int k = 0; k < N; ++k) {
        // x - v[n-2] does not wait for the band's recursion, so the input passes through a
        // multiply, a subtraction and an addition per band.
        V2 e = band[k].a1 * s1[k] + band[k].a2 * s2[k];
        V2 v = band[k].k * x - e;
        x = (x - s2[k]) + v;
        s2[k] = s1[k];
        s1[k] = v;
      }
      buf[i] = x;
    }
    for (int k = 0; k < N; ++k) {
      w1[k] = s1[k];
      w2[k] = s2[k];
    }
  }

  // Compiled twice, with fused multiply-adds and without; the loader picks what the CPU has.
  __attribute__((target_clones("fma", "default"))) static void RunAllBands(Band* band, V2* s1, V2* s2, V2* buf,
                                                                           unsigned n, int count) {
    for (int first = 0; first < count; first += 5) {
      Band* b = band + first;
      V2 *p = s1 + first, *q = s2 + first;
      switch (std::min(5, count - first)) {
        case 1: RunBands<1>(b, p, q, buf, n); break;
        case 2: RunBands<2>(b, p, q, buf, n); break;
        case 3: RunBands<3>(b, p, q, buf, n); break;
        case 4: RunBands<4>(b, p, q, buf, n); break;
        default: RunBands<5>(b, p, q, buf, n); break;
      }
    }
  }

  void ProcessChunk(const float* inL, const float* inR, float* outL, float* outR, unsigned n) {
    // The bands in use, packed.
    int active[kBands];
    Band band[kBands];
    V2 s1[kBands], s2[kBands];
    int count = 0;
    for (int b = 0; b < kBands; ++b) {
      if (eq[b].k[0] == 0.0) continue;
      active[count] = b;
      band[count] = eq[b];
      s1[count] = w1[b];
      s2[count] = w2[b];
      ++count;
    }

    V2 buf[kChunk];
    for (unsigned i = 0; i < n; ++i) buf[i] = V2{inL[i], inR[i]};
    RunAllBands(band, s1, s2, buf, n, count);
    for (int k = 0; k < count; ++k) {
      w1[active[k]] = s1[k];
      w2[active[k]] = s2[k];
    }

    // Gain and bypass fade move linearly per sample so neither steps audibly.
    double chunkGain = targetGain - gain;
    chunkGain = std::fabs(chunkGain) < 1e-4 ? targetGain : gain + glideCoef * chunkGain;
    double gainStep = (chunkGain - gain) / n;
    double dryStep = targetDry > dryMix ? bypassStep : -bypassStep;
    for (unsigned i = 0; i < n; ++i) {
      V2 x = buf[i];
      gain += gainStep;
      x *= gain;
      if (dryMix != targetDry) {
        dryMix += dryStep;
        if ((dryStep > 0 && dryMix > targetDry) || (dryStep < 0 && dryMix < targetDry))
          dryMix = targetDry;
      }
      // The input is read again here, after the bands: nothing has been written yet.
      if (dryMix > 0.0) x += dryMix * (V2{inL[i], inR[i]} - x);
      // Twelve dB in every band and a gain of 4 can overflow a float from a finite input.
      x = x < -kFloatMax ? -kFloatMax : x;
      x = x > kFloatMax ? kFloatMax : x;
      outL[i] = float(x[0]);
      outR[i] = float(x[1]);
    }
    gain = chunkGain;
  }

  bool AtRest() const {
    for (int b = 0; b < kBands; ++b)
      if (w1[b][0] != 0.0 || w1[b][1] != 0.0 || w2[b][0] != 0.0 || w2[b][1] != 0.0) return false;
    return true;
  }

  // Every band at 0 dB and unity gain, nothing gliding: the equalizer is a wire.
  bool Flat() const {
    for (int b = 0; b < kBands; ++b)
      if (eq[b].k[0] != 0.0 || bandDb[b] != targetDb[b]) return false;
    return gain == 1.0 && targetGain == 1.0 && dryMix == targetDry;
  }

  static bool Silent(const float* inL, const float* inR, unsigned long frames) {
    bool silent = true;
    for (unsigned long i = 0; i < frames; ++i) silent &= (inL[i] == 0.0f) & (inR[i] == 0.0f);
    return silent;
  }

  // Filter states left by a fading signal would sink into denormals; below -500 dB they are
  // inaudible, so they are set to zero once per block instead of relying on the host's FTZ.
  void FlushTinyStates() {
    for (int b = 0; b < kBands; ++b) {
      for (V2* s : {&w1[b], &w2[b]}) {
        for (int c = 0; c < 2; ++c)
          if (std::fabs((*s)[c]) < 1e-25) (*s)[c] = 0.0;
      }
    }
  }

  void ClearFilters() {
    for (int b = 0; b < kBands; ++b) w1[b] = w2[b] = V2{0, 0};
  }

  double rate;
  LADSPA_Data* ports[PortCount] = {};
  bool usable[kBands] = {};
  double cosW[kBands] = {};
  double alpha[kBands] = {};
  std::complex<double> atCentre[kBands];  // e^-jw at each band centre
  double referenceDb[kBands][kBands] = {};  // [centre][section] response at kReferenceDb
  double glideCoef = 0;
  double bypassStep = 0;

  double settingDb[kBands] = {};  // the band controls as last read
  double targetDb[kBands] = {};   // the section gains those settings need
  double bandDb[kBands] = {};     // the section gains now, gliding towards targetDb
  double targetGain = 1, gain = 1;
  double targetDry = 0, dryMix = 0;
  bool fresh = true;

  Band eq[kBands];
  V2 w1[kBands] = {};  // band-pass state w[n-1], w[n-2] of each band, left and right
  V2 w2[kBands] = {};
};

const char* const kAudioNames[4] = {"Input (Left)", "Input (Right)", "Output (Left)", "Output (Right)"};

struct Descriptor : zs_ladspa::StereoDescriptor<Equalizer, PortCount> {
  Descriptor() : StereoDescriptor(kUniqueId, "zembrovane_equalizer_10_band_stereo", "Zembrovane 10-band stereo equalizer", kAudioNames) {
    Control(Gain, "Gain", LADSPA_HINT_BOUNDED_BELOW | LADSPA_HINT_BOUNDED_ABOVE | LADSPA_HINT_DEFAULT_1, 0.0f,
            float(kMaxGain));
    for (int b = 0; b < kBands; ++b) {
      Control(Band0 + b, kBandNames[b], LADSPA_HINT_BOUNDED_BELOW | LADSPA_HINT_BOUNDED_ABOVE | LADSPA_HINT_DEFAULT_0,
              float(-kBandRange), float(kBandRange));
    }
    Control(Bypass, "Bypass", LADSPA_HINT_TOGGLED | LADSPA_HINT_DEFAULT_0, 0.0f, 1.0f);
  }
};

const Descriptor descriptor;

}  // namespace

ZS_LADSPA_EXPORT(descriptor)
