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

// A SoundFont 2 file whose presets, in the given order, all play one looped 441 Hz sine (root key
// 69) over the whole keyboard.
bool WriteSf2(const std::string& path, const std::vector<Sf2Preset>& presets);

}  // namespace zs::test
