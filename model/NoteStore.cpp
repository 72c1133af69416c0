// SPDX-License-Identifier: LGPL-2.1-or-later
#include "model/NoteStore.h"

#include <tuple>

bool compareNotesAscending(const Note& a, const Note& b) { return a.note < b.note; }
bool compareOffsetsAscending(const Note& a, const Note& b) { return a.offset < b.offset; }
bool compareOffsetsThenNotesAscending(const Note& a, const Note& b) {
  return std::tie(a.offset, a.note) < std::tie(b.offset, b.note);
}

void NoteStore::Clear() {
  free.clear();
  notes.clear();
  count = 0;
  Grow();
}

void NoteStore::Grow() {
  for (int32_t i = count; i < count + growBy; ++i) {
    free.push_back(i);
    notes.push_back(Note{});
  }
  count += growBy;
}

int NoteStore::GetNew() {
  if (free.empty()) Grow();
  int index = free.back();
  free.pop_back();
  return index;
}

void NoteStore::Dispose(int index) {
  free.push_back(index);
  Note& n = notes[index];
  n.note = n.velocity = n.gate = n.gateFraction = n.offset = 0;
}
