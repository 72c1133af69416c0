// SPDX-License-Identifier: LGPL-2.1-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "sound/SFOutput.h"
#include "tests/player/PlayerTestSupport.h"
#include "tests/support/SoundTestUtil.h"

using zs::test::PlayerRig;
using Starts = std::vector<std::array<int, 3>>;

namespace {

LiveNote Press(int note, int velocity = 100) {
  return LiveNote{static_cast<uint8_t>(note), static_cast<uint8_t>(velocity), 0, 0, 0, 64};
}
LiveNote Release(int note) { return LiveNote{static_cast<uint8_t>(note), 0, 1, 0, 0, 64}; }

// The session (track -1) or a track's step before each of `steps` whole-step updates (120 BPM).
std::vector<int> Positions(PlayerRig& rig, int steps, int track = -1) {
  std::vector<int> positions;
  for (int i = 0; i < steps; ++i) {
    const Playhead& p = rig.player->GetPlayhead();
    positions.push_back(track < 0 ? p.session : p.trackStep[track]);
    rig.player->Update(0.125);
  }
  return positions;
}

std::vector<int> Runs(std::initializer_list<std::pair<int, int>> runs) {
  std::vector<int> sessions;
  for (auto [session, steps] : runs) sessions.insert(sessions.end(), steps, session);
  return sessions;
}

int HeldVoices(SFOutput& synth) {
  fluid_voice_t* voices[256] = {};
  fluid_synth_get_voicelist(synth.GetSynth(0), voices, 256, -1);
  return static_cast<int>(
      std::count_if(std::begin(voices), std::end(voices), [](fluid_voice_t* v) { return v && fluid_voice_is_on(v); }));
}

}  // namespace

// Offsets 0..63 start in the first half of a step, 64..127 in the second.
TEST(PlayerTiming, NotesStartAtTheirOffsetWithinTheStep) {
  PlayerRig rig;
  const int offsets[] = {0, 63, 64, 127};
  for (int i = 0; i < 4; ++i) rig.Add(0, 3, 0, 40 + i, offsets[i]);
  rig.Add(0, 3, 1, 44, 0);
  rig.Add(0, 3, 1, 45, 64);
  rig.player->Play(false);
  for (const std::vector<int>& expected : {std::vector<int>{40, 41}, {42, 43}, {44}}) {
    rig.sent.clear();
    rig.player->Update(0.0625);  // half a step at 120 BPM
    EXPECT_EQ(rig.NotesOn(), expected);
  }
  EXPECT_EQ(rig.player->GetPlayhead().trackStep[3], 1);
  EXPECT_DOUBLE_EQ(rig.player->GetPlayhead().fraction, 0.5);
}

// A playhead set on one track puts the others at the same distance from their starts.
TEST(PlayerTiming, TracksWrapWithinTheirOwnRangesAndFollowASetPlayhead) {
  PlayerRig rig;
  rig.store->SetStartEndSteps(0, 1, 4, 7);
  rig.player->Play(false);
  EXPECT_EQ(Positions(rig, 10, 1), (std::vector<int>{4, 5, 6, 7, 4, 5, 6, 7, 4, 5}));
  EXPECT_EQ(rig.player->GetPlayhead().trackStep[0], 10);
  rig.player->Stop();

  rig.store->SetStartEndSteps(0, 0, 8, 15);
  rig.player->SetPlayhead(0, 0, 11);
  EXPECT_EQ(rig.player->GetPlayhead().trackStep[0], 11);
  EXPECT_EQ(rig.player->GetPlayhead().trackStep[1], 7);
  rig.player->SetPlayhead(0, 0, 3);  // outside track 0's range: ignored
  EXPECT_EQ(rig.player->GetPlayhead().trackStep[0], 11);
}

TEST(PlayerTiming, SongPlaysEachPartForItsLengthAndFollowsEditsWhilePlaying) {
  PlayerRig rig;
  rig.player->Play(true);
  EXPECT_FALSE(rig.player->IsPlaying()) << "no song to play";
  rig.player->SetSong({{0, 2}, {1, 20}, {2, 4}});  // a part may be longer than its session
  rig.player->Play(true);
  EXPECT_EQ(Positions(rig, 25), Runs({{0, 2}, {1, 20}, {2, 3}}));
  // Shortened below the part being played: that part ends, and the song goes on from its start.
  rig.player->SetSong({{3, 5}, {4, 2}});
  EXPECT_EQ(Positions(rig, 9), Runs({{2, 1}, {3, 5}, {4, 2}, {3, 1}}));
  rig.player->SetSong({});
  EXPECT_EQ(Positions(rig, 8), Runs({{3, 8}}));
  rig.player->Stop();

  rig.player->SetSong({{2, 2}});
  rig.player->SetSession(1);
  rig.player->Play(false);
  EXPECT_EQ(Positions(rig, 6), Runs({{1, 6}}));
}

