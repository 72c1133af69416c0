// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once
// The Sequencer on the step edit subpage, with the cursor moved by keys as a user moves it.
#include <vector>

#include "tests/editor/SequencerFixture.h"

namespace zs::test {

class StepEditFixture : public SequencerFixture {
 protected:
  SessionsStore* Store() { return seq->GetSessions(); }

  // One frame with one flag of the record set.
  void Tap(bool Controls::*flag) {
    Controls c{};
    c.*flag = true;
    Frame(c);
  }

  // One frame with `presses` presses of an arrow key, with the combination flag held (or none).
  void Arrow(int32_t Controls::*count, int presses, bool Controls::*held = nullptr) {
    Controls c{};
    c.*count = presses;
    if (held) c.*held = true;
    Frame(c);
  }

  // Digits typed one per frame.
  void Type(const char* digits) {
    for (const char* d = digits; *d; ++d) Press([d](Controls& c) { c.digitPressed[*d - '0'] = true; });
  }

  // Moves the cursor to (step, pitch) with the octave, Page Down and the arrow keys.
  void GoTo(int step, int pitch) {
    const int octave = std::min(Sequencer::kMaxOctave, pitch / 12);
    while (seq->GetOctave() < octave) Tap(&Controls::keypadPlusPressed);
    while (seq->GetOctave() > octave) Tap(&Controls::keypadMinusPressed);
    while (seq->GetBar() != step / 16) Arrow(&Controls::pageDownCount, 1);
    const int row = step % 16 - seq->GetStepCursor();
    if (row > 0) Arrow(&Controls::downCount, row);
    if (row < 0) Arrow(&Controls::upCount, -row);
    const int column = pitch - 12 * octave - seq->GetNoteCursor();
    if (column > 0) Arrow(&Controls::rightCount, column);
    if (column < 0) Arrow(&Controls::leftCount, -column);
    ASSERT_EQ(seq->GetBar() * 16 + seq->GetStepCursor(), step);
    ASSERT_EQ(seq->GetNoteCursor() + 12 * seq->GetOctave(), pitch);
  }

  // The note of that pitch in the step, or a note with pitch 255 when there is none.
  Note At(int step, int pitch, int track = 0) {
    std::vector<Note> notes;
    Store()->GetNotes(0, track, step, notes);
    for (const Note& n : notes) {
      if (n.note == pitch) return n;
    }
    Note none{};
    none.note = 255;
    return none;
  }

  void Put(int step, Note n, int track = 0) { Store()->AddNote(0, track, step, n); }
  void Put(int step, int pitch, int track = 0) { Put(step, MakeNote(pitch), track); }

  // Every note of a track as (step, note bytes), for exact comparisons.
  std::vector<std::vector<uint8_t>> Snapshot(int track = 0) {
    std::vector<std::vector<uint8_t>> all;
    std::vector<Note> notes;
    for (int s = 0; s < kSteps; ++s) {
      Store()->GetNotes(0, track, s, notes);
      for (const Note& n : notes) {
        std::vector<uint8_t> row{static_cast<uint8_t>(s)};
        const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&n);
        row.insert(row.end(), bytes, bytes + sizeof(Note));
        all.push_back(row);
      }
    }
    return all;
  }

  int CountNotes(int track = 0) { return static_cast<int>(Snapshot(track).size()); }
};

}  // namespace zs::test
