// SPDX-License-Identifier: LGPL-2.1-or-later
// Instruments, scales and effects subpages, on two soundfonts (the same file twice): ranges, what reaches
// the synthesizer and the plug-ins, the copy to the tracks on the same soundfont.
#include <algorithm>
#include <array>
#include <tuple>
#include <vector>

#include "tests/editor/SequencerFixture.h"

namespace zs::test {
namespace {

// Track 5 plays the second soundfont, the others the first.
class EffectsTest : public SequencerFixture {
 protected:
  void SetUp() override {
    EnterFolder(2);
    Restart();
    ASSERT_TRUE(seq->GetSynth()->SetInstrument(kOtherFont, 1, 0, 0));
  }
  SFOutput* Synth() { return seq->GetSynth(); }
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
  // fluidsynth's own reverb in hundredths.
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
  TrackInstrument Instrument() { return Synth()->GetInstrument(seq->GetTrack()); }
  std::array<int, 5> StoredChorus(int t) {
    std::array<int, 5> c;
    Store()->GetTrackChorus(t, c[0], c[1], c[2], c[3], c[4]);
    return c;
  }
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
  Press([](Controls& c) { c.shiftNumberRow[2] = true; });
  Store()->SetTrackReverb(2, 40, 10, 50, 90);
  Store()->SetTrackReverb(kOtherFont, 1, 2, 3, 4);
  Up(3);
  EXPECT_EQ(FluidReverb(2), (std::array<int, 4>{43, 10, 50, 90}));
  EXPECT_NE(FluidReverb(kOtherFont)[0], 43);
  for (int t = 0; t < kTracks; ++t) {
    const std::array<int, 4> expected = t == kOtherFont ? std::array{1, 2, 3, 4} : std::array{43, 10, 50, 90};
    EXPECT_EQ(StoredFluidReverb(t), expected) << t;
  }

  const bool reverbOn = Store()->GetTrackReverbEnabled(2);
  Tap(&Controls::altR);
  EXPECT_EQ((std::array{Synth()->IsReverbEnabled(2), Synth()->IsReverbEnabled(11), Store()->GetTrackReverbEnabled(11)}),
            (std::array{!reverbOn, !reverbOn, !reverbOn}));
  const int curve = seq->GetMidiVelocityCurve();
  const bool chorusOn = Store()->GetTrackChorusEnabled(2);
  Tap(&Controls::altC);
  EXPECT_EQ((std::array{Synth()->IsChorusEnabled(2), Store()->GetTrackChorusEnabled(3)}),
            (std::array{!chorusOn, !chorusOn}));
  EXPECT_EQ(seq->GetMidiVelocityCurve(), curve + 1);  // the global ALT C as well

  // Chorus speed (parameter 6) stops at 5.0 and 0.1 Hz.
  Right(20);
  EXPECT_EQ(seq->GetFxParam(), 8);
  Arrow(&Controls::leftCount, 2);
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

  Right(5);  // dry/wet mix, step 0.01
  Down(300);
  EXPECT_DOUBLE_EQ(SynthReverb()[9], -1);
  Tap(&Controls::altShiftX);
  EXPECT_EQ((std::array{SynthReverb()[9], SynthReverb()[10]}), (std::array{0.375, 6.0}));

  const bool on = Synth()->GetExternalReverbActive(0);
  Tap(&Controls::altR);
  SessionsStore* s = Store();
  EXPECT_EQ((std::array{Synth()->GetExternalReverbActive(0), s->GetTrackExternalReverbEnabled(0),
                         s->GetTrackExternalReverbEnabled(7), s->GetTrackExternalReverbEnabled(kOtherFont)}),
            (std::array{!on, !on, !on, on}));

