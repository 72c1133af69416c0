// SPDX-License-Identifier: LGPL-2.1-or-later
// Stereo feedback-delay-network reverb as a LADSPA plug-in, with the controls of zita-rev1.
//
// Signal path: pre-delay ("In Delay") -> two allpass diffusers per channel -> eight delay lines,
// each closed through a short allpass and a loss filter, mixed back by an 8 x 8 Hadamard matrix
// (orthogonal, so the loop itself neither gains nor loses energy) -> two peaking equalizers on the
// wet signal -> dry/wet mix and level.
//
// Loss filter of each line, per pass: a one-pole crossover at "LF X" splits the signal; the part
// below gets the gain that makes it decay by 60 dB in "Low RT60", the part above the gain for
// "Mid RT60". A first-order shelf at "HF Damping" then applies the mid gain once more above that
// frequency, so there the decay time is half the mid one.
//
// Mix and level (zita-rev1 leaves their mapping to the implementation):
//   "Dry/Wet Mix" m in -1..1: dry gain = 1 for m <= 0, 1 - m above; wet amount = 1 for m >= 0,
//   1 + m below. So -1 is dry only, 0 is the full dry signal plus the full reverb, 1 is wet only.
//   "Level" in dB scales the wet signal only; at its default (+6 dB) the reverb of steady pink
//   noise sits about 12 dB under the dry signal: a clearly audible, modest room.
//
// Real-time contract: instantiate allocates every buffer for the largest delays at its rate;
// activate clears; run never allocates, locks or prints, reads each input sample before writing
// the output of the same index (in-place safe), and handles any block length.

#include <ladspa.h>

#include "plugins/common/StereoDescriptor.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

