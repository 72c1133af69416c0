#include <fluidsynth.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "project/MidiExport.h"
#include "tests/project/ProjectTestSupport.h"
#include "tests/support/TestServers.h"

using namespace zs::test;
namespace fs = std::filesystem;

namespace {

// A channel event as both files carry it: tick, kind (0x90 note-on, 0xB0 controller, 0xC0
// program change), channel 0..15 and data bytes. Note-offs are note-ons of velocity 0.
struct Event {
  int tick, kind, channel, data1, data2;
  bool operator==(const Event&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Event& e) {
  return out << e.tick << ":" << std::hex << e.kind << std::dec << "/" << e.channel << "/" << e.data1 << "/" << e.data2;
}

// The channel events of the text export, in file order, and the end tick of each song track.
std::vector<Event> TextEvents(const std::string& text, std::vector<int>* trackEnds = nullptr) {
  std::vector<Event> events;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    int tick, ch, a, b;
    if (sscanf(line.c_str(), "%d On ch=%d n=%d v=%d", &tick, &ch, &a, &b) == 4) {
      events.push_back({tick, 0x90, ch - 1, a, b});
    } else if (sscanf(line.c_str(), "%d Par ch=%d c=%d v=%d", &tick, &ch, &a, &b) == 4) {
      events.push_back({tick, 0xB0, ch - 1, a, b});
    } else if (sscanf(line.c_str(), "%d PrCh ch=%d p=%d", &tick, &ch, &a) == 3) {
      events.push_back({tick, 0xC0, ch - 1, a, 0});
    } else if (trackEnds && line.find(" Meta TrkEnd") != std::string::npos) {
      trackEnds->push_back(std::stoi(line));
    }
  }
  return events;
}

// "tick+/-key" for each note-on/note-off of one channel, with the velocity when asked.
std::string Notes(const std::string& text, int channelNumber, bool velocities = false) {
  std::string out;
  for (const Event& e : TextEvents(text)) {
    if (e.kind != 0x90 || e.channel != channelNumber - 1) continue;
    if (!out.empty()) out += " ";
    out += std::to_string(e.tick) + (e.data2 ? "+" : "-") + std::to_string(e.data1);
    if (velocities && e.data2) out += "v" + std::to_string(e.data2);
  }
  return out;
}

// Plays a standard MIDI file through fluidsynth's own file player, driven by rendering
// instead of the clock, and returns every channel event with the tick at which the player
// sent it. The player is slowed down so that one rendered block is shorter than a tick,
// which makes the sending tick exact.
std::vector<Event> PlayedEvents(const std::string& path, int& totalTicks) {
  struct Context {
    fluid_player_t* player = nullptr;
    std::vector<Event> events;
  } context;
  fluid_settings_t* settings = new_fluid_settings();
  fluid_settings_setstr(settings, "player.timing-source", "sample");
  fluid_settings_setnum(settings, "synth.sample-rate", 8000.0);
  fluid_settings_setint(settings, "synth.reverb.active", 0);
  fluid_settings_setint(settings, "synth.chorus.active", 0);
  fluid_synth_t* synth = new_fluid_synth(settings);
  context.player = new_fluid_player(synth);
  fluid_player_set_playback_callback(
      context.player,
      [](void* data, fluid_midi_event_t* event) {
        auto* c = static_cast<Context*>(data);
        int type = fluid_midi_event_get_type(event);
        int tick = fluid_player_get_current_tick(c->player);
        int channel = fluid_midi_event_get_channel(event);
        if (type == 0x80) {
          c->events.push_back({tick, 0x90, channel, fluid_midi_event_get_key(event), 0});
        } else if (type == 0x90) {
          c->events.push_back(
              {tick, 0x90, channel, fluid_midi_event_get_key(event), fluid_midi_event_get_velocity(event)});
        } else if (type == 0xB0) {
          c->events.push_back(
              {tick, 0xB0, channel, fluid_midi_event_get_control(event), fluid_midi_event_get_value(event)});
        } else if (type == 0xC0) {
          c->events.push_back({tick, 0xC0, channel, fluid_midi_event_get_program(event), 0});
        }
        return FLUID_OK;
      },
      &context);
  EXPECT_EQ(fluid_player_add(context.player, path.c_str()), FLUID_OK);
  EXPECT_EQ(fluid_player_play(context.player), FLUID_OK);
  // 8000 Hz blocks of 64 frames last 8 ms; at 120 BPM a tick lasts 0.98 ms, at 1/20 speed 19.5 ms.
  fluid_player_set_tempo(context.player, FLUID_PLAYER_TEMPO_INTERNAL, 0.05);
  float left[64], right[64];
  for (int blocks = 0; fluid_player_get_status(context.player) == FLUID_PLAYER_PLAYING && blocks < 10000000; ++blocks) {
    fluid_synth_write_float(synth, 64, left, 0, 1, right, 0, 1);
  }
  totalTicks = fluid_player_get_total_ticks(context.player);
  delete_fluid_player(context.player);
  delete_fluid_synth(synth);
  delete_fluid_settings(settings);
  return context.events;
}

class MidiExportTest : public testing::Test {
 protected:
  void SetUp() override {
    synth = &SharedSynth();
    for (int t = 0; t < kTracks; ++t) ASSERT_TRUE(synth->SetInstrument(t, 0, 0, 0));
    dir = MakeTempDir("midi-export");
    file = dir + "/song.asc";
    rig = std::make_unique<ProjectRig>(synth);
    rig->player->SetSong({{0, 16}});
  }
  bool Export(bool endOverlaps = false, bool pitch = false, bool layers = false, bool fixedVelocity = false) {
    bool ok = false;
    out = Captured([&] { ok = rig->player->ExportToMidi(file, endOverlaps, pitch, layers, fixedVelocity); });
    text = ReadFile(file);
    return ok;
  }

