// SPDX-License-Identifier: LGPL-2.1-or-later
// Stereo brick-wall lookahead limiter as a LADSPA plug-in.
//
// For every incoming frame the gain that would put its louder channel exactly at the ceiling is
// computed. A sliding minimum over the lookahead window (van Herk / Gil-Werman: three
// comparisons per sample whatever the window) holds that gain for as long as the frame is
// ahead; a release stage lets the gain recover exponentially; a moving average over the window
// turns each drop into a smooth ramp that is complete when the loud frame leaves the delay line.
// Every value inside that average is at most the gain the outgoing frame needs, so the output
// cannot exceed the ceiling; a final clamp only guards against rounding.
//
// Real-time contract: instantiate allocates; activate clears; run never allocates, locks or
// prints, reads each input sample before writing the output of the same index (in-place safe),
// and handles any block length. The latency is reported on the "latency" output port.

#include <ladspa.h>

#include "plugins/common/StereoDescriptor.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

constexpr unsigned long kUniqueId = 738150395;
constexpr double kLookaheadMs = 1.5;
// The recovering gain is tracked as 1 - gain; once per block a depth below this becomes an exact
// zero, so the exponential approach never reaches denormals (it would take millions of frames).
constexpr double kSettle = 1e-9;

enum Port : unsigned long { InL, InR, OutL, OutR, Ceiling, Release, Bypass, Latency, PortCount };

struct ControlInfo {
  const char* name;
  float lo, hi, def;
  LADSPA_PortRangeHintDescriptor hint;
};

constexpr LADSPA_PortRangeHintDescriptor kBounded = LADSPA_HINT_BOUNDED_BELOW | LADSPA_HINT_BOUNDED_ABOVE;

// Hosts such as fluidsynth start the controls at their hinted defaults, so each default here is
// one a hint can express: full scale for the ceiling, the log middle (70.7 ms) for the release.
const ControlInfo kControls[3] = {
    {"Ceiling", -30, 0, 0, kBounded | LADSPA_HINT_DEFAULT_MAXIMUM},  // dBFS
    {"Release", 5, 1000, 70.7107f, kBounded | LADSPA_HINT_LOGARITHMIC | LADSPA_HINT_DEFAULT_MIDDLE},  // ms
    {"Bypass", 0, 1, 0, LADSPA_HINT_TOGGLED | LADSPA_HINT_DEFAULT_0},
};

float ReadControl(const LADSPA_Data* port, int index) {
  const ControlInfo& c = kControls[index];
  if (!port || !std::isfinite(*port)) return c.def;
  return std::clamp(*port, c.lo, c.hi);
}

class Limiter {
 public:
  explicit Limiter(double rate)
      : rate(rate),
        window(std::max(1u, unsigned(std::lround(kLookaheadMs * 1e-3 * rate)))),
        delayL(window), delayR(window), current(window), suffix(window + 1), recover(window) {
    Activate();  // a host that runs without activating still gets a working limiter
  }

  void Connect(unsigned long port, LADSPA_Data* data) {
    if (port < PortCount) ports[port] = data;
  }

  void Activate() {
    std::fill(delayL.begin(), delayL.end(), 0.0f);
    std::fill(delayR.begin(), delayR.end(), 0.0f);
    std::fill(current.begin(), current.end(), 1.0f);
    std::fill(suffix.begin(), suffix.end(), 1.0f);
    std::fill(recover.begin(), recover.end(), 0.0);
    index = 0;
    prefix = 1.0f;
    depth = 0.0;
    depthSum = 0.0;
    quietFrames = 0;
    fresh = true;
  }

  void Run(unsigned long frames) {
    if (ports[Latency]) *ports[Latency] = float(window);
    const float* inL = ports[InL];
    const float* inR = ports[InR];
    float* outL = ports[OutL];
    float* outR = ports[OutR];
    if (!inL || !inR || !outL || !outR) return;

    float ceilingDb = ReadControl(ports[Ceiling], 0);
    float releaseMs = ReadControl(ports[Release], 1);
    float bypassTarget = ReadControl(ports[Bypass], 2) >= 0.5f ? 1.0f : 0.0f;
    if (ceilingDb != lastCeilingDb || fresh) {
      float c = float(std::pow(10.0, ceilingDb / 20.0));
      // Frames already in the delay line were measured against the old ceiling, so the clamp
      // keeps the higher of the two until they have left.
      clampLevel = fresh ? c : std::max(c, ceiling);
      clampHold = window;
      ceiling = c;
      lastCeilingDb = ceilingDb;
    }
    if (releaseMs != lastReleaseMs) {
      keep = std::exp(-1.0 / (releaseMs * 1e-3 * rate));
      lastReleaseMs = releaseMs;
    }
    if (fresh) {
      bypass = bypassTarget;
      fresh = false;
    }

    bool silent = true;
    for (unsigned long i = 0; i < frames; ++i) silent &= (inL[i] == 0.0f) & (inR[i] == 0.0f);
    if (silent && quietFrames >= 2 * window && depth == 0.0 && depthSum == 0.0) {
      // Silence in, and every buffer holds its resting value (zeros delayed, gain 1, sums 0):
      // the output is silence and the state stays as it is.
      if (outL != inL) std::memset(outL, 0, frames * sizeof(float));
      if (outR != inR) std::memset(outR, 0, frames * sizeof(float));
      bypass = bypassTarget;
    } else if (bypass == 0.0f && bypassTarget == 0.0f) {
      Limit(inL, inR, outL, outR, unsigned(frames));
    } else {
      Blend(inL, inR, outL, outR, unsigned(frames), bypassTarget);
    }
    if (depth < kSettle) depth = 0.0;
    quietFrames = silent ? quietFrames + frames : 0;
    if (clampHold <= frames) {
      clampHold = 0;
      clampLevel = ceiling;
    } else {
      clampHold -= unsigned(frames);
    }
  }