namespace {

using V4 = float __attribute__((vector_size(16)));
using V4i = int __attribute__((vector_size(16)));

constexpr unsigned long kUniqueId = 738150400;
constexpr int kLines = 8;
constexpr unsigned kChunk = 32;

// Delay line and in-loop allpass lengths in ms, rounded to primes at the sample rate so the
// modes of different lines never line up.
constexpr double kLineMs[kLines] = {37.1, 41.9, 47.3, 53.1, 59.7, 67.3, 73.9, 83.7};
constexpr double kLoopApMs[kLines] = {7.3, 11.9, 5.3, 13.1, 9.1, 6.1, 10.7, 8.3};
constexpr float kLoopApGain = 0.5f;
constexpr int kDiffusers = 4;  // per channel
constexpr double kDiffMs[2][kDiffusers] = {{1.9, 3.1, 4.7, 7.3}, {2.3, 3.7, 5.9, 8.9}};
constexpr float kDiffGain = 0.6f;
constexpr double kMaxPredelayMs = 100.0;
// Scales the wet output so that "Level" 0 dB means a reverb 18 dB under the dry signal.
constexpr float kWetNorm = 0.103f;
constexpr float kHad = 0.35355339f;  // 1 / sqrt(8): keeps the Hadamard matrix orthogonal
constexpr float kTailTap = kHad;
constexpr float kEarly = 0.5f;
constexpr float kAntiDenormal = 1e-18f;

enum Port : unsigned long {
  In1, In2, Out1, Out2,
  InDelay, LfX, LowRt60, MidRt60, HfDamping, Eq1Freq, Eq1Level, Eq2Freq, Eq2Level, DryWet, Level,
  Bypass, PortCount
};

struct ControlInfo {
  const char* name;
  float lo, hi, def;
  LADSPA_PortRangeHintDescriptor hint;
};

constexpr LADSPA_PortRangeHintDescriptor kBounded = LADSPA_HINT_BOUNDED_BELOW | LADSPA_HINT_BOUNDED_ABOVE;
constexpr LADSPA_PortRangeHintDescriptor kLogLow = kBounded | LADSPA_HINT_LOGARITHMIC | LADSPA_HINT_DEFAULT_LOW;

// The defaults of the log controls are exactly what LADSPA_HINT_DEFAULT_LOW gives on their
// ranges; "Level" has a default no hint can express, so hosts must set it (the chain does).
const ControlInfo kControls[PortCount - InDelay] = {
    {"In Delay", 20, 100, 60, kBounded | LADSPA_HINT_DEFAULT_MIDDLE},
    {"LF X", 50, 1000, 105.737f, kLogLow},
    {"Low RT60", 1, 8, 1.68179f, kLogLow},
    {"Mid RT60", 1, 8, 1.68179f, kLogLow},
    {"HF Damping", 1500, 23520, 2984.89f, kLogLow},
    {"Eq1 Freq", 40, 2500, 112.468f, kLogLow},
    {"Eq1 Level", -15, 15, 0, kBounded | LADSPA_HINT_DEFAULT_0},
    {"Eq2 Freq", 160, 10000, 449.873f, kLogLow},
    {"Eq2 Level", -15, 15, 0, kBounded | LADSPA_HINT_DEFAULT_0},
    {"Dry/Wet Mix", -1, 1, 0, kBounded | LADSPA_HINT_DEFAULT_0},
    {"Level", -70, 40, 6, kBounded},
    {"Bypass", 0, 1, 0, LADSPA_HINT_TOGGLED | LADSPA_HINT_DEFAULT_0},
};

// Never shorter than a chunk: the block-wise processing relies on it.
unsigned PrimeAtLeast(unsigned n) {
  if (n <= kChunk) n = kChunk + 1;
  for (unsigned c = n | 1u;; c += 2) {
    bool prime = true;
    for (unsigned d = 3; d * d <= c; d += 2)
      if (c % d == 0) {
        prime = false;
        break;
      }
    if (prime) return c;
  }
}

unsigned PowerOfTwoAbove(unsigned n) {
  unsigned p = 1;
  while (p <= n) p <<= 1;
  return p;
}

// A ring buffer whose size is a power of two; the owner keeps one shared write position.
struct Ring {
  float* data = nullptr;
  unsigned mask = 0;
  float& At(unsigned pos) { return data[pos & mask]; }
  // True when n frames from pos lie in one piece of memory, so a chunk needs no wrapping.
  bool Contiguous(unsigned pos, unsigned n) const { return (pos & mask) + n <= mask + 1; }
};

// Schroeder allpass of delay len over a chunk, in place on x. Writes land at pos.., reads at
// pos - len.., and len exceeds a chunk, so the two never overlap and the loop vectorizes.
void AllpassChunk(Ring& r, unsigned len, float g, float* x, unsigned n, unsigned pos) {
  if (r.Contiguous(pos - len, n) && r.Contiguous(pos, n)) {
    const float* __restrict src = r.data + ((pos - len) & r.mask);
    float* __restrict dst = r.data + (pos & r.mask);
    for (unsigned i = 0; i < n; ++i) {
      float z = src[i];
      float w = x[i] + g * z;
      dst[i] = w;
      x[i] = z - g * w;
    }
    return;
  }
  for (unsigned i = 0; i < n; ++i) {
    float z = r.At(pos + i - len);
    float w = x[i] + g * z;
    r.At(pos + i) = w;
    x[i] = z - g * w;
  }
}

// Reads n frames delayed by len.
void ReadChunk(Ring& r, unsigned len, float* x, unsigned n, unsigned pos) {
  if (r.Contiguous(pos - len, n)) {
    std::memcpy(x, r.data + ((pos - len) & r.mask), n * sizeof(float));
    return;
  }
  for (unsigned i = 0; i < n; ++i) x[i] = r.At(pos + i - len);
}

// Peaking equalizer on both wet channels, in double so low centres stay clean at 96 kHz.
struct Peak {
  double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
  double s1[2] = {}, s2[2] = {};
  bool flat = true;
  double freq = 1000, db = 0, targetFreq = 1000, targetDb = 0;

  void SetTarget(double f, double level, bool jump, double rate) {
    targetFreq = f;
    targetDb = level;
    if (jump) {
      freq = f;
      db = level;
      Design(freq, db, rate);
    }
  }
  // Frequency and level glide (frequency in octaves) and the filter follows them.
  void Glide(float k, double rate) {
    if (freq == targetFreq && db == targetDb) return;
    double d = targetDb - db, octaves = std::log2(targetFreq / freq);
    db = std::fabs(d) < 0.01 ? targetDb : db + k * d;
    freq = std::fabs(octaves) < 0.001 ? targetFreq : freq * std::exp2(k * octaves);
    Design(freq, db, rate);
  }