  SFOutput* synth = nullptr;
  std::unique_ptr<ProjectRig> rig;
  std::string dir, file, out, text;
};

TEST_F(MidiExportTest, SetUpLinesAndTrackChunksAreWrittenExactly) {
  ASSERT_TRUE(synth->SetInstrument(0, 1, 8, 1));
  ASSERT_TRUE(synth->SetInstrument(1, 1, 128, 0));
  rig->store->SetTrackVolume(1, 90);
  rig->store->SetTrackPan(1, 20);
  rig->Add(0, 0, 0, 60);
  ASSERT_TRUE(Export());
  EXPECT_EQ(out, "");
  const std::string header =
      "MFile 1 13 512\nMTrk\n0 TimeSig 4/4 24 8\n0 KeySig 0 major\n0 Tempo 500000\n0 Meta Marker \"" + file +
      "\"\nTrkEnd\n"
      "MTrk\n0 Meta 0x21 00\n0 Meta TrkName \"1\"\n0 Par ch=1 c=7 v=100\n0 Par ch=1 c=10 v=64\n1 Par ch=1 c=0 v=0\n"
      "1 Par ch=1 c=32 v=8\n1 PrCh ch=1 p=1\n1 Par ch=1 c=10 v=64\n2048 On ch=1 n=60 v=100\n2176 On ch=1 n=60 v=0\n"
      "4096 Meta TrkEnd\nTrkEnd\n"
      "MTrk\n0 Meta 0x21 00\n0 Meta TrkName \"2\"\n0 Par ch=2 c=7 v=90\n0 Par ch=2 c=10 v=20\n1 Par ch=2 c=0 v=1\n"
      "1 Par ch=2 c=32 v=0\n1 PrCh ch=2 p=0\n1 Par ch=2 c=10 v=20\n4096 Meta TrkEnd\nTrkEnd\n";
  EXPECT_EQ(text.substr(0, header.size()), header);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 7 + 12 * 11 + 2);
  EXPECT_NE(text.find("MTrk\n0 Meta 0x21 00\n0 Meta TrkName \"12\"\n0 Par ch=12 c=7 v=100\n"), std::string::npos);
  EXPECT_TRUE(fs::exists(dir + "/song.mid"));
  EXPECT_EQ(MidiFileNameFor("./song.asc"), "./song.mid");
  EXPECT_EQ(MidiFileNameFor("./song.txt"), "./song.txt.mid");

