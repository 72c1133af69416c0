// SPDX-License-Identifier: LGPL-2.1-or-later
// Sequencer: keys of the instruments subpage (soundfont, bank and program of the track).
#include <algorithm>
#include <cmath>

#include "editor/Sequencer.h"
#include "player/Player.h"
#include "sound/SFOutput.h"

namespace {

enum InstrumentField { FieldSoundfont = 0, FieldBank, FieldProgram };

}  // namespace

void Sequencer::HandleInstruments(const Controls& c) {
  const TrackInstrument current = synth->GetInstrument(track);
  const int indexes[3] = {current.soundfont, current.bankIndex, current.programIndex};
  const int selected = indexes[instrumentCursor];
  // Program lists are long, so their page keys move by ten.
  const int pageStep = instrumentCursor == FieldProgram ? 10 : 1;

  if (c.leftCount > 0) {
    instrumentCursor = std::max(0, instrumentCursor - c.leftCount);
  } else if (c.rightCount > 0) {
    instrumentCursor = std::min(2, instrumentCursor + c.rightCount);
  } else if (c.downCount > 0) {
    ChangeInstrumentIndex(instrumentCursor, selected + c.downCount);
  } else if (c.upCount > 0) {
    ChangeInstrumentIndex(instrumentCursor, selected - c.upCount);
  } else if (c.pageDownCount > 0) {
    ChangeInstrumentIndex(instrumentCursor, selected + pageStep);
  } else if (c.pageUpCount > 0) {
    ChangeInstrumentIndex(instrumentCursor, selected - pageStep);
  }
}

// Moves one of the track's three instrument indexes to `index`, clamped to its list.
void Sequencer::ChangeInstrumentIndex(int field, int index) {
  const TrackInstrument current = synth->GetInstrument(track);
  const std::vector<Instruments>& fonts = *instruments;
  const int font = current.soundfont;
  int count = 0;
  if (field == FieldSoundfont) {
    count = static_cast<int>(fonts.size());
  } else if (font >= 0 && font < static_cast<int>(fonts.size())) {
    const std::vector<Bank>& banks = fonts[font].banks;
    if (field == FieldBank) {
      count = static_cast<int>(banks.size());
    } else if (current.bankIndex >= 0 && current.bankIndex < static_cast<int>(banks.size())) {
      count = static_cast<int>(banks[current.bankIndex].progs.size());
    }
  }
  if (count == 0) return;
  index = std::clamp(index, 0, count - 1);

  if (field == FieldSoundfont) {
    if (index == font) return;
    player->Flush(track);
    synth->SetInstrumentFromIndex(track, index, 0, 0);
    // The synthesizer keeps one set of effects per soundfont; the track takes its new one's.
    double room, damping, width, level;
    synth->GetReverb(track, room, damping, width, level);
    sessions->SetTrackReverb(track, static_cast<int>(std::floor(room * 100)), static_cast<int>(std::floor(damping * 100)),
                             static_cast<int>(std::floor(width * 100)), static_cast<int>(std::floor(level * 100)));
    int voices, type;
    double chorusLevel, speed, depth;
    synth->GetChorus(track, voices, chorusLevel, speed, depth, type);
    sessions->SetTrackChorus(track, voices, static_cast<int>(std::floor(chorusLevel * 10)),
                             static_cast<int>(std::floor(speed * 10)), static_cast<int>(std::floor(depth)), type);
    double external[kExternalParams];
    synth->GetExternalReverbParams(track, external);
    sessions->SetTrackExternalReverb(track, external);
  } else if (field == FieldBank) {
    if (index != current.bankIndex) synth->SetInstrumentFromIndex(track, font, index, 0);
  } else if (index != current.programIndex) {
    synth->SetInstrumentFromIndex(track, font, current.bankIndex, index);
  }
}