  void Design(double freq, double db, double rate) {
    flat = db == 0.0;
    if (flat) {
      Clear();
      return;
    }
    double w0 = 2.0 * M_PI * std::min(freq, 0.45 * rate) / rate;
    double a = std::pow(10.0, db / 40.0);
    double alpha = std::sin(w0) / (2.0 * 0.7);  // Q 0.7: broad, as for tone shaping
    double a0 = 1.0 + alpha / a;
    b0 = (1.0 + alpha * a) / a0;
    b1 = -2.0 * std::cos(w0) / a0;
    b2 = (1.0 - alpha * a) / a0;
    a1 = b1;
    a2 = (1.0 - alpha / a) / a0;
  }
  float Process(int c, double x) {
    double y = b0 * x + s1[c];
    s1[c] = b1 * x - a1 * y + s2[c];
    s2[c] = b2 * x - a2 * y;
    return float(y);
  }
  void Clear() { s1[0] = s1[1] = s2[0] = s2[1] = 0.0; }
};

float ReadControl(const LADSPA_Data* port, int index) {
  const ControlInfo& c = kControls[index];
  if (!port || !std::isfinite(*port)) return c.def;
  return std::clamp(*port, c.lo, c.hi);
}

class Reverb {
 public:
  explicit Reverb(double rate) : rate(rate) {
    unsigned total = 0;
    unsigned sizes[kLines * 2 + 2 * kDiffusers + 2];
    int k = 0;
    for (int i = 0; i < kLines; ++i) {
      lineLen[i] = PrimeAtLeast(unsigned(kLineMs[i] * 1e-3 * rate));
      apLen[i] = PrimeAtLeast(unsigned(kLoopApMs[i] * 1e-3 * rate));
      loopLen[i] = lineLen[i] + apLen[i];
      sizes[k++] = PowerOfTwoAbove(lineLen[i]);
      sizes[k++] = PowerOfTwoAbove(apLen[i]);
    }
    for (int c = 0; c < 2; ++c)
      for (int j = 0; j < kDiffusers; ++j) {
        diffLen[c][j] = PrimeAtLeast(unsigned(kDiffMs[c][j] * 1e-3 * rate));
        sizes[k++] = PowerOfTwoAbove(diffLen[c][j]);
      }
    maxPredelay = unsigned(kMaxPredelayMs * 1e-3 * rate) + 2;
    sizes[k++] = PowerOfTwoAbove(maxPredelay);
    sizes[k++] = PowerOfTwoAbove(maxPredelay);
    for (int j = 0; j < k; ++j) total += sizes[j];
    memory.assign(total, 0.0f);

    float* p = memory.data();
    k = 0;
    auto take = [&](Ring& r) {
      r.data = p;
      r.mask = sizes[k] - 1;
      p += sizes[k++];
    };
    for (int i = 0; i < kLines; ++i) {
      take(line[i]);
      take(loopAp[i]);
    }
    for (int c = 0; c < 2; ++c)
      for (int j = 0; j < kDiffusers; ++j) take(diff[c][j]);
    take(pre[0]);
    take(pre[1]);

    unsigned longest = 0;
    for (int i = 0; i < kLines; ++i) longest = std::max(longest, loopLen[i]);
    // After this much quiet nothing audible can remain anywhere in the network.
    settleFrames = longest + maxPredelay;
    for (int j = 0; j < kDiffusers; ++j) settleFrames += std::max(diffLen[0][j], diffLen[1][j]);
    smooth = float(1.0 - std::exp(-double(kChunk) / (0.005 * rate)));
  }

  void Connect(unsigned long port, LADSPA_Data* data) {
    if (port < PortCount) ports[port] = data;
  }

  void Activate() {
    ClearNetwork();
    pos = 0;
    fresh = true;
  }

  void Run(unsigned long frames) {
    const float* inL = ports[In1];
    const float* inR = ports[In2];
    float* outL = ports[Out1];
    float* outR = ports[Out2];
    if (!inL || !inR || !outL || !outR) return;

    ReadSettings();
    if (fresh) {
      predelay = targetPredelay;
      fading = false;
      dryGain = targetDry;
      wetGain = targetWet;
      bypassMix = targetBypass;
      std::copy(targetLo, targetLo + kLines, gLo);
      std::copy(targetMid, targetMid + kLines, gMid);
      fresh = false;
    }

    if (bypassMix >= 1.0f && targetBypass >= 1.0f) {
      // Fully bypassed: the input passes untouched and the network rests; it starts again
      // from silence, faded in, when the bypass is lifted.
      if (outL != inL) std::memmove(outL, inL, frames * sizeof(float));
      if (outR != inR) std::memmove(outR, inR, frames * sizeof(float));
      if (!idle) ClearNetwork();
      return;
    }
    for (unsigned long done = 0; done < frames;) {
      unsigned n = unsigned(std::min<unsigned long>(frames - done, kChunk));
      ProcessChunk(inL + done, inR + done, outL + done, outR + done, n);
      done += n;
    }
  }

