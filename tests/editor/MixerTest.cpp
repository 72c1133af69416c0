// SPDX-License-Identifier: LGPL-2.1-or-later
// Mixer subpage: selection, ranges, what reaches the synthesizer, the layering guard and
// making pitch change and velocity permanent.
#include <array>
#include <tuple>

#include "tests/editor/SequencerFixture.h"

namespace zs::test {
namespace {

class MixerTest : public SequencerFixture {
 protected:
  void SetUp() override {
    SequencerFixture::SetUp();
    Subpage(SubpageMixer);
  }
  void MixerTrack(int t) {
    Arrow(&Controls::leftCount, 20);
    Right(t);
    ASSERT_EQ(seq->GetMixerTrack(), t);
  }
  int Cc(int track, int controller) {
    int value = -1;
    fluid_synth_get_cc(seq->GetSynth()->GetSynth(0), SFOutput::TrackChannel(track), controller, &value);
    return value;
  }
  std::vector<int> Notes(int session, int track, int step, bool velocities = false) {
    std::vector<Note> notes;
    Store()->GetNotes(session, track, step, notes);
    std::vector<int> values;
    for (const Note& n : notes) values.push_back(velocities ? n.velocity : n.note);
    return values;
  }
};

// The mixer track is a cursor of its own.
TEST_F(MixerTest, SelectionKeysAndTrackCursor) {
  EXPECT_EQ(seq->GetMixerParam(), 7);
  PressAndExpect([this] { return seq->GetMixerParam(); },
                 {{[](Controls& c) { c.altP = true; }, 10},  {[](Controls& c) { c.altC = true; }, 300},
                  {[](Controls& c) { c.altU = true; }, 301}, {[](Controls& c) { c.altI = true; }, 302},
                  {[](Controls& c) { c.altL = true; }, 303}, {[](Controls& c) { c.altV = true; }, 304},
                  {[](Controls& c) { c.altO = true; }, 7}});
  PressAndExpect([this] { return seq->GetMixerTrack() * 100 + seq->GetTrack(); },
                 {{[](Controls& c) { c.rightCount = 15; }, 1100}, {[](Controls& c) { c.leftCount = 3; }, 800},
                  {[](Controls& c) { c.leftHeld = true; }, 800}});
}

TEST_F(MixerTest, ChannelAndOutputWrapOthersClamp) {
  MixerTrack(2);
  Store()->SetTrackChannel(2, 0);
  Store()->SetTrackOutput(2, 2);
  Store()->SetTrackVelocity(2, 3);
  Tap(&Controls::altC);
  PressAndExpect([this] { return Store()->GetTrackChannel(2); },
                 {{[](Controls& c) { c.downCount = 1; }, 15}, {[](Controls& c) { c.upCount = 1; }, 0}});
  Tap(&Controls::altU);
  PressAndExpect([this] { return Store()->GetTrackOutput(2); },
                 {{[](Controls& c) { c.upCount = 1; }, 0}, {[](Controls& c) { c.downCount = 4; }, 2}});
  Tap(&Controls::altV);
  Down(5);
  EXPECT_EQ(Store()->GetTrackVelocity(2), 0);
  Tap(&Controls::altL);
  Up(30);
  EXPECT_EQ(Store()->GetTrackLayer(2), 11);
}

TEST_F(MixerTest, VolumeAndPanReachTheSynthesizerAndSurviveSaveAndLoad) {
  Store()->SetTrackVolume(5, 50);
  MixerTrack(9);  // channel 10
  Store()->SetTrackVolume(9, 125);
  Up(5);
  EXPECT_EQ((std::array{Store()->GetTrackVolume(9), Cc(9, 7), Cc(5, 7)}), (std::array{127, 127, 50}));
  Down(27);
  EXPECT_EQ(Cc(9, 7), 100);

  Tap(&Controls::altP);
  Store()->SetTrackPan(9, 2);
  Down(4);
  EXPECT_EQ(Store()->GetTrackPan(9), 0);
  Up(20);
  EXPECT_EQ(Cc(9, 10), 20);

  Tap(&Controls::altC);
  Store()->SetTrackChannel(9, 4);
  Up(1);
  Save();

  Tap(&Controls::altO);
  Down(100);
  Tap(&Controls::altP);
  Up(100);
  Store()->SetTrackChannel(9, 0);
  Reload();
  EXPECT_EQ((std::array{Store()->GetTrackVolume(9), Store()->GetTrackPan(9), Store()->GetTrackChannel(9), Cc(9, 7),
                         Cc(9, 10)}),
            (std::array{100, 20, 5, 100, 20}));
}

TEST_F(MixerTest, SoloMuteFixedVelocityAndPropagatedMuteActOnTheMixerTrack) {
  MixerTrack(4);
  const bool fixed = Store()->GetTrackVelocityFixed(4);
  PressAndExpect([this] { return std::tuple{Store()->GetSingle(0), Store()->GetTrackVelocityFixed(4),
                                            Store()->GetMuted(0, 0), Store()->GetMuted(0, 4)}; },
                 {{[](Controls& c) { c.altS = true; }, {4, fixed, false, false}},
                  {[](Controls& c) { c.altS = true; }, {-1, fixed, false, false}},
                  {[](Controls& c) { c.altT = true; }, {-1, !fixed, false, false}},
                  {[](Controls& c) { c.altM = true; }, {-1, !fixed, false, true}}});
  EXPECT_EQ(Store()->GetTrackVelocityFixed(0), Store()->GetTrackVelocityFixed(1));
  Tap(&Controls::altShiftM);
  for (int t = 0; t < kTracks; ++t) EXPECT_TRUE(Store()->GetMuted(0, t)) << t;
  EXPECT_FALSE(Store()->GetMuted(1, 0));
  Tap(&Controls::altM);
  Tap(&Controls::altShiftM);
  for (int t = 0; t < kTracks; ++t) EXPECT_FALSE(Store()->GetMuted(0, t)) << t;
}

TEST_F(MixerTest, LayeringNeedsAStoppedPlayerAndNoNoteKey) {
  MixerTrack(3);
  Store()->SetTrackLayer(3, 7);
  Tap(&Controls::altX);  // volume selected: nothing
  EXPECT_EQ(Store()->GetTrackLayer(3), 7);
  EXPECT_FALSE(seq->IsMessageActive());

  Tap(&Controls::altL);
  Tap(&Controls::spacePressed);
  ASSERT_TRUE(seq->IsPlaying());
  Up(1);
  ExpectMessage("STOP PLAYBACK", true);
  EXPECT_EQ(Store()->GetTrackLayer(3), 7);
  Tap(&Controls::spacePressed);

  Press([](Controls& c) { c.pianoPressed[5] = c.pianoHeld[5] = true; });
  Press([](Controls& c) { c.pianoHeld[5] = c.altX = true; });
  ExpectMessage("NOTE KEY", true);
  EXPECT_EQ(Store()->GetTrackLayer(3), 7);
  Press([](Controls& c) { c.pianoReleased[5] = true; });

  Tap(&Controls::rightCtrlPressed);
  Down(1);
  ExpectMessage("STOP PLAYBACK", true);
  Tap(&Controls::rightCtrlPressed);

  Down(2);
  EXPECT_EQ(Store()->GetTrackLayer(3), 5);
  Tap(&Controls::altX);
  EXPECT_EQ(Store()->GetTrackLayer(3), 3);
  for (int t = 0; t < kTracks; ++t) Store()->SetTrackLayer(t, 0);
  Tap(&Controls::altShiftX);
  for (int t = 0; t < kTracks; ++t) EXPECT_EQ(Store()->GetTrackLayer(t), t);
}

TEST_F(MixerTest, MakingPitchAndVelocityPermanent) {
  MixerTrack(1);
  Store()->SetNotes(0, 1, 0, {MakeNote(60), MakeNote(125)});
  Store()->SetNotes(11, 1, 255, {MakeNote(10)});
  Store()->SetNotes(0, 2, 0, {MakeNote(60)});

  Tap(&Controls::altI);
  Store()->SetTrackPitch(1, 64);
  Tap(&Controls::ctrlShiftI);
  ExpectMessage("PITCH CHANGES APPLIED", false);
  EXPECT_EQ(Notes(0, 1, 0), (std::vector<int>{60, 125}));

  Up(3);  // +3 would take 125 to 128
  Tap(&Controls::ctrlShiftI);
  ExpectMessage("NOTE LEAVING RANGE", true);
  EXPECT_EQ(Notes(0, 1, 0), (std::vector<int>{60, 125}));
  EXPECT_EQ(Store()->GetTrackPitch(1), 67);

  Down(5);  // -2
  Tap(&Controls::spacePressed);
  Tap(&Controls::ctrlShiftI);
  ExpectMessage("STOP PLAYBACK", true);
  Tap(&Controls::spacePressed);
  Tap(&Controls::ctrlShiftI);
  ExpectMessage("PITCH CHANGES APPLIED", false);
  EXPECT_EQ(Notes(0, 1, 0), (std::vector<int>{58, 123}));
  EXPECT_EQ(Notes(11, 1, 255), std::vector<int>{8});
  EXPECT_EQ(Notes(0, 2, 0), std::vector<int>{60});
  EXPECT_EQ(Store()->GetTrackPitch(1), 64);

  Store()->SetTrackVelocity(1, 33);
  Tap(&Controls::ctrlShiftV);  // needs velocity selected
  EXPECT_EQ(Notes(0, 1, 0, true), (std::vector<int>{100, 100}));
  Tap(&Controls::altV);
  Tap(&Controls::ctrlShiftV);
  ExpectMessage("VELOCITY CHANGES APPLIED", false);
  EXPECT_EQ(Notes(0, 1, 0, true), (std::vector<int>{33, 33}));
  EXPECT_EQ(Notes(11, 1, 255, true), std::vector<int>{33});
  EXPECT_EQ(Notes(0, 2, 0, true), std::vector<int>{100});
}

}  // namespace
}  // namespace zs::test