TEST(PlayerTiming, LoopRestartsAtItsStart) {
  PlayerRig rig;
  rig.player->SetPlayheadLooping(0, 0, 2, 4);
  rig.player->Continue();
  EXPECT_EQ(Positions(rig, 7, 0), (std::vector<int>{2, 3, 4, 2, 3, 4, 2}));
  EXPECT_TRUE(rig.player->IsLooping());
}

TEST(PlayerNotes, NoteOffsComeBeforeNoteOnsAndAfterTheGate) {
  PlayerRig rig;
  for (int step = 0; step < 4; ++step) rig.Add(0, 0, step, 60, 0, 1);
  rig.Add(0, 1, 0, 70, 0, 2, 64);  // 2.5 steps
  rig.player->Play(false);
  rig.player->Update(0.001);
  ASSERT_EQ(rig.sent.size(), 2u);
  rig.sent.clear();
  rig.player->Update(0.125);  // into the next step: note 60 ends, then starts again
  ASSERT_GE(rig.sent.size(), 2u);
  EXPECT_TRUE(!rig.sent[0].on && rig.sent[0].note == 60 && rig.sent.back().on);
  rig.sent.clear();
  rig.player->Update(0.125);
  rig.player->Update(0.0614);  // 2.5 steps after note 70 began at the step's start, not at 0.001
  EXPECT_FALSE(rig.Ended(70));
  rig.player->Update(0.0002);
  EXPECT_TRUE(rig.Ended(70));
}

TEST(PlayerNotes, TrackSettingsAndLayersShapeTheNotesAndEveryKeyIsReleased) {
  zs::test::UseNoAudioDevice();
  SFOutput synth;
  std::string log;
  ASSERT_TRUE(zs::test::InitCapturingOutput(synth, {zs::test::kTimGM6mb}, {1.0}, log)) << log;
  PlayerRig rig(&synth);
  rig.Add(0, 0, 0, 60, 0, 1, 0, 33);
  rig.Add(0, 0, 1, 64, 0, 8);
  rig.Add(0, 1, 0, 61);
  rig.Add(0, 2, 0, 62);
  rig.Add(0, 5, 0, 90);  // track 5 is layered onto track 0: its own notes stay silent
  for (auto [track, velocity, pitch] : {std::array{0, 111, 64 + 12}, {5, 120, 64 - 12}}) {
    rig.store->SetTrackVelocityFixed(track, true);
    rig.store->SetTrackVelocity(track, velocity);
    rig.store->SetTrackPitch(track, pitch);
  }
  rig.store->SetMuted(0, 1, true);
  rig.store->SetTrackLayer(5, 0);
  rig.player->Play(false);
  rig.player->Update(0.01);
  EXPECT_EQ(rig.Starts(), (Starts{{0, 72, 111}, {5, 48, 120}, {2, 62, 100}}));
  EXPECT_GT(HeldVoices(synth), 0);
  rig.sent.clear();
  rig.player->Update(0.125);
  EXPECT_TRUE(rig.Ended(72) && rig.Ended(48) && rig.Ended(62));
  EXPECT_EQ(rig.Starts(), (Starts{{0, 76, 111}, {5, 52, 120}}));
  rig.player->Stop();
  EXPECT_TRUE(rig.Hanging().empty());
  EXPECT_EQ(HeldVoices(synth), 0);

  rig.sent.clear();
  rig.store->SetSingle(0, 1);  // solo on a muted track: nothing sounds
  rig.player->Play(false);
  rig.player->Update(0.01);
  EXPECT_TRUE(rig.NotesOn().empty());
  synth.Shutdown();
}

