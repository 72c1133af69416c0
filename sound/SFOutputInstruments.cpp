// SPDX-License-Identifier: LGPL-2.1-or-later
#include <cstdio>

#include "sound/SFOutput.h"

void SFOutput::BuildInstrumentLists() {
  sfInstruments.clear();
  for (int i = 0; i < numSoundfonts; ++i) {
    printf("synth %d number of loaded soundfonts = %d\n", i, fluid_synth_sfcount(synths[i]));
    Instruments instruments;
    fluid_sfont_t* sfont = fluid_synth_get_sfont(synths[i], 0);
    if (sfont) {
      const char* path = fluid_sfont_get_name(sfont);
      instruments.name = path ? path : "";
      size_t slash = instruments.name.rfind('/');
      if (slash != std::string::npos) instruments.name.erase(0, slash + 1);
      printf("soundfont name = >%s<\n", instruments.name.c_str());
    }
    if (missing[i]) instruments.name = missingNames[i];

    // Consecutive presets of one bank form a Bank. A soundfont without presets still gets
    // one Bank numbered -1 without programs, so every list has at least one bank.
    int currentBank = -1;
    std::vector<Prog> progs;
    if (sfont) {
      fluid_sfont_iteration_start(sfont);
      while (fluid_preset_t* preset = fluid_sfont_iteration_next(sfont)) {
        int bank = fluid_preset_get_banknum(preset);
        int prog = fluid_preset_get_num(preset);
        const char* name = fluid_preset_get_name(preset);
        if (!name) name = "";
        printf("bank=%d, prog=%d, name=>%s<\n", bank, prog, name);
        if (bank != currentBank && currentBank != -1) {
          instruments.banks.push_back(Bank{currentBank, std::move(progs)});
          progs.clear();
        }
        progs.push_back(Prog{prog, name});
        currentBank = bank;
      }
    }
    instruments.banks.push_back(Bank{currentBank, std::move(progs)});
    sfInstruments.push_back(std::move(instruments));
  }
}

bool SFOutput::SetInstrument(int track, int soundfont, int bank, int program) {
  int channel = TrackChannel(track);
  if (channel < 0) {
    printf("error: track %d out of range\n", track);
    return false;
  }
  if (soundfont < 0 || soundfont >= kSoundfontSlots || !synths[soundfont] ||
      soundfont >= static_cast<int>(sfInstruments.size())) {
    return false;
  }
  TrackInstrument& record = trackInstruments[track];
  bool sameSoundfont = record.soundfont == soundfont;
  record.soundfont = soundfont;
  record.bank = bank;
  record.program = program;
  if (!sameSoundfont || missing[soundfont]) {
    // Indexes into another soundfont's lists would point at the wrong or no instrument.
    record.bankIndex = -1;
    record.programIndex = -1;
  }
  // A missing soundfont has no list to check against: the reference is kept as it is, to be
  // saved unchanged, and the track stays silent.
  if (missing[soundfont]) return true;

  // Banks and programs come in ascending order, so the search stops at the first larger one.
  const std::vector<Bank>& banks = sfInstruments[soundfont].banks;
  int bankIndex = -1;
  for (size_t b = 0; b < banks.size() && banks[b].bank <= bank; ++b) {
    if (banks[b].bank == bank) {
      bankIndex = static_cast<int>(b);
      break;
    }
  }
  if (bankIndex < 0) return false;
  const std::vector<Prog>& progs = banks[bankIndex].progs;
  int programIndex = -1;
  for (size_t p = 0; p < progs.size() && progs[p].prog <= program; ++p) {
    if (progs[p].prog == program) {
      programIndex = static_cast<int>(p);
      break;
    }
  }
  if (programIndex < 0) return false;

  record.bankIndex = bankIndex;
  record.programIndex = programIndex;
  fluid_synth_bank_select(synths[soundfont], channel, bank);
  fluid_synth_program_change(synths[soundfont], channel, program);
  return true;
}

bool SFOutput::SetInstrumentFromIndex(int track, int soundfont, int bankIndex, int programIndex) {
  if (soundfont < 0 || soundfont >= static_cast<int>(sfInstruments.size())) return false;
  const std::vector<Bank>& banks = sfInstruments[soundfont].banks;
  if (bankIndex < 0 || bankIndex >= static_cast<int>(banks.size())) return false;
  const std::vector<Prog>& progs = banks[bankIndex].progs;
  if (programIndex < 0 || programIndex >= static_cast<int>(progs.size())) return false;
  if (!synths[soundfont]) return false;
  return SetInstrument(track, soundfont, banks[bankIndex].bank, progs[programIndex].prog);
}

TrackInstrument SFOutput::GetInstrument(int track) const {
  if (track < 0 || track >= kTracks) {
    printf("error: track %d out of range\n", track);
    return TrackInstrument{0, -1, -1, -1, -1};
  }
  return trackInstruments[track];
}

TrackInstrument SFOutput::GetDefaultInstrument() const {
  for (size_t s = 0; s < sfInstruments.size(); ++s) {
    const std::vector<Bank>& banks = sfInstruments[s].banks;
    for (size_t b = 0; b < banks.size(); ++b) {
      if (banks[b].progs.empty()) continue;
      return TrackInstrument{static_cast<int32_t>(s), static_cast<int32_t>(b), 0, banks[b].bank,
                             banks[b].progs[0].prog};
    }
  }
  return TrackInstrument{0, 0, 0, 0, 0};
}
