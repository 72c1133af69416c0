// SPDX-License-Identifier: LGPL-2.1-or-later
#pragma once
#include <cstdint>
#include <deque>
#include <vector>

#include "model/NoteStore.h"

// A step: indices into the note pool, kept ascending by (offset, note).
using StepRecord = std::vector<int32_t>;

// Growable pool of step records over a NoteStore, with the same LIFO free-stack rules.
class StepStore {
 public:
  explicit StepStore(NoteStore* noteStore) : noteStore(noteStore) {}

  // Clears the note pool too.
  void Clear();
  int GetNew();
  // Returns the step and all of its notes to their pools; the step's list ends up empty.
  void Dispose(int index);
  StepRecord* Get(int index) { return &steps[index]; }
  const StepRecord* Get(int index) const { return &steps[index]; }

  int Count() const { return count; }
  int FreeCount() const { return static_cast<int>(free.size()); }
  const std::deque<int32_t>& FreeList() const { return free; }

 private:
  int32_t count = 0;
  int32_t growBy = 64;
  std::deque<int32_t> free;
  std::vector<StepRecord> steps;
  NoteStore* noteStore;  // not owned
};
