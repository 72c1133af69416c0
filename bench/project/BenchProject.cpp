// SPDX-License-Identifier: LGPL-2.1-or-later
// Saving and loading a dense project (12 sessions x 12 tracks x 256 steps, 4 notes in every
// step) and exporting a 15-part song over it, with the real synthesizer behind the player.
// Files go to a folder beside the benchmark program, on the same disk as the build, so the
// save and export figures include the fsync of the atomic write.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "player/Player.h"
#include "sound/SFOutput.h"

namespace {

namespace fs = std::filesystem;

struct Dense {
  SFOutput synth;
  SessionsStore store;
  std::unique_ptr<Player> player;
  std::string dir;
};

std::string ProgramDirectory() {
  std::error_code error;
  fs::path exe = fs::read_symlink("/proc/self/exe", error);
  return exe.parent_path().string() + "/";
}

Dense& Project() {
  static Dense* dense = [] {
    auto* d = new Dense();
    fflush(stdout);
    int saved = dup(1);
    int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    bool ok = d->synth.Init(ProgramDirectory() + "../bin/", {"/usr/share/sounds/sf2/TimGM6mb.sf2"}, {0.2}, 128,
                            false, "");
    fflush(stdout);
    dup2(saved, 1);
    close(null);
    close(saved);
    if (!ok) fprintf(stderr, "synthesizer failed to start\n");
    d->player = std::make_unique<Player>(&d->store, &d->synth, nullptr, nullptr, false, false, true);
    d->dir = ProgramDirectory() + "project-bench";
    fs::create_directories(d->dir);
    for (int t = 0; t < kTracks; ++t) d->synth.SetInstrument(t, 0, 0, t);
    for (int s = 0; s < kSessions; ++s) {
      for (int t = 0; t < kTracks; ++t) {
        d->store.SetStartEndSteps(s, t, 0, kSteps - 1);
        for (int step = 0; step < kSteps; ++step) {
          std::vector<Note> notes(4);
          for (int k = 0; k < 4; ++k) {
            notes[k].note = static_cast<uint8_t>(36 + (step * 7 + k * 5 + t) % 60);
            notes[k].offset = static_cast<uint8_t>((k * 32 + step) % 128);
            notes[k].velocity = static_cast<uint8_t>(60 + k * 10);
            notes[k].gate = static_cast<uint8_t>(k % 3);
            notes[k].gateFraction = static_cast<uint8_t>((step * 3) % 128);
          }
          d->store.SetNotes(s, t, step, notes);
        }
      }
    }
    Song song;
    for (int i = 0; i < 15; ++i) song.push_back(SongPart{i % kSessions, kSteps});
    d->player->SetSong(song);
    return d;
  }();
  return *dense;
}

void BM_SaveDenseProject(benchmark::State& state) {
  Dense& d = Project();
  const std::string file = d.dir + "/dense.dat";
  for (auto _ : state) {
    if (!d.player->SaveProject(file)) state.SkipWithError("save failed");
  }
  state.counters["file_bytes"] = static_cast<double>(fs::file_size(file));
}
BENCHMARK(BM_SaveDenseProject)->Unit(benchmark::kMillisecond);

void BM_LoadDenseProject(benchmark::State& state) {
  Dense& d = Project();
  const std::string file = d.dir + "/dense-load.dat";
  if (!d.player->SaveProject(file)) state.SkipWithError("save failed");
  for (auto _ : state) {
    if (!d.player->LoadProject(file, false)) state.SkipWithError("load failed");
  }
  state.counters["file_bytes"] = static_cast<double>(fs::file_size(file));
}
BENCHMARK(BM_LoadDenseProject)->Unit(benchmark::kMillisecond);

void BM_ExportSongOf15Parts(benchmark::State& state) {
  Dense& d = Project();
  const std::string file = d.dir + "/song.asc";
  for (auto _ : state) {
    if (!d.player->ExportToMidi(file, true, true, true, true)) state.SkipWithError("export failed");
  }
  state.counters["asc_bytes"] = static_cast<double>(fs::file_size(file));
  state.counters["mid_bytes"] = static_cast<double>(fs::file_size(d.dir + "/song.mid"));
}
BENCHMARK(BM_ExportSongOf15Parts)->Unit(benchmark::kMillisecond);

}  // namespace