 private:
  void ReadSettings() {
    float v[PortCount - InDelay];
    bool changed = false;
    for (int i = 0; i < int(PortCount - InDelay); ++i) {
      v[i] = ReadControl(ports[InDelay + i], i);
      changed |= v[i] != last[i];
    }
    if (!changed && !fresh) return;

    targetPredelay = std::min(maxPredelay - 2, unsigned(std::lround(v[0] * 1e-3 * rate)));
    double lfx = std::min(double(v[1]), 0.45 * rate);
    lfCoef = float(1.0 - std::exp(-2.0 * M_PI * lfx / rate));
    double hf = std::min(double(v[4]), 0.45 * rate);
    hfCoef = float(1.0 - std::exp(-2.0 * M_PI * hf / rate));
    for (int i = 0; i < kLines; ++i) {
      targetLo[i] = float(std::pow(10.0, -3.0 * loopLen[i] / (v[2] * rate)));
      targetMid[i] = float(std::pow(10.0, -3.0 * loopLen[i] / (v[3] * rate)));
    }
    eq1.SetTarget(v[5], v[6], fresh, rate);
    eq2.SetTarget(v[7], v[8], fresh, rate);
    double m = v[9];
    targetDry = float(m <= 0.0 ? 1.0 : 1.0 - m);
    targetWet = float((m >= 0.0 ? 1.0 : 1.0 + m) * std::pow(10.0, v[10] / 20.0) * kWetNorm);
    targetBypass = v[11] >= 0.5f ? 1.0f : 0.0f;
    std::copy(v, v + PortCount - InDelay, last);
  }

  void ClearNetwork() {
    std::fill(memory.begin(), memory.end(), 0.0f);
    for (int l = 0; l < kLines; ++l) lp[l] = hs[l] = 0.0f;
    eq1.Clear();
    eq2.Clear();
    idle = true;
    quietFrames = 0;
  }

  // Audible settings move a little per chunk; the gains ramp per sample inside it.
  void StepSmoothing() {
    const float k = smooth;
    for (int i = 0; i < kLines; ++i) {
      gLo[i] += k * (targetLo[i] - gLo[i]);
      gMid[i] += k * (targetMid[i] - gMid[i]);
    }
    eq1.Glide(k, rate);
    eq2.Glide(k, rate);
  }

