// SPDX-License-Identifier: LGPL-2.1-or-later
#include <algorithm>
#include <cmath>
#include <cstring>

#include "sound/SFOutput.h"

namespace {

// Below this the meter reads silence; also keeps the falling value out of denormals.
constexpr float kMeterFloor = 1e-6f;

float BlockPeak(const float* samples, int len) {
  float peak = 0.0f;
  for (int i = 0; i < len; ++i) peak = std::max(peak, std::fabs(samples[i]));
  return peak;
}

// The last stage behind the chain's limiter: fluidsynth adds its own reverb and chorus after
// the LADSPA chain has run, so their peaks reach the output unlimited. A peak limiter without
// look-ahead keeps every sample within full scale: the envelope jumps to any peak above 1 and
// the gain 1/envelope then returns to unity as the envelope falls back to 1.
void LimitToFullScale(float& limiterEnvelope, float releasePerFrame, float* left, float* right, int len) {
  float envelope = std::isfinite(limiterEnvelope) ? limiterEnvelope : 1.0f;
  for (int i = 0; i < len; ++i) {
    float level = std::max(std::fabs(left[i]), std::fabs(right[i]));
    envelope = std::max(level, 1.0f + (envelope - 1.0f) * releasePerFrame);
    if (envelope > 1.0f) {
      float gain = 1.0f / envelope;
      left[i] *= gain;
      right[i] *= gain;
    }
  }
  // Keeps the falling envelope out of denormals.
  limiterEnvelope = envelope - 1.0f < 1e-7f ? 1.0f : envelope;
}

}  // namespace

// Runs on the audio driver's thread: no locks, no allocation, no output.
int SFOutput::AudioDriverCallback(void* data, int len, int nfx, float* fx[], int nout, float* out[]) {
  AudioDriverData* d = static_cast<AudioDriverData*>(data);
  if (!d->synth || nout < 2) return FLUID_FAILED;
  // The driver starts before the soundfont is loaded and the chain is active: the blocks until
  // then are silence (written here, whatever the driver left in its buffers).
  if (!d->ready.load(std::memory_order_acquire)) {
    for (int i = 0; i < nout; ++i) std::fill(out[i], out[i] + len, 0.0f);
    return FLUID_OK;
  }
  int rv;
  if (nfx == 0) {
    // The driver offers no effect buffers: reverb and chorus go into the dry output, as
    // fluidsynth's own driver mixes them. (fluid_synth_process with the outputs passed again as
    // effect buffers would also add the raw effect sends while the LADSPA host is active and
    // the built-in reverb or chorus is switched off.)
    rv = fluid_synth_write_float(d->synth, len, out[0], 0, 1, out[1], 0, 1);
  } else {
    rv = fluid_synth_process(d->synth, len, nfx, fx, nout, out);
  }
  if (d->limitToFullScale.load(std::memory_order_acquire)) LimitToFullScale(d->limiterEnvelope, d->limiterReleasePerFrame, out[0], out[1], len);

  // Peak meter: jumps up at once, falls exponentially.
  float blockPeak = std::max(BlockPeak(out[0], len), BlockPeak(out[1], len));
  float fallen = d->peak.load(std::memory_order_relaxed) * std::pow(d->releasePerFrame, static_cast<float>(len));
  float peak = std::max(blockPeak, fallen);
  d->peak.store(peak < kMeterFloor ? 0.0f : peak, std::memory_order_relaxed);
  return rv;
}

float SFOutput::GetCurrentLoudness(int soundfont) const {
  if (soundfont < 0 || soundfont >= kSoundfontSlots) return 0.0f;
  return audioDriverData[soundfont].peak.load(std::memory_order_relaxed);
}

bool SFOutput::RenderBlock(int soundfont, int frames, float* left, float* right) {
  if (soundfont < 0 || soundfont >= kSoundfontSlots || !synths[soundfont] || audioDrivers[soundfont]) return false;
  if (frames <= 0 || !left || !right) return false;
  // fluid_synth_process adds to the buffers; the drivers hand them over zeroed.
  std::memset(left, 0, sizeof(float) * frames);
  std::memset(right, 0, sizeof(float) * frames);
  float* out[2] = {left, right};
  return AudioDriverCallback(&audioDriverData[soundfont], frames, 0, nullptr, 2, out) == FLUID_OK;
}
