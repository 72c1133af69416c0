// SPDX-License-Identifier: LGPL-2.1-or-later
// Importing a standard MIDI file of 10,000 notes: format 1, 480 ticks per quarter, a
// conductor track with tempo changes and eight tracks of 1,250 notes each (two-note chords,
// a drum track on channel 10), over 139 bars. In process (the reader,
// the model and the project text) and as the program a user runs, whose peak memory the
// kernel reports (ru_maxrss of the child).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "project/MidiImport.h"
#include "project/StandardMidiFile.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

constexpr int kNotes = 10000;
constexpr int kTracks = 8;

std::string ProgramDirectory() {
  std::error_code error;
  return fs::read_symlink("/proc/self/exe", error).parent_path().string() + "/";
}

const std::string& TenThousandNotes() {
  static const std::string bytes = [] {
    StandardMidiFile smf(480);
    const int conductor = smf.AddTrack();
    for (uint32_t bar = 0; bar < 150; bar += 10) {
      const int us = 500000 + static_cast<int>(bar) * 100;
      const char tempo[3] = {static_cast<char>(us >> 16), static_cast<char>(us >> 8), static_cast<char>(us)};
      smf.Meta(conductor, bar * 1920, 0x51, std::string_view(tempo, 3));
    }
    smf.End(conductor, 150 * 1920);
    for (int t = 0; t < kTracks; ++t) {
      const int track = smf.AddTrack();
      const int channel = t == kTracks - 1 ? 9 : t;
      smf.Meta(track, 0, 0x03, "Track " + std::to_string(t + 1));
      smf.Channel(track, 0, 0xC0, channel, t * 8);
      // Per third of a bar a two-note chord and, an eighth later, a single note, lasting up to
      // three eighths; the note-offs sorted in between.
      std::vector<std::tuple<uint32_t, int, int>> events;  // tick, key, velocity (0: off)
      for (int i = 0; i < kNotes / kTracks; ++i) {
        const uint32_t on = static_cast<uint32_t>(i / 3) * 640 + (i % 3 == 2 ? 240 : 0);
        const int key = 36 + (i * 7 + t * 5) % 48;
        events.emplace_back(on, key, 40 + i % 80);
        events.emplace_back(on + 30 + (i * 37) % 700, key, 0);
      }
      std::stable_sort(events.begin(), events.end(),
                       [](const auto& a, const auto& b) { return std::get<0>(a) < std::get<0>(b); });
      for (const auto& [tick, key, velocity] : events) smf.Channel(track, tick, 0x90, channel, key, velocity);
      smf.End(track, std::get<0>(events.back()));
    }
    return smf.Bytes();
  }();
  return bytes;
}

void BM_ImportInProcess(benchmark::State& state) {
  const std::string& bytes = TenThousandNotes();
  std::string text, messages;
  for (auto _ : state) {
    if (!ImportMidiFile(bytes, MidiImportOptions{}, text, messages)) state.SkipWithError(messages.c_str());
  }
  state.counters["file_bytes"] = static_cast<double>(bytes.size());
  state.counters["project_bytes"] = static_cast<double>(text.size());
  const size_t summary = messages.rfind('\n', messages.size() - 2);  // the last line, without its end
  state.SetLabel(messages.substr(summary == std::string::npos ? 0 : summary + 1, messages.size() - summary - 2));
}
BENCHMARK(BM_ImportInProcess)->Unit(benchmark::kMillisecond);

void BM_ImportProgram(benchmark::State& state) {
  const std::string dir = ProgramDirectory() + "import-bench";
  fs::create_directories(dir);
  const std::string input = dir + "/ten-thousand.mid";
  std::ofstream(input, std::ios::binary) << TenThousandNotes();
  const std::string program = ProgramDirectory() + "../bin/zembrovane-import";
  const std::string output = dir.substr(ProgramDirectory().size()) + "/ten-thousand";
  long peakKb = 0;
  for (auto _ : state) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    // The output prefix is relative: the program writes into its working folder.
    posix_spawn_file_actions_addchdir_np(&actions, ProgramDirectory().c_str());
    char* argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>("-f"), const_cast<char*>(input.c_str()),
                    const_cast<char*>(output.c_str()), nullptr};
    pid_t pid;
    if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ) != 0) {
      state.SkipWithError("cannot start zembrovane-import");
      break;
    }
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) state.SkipWithError("zembrovane-import failed");
    peakKb = std::max(peakKb, usage.ru_maxrss);
  }
  state.counters["peak_rss_kb"] = static_cast<double>(peakKb);
}
BENCHMARK(BM_ImportProgram)->Unit(benchmark::kMillisecond);

}  // namespace
