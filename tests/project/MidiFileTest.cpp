// SPDX-License-Identifier: LGPL-2.1-or-later
#include <fluidsynth.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <random>
#include <set>
#include <sstream>

#include "project/MidiExport.h"
#include "project/MidiFileData.h"
#include "project/MidiImport.h"
#include "project/StandardMidiFile.h"
#include "tests/project/ProjectTestSupport.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/SoundTestUtil.h"
#include "tests/support/TestServers.h"

using namespace zs::test;
namespace fs = std::filesystem;

namespace {

// A channel event: tick, status kind (0x90 note, 0xB0 controller, 0xC0 program), channel 0..15
// and data; a note-off is a note-on of velocity 0.
using Event = std::array<int, 5>;

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


std::string B(std::initializer_list<int> bytes) {
  std::string out;
  for (int b : bytes) out += static_cast<char>(b);
  return out;
}

std::string BigEndian(uint32_t value, int count) {
  std::string out;
  for (int i = count - 1; i >= 0; --i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
  return out;
}

std::string Smf(int format, uint16_t division, const std::vector<std::string>& tracks, int declared = -1) {
  std::string out = "MThd" + BigEndian(6, 4) + BigEndian(format, 2) +
                    BigEndian(declared < 0 ? static_cast<uint32_t>(tracks.size()) : declared, 2) +
                    BigEndian(division, 2);
  for (const std::string& t : tracks) out += "MTrk" + BigEndian(static_cast<uint32_t>(t.size()), 4) + t;
  return out;
}

const std::string kEnd = B({0, 0xFF, 0x2F, 0});

// What an import decides: the p, o, s, t and e lines as written, and of each i line the track,
// volume, pan, channel, soundfont:bank:program and preset name; then what it reports.
std::string Summary(const std::string& text) {
  std::istringstream in(text);
  std::string line, out;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] != 'i') {
      out += line + "\n";
      continue;
    }
    std::istringstream words(line);
    std::vector<std::string> f;
    for (std::string w; words >> w;) f.push_back(w);
    if (f.size() != 50) return "i line of " + std::to_string(f.size()) + " fields: " + line;
    out += "i " + f[1] + " vol " + f[4] + " pan " + f[5] + " ch " + f[6] + " " + f[45] + ":" + f[46] + ":" + f[47] +
           " " + f[49] + "\n";
  }
  return out;
}

std::string Import(const std::string& bytes, int stepsPerQuarter = 4, int soundfont = 0) {
  std::string text, messages;
  MidiImportOptions options;
  options.stepsPerQuarter = stepsPerQuarter;
  options.soundfont = soundfont;
  if (!ImportMidiFile(bytes, options, text, messages)) return messages;
  return Summary(text) + messages;
}

const std::string kNoSolo = "s 0 -1 0 0 0 0 0 0 0 0 0 0 0 0\n";

// Format 0, 96 ticks per quarter: two melodic channels and drums on channel 10, a note ended by
// a note-on of velocity 0 under running status.
const std::string kFormat0 = Smf(0, 96, {B({0, 0xC0, 5, 0, 0xC1, 32, 0, 0xB1, 7, 80, 0, 0x99, 36, 100, 0, 0x90, 60, 100,
                                           0, 0x91, 48, 80, 24, 0x89, 36, 0, 24, 0x80, 60, 0, 12, 0x81, 48, 0, 6, 0x90,
                                           62, 100, 6, 62, 0}) +
                                         kEnd});

