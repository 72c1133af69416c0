// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once
// The sequencer started on the demo song in a scratch folder, without an audio device, as the
// editor benchmarks measure it. ZS_SOURCE_DIR and ZS_BUILD_DIR come from the build.
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>

#include "editor/Sequencer.h"

inline std::unique_ptr<Sequencer> StartSequencerOnDemo(const std::string& tag) {
  namespace fs = std::filesystem;
  unsetenv("ALSA_CONFIG_PATH");  // no audio device: the synthesizer renders nowhere
  const fs::path dir = fs::temp_directory_path() / ("zs-bench-" + tag + "-" + std::to_string(getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  fs::copy_file(fs::path(ZS_SOURCE_DIR) / "demo/soundfonts.dat", dir / "soundfonts.dat");
  fs::copy_file(fs::path(ZS_SOURCE_DIR) / "demo/demo.dat", dir / "demo.dat");
  fs::current_path(dir);
  auto seq = std::make_unique<Sequencer>(std::string(ZS_BUILD_DIR) + "/bin/", "demo", "", "", "", false, false, 128,
                                         Color{0.13, 0.13, 0.13, 1}, false, "", false, "", false, false, true, 127);
  if (!seq->Init(nullptr)) return nullptr;
  return seq;
}