  void ProcessChunk(const float* inL, const float* inR, float* outL, float* outR, unsigned n) {
    // Bypass fades over about 10 ms; the network keeps running underneath so a return is smooth.
    float bypassStep = float(kChunk / (0.01 * rate));
    float bypassStart = bypassMix;
    if (bypassMix < targetBypass) bypassMix = std::min(targetBypass, bypassMix + bypassStep);
    if (bypassMix > targetBypass) bypassMix = std::max(targetBypass, bypassMix - bypassStep);

    float dry0 = dryGain, wet0 = wetGain;
    dryGain += smooth * (targetDry - dryGain);
    wetGain += smooth * (targetWet - wetGain);
    if (std::fabs(dryGain - targetDry) < 1e-5f) dryGain = targetDry;
    if (std::fabs(wetGain - targetWet) < 1e-7f) wetGain = targetWet;

    bool silentIn = true;
    for (unsigned i = 0; i < n; ++i) silentIn &= (inL[i] == 0.0f) & (inR[i] == 0.0f);

    if (idle && silentIn) {
      // Nothing in the network and nothing coming: the output is the (silent) dry signal.
      for (unsigned i = 0; i < n; ++i) outL[i] = outR[i] = 0.0f;
      pos += n;
      return;
    }
    idle = false;
    StepSmoothing();

    // A new pre-delay cross-fades from the old read position to the new one over 20 ms:
    // sliding the read position instead would bend the pitch, or even play backwards.
    if (!fading && targetPredelay != predelay) {
      nextPredelay = targetPredelay;
      fade = 0.0f;
      fading = true;
    }
    float fade0 = fade;
    if (fading) fade = std::min(1.0f, fade + float(n / (0.02 * rate)));
    float fadeStep = (fade - fade0) / float(n);

    float inv = 1.0f / float(n);
    float dryStep = (dryGain - dry0) * inv, wetStep = (wetGain - wet0) * inv;
    float byStep = (bypassMix - bypassStart) * inv;

    // Every delay here is longer than a chunk, so each stage can run over the whole chunk before
    // the next one: reads never see samples written in the same chunk.
    float dIn[2][kChunk];
    const float* in[2] = {inL, inR};
    for (int c = 0; c < 2; ++c) {
      Ring& r = pre[c];
      // Far beyond any real signal, yet it keeps the wet path finite for every finite input.
      for (unsigned i = 0; i < n; ++i) r.At(pos + i) = std::clamp(in[c][i], -1e15f, 1e15f);
      ReadChunk(r, predelay, dIn[c], n, pos);
      if (fading) {
        float next[kChunk];
        ReadChunk(r, nextPredelay, next, n, pos);
        for (unsigned i = 0; i < n; ++i) dIn[c][i] += (fade0 + fadeStep * float(i + 1)) * (next[i] - dIn[c][i]);
      }
      // Schroeder allpasses smear the onset into a dense burst. The tiny offset keeps them out
      // of denormals while they ring down; at about -340 dB it is far below hearing.
      for (unsigned i = 0; i < n; ++i) dIn[c][i] += kAntiDenormal;
      for (int j = 0; j < kDiffusers; ++j) AllpassChunk(diff[c][j], diffLen[c][j], kDiffGain, dIn[c], n, pos);
    }

    if (fading && fade >= 1.0f) {
      predelay = nextPredelay;
      fading = false;
    }

    // Line outputs through their in-loop allpasses, stored frame by frame for the matrix.
    alignas(16) float y[kChunk][kLines];
    for (int l = 0; l < kLines; ++l) {
      float o[kChunk];
      ReadChunk(line[l], lineLen[l], o, n, pos);
      AllpassChunk(loopAp[l], apLen[l], kLoopApGain, o, n, pos);
      for (unsigned i = 0; i < n; ++i) y[i][l] = o[i];
    }

    // Loss filters, Hadamard mix and injection, eight lines at once in two 4-lane vectors.
    const V4 h = {kHad, kHad, kHad, kHad};
    const V4 lfc = {lfCoef, lfCoef, lfCoef, lfCoef}, hfc = {hfCoef, hfCoef, hfCoef, hfCoef};
    const V4 evenPlus = {1, 0, -1, 0}, oddPlus = {0, 1, 0, -1};
    V4 gLoV[2], gMidV[2], lpV[2], hsV[2];
    std::memcpy(gLoV, gLo, sizeof gLoV);
    std::memcpy(gMidV, gMid, sizeof gMidV);
    std::memcpy(lpV, lp, sizeof lpV);
    std::memcpy(hsV, hs, sizeof hsV);
    float tapL[kChunk], tapR[kChunk];
    const V4i absMask = {0x7fffffff, 0x7fffffff, 0x7fffffff, 0x7fffffff};
    V4 sumAbs = {0, 0, 0, 0};
    for (unsigned i = 0; i < n; ++i) {
      V4 v[2];
      std::memcpy(v, y[i], sizeof v);
      for (int k = 0; k < 2; ++k) {
        lpV[k] += lfc * (v[k] - lpV[k]);
        V4 t = gMidV[k] * v[k] + (gLoV[k] - gMidV[k]) * lpV[k];
        hsV[k] += hfc * (t - hsV[k]);
        v[k] = hsV[k] + gMidV[k] * (t - hsV[k]);
      }
      // Fast Walsh-Hadamard transform in natural order (row k has sign (-1)^popcount(k & l)).
      V4 a = v[0] + v[1], b = v[0] - v[1];
      const V4 pm2 = {1, 1, -1, -1}, pm1 = {1, -1, 1, -1};
      a = a * pm2 + __builtin_shuffle(a, V4i{2, 3, 0, 1});
      b = b * pm2 + __builtin_shuffle(b, V4i{2, 3, 0, 1});
      a = a * pm1 + __builtin_shuffle(a, V4i{1, 0, 3, 2});
      b = b * pm1 + __builtin_shuffle(b, V4i{1, 0, 3, 2});
      // Rows 4 (+ + + + - - - -) and 1 (+ - + - + - + -) are orthogonal: two uncorrelated taps.
      tapL[i] = b[0];
      tapR[i] = a[1];
      float il = dIn[0][i], ir = dIn[1][i];
      V4 f0 = h * a + il * evenPlus + ir * oddPlus;
      V4 f1 = h * b + il * evenPlus - ir * oddPlus;
      sumAbs += (V4)((V4i)f0 & absMask) + (V4)((V4i)f1 & absMask);
      std::memcpy(y[i], &f0, sizeof f0);
      std::memcpy(y[i] + 4, &f1, sizeof f1);
    }
    std::memcpy(lp, lpV, sizeof lpV);
    std::memcpy(hs, hsV, sizeof hsV);

    float energy = sumAbs[0] + sumAbs[1] + sumAbs[2] + sumAbs[3];
    for (int l = 0; l < kLines; ++l) {
      Ring& d = line[l];
      if (d.Contiguous(pos, n)) {
        float* __restrict dst = d.data + (pos & d.mask);
        for (unsigned i = 0; i < n; ++i) dst[i] = y[i][l];
      } else {
        for (unsigned i = 0; i < n; ++i) d.At(pos + i) = y[i][l];
      }
    }

    for (unsigned i = 0; i < n; ++i) {
      float xl = inL[i], xr = inR[i];
      // The diffused input itself is the early sound, arriving right after the pre-delay.
      float wl = kTailTap * tapL[i] + kEarly * dIn[0][i];
      float wr = kTailTap * tapR[i] + kEarly * dIn[1][i];
      if (!eq1.flat) {
        wl = eq1.Process(0, wl);
        wr = eq1.Process(1, wr);
      }
      if (!eq2.flat) {
        wl = eq2.Process(0, wl);
        wr = eq2.Process(1, wr);
      }
      float dg = dry0 + dryStep * float(i + 1);
      float wg = wet0 + wetStep * float(i + 1);
      float ol = dg * xl + wg * wl;
      float orr = dg * xr + wg * wr;
      float by = bypassStart + byStep * float(i + 1);
      outL[i] = ol + by * (xl - ol);
      outR[i] = orr + by * (xr - orr);
    }
    pos += n;

    // Once the network has been near silence (-240 dB) for longer than its longest path, it is
    // cleared outright: the tail would otherwise sink into denormals, which are slow.
    if (silentIn && energy < 1e-12f * float(n)) {
      quietFrames += n;
      if (quietFrames > settleFrames) ClearNetwork();
    } else {
      quietFrames = 0;
    }
  }