  rig->player->SetBPM(97);
  ASSERT_TRUE(Export());
  EXPECT_NE(text.find("\n0 Tempo 618556\n"), std::string::npos);
}

TEST_F(MidiExportTest, NotesStartAtTheirOffsetAndLastTheirGate) {
  rig->Add(0, 0, 0, 60, 0, 1, 0);
  rig->Add(0, 0, 1, 61, 0, 0, 0);    // the shortest note lasts one tick
  rig->Add(0, 0, 2, 62, 64, 0, 10);  // half a step in, 10 ticks long
  rig->Add(0, 0, 15, 63, 0, 4, 0);   // ends after the song: the track ends with it
  ASSERT_TRUE(Export());
  EXPECT_EQ(Notes(text, 1), "2048+60 2176-60 2176+61 2177-61 2368+62 2378-62 3968+63 4480-63");
  std::vector<int> ends;
  TextEvents(text, &ends);
  ASSERT_EQ(ends.size(), 12u);
  EXPECT_EQ(ends[0], 4480);
  EXPECT_EQ(ends[1], 4096);
}

TEST_F(MidiExportTest, OverlapsOfOneKeyEndTheSoundingNoteOnlyWhenAsked) {
  rig->Add(0, 0, 0, 60, 0, 4, 0);
  rig->Add(0, 0, 1, 60, 0, 4, 0);
  ASSERT_TRUE(Export(false));
  EXPECT_EQ(Notes(text, 1), "2048+60 2176+60 2560-60 2688-60");
  ASSERT_TRUE(Export(true));
  EXPECT_EQ(Notes(text, 1), "2048+60 2176-60 2176+60 2688-60");
}

TEST_F(MidiExportTest, ATrackShorterThanThePartRepeatsAndMutedPartsKeepTime) {
  rig->store->SetStartEndSteps(0, 0, 0, 7);
  rig->Add(0, 0, 0, 60, 0, 0, 1);
  rig->Add(0, 0, 8, 70);  // outside the range: never played
  rig->player->SetSong({{0, 32}});
  ASSERT_TRUE(Export());
  EXPECT_EQ(Notes(text, 1), "2048+60 2049-60 3072+60 3073-60 4096+60 4097-60 5120+60 5121-60");

  // Part 2 mutes track 1 and solos track 2: a note sounding into it still ends there.
  rig->Add(1, 1, 0, 40);
  rig->Add(1, 2, 0, 41);
  rig->Add(1, 1, 15, 42, 0, 4, 0);
  rig->store->SetSingle(2, 2);
  rig->Add(2, 1, 0, 43);
  rig->Add(2, 2, 0, 44);
  rig->store->SetMuted(3, 1, true);
  rig->Add(3, 1, 0, 45);
  rig->player->SetSong({{1, 16}, {3, 16}, {2, 16}});
  ASSERT_TRUE(Export());
  EXPECT_EQ(Notes(text, 2), "2048+40 2176-40 3968+42 4480-42");
  EXPECT_EQ(Notes(text, 3), "2048+41 2176-41 6144+44 6272-44");
}