  Up(10);
  Save();
  Down(50);
  Reload();
  EXPECT_NEAR(StoredReverb(0)[9], 0.475, 1e-9);
  EXPECT_NEAR(SynthReverb()[9], 0.475, 1e-9);
  EXPECT_EQ((std::array{Store()->GetTrackExternalReverbEnabled(0), Synth()->GetExternalReverbActive(0)}),
            (std::array{!on, !on}));
}

TEST_F(EffectsTest, EqualizerProgramsWrapRestoreAndStay) {
  ASSERT_TRUE(Synth()->GetExternalEqualizerAvailable(0));
  Subpage(SubpageExternalEqualizer);
  Right(2);  // 63 Hz, step 0.12 dB
  Up(10);
  EXPECT_NEAR(SynthEq()[2], 1.2, 1e-9);
  Tap(&Controls::altE);
  EXPECT_TRUE(Synth()->GetExternalEqualizerActive(0) && Store()->GetTrackExternalEqualizerEnabled(4));

  Tap(&Controls::altP);
  ASSERT_TRUE(seq->GetEqProgramSelecting());
  Up(1);  // from "----" to the last program
  EXPECT_EQ(seq->GetEqProgramIndex(), 9);
  EXPECT_DOUBLE_EQ(SynthEq()[1], 7.19);
  Down(1);
  EXPECT_EQ(seq->GetEqProgramIndex(), 0);
  EXPECT_NEAR(SynthEq()[2], 1.2, 1e-9) << "the edits before the programs come back";
  EXPECT_DOUBLE_EQ(SynthEq()[1], 0);
  Tap(&Controls::tabPressed);
  EXPECT_EQ(seq->GetSubpage(), SubpageExternalEqualizer);

  Down(3);
  Tap(&Controls::returnPressed);
  EXPECT_FALSE(seq->GetEqProgramSelecting());
  EXPECT_EQ((std::array{SynthEq()[1], SynthEq()[10], StoredEq(11)[1], StoredEq(kOtherFont)[1]}),
            (std::array{6.83, 2.88, 6.83, 0.0}));

  Save();
  Tap(&Controls::altShiftX);
  EXPECT_EQ((std::array{SynthEq()[0], SynthEq()[1]}), (std::array{1.0, 0.0}));
  Reload();
  EXPECT_DOUBLE_EQ(SynthEq()[1], 6.83);
  EXPECT_TRUE(Synth()->GetExternalEqualizerActive(0));

  Press([](Controls& c) { c.leftCount = 5; });  // gain, step 0.02
  Down(60);
  EXPECT_DOUBLE_EQ(StoredEq(0)[0], 0);
  EXPECT_LT(NotePeak(), 1e-4);
  Tap(&Controls::altX);
  EXPECT_DOUBLE_EQ(SynthEq()[0], 1);
  EXPECT_GT(NotePeak(), 0.01);
}

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

// A bank change resets the program; the page keys page programs by ten, not bars.
TEST_F(EffectsTest, InstrumentCursorBankAndProgramClampAndPageByTen) {
  RecordSentNotes();
  Subpage(SubpageInstruments);
  const auto& banks = (*Synth()->GetSFInstruments())[0].banks;
  const int programs = static_cast<int>(banks[Instrument().bankIndex].progs.size());
  ASSERT_GE(programs, 21);
  ASSERT_GE(banks.size(), 2u);
  PressAndExpect([this] { return seq->GetInstrumentCursor(); },
                 {{[](Controls& c) { c.leftCount = 5; }, 0}, {[](Controls& c) { c.rightCount = 5; }, 2}});
  PressAndExpect([this] { return std::pair{Instrument().bankIndex, Instrument().programIndex}; },
                 {{[](Controls& c) { c.pageDownCount = 1; }, {0, 10}}, {[](Controls& c) { c.downCount = 3; }, {0, 13}},
                  {[](Controls& c) { c.pageUpCount = 1; }, {0, 3}},    {[](Controls& c) { c.pageUpCount = 1; }, {0, 0}},
                  {[](Controls& c) { c.upCount = 1; }, {0, 0}},        {[](Controls& c) { c.downCount = 4; }, {0, 4}},
                  {[](Controls& c) { c.leftCount = 1; }, {0, 4}},      {[](Controls& c) { c.downCount = 1; }, {1, 0}},
                  {[](Controls& c) { c.pageDownCount = 1; }, {std::min<int>(2, banks.size() - 1), 0}},
                  {[](Controls& c) { c.upCount = 100; }, {0, 0}}});
  EXPECT_EQ(seq->GetBar(), 0);
  Right(1);
  Synth()->SetInstrumentFromIndex(0, 0, Instrument().bankIndex, programs - 8);
  PressAndExpect([this] { return Instrument().programIndex; },
                 {{[](Controls& c) { c.pageDownCount = 1; }, programs - 1},
                  {[](Controls& c) { c.downCount = 1; }, programs - 1}});
}

TEST_F(EffectsTest, SoundfontChangeSilencesTheHeldNoteAndTakesTheSoundfontsEffects) {
  RecordSentNotes();
  Subpage(SubpageInstruments);
  Synth()->SetReverb(kOtherFont, 0.5, 0.25, 0.75, 0.125);
  Synth()->SetChorus(kOtherFont, 5, 2.0, 0.5, 8.0, 1);
  std::array<double, kExternalParams> external;
  for (int i = 0; i < kExternalParams; ++i) external[i] = i + 0.5;
  Synth()->SetExternalReverbParams(kOtherFont, external.data());

  Press([](Controls& c) { c.leftCount = 2; });
  ASSERT_EQ(seq->GetInstrumentCursor(), 0);
  Press([](Controls& c) { c.pianoPressed[0] = c.pianoHeld[0] = true; });
  const auto offs = [this] { return std::count_if(sent.begin(), sent.end(), [](auto& n) { return !n.on; }); };
  Press([](Controls& c) { c.upCount = 1, c.pianoHeld[0] = true; });  // already at soundfont 0: still sounding
  EXPECT_EQ(offs(), 0);
  EXPECT_EQ(Instrument().soundfont, 0);
  Press([](Controls& c) { c.downCount = 3, c.pianoHeld[0] = true; });
  EXPECT_EQ(offs(), 1);
  EXPECT_EQ(std::tuple(Instrument().soundfont, Instrument().bankIndex, Instrument().programIndex), std::tuple(1, 0, 0));
  EXPECT_EQ(StoredFluidReverb(0), (std::array<int, 4>{50, 25, 75, 12}));
  EXPECT_EQ(StoredChorus(0), (std::array<int, 5>{5, 20, 5, 8, 1}));
  EXPECT_EQ(StoredReverb(0), external);
}

TEST_F(EffectsTest, ScaleAndBaseClampAndReachThePlayer) {
  Subpage(SubpageScales);
  PressAndExpect([this] { return std::tuple{seq->GetScaleCursor(), seq->GetPlayer()->GetScale().scale,
                                            seq->GetPlayer()->GetScale().base}; },
                 {{[](Controls& c) { c.upCount = 20; }, {0, ScaleChromatic, BaseC}},
                  {[](Controls& c) { c.downCount = 20; }, {0, ScaleWholeTone, BaseC}},
                  {[](Controls& c) { c.downCount = 1; }, {0, ScaleWholeTone, BaseC}},
                  {[](Controls& c) { c.rightCount = 3; }, {1, ScaleWholeTone, BaseC}},
                  {[](Controls& c) { c.downCount = 4; }, {1, ScaleWholeTone, BaseE}},
                  {[](Controls& c) { c.downCount = 30; }, {1, ScaleWholeTone, BaseB}},
                  {[](Controls& c) { c.leftCount = 3; }, {0, ScaleWholeTone, BaseB}}});
}

}  // namespace
}  // namespace zs::test
