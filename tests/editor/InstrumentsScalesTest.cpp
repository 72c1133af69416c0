// SPDX-License-Identifier: LGPL-2.1-or-later
// Instruments and scales subpages: clamped cursors and indexes, the silencing and effect copy of
// a soundfont change (two soundfonts loaded), and the scale handed to the player every frame.
#include <tuple>
#include <vector>

#include "tests/editor/SequencerFixture.h"

namespace zs::test {
namespace {

class InstrumentsTest : public SequencerFixture {
 protected:
  void SetUp() override {
    EnterFolder(2);
    Restart();
    RecordSentNotes();
    Subpage(SubpageInstruments);
  }

  TrackInstrument Instrument() { return seq->GetSynth()->GetInstrument(seq->GetTrack()); }
  int NoteOffs() {
    int count = 0;
    for (const SentNote& n : sent) count += n.on ? 0 : 1;
    return count;
  }
};

// The cursor picks soundfont, bank or program (0..2); a program change resets nothing, a bank
// change resets the program. The page keys page by ten and do not page bars here.
TEST_F(InstrumentsTest, CursorBankAndProgramClampAndPageByTen) {
  const auto& banks = (*seq->GetSynth()->GetSFInstruments())[0].banks;
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
  seq->GetSynth()->SetInstrumentFromIndex(0, 0, Instrument().bankIndex, programs - 8);
  PressAndExpect([this] { return Instrument().programIndex; },
                 {{[](Controls& c) { c.pageDownCount = 1; }, programs - 1},
                  {[](Controls& c) { c.downCount = 1; }, programs - 1}});
}

TEST_F(InstrumentsTest, SoundfontChangeSilencesTheTrackAndTakesItsEffects) {
  SFOutput* synth = seq->GetSynth();
  // Soundfont 1 gets effect settings of its own through track 5.
  synth->SetInstrumentFromIndex(5, 1, 0, 0);
  synth->SetReverb(5, 0.5, 0.25, 0.75, 0.125);
  synth->SetChorus(5, 5, 2.0, 0.5, 8.0, 1);
  double external[kExternalParams];
  for (int i = 0; i < kExternalParams; ++i) external[i] = i + 0.5;
  synth->SetExternalReverbParams(5, external);

  Press([](Controls& c) { c.leftCount = 2; });
  ASSERT_EQ(seq->GetInstrumentCursor(), 0);
  // A note held on track 0; UP at soundfont 0 changes nothing and leaves it sounding.
  Press([](Controls& c) { c.pianoPressed[0] = c.pianoHeld[0] = true; });
  sent.clear();
  Press([](Controls& c) {
    c.upCount = 1;
    c.pianoHeld[0] = true;
  });
  EXPECT_EQ(NoteOffs(), 0);
  EXPECT_EQ(Instrument().soundfont, 0);

  Press([](Controls& c) {
    c.downCount = 3;
    c.pianoHeld[0] = true;
  });
  EXPECT_EQ(NoteOffs(), 1);
  ASSERT_EQ(Instrument().soundfont, 1);
  EXPECT_EQ(Instrument().bankIndex, 0);
  EXPECT_EQ(Instrument().programIndex, 0);
  SessionsStore* store = Store();
  int room, damping, width, level;
  store->GetTrackReverb(0, room, damping, width, level);
  EXPECT_EQ(std::vector<int>({room, damping, width, level}), std::vector<int>({50, 25, 75, 12}));
  int voices, chorusLevel, speed, depth, type;
  store->GetTrackChorus(0, voices, chorusLevel, speed, depth, type);
  EXPECT_EQ(std::vector<int>({voices, chorusLevel, speed, depth, type}), std::vector<int>({5, 20, 5, 8, 1}));
  double stored[kExternalParams];
  store->GetTrackExternalReverb(0, stored);
  for (int i = 0; i < kExternalParams; ++i) EXPECT_DOUBLE_EQ(stored[i], i + 0.5) << i;
}

using ScalesTest = SequencerFixture;

// The cursor picks scale or base; each stops at its ends.
TEST_F(ScalesTest, ScaleAndBaseClampAndReachThePlayer) {
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