TEST_F(MidiExportTest, PitchLayersAndFixedVelocityApplyOnlyWhenAsked) {
  rig->Add(0, 0, 0, 60, 0, 1, 0, 100);
  rig->Add(0, 2, 1, 50, 0, 1, 0, 80);
  rig->store->SetTrackPitch(0, 66);
  rig->store->SetTrackVelocityFixed(0, true);
  rig->store->SetTrackVelocity(0, 33);
  rig->store->SetTrackLayer(2, 0);  // track 3 (ch=3) doubles track 1
  rig->store->SetTrackPitch(2, 52);
  rig->store->SetTrackVelocityFixed(2, true);
  rig->store->SetTrackVelocity(2, 20);

  ASSERT_TRUE(Export());
  EXPECT_EQ(Notes(text, 1, true), "2048+60v100 2176-60");
  EXPECT_EQ(Notes(text, 3, true), "2176+50v80 2304-50");

  ASSERT_TRUE(Export(false, true, false, false));
  EXPECT_EQ(Notes(text, 1, true), "2048+62v100 2176-62");
  EXPECT_EQ(Notes(text, 3, true), "2176+38v80 2304-38");

  ASSERT_TRUE(Export(false, false, false, true));
  EXPECT_EQ(Notes(text, 1, true), "2048+60v33 2176-60");

  ASSERT_TRUE(Export(false, true, true, true));
  EXPECT_EQ(Notes(text, 1, true), "2048+62v33 2176-62");
  EXPECT_EQ(Notes(text, 3, true), "2048+48v20 2176-48");

  // A layered track is silent when it or its source is muted.
  rig->store->SetMuted(0, 2, true);
  ASSERT_TRUE(Export(false, false, true, false));
  EXPECT_EQ(Notes(text, 3), "");
  rig->store->SetMuted(0, 2, false);
  rig->store->SetMuted(0, 0, true);
  ASSERT_TRUE(Export(false, false, true, false));
  EXPECT_EQ(Notes(text, 3), "");
}

TEST_F(MidiExportTest, NothingIsWrittenForAnEmptySongAndFailuresAreReported) {
  rig->player->SetSong({});
  EXPECT_FALSE(Export());
  EXPECT_FALSE(fs::exists(file));
  EXPECT_FALSE(fs::exists(dir + "/song.mid"));

  rig->player->SetSong({{0, 16}});
  rig->Add(0, 0, 0, 60);
  rig->player->Play(false);
  rig->player->Update(0.01);
  file = dir + "/missing/song.asc";
  EXPECT_FALSE(Export());
  EXPECT_EQ(out, "error: could not export " + file + "\n");
  EXPECT_FALSE(rig->player->IsPlaying());

  // A directory where the MIDI file should go: the text is written, the failure reported.
  fs::create_directory(dir + "/song.mid");
  file = dir + "/song.asc";
  EXPECT_FALSE(Export());
  EXPECT_EQ(out, "error: could not export " + dir + "/song.mid\n");
  EXPECT_TRUE(fs::exists(file));
}

