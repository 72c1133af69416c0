// SPDX-License-Identifier: LGPL-2.1-or-later
// Instruments and scales subpages: clamped cursors and indexes, the silencing and effect copy of
// a soundfont change (two soundfonts loaded), and the scale handed to the player every frame.
#include <vector>

#include "tests/editor/SequencerFixture.h"

namespace zs::test {
namespace {

class InstrumentsTest : public SequencerFixture {
 protected:
  void SetUp() override {
    EnterFolder(2);
    Restart();
    seq->GetPlayer()->SetSendObserver([this](const SentNote& n) { sent.push_back(n); });
    Subpage(SubpageInstruments);
  }

  TrackInstrument Instrument() { return seq->GetSynth()->GetInstrument(seq->GetTrack()); }
  int NoteOffs() {
    int count = 0;
    for (const SentNote& n : sent) count += n.on ? 0 : 1;
    return count;
  }

  std::vector<SentNote> sent;
};

TEST_F(InstrumentsTest, CursorAndProgramIndexClampAndPageByTen) {
  Press([](Controls& c) { c.leftCount = 5; });
  EXPECT_EQ(seq->GetInstrumentCursor(), 0);
  Press([](Controls& c) { c.rightCount = 5; });
  ASSERT_EQ(seq->GetInstrumentCursor(), 2);

  const auto& banks = (*seq->GetSynth()->GetSFInstruments())[0].banks;
  const int programs = static_cast<int>(banks[Instrument().bankIndex].progs.size());
  ASSERT_GE(programs, 21);
  Press([](Controls& c) { c.pageDownCount = 1; });
  EXPECT_EQ(Instrument().programIndex, 10);
  Press([](Controls& c) { c.downCount = 3; });
  EXPECT_EQ(Instrument().programIndex, 13);
  Press([](Controls& c) { c.pageUpCount = 1; });
  Press([](Controls& c) { c.pageUpCount = 1; });
  EXPECT_EQ(Instrument().programIndex, 0);
  Press([](Controls& c) { c.upCount = 1; });
  EXPECT_EQ(Instrument().programIndex, 0);
  EXPECT_EQ(seq->GetBar(), 0);  // the page keys do not page bars here

  seq->GetSynth()->SetInstrumentFromIndex(0, 0, Instrument().bankIndex, programs - 8);
  Press([](Controls& c) { c.pageDownCount = 1; });
  EXPECT_EQ(Instrument().programIndex, programs - 1);
  Press([](Controls& c) { c.downCount = 1; });
  EXPECT_EQ(Instrument().programIndex, programs - 1);
}

TEST_F(InstrumentsTest, BankChangeResetsTheProgram) {
  const auto& banks = (*seq->GetSynth()->GetSFInstruments())[0].banks;
  ASSERT_GE(banks.size(), 2u);
  Press([](Controls& c) { c.downCount = 4; });
  ASSERT_EQ(Instrument().programIndex, 4);
  Press([](Controls& c) { c.leftCount = 1; });
  Press([](Controls& c) { c.downCount = 1; });
  EXPECT_EQ(Instrument().bankIndex, 1);
  EXPECT_EQ(Instrument().programIndex, 0);
  Press([](Controls& c) { c.pageDownCount = 1; });
  EXPECT_EQ(Instrument().bankIndex, std::min<int>(2, static_cast<int>(banks.size()) - 1));
  Press([](Controls& c) { c.upCount = 100; });
  EXPECT_EQ(Instrument().bankIndex, 0);
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
  SessionsStore* store = seq->GetSessions();
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

TEST_F(ScalesTest, ScaleAndBaseClampAndReachThePlayer) {
  Subpage(SubpageScales);
  Press([](Controls& c) { c.upCount = 20; });
  EXPECT_EQ(seq->GetPlayer()->GetScale().scale, ScaleChromatic);
  Press([](Controls& c) { c.downCount = 20; });
  EXPECT_EQ(seq->GetPlayer()->GetScale().scale, ScaleWholeTone);
  Press([](Controls& c) { c.downCount = 1; });
  EXPECT_EQ(seq->GetPlayer()->GetScale().scale, ScaleWholeTone);

  Press([](Controls& c) { c.rightCount = 3; });
  EXPECT_EQ(seq->GetScaleCursor(), 1);
  Press([](Controls& c) { c.downCount = 4; });
  EXPECT_EQ(seq->GetPlayer()->GetScale().base, BaseE);
  Press([](Controls& c) { c.downCount = 30; });
  EXPECT_EQ(seq->GetPlayer()->GetScale().base, BaseB);
  Press([](Controls& c) { c.leftCount = 3; });
  EXPECT_EQ(seq->GetScaleCursor(), 0);
}

}  // namespace
}  // namespace zs::test
