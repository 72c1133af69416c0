// SPDX-License-Identifier: LGPL-2.1-or-later
// Sequencer: the instruments subpage's panel (soundfont, bank and program lists) and the
// three-row list it shares with the scales panel.
#include <algorithm>
#include <cctype>

#include "editor/Sequencer.h"
#include "editor/SequencerColors.h"
#include "sound/SFOutput.h"

void Sequencer::PrintThreeRowList(QuadList& quads, const std::vector<std::string>& entries, int current, double x) {
  if (current < 0 || current >= static_cast<int>(entries.size())) return;
  if (current > 0) PrintText(quads, entries[current - 1], x, 65, 1.5, PetrolBlueColor);
  PrintText(quads, entries[current], x, 35, 1.5, kTextColor);
  if (current + 1 < static_cast<int>(entries.size())) PrintText(quads, entries[current + 1], x, 5, 1.5, PetrolBlueColor);
}

namespace {

// The whole row is cut to what fits before the next list at scale 1.5: 8 characters for a
// soundfont, 18 for a program (the last list, with the room up to the screen's edge), so
// "E.PIANO 1" and "E.PIANO 2" differ.
constexpr size_t kSoundfontRow = 8;
constexpr size_t kProgramRow = 18;

std::string ListRow(int number, const std::string& name, size_t length) {
  std::string row = std::to_string(number) + " " + name;
  row.resize(std::min(row.size(), length));
  for (char& ch : row) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  return row;
}

}  // namespace

void Sequencer::DisplayInstrumentsPanel(QuadList& quads) {
  if (instruments && !instruments->empty()) {
    const TrackInstrument ti = synth->GetInstrument(track);
    std::vector<std::string> rows;
    for (size_t i = 0; i < instruments->size(); ++i) rows.push_back(ListRow(static_cast<int>(i), (*instruments)[i].name, kSoundfontRow));
    PrintThreeRowList(quads, rows, ti.soundfont, 35);
    if (ti.soundfont >= 0 && ti.soundfont < static_cast<int>(instruments->size())) {
      const std::vector<Bank>& banks = (*instruments)[ti.soundfont].banks;
      rows.clear();
      for (const Bank& b : banks) rows.push_back(std::to_string(b.bank));
      PrintThreeRowList(quads, rows, ti.bankIndex, 250);
      if (ti.bankIndex >= 0 && ti.bankIndex < static_cast<int>(banks.size())) {
        rows.clear();
        for (const Prog& p : banks[ti.bankIndex].progs) rows.push_back(ListRow(p.prog, p.name, kProgramRow));
        PrintThreeRowList(quads, rows, ti.programIndex, 360);
      }
    }
  }
  static const double kMarkerX[3] = {2, 218, 327};
  if (instrumentCursor >= 0 && instrumentCursor < 3) {
    AddMarker(quads, markerASprite.get(), kMarkerX[instrumentCursor], 29, 1, BurgundColor);
  }
}
