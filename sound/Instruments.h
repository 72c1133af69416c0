// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// One program (preset) of a bank, as the soundfont names it.
struct Prog {
  int32_t prog = 0;
  std::string name;
};

// The programs of one bank in the order the soundfont's preset iteration returned them.
struct Bank {
  int32_t bank = 0;
  std::vector<Prog> progs;
};

// The instrument list of one soundfont: its file name without directories and its banks in
// the order they were first met (ascending for fluidsynth's own soundfont loader).
struct Instruments {
  std::string name;
  std::vector<Bank> banks;
};

// The instrument of one track. bankIndex and programIndex index the soundfont's Instruments;
// -1 means no instrument has been chosen on that soundfont yet.
struct TrackInstrument {
  int32_t soundfont = 0;
  int32_t bankIndex = 0;
  int32_t programIndex = 0;
  int32_t bank = 0;
  int32_t program = 0;
  bool operator==(const TrackInstrument&) const = default;
};
