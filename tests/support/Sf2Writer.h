// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once
#include <string>
#include <vector>

namespace zs::test {

struct Sf2Preset {
  std::string name;  // at most 19 characters are kept
  int bank = 0;
  int program = 0;
};

// Writes a minimal SoundFont 2 file: one looped sine sample (441 Hz at 44100 Hz, root key 69)
// in one instrument, and every preset playing that instrument over the whole keyboard.
// Presets are written in the given order; an empty list gives a soundfont without presets.
// Returns false when the file cannot be written.
bool WriteSf2(const std::string& path, const std::vector<Sf2Preset>& presets);

}  // namespace zs::test
