// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once
#include <cstdint>
#include <string>
#include <vector>

class SFOutput;

namespace zs::test {

inline const std::string kTimGM6mb = "/usr/share/sounds/sf2/TimGM6mb.sf2";

// ALSA without devices: SFOutput gets no audio driver and the test renders blocks itself.
void UseNoAudioDevice();

// A program directory without plug-ins beside it: no effect chains.
std::string NoPluginsDirectory();

// SFOutput::Init with buffer 128 and no fx; its standard output is returned in out.
bool InitCapturingOutput(SFOutput& sf, const std::vector<std::string>& paths, const std::vector<double>& gains,
                         std::string& out, const std::string& programDirectory = NoPluginsDirectory());

// Renders in blocks of 128 frames, as the audio driver would; fails the test when it cannot.
void Render(SFOutput& sf, int soundfont, int frames, std::vector<float>& left, std::vector<float>& right);

float Peak(const std::vector<float>& samples);
double Rms(const std::vector<float>& samples, size_t from = 0, size_t to = SIZE_MAX);
// Frequency estimated from rising zero crossings.
double ZeroCrossingFrequency(const std::vector<float>& samples, double sampleRate);

}  // namespace zs::test