TEST(PlayerRecording, OffsetsAndGatesWithAndWithoutQuantisation) {
  for (bool quantize : {false, true}) {
    PlayerRig rig;
    rig.player->SetNoteQuantization(quantize);
    rig.player->SetGateQuantization(quantize);
    rig.player->SetRecording(true);
    rig.player->Play(false);
    rig.player->Update(0.0625);  // half a step into step 0
    rig.player->PlayLiveNotes({Press(60, 90)});
    rig.player->Update(0.125);
    rig.player->Update(0.125);
    rig.player->Update(0.03125);
    rig.player->PlayLiveNotes({Release(60)});
    std::vector<Note> notes;
    rig.store->GetNotes(0, 0, 0, notes);
    ASSERT_EQ(notes.size(), 1u) << quantize;
    EXPECT_EQ((std::array<int, 4>{notes[0].offset, notes[0].gate, notes[0].gateFraction, notes[0].velocity}),
              (std::array{quantize ? 0 : 64, 2, quantize ? 0 : 32, 90}));
    EXPECT_TRUE(rig.Hanging().empty());
  }
}

TEST(PlayerRecording, ATapOnAMutedTrackIsOneStepAndStoppedLiveNotesOnlySound) {
  PlayerRig rig;
  rig.store->SetMuted(0, 0, true);
  rig.player->SetRecording(true);
  rig.player->Play(false);
  rig.player->Update(0.01);
  rig.player->PlayLiveNotes({Press(62, 80), Release(62)});
  EXPECT_TRUE(rig.NotesOn().empty());
  std::vector<Note> notes;
  rig.store->GetNotes(0, 0, 0, notes);
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_EQ((std::pair<int, int>(notes[0].gate, notes[0].gateFraction)), std::pair(1, 0));  // a tap: one step
  rig.player->Stop();

  // Live notes while recording but stopped only sound: there is no time line to record on.
  rig.player->PlayLiveNotes({Press(70, 80), Release(70)});
  EXPECT_FALSE(rig.store->QueryNote(0, 0, rig.player->GetPlayhead().trackStep[0], 70));
}

TEST(PlayerSoak, NoNoteHangsAcrossRandomTransportAndEdits) {
  const unsigned seed = 7031;
  std::mt19937 rng(seed);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  PlayerRig rig;
  for (int s = 0; s < 3; ++s)
    for (int t = 0; t < kTracks; ++t) {
      rig.store->SetStartEndSteps(s, t, 0, pick(3, 31));
      rig.store->SetTrackOutput(t, t % 3);
      rig.store->SetTrackChannel(t, t);
      for (int st = 0; st < 32; ++st)
        if (pick(0, 2) == 0) rig.Add(s, t, st, pick(36, 84), pick(0, 127), pick(0, 6), pick(0, 127), pick(1, 127));
    }
  rig.store->SetTrackLayer(7, 2);
  rig.store->SetTrackPitch(3, 70);
  rig.player->SetSong({{0, 16}, {2, 8}, {1, 20}});
  int held = -1;
  for (int frame = 0; frame < 60 * 60 * 3; ++frame) {  // three minutes at 60 updates a second
    SCOPED_TRACE(testing::Message() << "seed " << seed << " frame " << frame);
    int action = pick(0, 400);
    if (action == 0) rig.player->Stop();
    else if (action == 1) rig.player->Play(pick(0, 1) == 1);
    else if (action == 2) rig.player->Continue();
    else if (action == 3) rig.player->SetSession(pick(0, 2));
    else if (action == 4) rig.player->SetPlayheadLooping(0, pick(0, 11), 0, 3);
    else if (action == 5) rig.player->TurnOffLooping();
    else if (action == 6) rig.player->SetRecording(pick(0, 1) == 1);
    else if (action == 7) rig.player->UndoRecording();
    else if (action == 8) rig.player->SetBPM(pick(40, 255));
    else if (action == 9) rig.player->SetScale(ScaleInfo{static_cast<Scale>(pick(0, 15)), BaseC});
    else if (action == 10) rig.player->Flush(pick(0, 11));
    else if (action < 30 && held == -1) {
      held = pick(40, 80);
      rig.player->PlayLiveNotes({Press(held)});
    } else if (action < 50 && held != -1) {
      rig.player->PlayLiveNotes({Release(held)});
      held = -1;
    }
    rig.player->Update(1.0 / 60);
  }
  if (held != -1) rig.player->PlayLiveNotes({Release(held)});
  if (!rig.player->IsPlaying()) rig.player->Continue();
  rig.player->Stop();
  EXPECT_GT(rig.sent.size(), 1000u);
  EXPECT_TRUE(rig.Hanging().empty()) << rig.Hanging().size() << " keys left sounding";
}
