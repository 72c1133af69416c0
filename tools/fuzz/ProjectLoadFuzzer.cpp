// SPDX-License-Identifier: LGPL-2.1-or-later
// libFuzzer target: any bytes as a project file. After every load the song model must hold
// only values the editor can produce, and saving the result, loading that file and saving
// again must give the same bytes. Built and run by run-project-fuzz.sh.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "player/Player.h"
#include "sound/SFOutput.h"

namespace {

struct Rig {
  SFOutput synth;
  SessionsStore store;
  Player* player = nullptr;
  std::string dir;
};

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

[[noreturn]] void Fail(const char* what, int a = 0, int b = 0) {
  fprintf(stderr, "project fuzz: %s (%d, %d)\n", what, a, b);
  abort();
}

void CheckInvariants(const Player& player, const SessionsStore& store) {
  if (player.GetBPM() < 1 || player.GetBPM() > 255) Fail("tempo", player.GetBPM());
  ScaleInfo scale = player.GetScale();
  if (scale.scale < 0 || scale.scale > 15 || scale.base < 0 || scale.base > 11) Fail("scale", scale.scale, scale.base);
  Song song = player.GetSong();
  if (song.size() > 15) Fail("song size", static_cast<int>(song.size()));
  for (const SongPart& part : song) {
    if (part.session < 0 || part.session >= kSessions) Fail("song session", part.session);
    if (part.length != store.GetSessionLength(part.session)) Fail("song length", part.length);
  }
  std::vector<Note> notes;
  for (int s = 0; s < kSessions; ++s) {
    if (store.GetSingle(s) < -1 || store.GetSingle(s) >= kTracks) Fail("solo", s, store.GetSingle(s));
    for (int t = 0; t < kTracks; ++t) {
      int start, end;
      store.GetStartEndSteps(s, t, start, end);
      if (start < 0 || start > end || end >= kSteps) Fail("range", start, end);
      for (int step = 0; step < kSteps; ++step) {
        if (store.IsEmpty(s, t, step)) continue;
        store.GetNotes(s, t, step, notes);
        std::set<int> keys;
        for (const Note& n : notes) {
          if (n.note > 127 || n.offset > 127 || n.velocity > 127) Fail("note", n.note, n.offset);
          if (!keys.insert(n.note).second) Fail("duplicate key", n.note);
        }
      }
    }
  }
  for (int t = 0; t < kTracks; ++t) {
    auto in = [](int v, int lo, int hi) { return lo <= v && v <= hi; };
    if (!in(store.GetTrackVelocity(t), 0, 127) || !in(store.GetTrackVolume(t), 0, 127) ||
        !in(store.GetTrackPan(t), 0, 127) || !in(store.GetTrackPitch(t), 0, 127) ||
        !in(store.GetTrackChannel(t), 0, 15) || !in(store.GetTrackOutput(t), 0, 2) ||
        !in(store.GetTrackLayer(t), 0, 11)) {
      Fail("track attributes", t);
    }
    int r[4], c[5];
    store.GetTrackReverb(t, r[0], r[1], r[2], r[3]);
    store.GetTrackChorus(t, c[0], c[1], c[2], c[3], c[4]);
    for (int v : r) {
      if (!in(v, 0, 100)) Fail("reverb", t, v);
    }
    if (!in(c[0], 0, 99) || !in(c[1], 0, 100) || !in(c[2], 1, 50) || !in(c[3], 0, 21) || !in(c[4], 0, 1)) {
      Fail("chorus", t);
    }
  }
}

Rig* MakeRig() {
  // No sound device: the synthesizers run without audio drivers.
  const char* alsa = getenv("ZS_FUZZ_ALSA_CONFIG");
  if (alsa) setenv("ALSA_CONFIG_PATH", alsa, 1);
  auto* rig = new Rig();
  const char* font = getenv("ZS_FUZZ_SOUNDFONT");
  if (!rig->synth.Init("./", {font ? font : "/usr/share/sounds/sf2/TimGM6mb.sf2"}, {0.2}, 128, false, "")) {
    Fail("synthesizer");
  }
  rig->player = new Player(&rig->store, &rig->synth, nullptr, nullptr, false, false, true);
  const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  rig->dir = std::string(base) + "/zs-project-fuzz-" + std::to_string(getpid());
  mkdir(rig->dir.c_str(), 0700);
  return rig;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Rig* rig = MakeRig();
  const std::string input = rig->dir + "/input.dat";
  const std::string first = rig->dir + "/first.dat";
  const std::string second = rig->dir + "/second.dat";
  FILE* f = fopen(input.c_str(), "wb");
  if (!f) Fail("cannot write the input file");
  if (size > 0) fwrite(data, 1, size, f);
  fclose(f);

  // Tracks the file does not name keep their instrument and the soundfont its effects, as in
  // the program; start every input from the same synthesizer state so that a finding repeats.
  for (int t = 0; t < kTracks; ++t) {
    rig->synth.SetInstrument(t, 0, 0, 0);
    rig->synth.SetReverb(t, 0.2, 0.0, 0.5, 0.9);
    rig->synth.SetChorus(t, 3, 2.0, 0.3, 8.0, 0);
  }

  // Settings reach fluidsynth's mixer through a queue that rendering empties; in the program
  // the audio thread does that.
  float left[64], right[64];
  rig->synth.RenderBlock(0, 64, left, right);

  // Both ways of treating a missing instrument, chosen by the input itself.
  const bool selectDefault = size > 0 && (data[size - 1] & 1);
  const bool loaded = rig->player->LoadProject(input, selectDefault);
  CheckInvariants(*rig->player, rig->store);

  // A track whose instrument could not be set keeps asking for it (SFOutput keeps the
  // requested bank and program), so after a failed load the saved file fails the same way.
  if (!rig->player->SaveProject(first)) Fail("save");
  if (!loaded) return 0;
  if (!rig->player->LoadProject(first, false)) Fail("reload of a saved project");
  CheckInvariants(*rig->player, rig->store);
  if (!rig->player->SaveProject(second)) Fail("second save");
  if (ReadAll(first) != ReadAll(second)) Fail("second save differs");
  return 0;
}
