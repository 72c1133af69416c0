// SPDX-License-Identifier: LGPL-2.1-or-later
// The real audio path: fluidsynth's ALSA driver playing into a JACK dummy server through the
// ALSA jack plug-in, recorded with jack_capture.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "sound/SFOutput.h"
#include "tests/support/JackRecorder.h"
#include "tests/support/SoundTestUtil.h"
#include "tests/support/TestServers.h"

using namespace zs::test;

namespace {

TEST(SFOutputJackTest, NotePlayedThroughAlsaReachesJack) {
  ASSERT_TRUE(UseTestServers());
  std::string wav = MakeTempDir("sfoutput-jack") + "/capture.wav";

  SFOutput sf;
  std::string out;
  EXPECT_TRUE(InitCapturingOutput(sf, {kTimGM6mb}, {1.0}, out, BuildPath("bin/"))) << out;  // with the chain
  ASSERT_TRUE(sf.HasAudioDriver(0)) << out;
  EXPECT_EQ(out.find("error: could not create audio driver"), std::string::npos) << out;
  std::vector<float> l(128), r(128);
  EXPECT_FALSE(sf.RenderBlock(0, 128, l.data(), r.data())) << "the driver owns the rendering";

  JackRecorder recorder;
  ASSERT_TRUE(recorder.Start(wav, 4));
  EXPECT_TRUE(sf.SetInstrument(0, 0, 0, 19));  // organ: sustains while held
  sf.SendNoteOn(Playhead{}, 0, 60, 100);
  float loudness = 0.0f;
  for (int i = 0; i < 100; ++i) {  // the level is written by the audio thread
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    loudness = std::max(loudness, sf.GetCurrentLoudness(0));
  }
  sf.SendNoteOff(Playhead{}, 0, 60, 0);
  EXPECT_GT(loudness, 0.005f);
  ASSERT_TRUE(recorder.Finish());
  sf.Shutdown();

  std::vector<float> samples = ReadFloatWav(wav);
  ASSERT_GT(samples.size(), 44100u) << wav;
  printf("recorded peak %.4f, meter peak %.4f\n", Peak(samples), loudness);
  EXPECT_GT(Peak(samples), 0.005f);
  EXPECT_NEAR(Peak(samples), loudness, 0.5f * loudness) << "the meter shows what was played";
}

}  // namespace
