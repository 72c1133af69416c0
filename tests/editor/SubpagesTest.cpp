// SPDX-License-Identifier: LGPL-2.1-or-later
#include <algorithm>
#include <array>
#include <tuple>
#include <vector>

#include "tests/editor/SequencerFixture.h"

namespace zs::test {
namespace {

class SessionsTest : public SequencerFixture {
 protected:
  void SetUp() override {
    SequencerFixture::SetUp();
    Subpage(SubpageSessions);
  }

  void MoveCursorTo(int target) {
    while (seq->GetSessionCursor() / 6 != target / 6) Press([](Controls& c) { c.downCount = 1; });
    while (seq->GetSessionCursor() != target) Press([](Controls& c) { c.rightCount = 1; });
  }
  void Paste(int from, int to, Keys key) {
    MoveCursorTo(from);
    Tap(&Controls::ctrlC);
    MoveCursorTo(to);
    Press(key);
  }
};

// Six sessions a row, two rows; one position per frame however many presses came.
TEST_F(SessionsTest, CursorWrapsWithinRowsOnePositionPerFrame) {
  PressAndExpect([this] { return seq->GetSessionCursor(); },
                 {{[](Controls& c) { c.leftCount = 3; }, 5},  {[](Controls& c) { c.rightCount = 4; }, 0},
                  {[](Controls& c) { c.upCount = 1; }, 6},    {[](Controls& c) { c.leftCount = 1; }, 11},
                  {[](Controls& c) { c.rightCount = 2; }, 6}, {[](Controls& c) { c.downCount = 2; }, 0},
                  {[](Controls& c) { c.rightCount = 2; }, 1}, {[](Controls& c) { c.downCount = 1; }, 7},
                  {[](Controls& c) { c.leftHeld = c.downHeld = true; }, 7}});

  Tap(&Controls::returnPressed);
  EXPECT_EQ(seq->GetSession(), 7);
  EXPECT_EQ(seq->GetPlayer()->GetPlayhead().session, 7);
}

TEST_F(SessionsTest, PasteVariantsCopyNotesAndFlagsAsAsked) {
  Store()->AddNote(1, 0, 3, MakeNote(60));
  Store()->AddNote(1, 1, 5, MakeNote(62));
  Store()->SetMuted(1, 2, true);
  Store()->SetSingle(1, 1);
  const struct {
    int target;
    Keys key;
    bool notes, flags;
  } rows[] = {{3, [](Controls& c) { c.ctrlV = true; }, true, false},
              {4, [](Controls& c) { c.ctrlM = true; }, false, true},
              {5, [](Controls& c) { c.ctrlA = true; }, true, true}};
  for (const auto& r : rows) {
    Store()->SetMuted(r.target, 7, true);
    Paste(1, r.target, r.key);
    EXPECT_EQ(NotesAt(r.target, 0, 3) + NotesAt(r.target, 1, 5), r.notes ? 2 : 0) << r.target;
    EXPECT_EQ(Store()->GetMuted(r.target, 2), r.flags) << r.target;
    EXPECT_EQ(Store()->GetMuted(r.target, 7), !r.flags) << r.target;
    EXPECT_EQ(Store()->GetSingle(r.target), r.flags ? 1 : -1) << r.target;
  }

  MoveCursorTo(1);
  Tap(&Controls::ctrlC);
  Press([](Controls& c) { c.shiftNumberRow[2] = true; });
  ASSERT_EQ(seq->GetTrack(), 2);
  MoveCursorTo(6);
  Tap(&Controls::ctrlT);
  EXPECT_EQ(NotesAt(6, 2, 3), 1);
  EXPECT_EQ(NotesAt(6, 1, 5), 0);
}

TEST_F(SessionsTest, EveryPasteEmptiesTheClipboard) {
  Store()->AddNote(0, 0, 0, MakeNote(60));
  Paste(0, 0, [](Controls& c) { c.ctrlV = true; });
  MoveCursorTo(2);
  Tap(&Controls::ctrlV);
  EXPECT_EQ(NotesAt(2, 0, 0), 0);
}

TEST_F(SessionsTest, TrackLengthsPasteToOneOrAllTracks) {
  auto range = [&](int session, int track) {
    int start, end;
    Store()->GetStartEndSteps(session, track, start, end);
    return std::pair{start, end};
  };
  Store()->SetStartEndSteps(0, 0, 16, 47);
  Paste(0, 1, [](Controls& c) { c.ctrlL = true; });
  EXPECT_EQ(range(1, 0), (std::pair{16, 47}));
  EXPECT_EQ(range(1, 1), (std::pair{0, 15}));

  Paste(0, 0, [](Controls& c) { c.ctrlShiftL = true; });
  for (int t = 1; t < kTracks; ++t) EXPECT_EQ(range(0, t), (std::pair{16, 47})) << t;
}

TEST_F(SessionsTest, ErasingSessionsAndTracks) {
  Store()->AddNote(4, 0, 1, MakeNote(60));
  Store()->AddNote(4, 1, 1, MakeNote(60));
  Store()->AddNote(5, 1, 1, MakeNote(60));
  MoveCursorTo(5);
  Press([](Controls& c) { c.shiftNumberRow[1] = true; });
  Tap(&Controls::ctrlX);
  EXPECT_TRUE(Store()->IsEmpty(5));
  MoveCursorTo(4);
  Tap(&Controls::ctrlX);
  EXPECT_EQ(NotesAt(4, 0, 1), 1);
  Tap(&Controls::ctrlY);
  EXPECT_TRUE(Store()->IsEmpty(4));
}

TEST_F(SessionsTest, SongHoldsAtMostFifteenEntries) {
  Tap(&Controls::deletePressed);
  EXPECT_TRUE(seq->GetPlayer()->GetSong().empty());
  Tap(&Controls::shiftReturn);
  ExpectMessage("NOSONG", true);
  EXPECT_FALSE(seq->IsPlaying());

  Store()->SetStartEndSteps(3, 4, 0, 63);
  MoveCursorTo(3);
  for (int i = 0; i < 16; ++i) Tap(&Controls::insertPressed);
  Song song = seq->GetPlayer()->GetSong();
  ASSERT_EQ(song.size(), 15u);
  EXPECT_EQ(song[14].session, 3);
  EXPECT_EQ(song[14].length, 64);
  Tap(&Controls::deletePressed);
  EXPECT_EQ(seq->GetPlayer()->GetSong().size(), 14u);
  Tap(&Controls::shiftReturn);
  EXPECT_TRUE(seq->GetPlayer()->IsPlayingSong());
}

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

TEST_F(MixerTest, VolumeAndPanReachTheSynthesizer) {
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
}

TEST_F(MixerTest, LayeringNeedsAStoppedPlayerAndNoNoteKey) {
  MixerTrack(3);
  Store()->SetTrackLayer(3, 7);
  Tap(&Controls::altX);  // volume selected: nothing
  EXPECT_EQ(Store()->GetTrackLayer(3), 7);

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
  Up(3);  // +3 would take 125 to 128
  Tap(&Controls::ctrlShiftI);
  ExpectMessage("NOTE LEAVING RANGE", true);
  EXPECT_EQ(Notes(0, 1, 0), (std::vector<int>{60, 125}));
  EXPECT_EQ(Store()->GetTrackPitch(1), 67);

  Down(5);  // -2
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
  EXPECT_EQ(Notes(0, 2, 0, true), std::vector<int>{100});
}

class SoundfontsTest : public SequencerFixture {
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

