// SPDX-License-Identifier: LGPL-2.1-or-later
// Effects subpages (reverb and chorus, external reverb, external equalizer): ranges, what
// reaches the synthesizer and the plug-ins, and the copy to the tracks on the same soundfont.
#include <algorithm>
#include <array>

#include "tests/editor/SequencerFixture.h"

namespace zs::test {
namespace {

// Two soundfonts (the same file twice); track 5 plays the second, the others the first.
class EffectsTest : public SequencerFixture {
 protected:
  void SetUp() override {
    EnterFolder(2);
    Restart();
    ASSERT_TRUE(seq->GetSynth()->SetInstrument(kOtherFont, 1, 0, 0));
  }
  SessionsStore* Store() { return seq->GetSessions(); }
  SFOutput* Synth() { return seq->GetSynth(); }
  // All parameters of an external effect of a track, as the synthesizer or the store holds them.
  template <typename Owner>
  static std::array<double, kExternalParams> Params(Owner* owner, void (Owner::*get)(int, double*) const, int track) {
    std::array<double, kExternalParams> v;
    (owner->*get)(track, v.data());
    return v;
  }
  auto SynthReverb() { return Params(Synth(), &SFOutput::GetExternalReverbParams, 0); }
  auto SynthEq() { return Params(Synth(), &SFOutput::GetExternalEqualizerParams, 0); }
  auto StoredReverb(int t) { return Params(Store(), &SessionsStore::GetTrackExternalReverb, t); }
  auto StoredEq(int t) { return Params(Store(), &SessionsStore::GetTrackExternalEqualizer, t); }
  std::array<int, 5> StoredChorus(int t) {
    std::array<int, 5> c;
    Store()->GetTrackChorus(t, c[0], c[1], c[2], c[3], c[4]);
    return c;
  }
  // Peak of a short note on track 0, rendered through the first soundfont's effect chain.
  float NotePeak() {
    Synth()->SendNoteOn(Playhead{}, 0, 60, 110);
    float left[512], right[512], peak = 0;
    for (int block = 0; block < 20; ++block) {
      if (!Synth()->RenderBlock(0, 512, left, right)) return -1;
      for (int i = 0; i < 512; ++i) peak = std::max({peak, std::fabs(left[i]), std::fabs(right[i])});
    }
    Synth()->SendNoteOff(Playhead{}, 0, 60, 0);
    for (int block = 0; block < 40; ++block) Synth()->RenderBlock(0, 512, left, right);
    return peak;
  }

