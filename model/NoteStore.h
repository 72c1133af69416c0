// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once
#include <cstdint>
#include <deque>
#include <vector>

#include "model/Note.h"

// Growable pool of Note records. Free records sit on a LIFO stack, so after Clear() the first
// GetNew() returns 127, then 126, ...; a disposed index is the next one handed out.
class NoteStore {
 public:
  NoteStore() = default;

  void Clear();
  int GetNew();
  // Returns the record to the pool and zeroes its persistent bytes (note .. offset).
  void Dispose(int index);
  Note* Get(int index) { return &notes[index]; }
  const Note* Get(int index) const { return &notes[index]; }

  int Count() const { return count; }
  int FreeCount() const { return static_cast<int>(free.size()); }
  const std::deque<int32_t>& FreeList() const { return free; }

 private:
  void Grow();

  int32_t count = 0;
  int32_t growBy = 128;
  std::deque<int32_t> free;
  std::vector<Note> notes;
};
