// SPDX-License-Identifier: LGPL-2.1-or-later
#include "tests/support/SoundTestUtil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "sound/SFOutput.h"
#include "tests/support/TestServers.h"

namespace zs::test {

void UseNoAudioDevice() { setenv("ALSA_CONFIG_PATH", SourcePath("tests/support/asound-no-device.conf").c_str(), 1); }

std::string NoPluginsDirectory() { return BuildPath("test-tmp/no-plugins/bin/"); }

bool InitCapturingOutput(SFOutput& sf, const std::vector<std::string>& paths, const std::vector<double>& gains,
                         std::string& out, const std::string& programDirectory) {
  testing::internal::CaptureStdout();
  bool ok = sf.Init(programDirectory, paths, gains, 128, false, "");
  out = testing::internal::GetCapturedStdout();
  return ok;
}

void Render(SFOutput& sf, int soundfont, int frames, std::vector<float>& left, std::vector<float>& right) {
  constexpr int kBlock = 128;
  left.assign(frames, 0.0f);
  right.assign(frames, 0.0f);
  for (int done = 0; done < frames; done += kBlock) {
    int n = std::min(kBlock, frames - done);
    ASSERT_TRUE(sf.RenderBlock(soundfont, n, left.data() + done, right.data() + done)) << "soundfont " << soundfont;
  }
}

float Peak(const std::vector<float>& samples) {
  float peak = 0.0f;
  for (float s : samples) peak = std::max(peak, std::fabs(s));
  return peak;
}

double Rms(const std::vector<float>& samples, size_t from, size_t to) {
  to = std::min(to, samples.size());
  double sum = 0.0;
  for (size_t i = from; i < to; ++i) sum += double(samples[i]) * samples[i];
  return to > from ? std::sqrt(sum / double(to - from)) : 0.0;
}

double ZeroCrossingFrequency(const std::vector<float>& samples, double sampleRate) {
  int first = -1, last = -1, crossings = 0;
  for (size_t i = 1; i < samples.size(); ++i) {
    if (samples[i - 1] < 0.0f && samples[i] >= 0.0f) {
      if (first < 0) first = static_cast<int>(i);
      last = static_cast<int>(i);
      ++crossings;
    }
  }
  if (crossings < 2) return 0.0;
  return (crossings - 1) * sampleRate / (last - first);
}

}  // namespace zs::test
