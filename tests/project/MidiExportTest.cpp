// SPDX-License-Identifier: LGPL-2.1-or-later
#include <fluidsynth.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <set>
#include <sstream>

#include "project/MidiExport.h"
#include "project/MidiFileData.h"
#include "tests/project/ProjectTestSupport.h"
#include "tests/support/SoundTestUtil.h"
#include "tests/support/TestServers.h"

using namespace zs::test;
namespace fs = std::filesystem;

namespace {

// A channel event: tick, status kind (0x90 note, 0xB0 controller, 0xC0 program), channel 0..15
// and data; a note-off is a note-on of velocity 0.
using Event = std::array<int, 5>;

// The channel events of the text export in file order; trackEnds gets each "Meta TrkEnd" tick.
std::vector<Event> TextEvents(const std::string& text, std::vector<int>* trackEnds = nullptr) {
  std::vector<Event> events;
  std::istringstream in(text);
  std::string line;
  int tick, ch, a, b;
  while (std::getline(in, line)) {
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

// "tick+key" / "tick-key" per note-on / note-off of channel number 1..12, "v<velocity>" if asked.
std::string Notes(const std::string& text, int channelNumber, bool velocities = false) {
  std::string out;
  for (const Event& e : TextEvents(text)) {
    if (e[1] != 0x90 || e[2] != channelNumber - 1) continue;
    out += std::string(out.empty() ? "" : " ") + std::to_string(e[0]) + (e[4] ? "+" : "-") + std::to_string(e[3]);
    if (velocities && e[4]) out += std::string("v") + std::to_string(e[4]);
  }
  return out;
}

// The channel events of a standard MIDI file in file order, track after track; chunks gets
// those of each track chunk and names the track name of each.
std::vector<Event> FileEvents(const std::string& path, std::vector<std::vector<Event>>* chunks = nullptr,
                              std::vector<std::string>* names = nullptr) {
  MidiFileData file;
  std::string error;
  EXPECT_TRUE(file.Read(ReadFile(path), error)) << error;
  EXPECT_EQ(file.division, 512);
  std::vector<Event> all;
  for (const std::vector<MidiEvent>& track : file.tracks) {
    if (chunks) chunks->emplace_back();
    if (names) names->emplace_back();
    for (const MidiEvent& e : track) {
      if (e.status == 0xFF && e.data1 == 0x03 && names) names->back() = e.data;
      if (e.status >= 0xF0) continue;
      const int kind = e.status & 0xF0;
      const Event event{static_cast<int>(e.tick), kind == 0x80 ? 0x90 : kind, e.status & 0x0F, e.data1,
                        kind == 0x80 ? 0 : e.data2};
      all.push_back(event);
      if (chunks) chunks->back().push_back(event);
    }
  }
  return all;
}

// Every channel event of a standard MIDI file with the tick at which fluidsynth's own file player
// sends it. Slowed to 1/20 speed, a tick (19.5 ms at 120 BPM) outlasts a rendered block (64 frames
// at 8000 Hz), so the sending tick is exact.
std::vector<Event> PlayedEvents(const std::string& path, int& totalTicks) {
  struct Context {
    fluid_synth_t* synth;
    fluid_player_t* player;
    std::vector<Event> events;
  } context;
  fluid_settings_t* settings = new_fluid_settings();
  fluid_settings_setstr(settings, "player.timing-source", "sample");
  fluid_settings_setnum(settings, "synth.sample-rate", 8000.0);
  fluid_settings_setint(settings, "synth.reverb.active", 0);
  fluid_settings_setint(settings, "synth.chorus.active", 0);
  fluid_synth_t* synth = new_fluid_synth(settings);
  context.synth = synth;
  context.player = new_fluid_player(synth);
  auto handler = [](void* data, fluid_midi_event_t* e) {
    auto* c = static_cast<Context*>(data);
    const int type = fluid_midi_event_get_type(e), tick = fluid_player_get_current_tick(c->player);
    const int channel = fluid_midi_event_get_channel(e);
    if (type == 0x80 || type == 0x90) {
      int velocity = type == 0x80 ? 0 : fluid_midi_event_get_velocity(e);
      c->events.push_back({tick, 0x90, channel, fluid_midi_event_get_key(e), velocity});
    } else if (type == 0xB0) {
      c->events.push_back({tick, 0xB0, channel, fluid_midi_event_get_control(e), fluid_midi_event_get_value(e)});
    } else if (type == 0xC0) {
      c->events.push_back({tick, 0xC0, channel, fluid_midi_event_get_program(e), 0});
    }
    return fluid_synth_handle_midi_event(c->synth, e);
  };
  fluid_player_set_playback_callback(context.player, handler, &context);
  EXPECT_EQ(fluid_player_add(context.player, path.c_str()), FLUID_OK);
  EXPECT_EQ(fluid_player_play(context.player), FLUID_OK);
  fluid_player_set_tempo(context.player, FLUID_PLAYER_TEMPO_INTERNAL, 0.05);
  float left[64], right[64];
  for (int i = 0; i < 10000000 && fluid_player_get_status(context.player) == FLUID_PLAYER_PLAYING; ++i) {
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
  rig->player->SetBPM(97);
  ASSERT_TRUE(Export());
  EXPECT_NE(text.find("\n0 Tempo 618556\n"), std::string::npos);
}

TEST_F(MidiExportTest, NotesFollowOffsetGateOverlapsRangesMutesAndSolo) {
  rig->Add(0, 0, 0, 60, 0, 1, 0);
  rig->Add(0, 0, 1, 61, 0, 0, 0);    // the shortest note lasts one tick
  rig->Add(0, 0, 2, 62, 64, 0, 10);  // half a step in, 10 ticks long
  rig->Add(0, 0, 15, 63, 0, 4, 0);   // ends after the song: the track ends with it
  rig->Add(0, 1, 0, 50, 0, 4, 0);    // the same key one step apart, four steps long
  rig->Add(0, 1, 1, 50, 0, 4, 0);
  ASSERT_TRUE(Export(false));
  EXPECT_EQ(Notes(text, 1), "2048+60 2176-60 2176+61 2177-61 2368+62 2378-62 3968+63 4480-63");
  EXPECT_EQ(Notes(text, 2), "2048+50 2176+50 2560-50 2688-50");
  std::vector<int> ends;
  TextEvents(text, &ends);
  EXPECT_EQ((std::array{ends.size(), size_t(ends[0]), size_t(ends[1])}), (std::array<size_t, 3>{12, 4480, 4096}));
  ASSERT_TRUE(Export(true));
  EXPECT_EQ(Notes(text, 2), "2048+50 2176-50 2176+50 2688-50");

  // A part longer than the track's range repeats it; outside the range nothing plays.
  rig->store->SetStartEndSteps(1, 0, 0, 7);
  rig->Add(1, 0, 0, 70, 0, 0, 1);
  rig->Add(1, 0, 8, 71);
  // Part 2 mutes track 1 and solos track 2: a note sounding into it still ends there.
  rig->Add(2, 1, 0, 40);
  rig->Add(2, 2, 0, 41);
  rig->Add(2, 1, 15, 42, 0, 4, 0);
  rig->store->SetMuted(3, 1, true);
  rig->Add(3, 1, 0, 45);
  rig->store->SetSingle(4, 2);
  rig->Add(4, 1, 0, 43);
  rig->Add(4, 2, 0, 44);
  rig->player->SetSong({{1, 32}, {2, 16}, {3, 16}, {4, 16}});
  ASSERT_TRUE(Export());
  EXPECT_EQ(Notes(text, 1), "2048+70 2049-70 3072+70 3073-70 4096+70 4097-70 5120+70 5121-70");
  EXPECT_EQ(Notes(text, 2), "6144+40 6272-40 8064+42 8576-42");
  EXPECT_EQ(Notes(text, 3), "6144+41 6272-41 10240+44 10368-44");
  // Parts of a damaged song list that name no session are skipped.
  rig->player->SetSong({{-1, 16}, {12, 16}, {1, 32}});
  ASSERT_TRUE(Export());
  EXPECT_EQ(Notes(text, 1), "2048+70 2049-70 3072+70 3073-70 4096+70 4097-70 5120+70 5121-70");
}

TEST_F(MidiExportTest, PitchLayersAndFixedVelocityApplyOnlyWhenAsked) {
  rig->Add(0, 0, 0, 60, 0, 1, 0, 100);
  rig->Add(0, 2, 1, 50, 0, 1, 0, 80);
  rig->store->SetTrackPitch(0, 66);
  rig->store->SetTrackVelocityFixed(0, true);
  rig->store->SetTrackVelocity(0, 33);
  rig->store->SetTrackLayer(2, 0);  // the third track (ch=3) doubles the first
  rig->store->SetTrackPitch(2, 52);
  rig->store->SetTrackVelocityFixed(2, true);
  rig->store->SetTrackVelocity(2, 20);
  ASSERT_TRUE(Export());
  EXPECT_EQ(Notes(text, 1, true) + " | " + Notes(text, 3, true), "2048+60v100 2176-60 | 2176+50v80 2304-50");
  ASSERT_TRUE(Export(false, true, false, false));
  EXPECT_EQ(Notes(text, 1, true) + " | " + Notes(text, 3, true), "2048+62v100 2176-62 | 2176+38v80 2304-38");
  ASSERT_TRUE(Export(false, false, false, true));
  EXPECT_EQ(Notes(text, 1, true), "2048+60v33 2176-60");
  ASSERT_TRUE(Export(false, true, true, true));
  EXPECT_EQ(Notes(text, 1, true) + " | " + Notes(text, 3, true), "2048+62v33 2176-62 | 2048+48v20 2176-48");
}

TEST_F(MidiExportTest, NothingIsWrittenForAnEmptySongAndFailuresAreReported) {
  rig->player->SetSong({});
  EXPECT_FALSE(Export());
  EXPECT_FALSE(fs::exists(file) || fs::exists(dir + "/song.mid"));
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

TEST_F(MidiExportTest, TheMidiFileHoldsTheNotesOfTheTextAndPlaysThemAtTheirTicks) {
  FillRandomProject(*rig, *synth, 5, 0.04);
  Song song;
  for (int s = 0; s < 3; ++s) {
    rig->store->SetStartEndSteps(s, 0, 0, 15 + s);  // parts of 16 to 18 steps
    for (int t = 1; t < kTracks; ++t) rig->store->SetStartEndSteps(s, t, s, 15);
    song.push_back({s, rig->store->GetSessionLength(s)});
  }
  rig->player->SetSong(song);
  rig->player->SetBPM(133);
  ASSERT_TRUE(Export(true, true, true, true));
  std::vector<int> ends;
  const std::vector<Event> inText = TextEvents(text, &ends);
  std::vector<std::vector<Event>> chunks;
  std::vector<Event> inFile = FileEvents(dir + "/song.mid", &chunks);
  ASSERT_EQ(chunks.size(), 13u);
  auto notes = [](const std::vector<Event>& events, int channel) {
    std::vector<std::array<int, 3>> out;
    for (const Event& e : events) {
      if (e[1] == 0x90 && (channel < 0 || e[2] == channel)) out.push_back({e[0], e[3], e[4]});
    }
    return out;
  };
  for (int t = 0; t < kTracks; ++t) EXPECT_EQ(notes(chunks[t + 1], -1), notes(inText, t)) << "track " << t;
  ASSERT_GT(notes(inText, -1).size(), 20u);

  int totalTicks = 0;
  std::vector<Event> played = PlayedEvents(dir + "/song.mid", totalTicks);
  // The player sends the tracks of one tick one after the other; within a channel the order
  // is that of the file.
  auto byTickAndChannel = [](const Event& a, const Event& b) { return a[0] != b[0] ? a[0] < b[0] : a[2] < b[2]; };
  std::stable_sort(inFile.begin(), inFile.end(), byTickAndChannel);
  std::stable_sort(played.begin(), played.end(), byTickAndChannel);
  EXPECT_EQ(played, inFile);
  EXPECT_EQ(totalTicks, *std::max_element(ends.begin(), ends.end()));
}

// Other programs follow General MIDI: drum kits on channel 10 chosen by program alone, no
// melodic track there, the instrument's name on the track. The text stays as it always was.
TEST_F(MidiExportTest, DrumKitsPlayOnChannel10OfTheMidiFile) {
  ASSERT_TRUE(synth->SetInstrument(0, 1, 8, 1));    // "Pad" of the second soundfont
  ASSERT_TRUE(synth->SetInstrument(1, 0, 128, 0));  // a TimGM6mb drum kit
  ASSERT_TRUE(synth->SetInstrument(3, 1, 128, 0));  // "Kit": also on channel 10
  for (int t : {0, 1, 3, 9}) rig->Add(0, t, t, 40 + t);
  ASSERT_TRUE(Export());
  EXPECT_NE(text.find("1 Par ch=2 c=0 v=1\n1 Par ch=2 c=32 v=0\n1 PrCh ch=2 p=0\n"), std::string::npos);
  EXPECT_NE(text.find("3200 On ch=10 n=49 v=100\n"), std::string::npos);

  std::vector<std::vector<Event>> chunks;
  std::vector<std::string> names;
  FileEvents(dir + "/song.mid", &chunks, &names);
  ASSERT_EQ(chunks.size(), 13u);
  auto describe = [&](int t) {
    std::set<int> channels;
    bool bankSelect = false;
    for (const Event& e : chunks[t + 1]) {
      channels.insert(e[2]);
      bankSelect = bankSelect || (e[1] == 0xB0 && (e[3] == 0 || e[3] == 32));
    }
    return std::to_string(*channels.begin()) + (channels.size() == 1 ? "" : "+") + (bankSelect ? " bank " : " ") +
           names[t + 1];
  };
  EXPECT_EQ(describe(0), "0 bank Pad");
  EXPECT_EQ(describe(1), "9 " + names[2]);
  EXPECT_EQ(describe(3), "9 Kit");
  EXPECT_EQ(describe(9), "1 bank " + names[1 + 9]);  // the lowest channel left free
  EXPECT_EQ(describe(2), "2 bank " + names[3]);
  EXPECT_NE(names[2], "2");
}

}  // namespace