TEST(MidiImportTest, HandMadeFilesBecomeTheseProjects) {
  EXPECT_EQ(Import(kFormat0, 4, 1),
            "p 9 120 1 1 0 0 \no 1 0\n"
            "i 0 vol 100 pan 64 ch 0 1:0:5 -\ni 1 vol 80 pan 64 ch 1 1:0:32 -\ni 2 vol 100 pan 64 ch 9 1:128:0 -\n" +
                kNoSolo +
                "t 0 0 15\ne 0 60 0 100 2 0\ne 2 62 96 100 0 32\nt 1 0 15\ne 0 48 0 80 2 64\n"
                "t 2 0 15\ne 0 36 0 100 1 0\nimported 4 notes on 3 tracks, 1 session (1 bar), 120 BPM\n");

  // Format 1, 480 ticks per quarter: a conductor track with 100 BPM, 3/4 and a later tempo
  // change; an empty first bar; two notes of one key overlapping under running status; a
  // track without notes whose program change its channel keeps; the third track keeps its place.
  const std::string conductor =
      B({0, 0xFF, 0x51, 3, 0x09, 0x27, 0xC0, 0, 0xFF, 0x58, 4, 3, 2, 24, 8, 0x8B, 0x20, 0xFF, 0x51, 3, 7, 0xA1, 0x20}) +
      kEnd;
  const std::string bass =
      B({0, 0xFF, 0x03, 4}) + "Bass" +
      B({0, 0xB0, 32, 8, 0, 0xC0, 33, 0x8B, 0x20, 0x90, 40, 100, 120, 40, 80, 120, 40, 0, 120, 40, 0}) + kEnd;
  const std::string programOnly = B({0, 0xFF, 0x03, 3}) + "Pad" + B({0, 0xC1, 16}) + kEnd;
  const std::string lead = B({0, 0xB1, 7, 64, 0x8B, 0x5C, 0x91, 67, 112, 60, 0x81, 67, 0}) + kEnd;
  EXPECT_EQ(Import(Smf(1, 480, {conductor, bass, programOnly, lead})),
            "p 9 100 1 1 0 0 \no 1 0\ni 0 vol 100 pan 64 ch 0 0:8:33 Bass\ni 2 vol 64 pan 64 ch 1 0:0:16 -\n" +
                kNoSolo + "t 0 0 15\ne 0 40 0 100 2 0\ne 1 40 0 80 2 0\nt 2 0 15\ne 0 67 64 112 0 64\n" +
                "left out: 1 tempo change (a project has one tempo)\n"
                "imported 3 notes on 2 tracks, 1 session (1 bar), 100 BPM\n");

  // SMPTE time, 25 frames of 40 ticks: 1000 ticks a second, taken at 120 BPM whatever the
  // tempo event says; 8 steps a quarter.
  const std::string smpte = B({0, 0xFF, 0x51, 3, 0x0F, 0x42, 0x40, 0, 0x90, 60, 100, 0x81, 0x7A, 0x80, 60, 0}) + kEnd;
  EXPECT_EQ(Import(Smf(0, 0xE728, {smpte}), 8),
            "p 9 120 1 1 0 0 \no 1 0\ni 0 vol 100 pan 64 ch 0 0:0:0 -\n" + kNoSolo +
                "t 0 0 15\ne 0 60 0 100 4 0\nimported 1 note on 1 track, 1 session (1 bar), 120 BPM\n");
}

// Thirteen tracks with notes, one more than a project has: the one with the fewest notes is
// left out and the others are numbered in file order; also a note after the 12th session and
// two notes of one key in one step.
TEST(MidiImportTest, WhatDoesNotFitIsLeftOutAndReported) {
  StandardMidiFile smf(96);  // 24 ticks a step
  smf.End(smf.AddTrack(), 0);
  for (int c = 0; c < 13; ++c) {
    const int t = smf.AddTrack();
    for (int n = 0; n <= c; ++n) {
      smf.Channel(t, n * 24, 0x90, c, 60, 100);
      smf.Channel(t, n * 24 + 12, 0x90, c, 60, 0);
    }
    if (c == 12) {
      for (uint32_t tick : {300u, 306u, 12u * 256 * 24}) {
        smf.Channel(t, tick, 0x90, c, 70, 100);
        smf.Channel(t, tick + 1, 0x80, c, 70, 0);
      }
    }
    smf.End(t, 12 * 256 * 24 + 1);
  }
  std::string text, messages;
  ASSERT_TRUE(ImportMidiFile(smf.Bytes(), MidiImportOptions{}, text, messages));
  EXPECT_EQ(messages,
            "left out: 1 note of track 2, channel 1 (a project has 12 tracks)\n"
            "left out: 1 note after the 12th session (bar 192)\n"
            "merged: 1 note of a key that started again in one step\n"
            "imported 91 notes on 12 tracks, 1 session (1 bar), 120 BPM\n");
  EXPECT_NE(text.find("t 0 0 15\ne 0 60 0 100 0 64\ne 1 60 0 100 0 64\nt 1 0 15\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\ne 12 70 96 100 0 5\n"), std::string::npos) << text;

  // Equally busy: the last in file order is left out.
  StandardMidiFile even(96);
  for (int c = 0; c < 13; ++c) {
    const int t = even.AddTrack();
    even.Channel(t, 0, 0x90, c, 60, 100);
    even.Channel(t, 12, 0x80, c, 60, 0);
    even.End(t, 12);
  }
  messages.clear();
  ASSERT_TRUE(ImportMidiFile(even.Bytes(), MidiImportOptions{}, text, messages));
  EXPECT_EQ(messages.rfind("left out: 1 note of track 13, channel 13 (", 0), 0u) << messages;
}

