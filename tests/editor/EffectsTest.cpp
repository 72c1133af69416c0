// SPDX-License-Identifier: LGPL-2.1-or-later
// Effects subpages (reverb and chorus, external reverb, external equalizer): ranges, what
// reaches the synthesizer and the plug-ins, and the copy to the tracks on the same soundfont.
#include <algorithm>
#include <array>
#include <tuple>

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
  // fluidsynth's own reverb: room, damping, width and level in hundredths, in the synthesizer or the store.
  std::array<int, 4> FluidReverb(int t) {
    double v[4];
    Synth()->GetReverb(t, v[0], v[1], v[2], v[3]);
    return {int(std::lround(v[0] * 100)), int(std::lround(v[1] * 100)), int(std::lround(v[2] * 100)),
            int(std::lround(v[3] * 100))};
  }
  std::array<int, 4> StoredFluidReverb(int t) {
    std::array<int, 4> r;
    Store()->GetTrackReverb(t, r[0], r[1], r[2], r[3]);
    return r;
  }
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

// On track 2: every value of the edited effect reaches the synthesizer and the tracks on the same
// soundfont; track 5 (the other soundfont) keeps its own.
TEST_F(EffectsTest, ReverbAndChorusReachTheSynthesizerAndTheTracksOfTheSoundfont) {
  Subpage(SubpageReverbChorus);
  Press([](Controls& c) { c.shiftNumberRow[2] = true; });
  Store()->SetTrackReverb(2, 40, 10, 50, 90);
  Store()->SetTrackReverb(kOtherFont, 1, 2, 3, 4);
  Up(3);  // room 40 -> 43
  EXPECT_EQ(FluidReverb(2), (std::array<int, 4>{43, 10, 50, 90}));
  EXPECT_NE(FluidReverb(kOtherFont)[0], 43);
  for (int t = 0; t < kTracks; ++t) {
    const std::array<int, 4> expected = t == kOtherFont ? std::array{1, 2, 3, 4} : std::array{43, 10, 50, 90};
    EXPECT_EQ(StoredFluidReverb(t), expected) << t;
  }

  const bool reverbOn = Store()->GetTrackReverbEnabled(2);
  Tap(&Controls::altR);
  EXPECT_EQ(Synth()->IsReverbEnabled(2), !reverbOn);
  EXPECT_EQ(Store()->GetTrackReverbEnabled(11), !reverbOn);
  EXPECT_EQ(Synth()->IsReverbEnabled(11), !reverbOn);
  const int curve = seq->GetMidiVelocityCurve();
  const bool chorusOn = Store()->GetTrackChorusEnabled(2);
  Tap(&Controls::altC);
  EXPECT_EQ(Synth()->IsChorusEnabled(2), !chorusOn);
  EXPECT_EQ(Store()->GetTrackChorusEnabled(3), !chorusOn);
  EXPECT_EQ(seq->GetMidiVelocityCurve(), curve + 1);  // the global ALT C as well

  // Chorus speed (parameter 6) stops at 5.0 and 0.1 Hz.
  Right(20);
  EXPECT_EQ(seq->GetFxParam(), 8);
  Left(2);
  Store()->SetTrackChorus(2, 3, 20, 49, 8, 0);
  Up(4);
  EXPECT_EQ(StoredChorus(2), (std::array<int, 5>{3, 20, 50, 8, 0}));
  Store()->SetTrackChorus(2, 3, 20, 2, 8, 1);
  Down(3);
  int voices, type;
  double level, speed, depth;
  Synth()->GetChorus(2, voices, level, speed, depth, type);
  EXPECT_EQ(std::tuple(voices, level, depth, type), std::tuple(3, 2.0, 8.0, 1));
  EXPECT_NEAR(speed, 0.1, 1e-6);
  EXPECT_EQ(StoredChorus(4), (std::array<int, 5>{3, 20, 1, 8, 1}));

  Up(1);
  Save();
  Up(10);
  Tap(&Controls::altR);
  Reload();
  EXPECT_EQ(StoredChorus(2)[2], 2);
  EXPECT_EQ(Store()->GetTrackReverbEnabled(2), !reverbOn);
  Synth()->GetChorus(2, voices, level, speed, depth, type);
  EXPECT_NEAR(speed, 0.2, 1e-6);
  EXPECT_EQ(FluidReverb(2), (std::array<int, 4>{43, 10, 50, 90}));
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

  Tap(&Controls::altX);
  EXPECT_DOUBLE_EQ(SynthReverb()[4], 2984.89);

  Right(5);  // dry/wet mix
  Down(300);
  EXPECT_DOUBLE_EQ(SynthReverb()[9], -1);
  Tap(&Controls::altShiftX);
  EXPECT_DOUBLE_EQ(SynthReverb()[9], 0.375);
  EXPECT_DOUBLE_EQ(SynthReverb()[10], 6);

  const bool on = Synth()->GetExternalReverbActive(0);
  Tap(&Controls::altR);
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
  Tap(&Controls::altE);
  EXPECT_TRUE(Synth()->GetExternalEqualizerActive(0));
  EXPECT_TRUE(Store()->GetTrackExternalEqualizerEnabled(4));

  Tap(&Controls::altP);
  ASSERT_TRUE(seq->GetEqProgramSelecting());
  Up(1);  // up from "----" wraps to the last program
  EXPECT_EQ(seq->GetEqProgramIndex(), 9);
  EXPECT_DOUBLE_EQ(SynthEq()[1], 7.19);
  Down(1);
  EXPECT_EQ(seq->GetEqProgramIndex(), 0);
  EXPECT_NEAR(SynthEq()[2], 1.2, 1e-9);
  EXPECT_DOUBLE_EQ(SynthEq()[1], 0);
  Tap(&Controls::tabPressed);
  EXPECT_EQ(seq->GetSubpage(), SubpageExternalEqualizer);

  Down(3);
  Tap(&Controls::returnPressed);
  EXPECT_FALSE(seq->GetEqProgramSelecting());
  EXPECT_DOUBLE_EQ(SynthEq()[1], 6.83);
  EXPECT_DOUBLE_EQ(SynthEq()[10], 2.88);
  EXPECT_DOUBLE_EQ(StoredEq(11)[1], 6.83);
  EXPECT_DOUBLE_EQ(StoredEq(kOtherFont)[1], 0);

  Save();
  Tap(&Controls::altShiftX);
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
  Tap(&Controls::altX);
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
    Tap(&Controls::altShiftX);
    Tap(&Controls::altP);
    Up(5);
  }
  EXPECT_EQ(StoredReverb(0), reverb);
  EXPECT_EQ(StoredEq(0), eq);
  EXPECT_FALSE(seq->GetEqProgramSelecting());
}

}  // namespace
}  // namespace zs::test