  static constexpr int kOtherFont = 5;
};

TEST_F(SoundfontsTest, ReverbAndChorusReachTheSynthesizerAndTheTracksOfTheSoundfont) {
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

  Save();
  Up(10);
  Tap(&Controls::altR);
  Reload();
  EXPECT_EQ(StoredChorus(2)[2], 1);
  EXPECT_EQ(Store()->GetTrackReverbEnabled(2), !reverbOn);
  EXPECT_EQ(FluidReverb(2), (std::array<int, 4>{43, 10, 50, 90}));
}

TEST_F(SoundfontsTest, ExternalReverbStepsClampsResetsAndCopies) {
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
}

TEST_F(SoundfontsTest, EqualizerProgramsWrapRestoreAndStay) {
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
  Tap(&Controls::altX);
  EXPECT_DOUBLE_EQ(SynthEq()[0], 1);
}

// A bank change resets the program; the page keys page programs by ten, not bars.
TEST_F(SoundfontsTest, InstrumentCursorBankAndProgramClampAndPageByTen) {
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
                  {[](Controls& c) { c.downCount = 4; }, {0, 4}},      {[](Controls& c) { c.leftCount = 1; }, {0, 4}},
                  {[](Controls& c) { c.downCount = 1; }, {1, 0}},
                  {[](Controls& c) { c.pageDownCount = 1; }, {std::min<int>(2, banks.size() - 1), 0}},
                  {[](Controls& c) { c.upCount = 100; }, {0, 0}}});
  EXPECT_EQ(seq->GetBar(), 0);
  Right(1);
  Synth()->SetInstrumentFromIndex(0, 0, Instrument().bankIndex, programs - 8);
  PressAndExpect([this] { return Instrument().programIndex; },
                 {{[](Controls& c) { c.pageDownCount = 1; }, programs - 1},
                  {[](Controls& c) { c.downCount = 1; }, programs - 1}});
}

TEST_F(SoundfontsTest, SoundfontChangeSilencesTheHeldNoteAndTakesTheSoundfontsEffects) {
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

TEST_F(SoundfontsTest, ScaleAndBaseClampAndReachThePlayer) {
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