TEST(MidiImportTest, DamagedFilesAreRefusedWithAReason) {
  const std::string note = B({0, 0x90, 60, 100, 10, 0x80, 60, 0});
  const struct {
    std::string bytes, reason;
  } cases[] = {
      {"this is a text file, not a song", "error: not a standard MIDI file"},
      {"MThd" + BigEndian(2, 4) + kFormat0.substr(8), "error: header chunk of 2 bytes"},
      {kFormat0.substr(0, kFormat0.size() - 3), "error: chunk 0 is truncated: 45 bytes declared, 42 present"},
      {Smf(1, 96, {note + kEnd}, 2), "error: file ends after 1 of 2 track chunks"},
      {Smf(0, 96, {B({0, 60, 100}) + kEnd}), "error: track 0: data byte without a status at byte 1"},
      {Smf(0, 96, {B({0xFF, 0xFF, 0xFF, 0xFF, 0x7F}) + note + kEnd}), "error: track 0: number longer than four bytes"},
      {Smf(0, 96, {note + B({0, 0xFF, 0x01, 0x8F, 0xFF, 0xFF, 0x7F})}), "error: track 0: event length beyond"},
      {Smf(0, 96, {note + B({0, 0xF8}) + kEnd}), "error: track 0: system message"},
      {Smf(0, 96, {B({0, 0x90, 60})}), "error: track 0: the event at byte 2 is cut off"},
      {Smf(0, 0xE928, {note + kEnd}), "error: impossible SMPTE division (23 frames"},
      {Smf(0, 0, {note + kEnd}), "error: division of 0"},
      {Smf(2, 96, {note + kEnd}), "error: format 2"},
      {Smf(1, 96, {B({0, 0xFF, 0x51, 3, 7, 0xA1, 0x20}) + kEnd}), "error: the file holds no notes"},
  };
  for (const auto& c : cases) {
    std::string text = "untouched", messages;
    EXPECT_FALSE(ImportMidiFile(c.bytes, MidiImportOptions{}, text, messages)) << c.reason;
    EXPECT_EQ(messages.rfind(c.reason, 0), 0u) << messages;
    EXPECT_EQ(text, "untouched");
  }
  MidiFileData reused, fresh;
  std::string error;
  EXPECT_TRUE(reused.Read(Smf(1, 96, {note + kEnd, kEnd}), error) && reused.Read(kFormat0, error));
  EXPECT_TRUE(fresh.Read(kFormat0, error));
  ASSERT_EQ(reused.tracks.size(), 1u);
  EXPECT_EQ(reused.tracks[0].size(), fresh.tracks[0].size());
  // Whatever bytes are damaged, the import makes a project or says why.
  std::mt19937 rng(7);
  for (int i = 0; i < 5000; ++i) {
    std::string bytes = kFormat0, text, messages;
    for (int k = 1 + rng() % 3; k > 0; --k) bytes[14 + rng() % (bytes.size() - 14)] = static_cast<char>(rng());
    if (rng() % 4 == 0) bytes.resize(rng() % bytes.size());
    const bool ok = ImportMidiFile(bytes, MidiImportOptions{}, text, messages);
    ASSERT_EQ(ok ? text.rfind("p 9 ", 0) : messages.rfind("error: ", 0), 0u) << i << ": " << messages;
  }
}

// The program: nothing is written on an error, an existing project is replaced only with -f.
TEST(MidiImportTest, TheProgramWritesNewProjectsOnly) {
  const std::string dir = MakeTempDir("midi-import-program"), log = MakeTempDir("midi-import-log") + "/out";
  WriteFile(dir + "/song.mid", kFormat0);
  WriteFile(dir + "/broken.mid", kFormat0.substr(0, 30));
  auto run = [&](std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), BuildPath("bin/zembrovane-import"));
    return ChildProcess(arguments, dir, log).Wait();
  };
  EXPECT_EQ(run({"broken.mid", "out"}), 1);
  EXPECT_EQ(ReadFile(log).rfind("error: chunk 0 is truncated", 0), 0u) << ReadFile(log);
  EXPECT_EQ(run({"missing.mid", "out"}), 1);
  EXPECT_EQ(run({"-q", "0", "song.mid", "out"}), 255);
  EXPECT_EQ(run({"song.mid"}), 255);
  EXPECT_FALSE(fs::exists(dir + "/out.dat"));

  std::string expected, messages;
  ASSERT_TRUE(ImportMidiFile(kFormat0, MidiImportOptions{}, expected, messages));
  EXPECT_EQ(run({"song.mid", "out"}), 0) << ReadFile(log);
  EXPECT_EQ(ReadFile(log), messages + "wrote ./out.dat\n");
  EXPECT_EQ(ReadFile(dir + "/out.dat"), expected);
  WriteFile(dir + "/out.dat", "mine");
  EXPECT_EQ(run({"song.mid", "out"}), 1);
  EXPECT_EQ(ReadFile(log), messages + "error: ./out.dat exists; -f replaces it\n");
  EXPECT_EQ(ReadFile(dir + "/out.dat"), "mine");
  EXPECT_EQ(run({"-f", "song.mid", "out"}), 0) << ReadFile(log);
  EXPECT_EQ(ReadFile(dir + "/out.dat"), expected);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 3);
}