// The note events of one exported track the plain way: tick by tick through every part,
// asking the store for the notes of each substep and counting every pending end down by one.
std::string WalkTickByTick(const ProjectRig& rig, int t, bool endOverlaps, bool applyPitch, bool applyLayers,
                           bool applyFixedVelocity) {
  const SessionsStore& store = *rig.store;
  const int pitch = applyPitch ? store.GetTrackPitch(t) : 64;
  const int s = applyLayers ? store.GetTrackLayer(t) : t;
  const bool fixed = applyFixedVelocity && store.GetTrackVelocityFixed(t);
  std::string out;
  auto emit = [&](int tick, int note, int velocity) {
    if (!out.empty()) out += " ";
    out += std::to_string(tick) + (velocity ? "+" : "-") + std::to_string(TransposedNote(note, pitch));
  };
  NoteOffQueue pending;
  std::vector<NoteOffQueueEntry> due;
  std::vector<Note> notes;
  int tick = 2048;
  for (const SongPart& part : rig.player->GetSong()) {
    const int solo = store.GetSingle(part.session);
    bool sounds = !store.GetMuted(part.session, s) && (solo == -1 || solo == s);
    if (s != t && store.GetMuted(part.session, t)) sounds = false;
    int start, end;
    store.GetStartEndSteps(part.session, s, start, end);
    for (int i = 0, step = start; i < part.length; ++i, step = step == end ? start : step + 1) {
      for (int sub = 0; sub < 128; ++sub) {
        if (sounds) store.GetNotesInSubstepRange(part.session, s, step, sub, sub + 1, notes);
        for (const Note& n : sounds ? notes : std::vector<Note>{}) {
          bool removed = false;
          if (endOverlaps) pending.RemoveOverlaps(n.note, s, removed);
          if (removed) emit(tick, n.note, 0);
          emit(tick, n.note, fixed ? store.GetTrackVelocity(t) : n.velocity);
          pending.Add(n.note, s, n.gate * 128 + n.gateFraction, 0, 0, 64);
        }
        ++tick;
        pending.Update(1.0, due);
        for (const NoteOffQueueEntry& e : due) emit(tick, e.note, 0);
      }
    }
  }
  pending.Flush(s, due, true);
  for (const NoteOffQueueEntry& e : due) emit(tick + static_cast<int>(e.time), e.note, 0);
  return out;
}

TEST_F(MidiExportTest, RandomSongsExportTheNotesOfATickByTickWalk) {
  for (uint32_t seed : {21u, 22u, 23u}) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    rig = std::make_unique<ProjectRig>(synth);
    FillRandomProject(*rig, *synth, seed, 0.08);
    Song song = rig->player->GetSong();
    song.resize(std::min<size_t>(song.size(), 4));
    rig->player->SetSong(song);
    if (song.empty()) continue;
    for (int options = 0; options < 16; options += 5) {  // none, some, all four
      const bool o[4] = {(options & 1) != 0, (options & 2) != 0, (options & 4) != 0, (options & 8) != 0};
      ASSERT_TRUE(Export(o[0], o[1], o[2], o[3]));
      for (int t = 0; t < kTracks; ++t) {
        SCOPED_TRACE("options " + std::to_string(options) + " track " + std::to_string(t));
        EXPECT_EQ(Notes(text, t + 1), WalkTickByTick(*rig, t, o[0], o[1], o[2], o[3]));
      }
    }
  }
}

TEST_F(MidiExportTest, TheMidiFilePlaysTheEventsOfTheTextAtTheirTicks) {
  FillRandomProject(*rig, *synth, 5, 0.04);
  Song song;
  for (int s : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}) {
    rig->store->SetStartEndSteps(s, 0, 0, 15 + s);  // parts of 16 to 27 steps
    for (int t = 1; t < kTracks; ++t) rig->store->SetStartEndSteps(s, t, s, 15);
    if (song.size() < 3) song.push_back({s, rig->store->GetSessionLength(s)});
  }
  rig->player->SetSong(song);
  rig->player->SetBPM(133);
  ASSERT_TRUE(Export(true, true, true, true));
  std::vector<int> ends;
  std::vector<Event> expected = TextEvents(text, &ends);
  ASSERT_GT(std::count_if(expected.begin(), expected.end(), [](const Event& e) { return e.kind == 0x90; }), 20);

  int totalTicks = 0;
  std::vector<Event> played = PlayedEvents(dir + "/song.mid", totalTicks);
  // The player sends the tracks of one tick one after the other; within a channel the order
  // is that of the file.
  auto byTickAndChannel = [](const Event& a, const Event& b) {
    return std::tie(a.tick, a.channel) < std::tie(b.tick, b.channel);
  };
  std::stable_sort(expected.begin(), expected.end(), byTickAndChannel);
  std::stable_sort(played.begin(), played.end(), byTickAndChannel);
  EXPECT_EQ(played, expected);
  EXPECT_EQ(totalTicks, *std::max_element(ends.begin(), ends.end()));
}

}  // namespace