 private:
  // One frame of the gain computer: returns the gain for the frame leaving the delay line.
  inline float Step(float xl, float xr) {
    float peak = std::max(std::fabs(xl), std::fabs(xr));
    float need = ceiling / std::max(peak, ceiling);
    current[index] = need;
    prefix = std::min(prefix, need);
    float held = std::min(suffix[index + 1], prefix);
    depth = std::max(double(1.0f - held), depth * keep);
    float gain = float(1.0 - depthSum * invWindow());
    depthSum += depth - recover[index];
    recover[index] = depth;
    return gain;
  }

  inline void Advance() {
    if (++index < window) return;
    // The finished chunk becomes the tail of the next window: its suffix minima, and an exact
    // sum so rounding in the running sum never accumulates.
    index = 0;
    prefix = 1.0f;
    float m = 1.0f;
    double sum = 0.0;
    for (unsigned j = window; j-- > 0;) {
      m = std::min(m, current[j]);
      suffix[j] = m;
      sum += recover[j];
    }
    depthSum = sum;
  }

  double invWindow() const { return 1.0 / double(window); }

  // The same as Step and Advance per frame, with the state in locals: the output stores could
  // alias float members, which would otherwise be written back to memory every frame.
  void Limit(const float* inL, const float* inR, float* outL, float* outR, unsigned n) {
    const float cl = clampLevel, c = ceiling;
    const double k = keep, inv = invWindow();
    float* dL = delayL.data();
    float* dR = delayR.data();
    float* cur = current.data();
    const float* suf = suffix.data();
    double* rec = recover.data();
    unsigned at = index;
    float pre = prefix;
    double dep = depth, sum = depthSum;
    for (unsigned i = 0; i < n; ++i) {
      float xl = inL[i], xr = inR[i];
      float need = c / std::max(std::max(std::fabs(xl), std::fabs(xr)), c);
      cur[at] = need;
      pre = std::min(pre, need);
      float held = std::min(suf[at + 1], pre);
      dep = std::max(double(1.0f - held), dep * k);
      float gain = float(1.0 - sum * inv);
      sum += dep - rec[at];
      rec[at] = dep;
      float dl = dL[at], dr = dR[at];
      dL[at] = xl;
      dR[at] = xr;
      outL[i] = std::clamp(dl * gain, -cl, cl);
      outR[i] = std::clamp(dr * gain, -cl, cl);
      if (++at == window) {
        index = at - 1;
        prefix = pre;
        depthSum = sum;
        Advance();
        at = 0;
        pre = 1.0f;
        sum = depthSum;
      }
    }
    index = at;
    prefix = pre;
    depth = dep;
    depthSum = sum;
  }

  // Fading in or out of bypass, or bypassed: the delayed input with the limiting gain faded
  // towards 1, so the latency stays the same and switching never jumps.
  void Blend(const float* inL, const float* inR, float* outL, float* outR, unsigned n, float target) {
    const float step = float(1.0 / (0.01 * rate));
    for (unsigned i = 0; i < n; ++i) {
      float xl = inL[i], xr = inR[i];
      float gain = Step(xl, xr);
      float dl = delayL[index], dr = delayR[index];
      delayL[index] = xl;
      delayR[index] = xr;
      bypass = target > bypass ? std::min(target, bypass + step) : std::max(target, bypass - step);
      float g = gain + bypass * (1.0f - gain);
      float ol = dl * g, orr = dr * g;
      if (bypass == 0.0f) {
        ol = std::clamp(ol, -clampLevel, clampLevel);
        orr = std::clamp(orr, -clampLevel, clampLevel);
      }
      outL[i] = ol;
      outR[i] = orr;
      Advance();
    }
  }

  double rate;
  unsigned window;  // lookahead in frames, also the latency
  LADSPA_Data* ports[PortCount] = {};
  std::vector<float> delayL, delayR;
  std::vector<float> current, suffix;  // van Herk: this chunk's gains, last chunk's suffix minima
  std::vector<double> recover;         // the last window of 1 - gain, for the moving average
  unsigned index = 0;
  float prefix = 1.0f;
  double depth = 0.0, depthSum = 0.0, keep = 0.0;
  float ceiling = 1.0f, clampLevel = 1.0f, bypass = 0.0f;
  unsigned long clampHold = 0;
  unsigned long quietFrames = 0;  // input frames of silence in a row
  float lastCeilingDb = 1.0f, lastReleaseMs = -1.0f;
  bool fresh = true;
};

const char* const kAudioNames[4] = {"Input (Left)", "Input (Right)", "Output (Left)", "Output (Right)"};

struct Descriptor : zs_ladspa::StereoDescriptor<Limiter, PortCount, 1000, 1000000> {
  Descriptor() : StereoDescriptor(kUniqueId, "zembrovane_hard_limiter_stereo", "Zembrovane stereo brick-wall limiter", kAudioNames) {
    for (unsigned long p = Ceiling; p <= Bypass; ++p) {
      const ControlInfo& c = kControls[p - Ceiling];
      Control(p, c.name, c.hint, c.lo, c.hi);
    }
    Control(Latency, "latency", 0, 0, 0, true);
  }
};

const Descriptor descriptor;

}  // namespace

ZS_LADSPA_EXPORT(descriptor)