  static constexpr int kOtherFont = 5;
};

TEST_F(EffectsTest, ReverbAndChorusReachTheSynthesizerAndTheTracksOfTheSoundfont) {
  Subpage(SubpageReverbChorus);
  Store()->SetTrackReverb(0, 40, 10, 50, 90);
  Store()->SetTrackReverb(kOtherFont, 1, 2, 3, 4);
  Up(3);  // room 40 -> 43
  double room, damping, width, level;
  Synth()->GetReverb(0, room, damping, width, level);
  EXPECT_NEAR(room, 0.43, 1e-6);
  EXPECT_NEAR(level, 0.9, 1e-6);
  int r[4];
  for (int t = 0; t < kTracks; ++t) {
    Store()->GetTrackReverb(t, r[0], r[1], r[2], r[3]);
    EXPECT_EQ(r[0], t == kOtherFont ? 1 : 43) << t;
  }
  Synth()->GetReverb(kOtherFont, room, damping, width, level);
  EXPECT_NE(room, 0.43);

  const bool reverbOn = Store()->GetTrackReverbEnabled(0);
  Press([](Controls& c) { c.altR = true; });
  EXPECT_EQ(Synth()->IsReverbEnabled(0), !reverbOn);
  EXPECT_EQ(Store()->GetTrackReverbEnabled(11), !reverbOn);
  EXPECT_EQ(Synth()->IsReverbEnabled(11), !reverbOn);
  const int curve = seq->GetMidiVelocityCurve();
  const bool chorusOn = Store()->GetTrackChorusEnabled(0);
  Press([](Controls& c) { c.altC = true; });
  EXPECT_EQ(Synth()->IsChorusEnabled(0), !chorusOn);
  EXPECT_EQ(Store()->GetTrackChorusEnabled(3), !chorusOn);
  EXPECT_EQ(seq->GetMidiVelocityCurve(), curve + 1);  // the global ALT C as well

  // Chorus speed (parameter 6) stops at 5.0 and 0.1 Hz.
  Right(20);
  EXPECT_EQ(seq->GetFxParam(), 8);
  Press([](Controls& c) { c.leftCount = 2; });
  Store()->SetTrackChorus(0, 3, 20, 49, 8, 0);
  Up(4);
  EXPECT_EQ(StoredChorus(0)[2], 50);
  Store()->SetTrackChorus(0, 3, 20, 2, 8, 0);
  Down(3);
  int voices, type;
  double speed, depth;
  Synth()->GetChorus(0, voices, level, speed, depth, type);
  EXPECT_NEAR(speed, 0.1, 1e-6);
  EXPECT_NEAR(level, 2.0, 1e-6);
  EXPECT_EQ(StoredChorus(4)[2], 1);

  Up(1);
  Save();
  Up(10);
  Press([](Controls& c) { c.altR = true; });
  Reload();
  EXPECT_EQ(StoredChorus(0)[2], 2);
  EXPECT_EQ(Store()->GetTrackReverbEnabled(0), !reverbOn);
  Synth()->GetChorus(0, voices, level, speed, depth, type);
  EXPECT_NEAR(speed, 0.2, 1e-6);
  Synth()->GetReverb(0, room, damping, width, level);
  EXPECT_NEAR(room, 0.43, 1e-6);
}

TEST_F(EffectsTest, ExternalReverbStepsClampsResetsAndCopies) {
  ASSERT_TRUE(Synth()->GetExternalReverbAvailable(0));
  Subpage(SubpageExternalReverb);
  Right(4);
  auto v = StoredReverb(0);
  v[4] = 23500;
  Store()->SetTrackExternalReverb(0, v.data());
  Up(1);  // step 110.1
  EXPECT_DOUBLE_EQ(SynthReverb()[4], 23520);
  EXPECT_DOUBLE_EQ(StoredReverb(3)[4], 23520);
  EXPECT_NE(StoredReverb(kOtherFont)[4], 23520);
  Down(2);
  EXPECT_NEAR(SynthReverb()[4], 23520 - 2 * 110.1, 1e-9);

  Press([](Controls& c) { c.altX = true; });
  EXPECT_DOUBLE_EQ(SynthReverb()[4], 2984.89);

  Right(5);  // dry/wet mix
  Down(300);
  EXPECT_DOUBLE_EQ(SynthReverb()[9], -1);
  Press([](Controls& c) { c.altShiftX = true; });
  EXPECT_DOUBLE_EQ(SynthReverb()[9], 0.375);
  EXPECT_DOUBLE_EQ(SynthReverb()[10], 6);

  const bool on = Synth()->GetExternalReverbActive(0);
  Press([](Controls& c) { c.altR = true; });
  EXPECT_EQ(Synth()->GetExternalReverbActive(0), !on);
  EXPECT_EQ(Store()->GetTrackExternalReverbEnabled(0), !on);
  EXPECT_EQ(Store()->GetTrackExternalReverbEnabled(7), !on);
  EXPECT_EQ(Store()->GetTrackExternalReverbEnabled(kOtherFont), on);

  Up(10);  // dry/wet mix, step 0.01
  Save();
  Down(50);
  Reload();
  EXPECT_NEAR(StoredReverb(0)[9], 0.475, 1e-9);
  EXPECT_EQ(Store()->GetTrackExternalReverbEnabled(0), !on);
  EXPECT_NEAR(SynthReverb()[9], 0.475, 1e-9);
  EXPECT_EQ(Synth()->GetExternalReverbActive(0), !on);
}

TEST_F(EffectsTest, EqualizerProgramsWrapRestoreAndStay) {
  ASSERT_TRUE(Synth()->GetExternalEqualizerAvailable(0));
  Subpage(SubpageExternalEqualizer);
  Right(2);  // 63 Hz, step 0.12 dB
  Up(10);
  EXPECT_NEAR(SynthEq()[2], 1.2, 1e-9);
  Press([](Controls& c) { c.altE = true; });
  EXPECT_TRUE(Synth()->GetExternalEqualizerActive(0));
  EXPECT_TRUE(Store()->GetTrackExternalEqualizerEnabled(4));

  Press([](Controls& c) { c.altP = true; });
  ASSERT_TRUE(seq->GetEqProgramSelecting());
  Up(1);  // up from "----" wraps to the last program
  EXPECT_EQ(seq->GetEqProgramIndex(), 9);
  EXPECT_DOUBLE_EQ(SynthEq()[1], 7.19);
  Down(1);
  EXPECT_EQ(seq->GetEqProgramIndex(), 0);
  EXPECT_NEAR(SynthEq()[2], 1.2, 1e-9);
  EXPECT_DOUBLE_EQ(SynthEq()[1], 0);
  Press([](Controls& c) { c.tabPressed = true; });
  EXPECT_EQ(seq->GetSubpage(), SubpageExternalEqualizer);

  Down(3);
  Press([](Controls& c) { c.returnPressed = true; });
  EXPECT_FALSE(seq->GetEqProgramSelecting());
  EXPECT_DOUBLE_EQ(SynthEq()[1], 6.83);
  EXPECT_DOUBLE_EQ(SynthEq()[10], 2.88);
  EXPECT_DOUBLE_EQ(StoredEq(11)[1], 6.83);
  EXPECT_DOUBLE_EQ(StoredEq(kOtherFont)[1], 0);

  Save();
  Press([](Controls& c) { c.altShiftX = true; });
  EXPECT_DOUBLE_EQ(SynthEq()[1], 0);
  EXPECT_DOUBLE_EQ(SynthEq()[0], 1);
  Reload();
  EXPECT_DOUBLE_EQ(SynthEq()[1], 6.83);
  EXPECT_TRUE(Synth()->GetExternalEqualizerActive(0));

  // The gain reaches the plug-in: at 0 the chain is silent, reset to 1 it plays.
  Press([](Controls& c) { c.leftCount = 5; });  // gain, step 0.02
  Down(60);
  EXPECT_DOUBLE_EQ(StoredEq(0)[0], 0);
  EXPECT_LT(NotePeak(), 1e-4);
  Press([](Controls& c) { c.altX = true; });
  EXPECT_DOUBLE_EQ(SynthEq()[0], 1);
  EXPECT_GT(NotePeak(), 0.01);
}

// Without the plug-ins (a program directory that has none) the external subpages ignore keys.
TEST_F(EffectsTest, ExternalSubpagesIgnoreKeysWithoutThePlugins) {
  Restart({.programDirectory = "/nonexistent/bin/"});
  ASSERT_FALSE(Synth()->GetExternalReverbAvailable(0));
  const auto reverb = StoredReverb(0), eq = StoredEq(0);
  for (int page : {SubpageExternalReverb, SubpageExternalEqualizer}) {
    Subpage(page);
    Press([](Controls& c) { c.altShiftX = true; });
    Press([](Controls& c) { c.altP = true; });
    Up(5);
  }
  EXPECT_EQ(StoredReverb(0), reverb);
  EXPECT_EQ(StoredEq(0), eq);
  EXPECT_FALSE(seq->GetEqProgramSelecting());
}

}  // namespace
}  // namespace zs::test