  double rate;
  LADSPA_Data* ports[PortCount] = {};
  std::vector<float> memory;
  Ring line[kLines], loopAp[kLines], diff[2][kDiffusers], pre[2];
  unsigned lineLen[kLines] = {}, apLen[kLines] = {}, loopLen[kLines] = {}, diffLen[2][kDiffusers] = {};
  unsigned maxPredelay = 0, settleFrames = 0;
  float smooth = 0.15f;  // per-chunk step of the smoothed settings: about 5 ms
  unsigned pos = 0;
  unsigned long quietFrames = 0;
  bool idle = true, fresh = true;

  float last[PortCount - InDelay] = {};
  unsigned targetPredelay = 0, predelay = 0, nextPredelay = 0;  // frames
  float fade = 0.0f;  // of the pre-delay cross-fade, 0..1
  bool fading = false;
  float lfCoef = 0, hfCoef = 0;
  float targetLo[kLines] = {}, targetMid[kLines] = {}, gLo[kLines] = {}, gMid[kLines] = {};
  float lp[kLines] = {}, hs[kLines] = {};
  float targetDry = 1, targetWet = 0, dryGain = 1, wetGain = 0;
  float targetBypass = 0, bypassMix = 0;
  Peak eq1, eq2;
};

const char* const kAudioNames[4] = {"Audio Input 1", "Audio Input 2", "Audio Output 1", "Audio Output 2"};

struct Descriptor : zs_ladspa::StereoDescriptor<Reverb, PortCount, 1000, 400000> {
  Descriptor() : StereoDescriptor(kUniqueId, "reverb_zita_rev1", "Zembrovane stereo FDN reverb (zita-rev1 controls)", kAudioNames) {
    for (unsigned long p = InDelay; p < PortCount; ++p) {
      const ControlInfo& c = kControls[p - InDelay];
      Control(p, c.name, c.hint, c.lo, c.hi);
    }
  }
};

const Descriptor descriptor;

}  // namespace

ZS_LADSPA_EXPORT(descriptor)
