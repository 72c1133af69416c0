// SPDX-License-Identifier: LGPL-2.1-or-later
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <sstream>

#include "project/MidiFileData.h"
#include "project/MidiImport.h"
#include "project/StandardMidiFile.h"
#include "tests/project/ProjectTestSupport.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TestServers.h"

using namespace zs::test;
namespace fs = std::filesystem;

namespace {

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