// The channel events (and the conductor's tempo) of each track chunk with notes.
std::vector<std::string> EventsOfTracksWithNotes(const std::string& bytes) {
  MidiFileData file;
  std::string error;
  EXPECT_TRUE(file.Read(bytes, error)) << error;
  std::vector<std::string> out;
  for (const std::vector<MidiEvent>& track : file.tracks) {
    std::string events;
    bool notes = false;
    for (const MidiEvent& e : track) {
      if (e.status == 0xFF && e.data1 != 0x51) continue;
      notes = notes || (e.status & 0xF0) == 0x90;
      events += std::to_string(e.tick) + ":" + std::to_string(e.status) + ":" + std::to_string(e.data1) + ":" +
                std::to_string(e.data2) + (e.status == 0xFF ? ":" + e.data : "") + " ";
    }
    out.push_back(notes || out.empty() ? events : "");
  }
  return out;
}

TEST(MidiImportTest, ExportedSongsComeBackTheSame) {
  SFOutput& synth = SharedSynth();
  const std::string dir = MakeTempDir("midi-round-trip");
  const auto& banks = (*synth.GetSFInstruments())[0].banks;
  for (uint32_t seed = 1; seed <= 30; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 rng(seed);
    auto uniform = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    ProjectRig original(&synth);
    original.player->SetBPM(uniform(4, 255));  // a standard MIDI file cannot say slower
    for (int s = 0; s < kSessions; ++s) {
      if (uniform(0, 5) == 0) original.store->SetSingle(s, uniform(0, 11));
      for (int t = 0; t < kTracks; ++t) {
        original.store->SetMuted(s, t, uniform(0, 5) == 0);
        const int start = uniform(0, 200);
        original.store->SetStartEndSteps(s, t, start, uniform(start, 255));
        for (int n = uniform(0, 12); n > 0; --n) {
          original.Add(s, t, uniform(0, 255), uniform(0, 127), uniform(0, 127), uniform(0, 255), uniform(0, 255),
                       uniform(1, 127));
        }
      }
    }
    Song song;
    for (int i = uniform(1, 12); i > 0; --i) {
      const int s = uniform(0, 11);
      song.push_back({s, original.store->GetSessionLength(s)});
    }
    original.player->SetSong(song);
    for (int t = 0; t < kTracks; ++t) {
      const int bank = uniform(0, static_cast<int>(banks.size()) - 1);
      ASSERT_TRUE(synth.SetInstrumentFromIndex(t, 0, bank, uniform(0, static_cast<int>(banks[bank].progs.size()) - 1)));
      original.store->SetTrackVolume(t, uniform(0, 127));
      original.store->SetTrackPan(t, uniform(0, 127));
    }
    ASSERT_TRUE(original.player->ExportToMidi(dir + "/a.asc", false, false, false, false));
    const std::string exported = ReadFile(dir + "/a.mid");

    std::string text, messages;
    ASSERT_TRUE(ImportMidiFile(exported, MidiImportOptions{}, text, messages)) << messages;
    EXPECT_EQ(messages.find("left out"), std::string::npos) << messages;
    WriteFile(dir + "/b.dat", text);
    ProjectRig imported(&synth);
    ASSERT_TRUE(imported.player->LoadProject(dir + "/b.dat", false));
    ASSERT_TRUE(imported.player->ExportToMidi(dir + "/b.asc", false, false, false, false));
    EXPECT_EQ(EventsOfTracksWithNotes(ReadFile(dir + "/b.mid")), EventsOfTracksWithNotes(exported));
  }
}

}  // namespace
